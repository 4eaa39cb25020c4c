#include "app/RepairWindowHost.h"

namespace app {

RepairWindowHost::RepairWindowHost(QMdiArea& area, repair::RunLog& runLog,
                                   const std::filesystem::path& privateDirectory)
    : area_(area), runLog_(runLog), privateDirectory_(privateDirectory) {}

QMdiArea& RepairWindowHost::RepairWindowArea() {
    return area_;
}

void RepairWindowHost::AddRunLogLine(const std::string& line) {
    runLog_.Append(line);
}

const std::filesystem::path& RepairWindowHost::SessionPrivateDirectory() const {
    return privateDirectory_;
}

void RepairWindowHost::RunEnded(std::shared_ptr<const ui::RunRecord> run) noexcept {
    lastRun_ = std::move(run);
    if (onRunEnded) {
        onRunEnded();
    }
}

} // namespace app
