#pragma once

#include "cli/run/TerminalProgress.h"
#include "repair/RepairRun.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

// How the run commands (check, verify, rebuild) were asked to run.
struct RunRequest {
    std::string command;
    repair::TRepairOperation operation = repair::roVerify;
    std::vector<std::string> targets;
    bool json = false;
    bool details = false;
    bool quiet = false; // only the tables that are not healthy, and the summary lines
    // Progress on standard error; "auto": the progress line when it is a terminal.
    std::string progress = "auto";
    bool dryRun = false;
    bool acceptLoss = false; // rebuild: keep what can be read when not everything can be
    bool allowEmpty = false; // a target without a Paradox table is no error
    bool recursive = false;  // a directory target is walked into its subfolders
    bool noLog = false;      // the lines go to no run log
    std::string logFile;     // the run log to add to; empty: the window program's
    unsigned jobs = 1;       // tables worked on at once; 0: DefaultJobs for each run
};

// Runs the request: every target through the window's run routine (or, for a dry check, the
// open test and a verify that writes nothing), lines and report to `out`, messages and
// progress to `err`. Returns the exit code (ExitCodes.h).
int ExecuteRunRequest(const RunRequest& request, std::ostream& out, std::ostream& err);

// What the help of a run command says after its options: what a target is, where the lines go.
std::string RunCommandNotes();

} // namespace cli
