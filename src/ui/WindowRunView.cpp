#include "ui/WindowRunView.h"

#include "platform/Toolkit.h"
#include "ui/DBRepairInfo.h"

#include <QProgressBar>
#include <algorithm>
#include <exception>

namespace ui {
namespace {

// Sets a bar and paints it at once: the run holds the user-interface thread while the
// library works on a table, so a bar left to the next event pump would stand still.
void ShowPosition(QProgressBar& bar, int position) {
    bar.setValue(std::clamp(position, bar.minimum(), bar.maximum()));
    if (bar.isVisible()) {
        bar.repaint();
    }
}

} // namespace

void WindowRunView::AppendMessage(const std::string& line) {
    window_.AppendPaneLine(line);
}

void WindowRunView::ClearMessages() {
    window_.ClearPane();
}

std::vector<std::string> WindowRunView::MessageLines() const {
    // In full, not as the pane shortened them.
    return window_.PaneLines();
}

void WindowRunView::SetGaugeMax(int maximum) {
    // A range of 0..0 turns the bar into a busy animation; an empty run shows an empty bar.
    window_.ggWorking.setRange(0, std::max(maximum, 1));
    window_.gaugeMaximum_ = maximum;
}

void WindowRunView::SetGaugePosition(int position) {
    ShowPosition(window_.ggWorking, position);
}

int WindowRunView::GaugePosition() const {
    return std::max(window_.ggWorking.value(), 0);
}

void WindowRunView::ResetProgressBars() {
    window_.ResetProgressBars();
}

bool WindowRunView::CancelRequested() const {
    return window_.CancelRequested;
}

void WindowRunView::ClearCancelRequest() {
    window_.CancelRequested = false;
}

void WindowRunView::SetCancelEnabled(bool enabled) {
    window_.btnCancel.setEnabled(enabled);
}

void WindowRunView::ProcessPendingEvents() {
    platform::CurrentToolkit().ProcessPendingEvents();
}

const std::vector<std::string>& WindowRunView::TableList() const {
    return window_.TableList;
}

platform::TTable& WindowRunView::TempTable() {
    return window_.TempTable;
}

std::string WindowRunView::DatabaseAliasName() const {
    return window_.dbTemp.AliasName();
}

void WindowRunView::AppendLogLine(const std::string& line) {
    owner_.AddRunLogLine(line);
}

void WindowRunView::TableFinished(const platform::TableResult& result) {
    try {
        window_.RecordTable(result);
    } catch (const std::exception&) {
        // Only the findings window would miss the table; the run and its lines go on.
    }
}

void WindowRunView::SetBar(repair::TableStatusBar bar, unsigned position) {
    // Reports above the bars' range (the library's percentages are 16-bit) show a full bar.
    const int shown = static_cast<int>(std::min(position, 100U));
    switch (bar) {
    case repair::TableStatusBar::Header:
        ShowPosition(window_.pbHeader, shown);
        break;
    case repair::TableStatusBar::Indexes:
        ShowPosition(window_.pbIndexes, shown);
        break;
    case repair::TableStatusBar::Data:
        ShowPosition(window_.pbData, shown);
        break;
    case repair::TableStatusBar::Rebuild:
        ShowPosition(window_.pbRebuild, shown);
        break;
    }
}

} // namespace ui
