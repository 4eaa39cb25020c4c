#include "cli/run/RunCommand.h"

#include "cli/ExitCodes.h"
#include "cli/run/CancelSignal.h"
#include "cli/run/DatabaseSelection.h"
#include "cli/run/DefaultJobs.h"
#include "cli/run/PrivateDir.h"
#include "cli/run/RunLogFile.h"
#include "cli/run/RunReport.h"
#include "cli/run/RunTargets.h"
#include "cli/run/TerminalProgress.h"
#include "cli/run/TerminalRunView.h"
#include "engine/FileNames.h"
#include "platform/Database.h"
#include "platform/Session.h"
#include "platform/Table.h"
#include "repair/PrivateDir.h"
#include "repair/TableStatusBars.h"

#include <chrono>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <system_error>

namespace cli {
namespace {

namespace fs = std::filesystem;

ProgressStyle ProgressStyleOf(const RunRequest& request) {
    if (request.progress == "json") {
        return ProgressStyle::Json;
    }
    if (request.progress == "auto" && TerminalProgress::StderrIsTerminal()) {
        return ProgressStyle::Terminal;
    }
    return ProgressStyle::None;
}

// Where the run's lines are logged: as the request says, else the window program's log.
RunLogFile LogFor(const RunRequest& request, RunSummary& summary, std::ostream& err) {
    if (request.dryRun || request.noLog) {
        return {}; // a dry run writes no log
    }
    auto report = [&summary, &err](const std::string& problem) {
        summary.logProblem = problem;
        err << "mendrix-cli " << summary.command << ": the run log was not saved: " << problem
            << '\n';
    };
    RunLogFile log = request.logFile.empty() ? RunLogFile::ProgramLog(report)
                                             : RunLogFile(request.logFile, report);
    summary.logFile = log.Path().string();
    return log;
}

// One target through the window's run routine, or for a dry run its looking-only mode.
void RealRun(const RunRequest& request, platform::TTable& table, const SelectedDatabase& database,
             RunLogFile& log, const RunSummary& summary, RunRecord& record, std::ostream& out,
             std::ostream& err, TerminalProgress& progress) {
    TerminalRunView::Setup setup;
    setup.operation = request.operation;
    setup.aliasName = database.aliasName;
    setup.directory = database.directory;
    setup.tables = database.tables;
    setup.dryRun = request.dryRun;
    setup.printLines = !request.json;
    setup.quiet = request.quiet;
    setup.details = request.details;
    setup.acceptLoss = request.acceptLoss;
    setup.jobs = request.jobs != 0
                     ? request.jobs
                     : DefaultJobs(request.operation, database.directory, database.tables);
    TerminalRunView view(setup, table, log, out, progress);
    record.started = std::chrono::system_clock::now();
    try {
        if (request.dryRun) {
            view.Heading("Check & Repair dry run: " + database.directory.string(), true);
            repair::RunOnAllTables(request.operation, view, repair::RunMode::DryRun);
            record.completed = !view.Cancelled();
        } else {
            // The batch program's own line: the run log keeps only the pane's.
            view.Heading("Database: " + database.directory.string(), false);
            repair::RunRepairOperation(request.operation, view);
            record.completed = true;
        }
    } catch (const std::exception& e) {
        record.failure = e.what();
    } catch (...) {
        record.failure = "unknown failure";
    }
    record.ended = std::chrono::system_clock::now();
    progress.EndTable();
    if (!record.failure.empty()) {
        // A dry run names the target, as a failed selection does.
        err << "mendrix-cli " << request.command << ": "
            << (request.dryRun ? record.given + ": " : std::string()) << record.failure << '\n';
    }
    record.lines = view.MessageLines();
    record.tables = view.Outcomes();
    record.cancelled = view.Cancelled();
    if (!request.json) {
        out << RunSummaryLine(summary, record) << '\n' << std::flush;
    }
    if (view.Interrupted()) {
        // A Ctrl-C during the last table: the run ended as it would have, the next one is
        // not begun.
        SetInterruptRequest();
    }
}

} // namespace

int ExecuteRunRequest(const RunRequest& request, std::ostream& out, std::ostream& err) {
    RunSummary summary;
    summary.command = request.command;
    summary.operation = request.operation;
    summary.dryRun = request.dryRun;
    summary.details = request.details;

    const RunPrivateDir runPrivateDir;
    const std::string& privateDirectory = runPrivateDir.Path();
    platform::TSession session("TempSession");
    if (!privateDirectory.empty()) {
        session.SetPrivateDir(privateDirectory);
    }
    session.SetActive(true);
    const std::vector<RunTarget> targets =
        ResolveTargets(session, request.targets, request.recursive);
    platform::TDatabase database(session, "TempDB");
    platform::TTable table(database);
    table.SetExclusive(true);

    RunLogFile log = LogFor(request, summary, err);
    TerminalProgress progress(err, ProgressStyleOf(request), request.command);
    const repair::ScopedTableStatusBars bars(progress);
    const CancelOnInterrupt cancelOnInterrupt;
    const IgnoreBrokenPipe ignoreBrokenPipe;

    for (const RunTarget& target : targets) {
        if (InterruptRequested()) {
            summary.skippedTargets.push_back(target.given);
            continue;
        }
        RunRecord& record = summary.runs.emplace_back();
        record.given = target.given;
        try {
            if (!target.problem.empty()) {
                throw std::runtime_error(target.problem);
            }
            record.database = SelectDatabase(session, database, target);
            if (!request.allowEmpty && !target.tableFiles &&
                !HoldsParadoxTable(record.database.directory, record.database.tables)) {
                throw std::runtime_error("no Paradox tables in " +
                                         record.database.directory.string());
            }
        } catch (const std::exception& e) {
            progress.ClearLine();
            record.started = record.ended = std::chrono::system_clock::now();
            record.failure = e.what();
            err << "mendrix-cli " << request.command << ": " << target.given << ": " << e.what()
                << '\n';
            continue;
        }
        log.Append(record.database.selectionLine);
        RealRun(request, table, record.database, log, summary, record, out, err, progress);
    }
    if (request.dryRun && !request.json) {
        out << WouldRebuildLine(summary.runs) << '\n';
    }
    if (!summary.skippedTargets.empty() && !request.json) {
        out << NotRunLine(summary.skippedTargets) << '\n';
    }
    const int exitCode = ExitCodeOf(summary);
    if (request.json) {
        out << ReportJson(summary, exitCode);
    }
    out.flush();
    return exitCode;
}

std::string RunCommandNotes() {
    return "A target is an engine alias, a directory (made the database through the session "
           "alias \"Mendrix\"), or one or more table files (those of one directory make one run "
           "over just those tables).\n"
           "Each run's first line names its folder (\"Database: DIR\"), its last one counts its "
           "tables by state. The lines between are the repair window's message-pane lines, time "
           "stamps included, and go to the window's run log as well, each as it is written "
           "(--log FILE, --no-log). Ctrl-C, SIGTERM or SIGHUP stops a run between tables (the "
           "table in progress is finished); a second one ends the program at once. A file named "
           "like a table that is not a Paradox table is skipped and left untouched.\n";
}

} // namespace cli
