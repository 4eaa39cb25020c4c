#include "repair/RepairRun.h"

#include "platform/DBErrors.h"
#include "platform/Table.h"
#include "platform/Toolkit.h"
#include "repair/DBRepair.h"

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

class TableSteps {
public:
    TableSteps(RepairRunView& view, TqzDBRepair& engine) : view_(view), engine_(engine) {}

    void Verify(const std::string& tableName) {
        view_.TempTable().SetTableName(tableName);
        view_.ProcessPendingEvents();
        view_.AppendMessage(tableName);
        std::string verdict;
        engine_.VerifyTable(view_.DatabaseAliasName(), view_.TempTable().TableName(), verdict);
        view_.AppendMessage(verdict);
    }

    void Rebuild(const std::string& tableName) {
        view_.ProcessPendingEvents();
        view_.AppendMessage(tableName);
        try {
            view_.TempTable().SetTableName(tableName);
            std::string verdict;
            engine_.RebuildTable(view_.DatabaseAliasName(), view_.TempTable().TableName(), verdict);
            view_.AppendMessage(verdict);
        } catch (const platform::EDBEngineError&) {
            Abort(tableName);
        }
    }

    void CheckAndRepair(const std::string& tableName) {
        platform::TTable& table = view_.TempTable();
        view_.AppendMessage("Checking " + tableName);
        view_.ProcessPendingEvents();
        try {
            table.SetTableName(tableName);
            OpenOnEveryIndex(table);
        } catch (const platform::EDBEngineError&) {
            Repair(table, tableName);
        }
        table.Close();
    }

private:
    void Repair(platform::TTable& table, const std::string& tableName) {
        table.Close();
        try {
            view_.AppendMessage("Error opening table with index: " + table.IndexName() +
                                " ...attempting repair.");
            std::string verdict;
            engine_.RebuildTable(view_.DatabaseAliasName(), table.TableName(), verdict);
            view_.AppendMessage(verdict);
            // The table as the rebuild left it, with the indexes it has now: an index the
            // rebuild dropped (and said so) is not asked for again.
            OpenOnEveryIndex(table);
            table.Open();
            view_.AppendMessage(kOpenedAfterRepair);
        } catch (const platform::EDBEngineError&) {
            Abort(tableName);
        }
    }

    // Called inside the handler of an engine failure: warns, notes it and passes it on.
    [[noreturn]] void Abort(const std::string& tableName) {
        ShowCannotRebuildWarning(tableName);
        view_.AppendMessage(kAbortedDueToError);
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

void RunOnAllTables(TRepairOperation operation, RepairRunView& view) {
    const std::size_t n = view.TableList().size();
    view.SetGaugeMax(static_cast<int>(n));
    view.SetGaugePosition(0);
    view.ProcessPendingEvents();
    std::unique_ptr<TqzDBRepair> engine;
    const RunEnd runEnd(view, engine);
    engine = std::make_unique<TqzDBRepair>();
    engine->SetAcceptLoss(view.AcceptsLoss());
    view.SetCancelEnabled(true);
    TableSteps steps(view, *engine);
    for (std::size_t i = 0; i < n; ++i) {
        if (view.CancelRequested()) {
            view.AppendMessage(kCancelledByUser);
            view.ClearCancelRequest();
            return;
        }
        view.ResetProgressBars();
        view.SetGaugePosition(view.GaugePosition() + 1);
        const std::string tableName = view.TableList().at(i);
        switch (operation) {
        case roVerify:
            steps.Verify(tableName);
            break;
        case roRebuild:
            steps.Rebuild(tableName);
            break;
        case roCheckAndRepair:
            steps.CheckAndRepair(tableName);
            break;
        }
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
