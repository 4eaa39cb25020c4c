#pragma once

#include "repair/RunLog.h"
#include "ui/DBRepairInfo.h"

#include <QMdiArea>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace app {

// What the repair window may use of the main frame: its client area, the run log and the
// private directory. The frame owns all three and outlives the window.
class RepairWindowHost : public ui::RepairWindowOwner {
public:
    RepairWindowHost(QMdiArea& area, repair::RunLog& runLog,
                     const std::filesystem::path& privateDirectory);

    QMdiArea& RepairWindowArea() override;
    void AddRunLogLine(const std::string& line) override;
    const std::filesystem::path& SessionPrivateDirectory() const override;
    void RunEnded(std::shared_ptr<const ui::RunRecord> run) noexcept override;

    // The tables of the last run that ended, null before the first; kept when the repair
    // window closes.
    std::shared_ptr<const ui::RunRecord> LastRun() const { return lastRun_; }
    // Called after a run has ended.
    std::function<void()> onRunEnded;

private:
    QMdiArea& area_;
    repair::RunLog& runLog_;
    const std::filesystem::path& privateDirectory_;
    std::shared_ptr<const ui::RunRecord> lastRun_;
};

} // namespace app
