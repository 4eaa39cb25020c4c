#include "repair/PrivateDir.h"

#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace repair {

std::filesystem::path ExecutableDirectory() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::filesystem::current_path();
    }
    return self.parent_path();
}

PrivateDirOutcome PreparePrivateDirectory(const std::filesystem::path& privateDirectory) {
    if (::chdir(privateDirectory.c_str()) == 0) {
        return PrivateDirOutcome::MadeCurrent;
    }
    if (::mkdir(privateDirectory.c_str(), 0777) == 0) {
        return PrivateDirOutcome::Created;
    }
    return PrivateDirOutcome::Failed;
}

} // namespace repair
