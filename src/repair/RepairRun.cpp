#include "repair/RepairRun.h"

#include "paradox/ForeignFile.h"
#include "platform/DBErrors.h"
#include "platform/Database.h"
#include "platform/StructureRebuild.h"
#include "platform/Table.h"
#include "platform/Toolkit.h"
#include "repair/DBRepair.h"
#include "repair/ParallelTables.h"

#include <chrono>
#include <memory>

namespace repair {
namespace {

constexpr const char* kCancelledByUser = "Operation cancelled by user.";
constexpr const char* kAbortedDueToError = "Aborted due to error";
constexpr const char* kOpenedAfterRepair = "Table opened successfully after repair.";

void ShowCannotRebuildWarning(const std::string& tableName) {
    platform::CurrentToolkit().ShowMessageBox(platform::BoxIcon::Warning, "Warning",
                                              CannotRebuildWarning(tableName));
}

// Puts the view back to idle however the run ends: engine gone, Cancel disabled, no request.
class RunEnd {
public:
    RunEnd(RepairRunView& view, std::unique_ptr<TqzDBRepair>& engine)
        : view_(view), engine_(engine) {}
    ~RunEnd() {
        engine_.reset();
        view_.TempTable().Close();
        view_.SetCancelEnabled(false);
        view_.ClearCancelRequest();
    }
    RunEnd(const RunEnd&) = delete;
    RunEnd& operator=(const RunEnd&) = delete;

private:
    RepairRunView& view_;
    std::unique_ptr<TqzDBRepair>& engine_;
};

std::chrono::system_clock::time_point Now() {
    return std::chrono::system_clock::now();
}

// The steps of one table; each writes its pane lines and fills the table's result.
class TableSteps {
public:
    TableSteps(RepairRunView& view, TqzDBRepair& engine) : view_(view), engine_(engine) {}

    void Verify(platform::TableResult& result) {
        view_.TempTable().SetTableName(result.name);
        view_.ProcessPendingEvents();
        Say(result, result.name);
        result.verify = engine_.Verify(view_.DatabaseAliasName(), view_.TempTable().TableName());
        SayVerdict(result, result.verify.verdict);
    }

    void Rebuild(platform::TableResult& result) {
        view_.ProcessPendingEvents();
        Say(result, result.name);
        try {
            view_.TempTable().SetTableName(result.name);
            RebuildAndSay(result, view_.TempTable().TableName());
        } catch (const platform::EDBEngineError& e) {
            Abort(result, e.what());
        }
    }

    void CheckAndRepair(platform::TableResult& result) {
        platform::TTable& table = view_.TempTable();
        Say(result, "Checking " + result.name);
        view_.ProcessPendingEvents();
        try {
            table.SetTableName(result.name);
            result.open.tried = true;
            OpenOnEveryIndex(table);
        } catch (const platform::EDBEngineError& e) {
            NoteOpenFailure(result, table, e);
            Repair(table, result);
        }
        table.Close();
    }

    // A file named like a table that another program wrote: named, and nothing else done.
    bool SkippedAsForeign(platform::TableResult& result) {
        std::string path;
        try {
            path = TqzDBRepair::TablePath(view_.DatabaseAliasName(), result.name);
        } catch (const platform::EDBEngineError&) {
            return false; // the table's own step meets the failure again and reports it
        }
        if (!paradox::IsForeignFile(path)) {
            return false;
        }
        result.foreign = true;
        Say(result, result.name);
        SayVerdict(result, verdict::kForeignFileSkipped);
        return true;
    }

    // The open test and a verify that writes nothing.
    void DryCheck(platform::TableResult& result) {
        platform::TTable& table = view_.TempTable();
        Say(result, "Checking " + result.name);
        view_.ProcessPendingEvents();
        try {
            table.Close();
            table.SetTableName(result.name);
            result.open.tried = true;
            OpenOnEveryIndex(table);
        } catch (const platform::EDBEngineError& e) {
            NoteOpenFailure(result, table, e);
            table.Close();
        }
        result.verify = engine_.Verify(view_.DatabaseAliasName(), result.name, false);
        if (result.open.failed) {
            // A table whose structure does not read fails before any index is tried.
            const std::string where = result.open.index.empty()
                                          ? std::string("Does not open")
                                          : "Does not open with index: " + result.open.index;
            Say(result, where + " (" + result.open.failure + "); Check & Repair would rebuild it.");
        }
        SayVerdict(result, result.verify.verdict);
        if (result.verify.verdict == verdict::kRebuildManually) {
            // Where a rebuild could take the lost fields from, before anything is written.
            for (const std::string& line : platform::StructureSourceLines(
                     TqzDBRepair::TablePath(view_.DatabaseAliasName(), result.name))) {
                Say(result, "  " + line);
            }
        }
    }

private:
    void Say(platform::TableResult& result, const std::string& line) {
        result.lines.push_back(line);
        view_.AppendMessage(line);
    }

    void SayVerdict(platform::TableResult& result, const std::string& verdictLine) {
        result.verdict = verdictLine;
        Say(result, verdictLine);
        view_.VerdictWritten(result);
    }

    void RebuildAndSay(platform::TableResult& result, const std::string& tableName) {
        engine_.Rebuild(view_.DatabaseAliasName(), tableName, result.verify, result.rebuild);
        SayVerdict(result, result.rebuild.verdict);
    }

    static void NoteOpenFailure(platform::TableResult& result, platform::TTable& table,
                                const platform::EDBEngineError& e) {
        result.open.failed = true;
        result.open.index = table.IndexName();
        result.open.failure = e.what();
    }

