#pragma once

#include "cli/run/DatabaseSelection.h"
#include "cli/run/TerminalRunView.h"

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

// A table's state in a dry check: a table that fails the open test would be rebuilt (its
// problems are left), otherwise the verify's verdict decides.
TableState DryRunState(const TableOutcome& outcome);

// The exit code: kExitRepaired, kExitProblemsLeft and kExitOperational for the tables' states,
// kExitOperational for a run that failed or a log that could not be saved, kExitCancelled
// for a Ctrl-C that stopped a run or left targets out.
int ExitCodeOf(const RunSummary& summary);

// The closing line of a dry check: which tables a Check & Repair would rebuild.
std::string WouldRebuildLine(const std::vector<RunRecord>& runs);

// The line that names the targets a cancel left out.
std::string NotRunLine(const std::vector<std::string>& skippedTargets);

// The machine-readable report (JSON text, one line end at the end).
std::string ReportJson(const RunSummary& summary, int exitCode);

} // namespace cli
