#pragma once

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

// The run over every table of the view's table list: the repair engine made once, each
// table verified, rebuilt, or test-opened and rebuilt when it fails to open, the operator's
// cancel request acted on between tables. Failures end the run and are passed on.
void RunOnAllTables(TRepairOperation operation, RepairRunView& view);

// A whole run as a run button starts it: clears the pane, writes the start line, runs,
// writes the end line, and hands every pane line to the run log, also when the run failed;
// then passes any failure on.
void RunRepairOperation(TRepairOperation operation, RepairRunView& view,
                        const LocalClock& clock = LocalNow);

} // namespace repair
