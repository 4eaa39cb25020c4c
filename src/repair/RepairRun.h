#pragma once

#include "platform/TableResult.h"
#include "repair/TimeStamp.h"

#include <functional>
#include <string>
#include <vector>

namespace platform {
class TTable;
}

namespace repair {

enum TRepairOperation { roVerify, roRebuild, roCheckAndRepair };

// What a run over all tables touches of the window that drives it (the repair window, or a
// terminal in the batch program). Every call comes on the thread that runs the run. The end
// of a run (also on its way out with a failure) calls SetCancelEnabled, ClearCancelRequest
// and closes TempTable, so those must not throw.
class RepairRunView {
public:
    virtual ~RepairRunView() = default;

    // The message pane.
    virtual void AppendMessage(const std::string& line) = 0;
    virtual void ClearMessages() = 0;
    virtual std::vector<std::string> MessageLines() const = 0;

    // The overall gauge.
    virtual void SetGaugeMax(int maximum) = 0;
    virtual void SetGaugePosition(int position) = 0;
    virtual int GaugePosition() const = 0;

    // Sets the four table-status bars to 0.
    virtual void ResetProgressBars() = 0;

    // The operator's request to stop, and the button that makes it.
    virtual bool CancelRequested() const = 0;
    virtual void ClearCancelRequest() = 0;
    virtual void SetCancelEnabled(bool enabled) = 0;

    // Lets pending window events be handled (the Cancel click among them).
    virtual void ProcessPendingEvents() = 0;

    // The tables of the selected database, the window's table object and its database's
    // alias name.
    virtual const std::vector<std::string>& TableList() const = 0;
    virtual platform::TTable& TempTable() = 0;
    virtual std::string DatabaseAliasName() const = 0;

    // Adds a line at the end of the run log.
    virtual void AppendLogLine(const std::string& line) = 0;

    // Whether the run's rebuilds keep what they can read when they cannot keep everything
    // (see TqzDBRepair::SetAcceptLoss). The window never does.
    virtual bool AcceptsLoss() const { return false; }

    // The table at `index` of the list is begun (before any of its lines; with several tables
    // at once, before those begun earlier have ended).
    virtual void TableBegun(std::size_t /*index*/) {}

    // The verdict line of a table has just been written; `soFar` holds what the table's
    // verify and rebuild learned (for what a view shows under the verdict).
    virtual void VerdictWritten(const platform::TableResult& /*soFar*/) {}

    // A table is done with: everything the run learned about it. Also called for the table
    // a failure ends the run on, before the failure is passed on; must not throw.
    virtual void TableFinished(const platform::TableResult& /*result*/) {}

    // The run acted on the operator's request to stop (before the table it would begin next).
    virtual void RunCancelled() {}

    // How many tables the run may work on at once (see RunTablesAtOnce); the window takes one
    // at a time.
    virtual unsigned TablesAtOnce() const { return 1; }
};

// The open test of a Check & Repair: reads the table's index definitions and opens and closes
// the table once with each, in the engine's order; an engine failure is passed on with the
// index last made active still set. The table's name must be set; its index is cleared first.
void OpenOnEveryIndex(platform::TTable& table);

// The local clock; tests put a fixed one in its place.
using LocalClock = std::function<LocalDateTime()>;

// The start and end texts of an operation ("Verify started. ", "Verify complete. ").
std::string StartText(TRepairOperation operation);
std::string EndText(TRepairOperation operation);

// The warning shown when a table cannot be repaired.
std::string CannotRebuildWarning(const std::string& tableName);

// How a run treats the tables: as its operation says, or only looking (the open test of a
// Check & Repair and a verify that writes no error table; nothing changes on disk).
enum class RunMode { Operation, DryRun };

// The run over every table of the view's table list: the repair engine made once, each
// table verified, rebuilt, or test-opened and rebuilt when it fails to open, the operator's
// cancel request acted on between tables. Each table's result goes to the view. A dry run
// gives every table the open test and a verify that writes nothing: a line saying so for a
// table that fails to open, the verdict, and for a table a rebuild would need a structure
// for, where one could come from. A file of the list that no Paradox level wrote (see
// paradox::IsForeignFile) is named and skipped, untouched, in either mode. Failures end the run
// and are passed on. When the view allows several tables at once, they are worked on as
// RunTablesAtOnce says, and the view sees what it would see of one table at a time.
void RunOnAllTables(TRepairOperation operation, RepairRunView& view,
                    RunMode mode = RunMode::Operation);

// A whole run as a run button starts it: clears the pane, writes the start line, runs,
// writes the end line, and hands every pane line to the run log, also when the run failed;
// then passes any failure on.
void RunRepairOperation(TRepairOperation operation, RepairRunView& view,
                        const LocalClock& clock = LocalNow);

} // namespace repair
