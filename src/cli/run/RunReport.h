#pragma once

#include "cli/run/DatabaseSelection.h"
#include "cli/run/TerminalRunView.h"

#include <chrono>
#include <string>
#include <vector>

namespace cli {

// One run over one target.
struct RunRecord {
    std::string given;                // the target as written
    SelectedDatabase database;        // empty when the target could not be selected
    std::vector<std::string> lines;   // the pane lines of the run
    std::vector<TableOutcome> tables; // the tables begun
    bool completed = false;           // the run ended with its end line
    bool cancelled = false;           // stopped by Ctrl-C between tables
    std::string failure;              // the failure that ended the run
    std::chrono::system_clock::time_point started{};
    std::chrono::system_clock::time_point ended{};
};

// Everything one command did.
struct RunSummary {
    std::string command; // "verify", "rebuild", "check"
    repair::TRepairOperation operation = repair::roVerify;
    bool dryRun = false;
    bool details = false;
    std::vector<RunRecord> runs;
    std::vector<std::string> skippedTargets; // not begun because of a Ctrl-C
    std::string logFile;                     // the run log the lines went to
    std::string logProblem;                  // why they could not be saved there
};

// The exit code: kExitRepaired, kExitProblemsLeft and kExitOperational for the tables' states,
// kExitOperational for a run that failed or a log that could not be saved, kExitCancelled
// for a Ctrl-C that stopped a run or left targets out.
int ExitCodeOf(const RunSummary& summary);

// The closing line of a dry check: which tables a Check & Repair would rebuild.
std::string WouldRebuildLine(const std::vector<RunRecord>& runs);

// The closing line of a run: "166 tables: 160 healthy, 4 repaired, 2 with problems", with
// ", 1 failed", ", 2 skipped" (not Paradox tables) and ", 3 not begun" (a Ctrl-C or a failure
// ended the run first) when there are such tables.
std::string RunSummaryLine(const RunSummary& summary, const RunRecord& run);

// A moment as ISO 8601 in UTC: "2026-12-08T02:48:54Z".
std::string IsoTime(std::chrono::system_clock::time_point time);

// The version of the report's keys (docs/report.schema.json): raised when a key changes
// meaning or goes; a key added does not raise it.
inline constexpr int kReportFormatVersion = 1;

// The line that names the targets a cancel left out.
std::string NotRunLine(const std::vector<std::string>& skippedTargets);

// The machine-readable report (JSON text, one line end at the end).
std::string ReportJson(const RunSummary& summary, int exitCode);

} // namespace cli
