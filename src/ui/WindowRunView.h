#pragma once

#include "repair/RepairRun.h"
#include "repair/TableStatusBars.h"

#include <string>
#include <vector>

namespace ui {

class TfDBRepairInfo;
class RepairWindowOwner;

// The repair window as a run sees it: its message pane, gauge, the four table-status bars,
// the Cancel button and request, its table list and table object, and the owner's run log.
// The window's objects are named like the view's calls, so the window lends itself through
// this object for the length of a run instead of implementing the calls itself.
class WindowRunView : public repair::RepairRunView, public repair::TableStatusBars {
public:
    WindowRunView(TfDBRepairInfo& window, RepairWindowOwner& owner)
        : window_(window), owner_(owner) {}

    // repair::RepairRunView
    void AppendMessage(const std::string& line) override;
    void ClearMessages() override;
    std::vector<std::string> MessageLines() const override;
    void SetGaugeMax(int maximum) override;
    void SetGaugePosition(int position) override;
    int GaugePosition() const override;
    void ResetProgressBars() override;
    bool CancelRequested() const override;
    void ClearCancelRequest() override;
    void SetCancelEnabled(bool enabled) override;
    void ProcessPendingEvents() override;
    const std::vector<std::string>& TableList() const override;
    platform::TTable& TempTable() override;
    std::string DatabaseAliasName() const override;
    void AppendLogLine(const std::string& line) override;
    void TableFinished(const platform::TableResult& result) override;

    // repair::TableStatusBars
    void SetBar(repair::TableStatusBar bar, unsigned position) override;

private:
    TfDBRepairInfo& window_;
    RepairWindowOwner& owner_;
};

} // namespace ui
