#pragma once

#include "repair/RunLog.h"
#include "ui/DBRepairInfo.h"

#include <QMdiArea>
#include <filesystem>
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

private:
    QMdiArea& area_;
    repair::RunLog& runLog_;
    const std::filesystem::path& privateDirectory_;
};

} // namespace app