    void Repair(platform::TTable& table, platform::TableResult& result) {
        table.Close();
        try {
            Say(result,
                "Error opening table with index: " + table.IndexName() + " ...attempting repair.");
            RebuildAndSay(result, table.TableName());
            // The table as the rebuild left it, with the indexes it has now: an index the
            // rebuild dropped (and said so) is not asked for again.
            OpenOnEveryIndex(table);
            table.Open();
            result.reopened = true;
            Say(result, kOpenedAfterRepair);
        } catch (const platform::EDBEngineError& e) {
            Abort(result, e.what());
        }
    }

    // Called inside the handler of an engine failure: warns, notes it with the failure's own
    // message (the warning only guesses at a cause; the pane and the log get the real one) and
    // passes it on.
    [[noreturn]] void Abort(platform::TableResult& result, const std::string& failure) {
        ShowCannotRebuildWarning(result.name);
        result.aborted = true;
        Say(result, kAbortedDueToError);
        Say(result, failure);
        throw;
    }

    RepairRunView& view_;
    TqzDBRepair& engine_;
};

} // namespace

void OpenOnEveryIndex(platform::TTable& table) {
    // A failure reading this table's index definitions must not name (or reopen with) an
    // index of the table before it.
    table.SetIndexName("");
    auto& defs = table.IndexDefs();
    defs.Update();
    for (int i = 0; i < defs.Count(); ++i) {
        table.SetIndexName(defs[i].Name());
        table.Open();
        table.Close();
    }
}

std::string StartText(TRepairOperation operation) {
    switch (operation) {
    case roVerify:
        return "Verify started. ";
    case roRebuild:
        return "Rebuild started. ";
    case roCheckAndRepair:
        break;
    }
    return "Check & Repair started. ";
}

std::string EndText(TRepairOperation operation) {
    switch (operation) {
    case roVerify:
        return "Verify complete. ";
    case roRebuild:
        return "Rebuild complete. ";
    case roCheckAndRepair:
        break;
    }
    return "Check & Repair complete. ";
}

std::string CannotRebuildWarning(const std::string& tableName) {
    return "Table " + tableName + " could not be rebuilt. " +
           "The most likely cause is that the table is in use by " +
           "another client or application. " +
           "Check to make sure no other clients are connected to " + "the database and try again.";
}

namespace {

// One table's steps as the operation and mode say.
void TakeTableSteps(TRepairOperation operation, RunMode mode, TableSteps& steps,
                    platform::TableResult& result) {
    if (steps.SkippedAsForeign(result)) {
        return; // nothing of it is read further, or changed
    }
    if (mode == RunMode::DryRun) {
        steps.DryCheck(result);
        return;
    }
    switch (operation) {
    case roVerify:
        steps.Verify(result);
        break;
    case roRebuild:
        steps.Rebuild(result);
        break;
    case roCheckAndRepair:
        steps.CheckAndRepair(result);
        break;
    }
}

void CancelRun(RepairRunView& view) {
    view.AppendMessage(kCancelledByUser);
    view.ClearCancelRequest();
    view.RunCancelled();
}

// Whether the run may take several tables at once: the view allows it, there are several, and
// the database the tables' threads share is connected (else the run meets the failure as one
// table at a time meets it).
bool SeveralAtOnce(RepairRunView& view) {
    if (view.TablesAtOnce() < 2 || view.TableList().size() < 2) {
        return false;
    }
    platform::TDatabase& database = view.TempTable().Database();
    try {
        if (!database.Connected()) {
            database.SetConnected(true);
        }
    } catch (const platform::EDBEngineError&) {
        return false;
    }
    return true;
}

} // namespace

void RunOnAllTables(TRepairOperation operation, RepairRunView& view, RunMode mode) {
    const std::size_t n = view.TableList().size();
    view.SetGaugeMax(static_cast<int>(n));
    view.SetGaugePosition(0);
    view.ProcessPendingEvents();
    std::unique_ptr<TqzDBRepair> engine;
    const RunEnd runEnd(view, engine);
    engine = std::make_unique<TqzDBRepair>();
    engine->SetAcceptLoss(view.AcceptsLoss());
    view.SetCancelEnabled(true);
    if (SeveralAtOnce(view)) {
        const TablesEnd end =
            RunTablesAtOnce(view, view.TablesAtOnce(), view.AcceptsLoss(),
                            [operation, mode](RepairRunView& tableView, TqzDBRepair& tableEngine,
                                              platform::TableResult& result) {
                                TableSteps steps(tableView, tableEngine);
                                TakeTableSteps(operation, mode, steps, result);
                            });
        if (end == TablesEnd::Cancelled) {
            CancelRun(view);
        }
        return;
    }
    TableSteps steps(view, *engine);
    for (std::size_t i = 0; i < n; ++i) {
        if (view.CancelRequested()) {
            CancelRun(view);
            return;
        }
        view.ResetProgressBars();
        view.SetGaugePosition(view.GaugePosition() + 1);
        platform::TableResult result;
        result.name = view.TableList().at(i);
        result.started = Now();
        view.TableBegun(i);
        try {
            TakeTableSteps(operation, mode, steps, result);
        } catch (...) {
            result.finished = Now();
            view.TableFinished(result);
            throw;
        }
        result.finished = Now();
        view.TableFinished(result);
    }
}

void RunRepairOperation(TRepairOperation operation, RepairRunView& view, const LocalClock& clock) {
    view.ClearMessages();
    try {
        view.AppendMessage(StartText(operation) + FormatTimeStamp(clock()));
        RunOnAllTables(operation, view);
        view.AppendMessage(EndText(operation) + FormatTimeStamp(clock()));
    } catch (...) {
        for (const std::string& line : view.MessageLines()) {
            view.AppendLogLine(line);
        }
        throw;
    }
    for (const std::string& line : view.MessageLines()) {
        view.AppendLogLine(line);
    }
}

} // namespace repair
