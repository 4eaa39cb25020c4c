#pragma once

namespace cli {

// Exit codes, a bit mask as file-system checkers have it: a run over several tables may
// combine them (5: some tables repaired, problems left in others).
inline constexpr int kExitHealthy = 0;      // every table healthy
inline constexpr int kExitRepaired = 1;     // problems found, and all of them repaired
inline constexpr int kExitProblemsLeft = 4; // problems found and left
inline constexpr int kExitOperational = 8;  // a target, table or file could not be handled
inline constexpr int kExitUsage = 16;       // the command line was wrong
inline constexpr int kExitCancelled = 32;   // the operator cancelled the run (Ctrl-C)

// The names the commands that only read use.
inline constexpr int kExitOk = kExitHealthy;
inline constexpr int kExitFailed = kExitOperational;

} // namespace cli
