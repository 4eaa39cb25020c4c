#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// Exit codes, a bit mask as file-system checkers have it: a run over several tables may
// combine them (5 = some tables repaired, others still damaged).
inline constexpr int kExitOk = 0;           // everything healthy
inline constexpr int kExitRepaired = 1;     // problems found, and all of them repaired
inline constexpr int kExitProblemsLeft = 4; // problems found and left (or data lost reading)
inline constexpr int kExitOperational = 8;  // a table or file could not be handled at all
inline constexpr int kExitUsage = 16;       // the command line was wrong
inline constexpr int kExitCancelled = 32;   // the operator cancelled the run
inline constexpr int kExitFailed = kExitOperational; // the command ran but could not do its job

// A sub-command of mendrix-cli ("info", "dump", ...). `run` gets the arguments after the
// command name and returns the exit code. `-h`/`--help` never reach `run`: the program prints
// the usage, the summary and `help` (options, output, notes) instead.
struct Command {
    std::string name;
    std::string usage; // arguments, e.g. "TABLE"
    std::string summary;
    std::function<int(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)>
        run;
    std::string help{};
};

// Every registered command, sorted by name.
const std::vector<Command>& AllCommands();
const Command* FindCommand(std::string_view name);

// Registers a command from a file of its own, at program start:
//   static const cli::CommandRegistration kInfo{{"info", "TABLE", "...", &RunInfo}};
struct CommandRegistration {
    explicit CommandRegistration(Command command);
};

// Writes the usage of every command.
void PrintUsage(std::ostream& err);

// The exit codes and what each means, one per line, for the help texts.
std::string ExitCodeLines();

// Whether the arguments of a command ask for its help (-h or --help before a "--").
bool AsksForHelp(const std::vector<std::string>& args);

// `mendrix-cli COMMAND --help`.
void PrintCommandHelp(const Command& command, std::ostream& out);

} // namespace cli
