#include "repair/PrivateDir.h"

#include "engine/FileNames.h"
#include "posix/Durability.h"

#include <cstdlib>
#include <fcntl.h>
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

std::filesystem::path UserStateFolder() {
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && *xdg == '/') {
        return std::filesystem::path(xdg) / "mendrix";
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
        return std::filesystem::path(home) / ".local" / "state" / "mendrix";
    }
    return {};
}

std::filesystem::path ProgramStateFolder(const std::filesystem::path& programDirectory) {
    const std::filesystem::path priv = engine::PrivateDirectoryIn(programDirectory);
    std::error_code ec;
    const auto type = std::filesystem::status(priv, ec).type();
    if (type != std::filesystem::file_type::not_found &&
        type != std::filesystem::file_type::directory) {
        return programDirectory; // not a matter of permissions: its user is told as before
    }
    const bool exists = type == std::filesystem::file_type::directory;
    if (::access((exists ? priv : programDirectory).c_str(), W_OK | X_OK) == 0) {
        return programDirectory;
    }
    const std::filesystem::path state = UserStateFolder();
    if (state.empty()) {
        return programDirectory; // nowhere else: the failure names the program's folder
    }
    std::filesystem::create_directories(state.parent_path(), ec);
    // A failure here shows when the folder is made current.
    (void)posix::TryMakeFolderAt(AT_FDCWD, state, 0700, state);
    return state;
}

PrivateDirOutcome PreparePrivateDirectory(const std::filesystem::path& privateDirectory) {
    if (::chdir(privateDirectory.c_str()) == 0) {
        return PrivateDirOutcome::MadeCurrent;
    }
    if (posix::TryMakeFolderAt(AT_FDCWD, privateDirectory, 0777, privateDirectory) == 0) {
        return PrivateDirOutcome::Created;
    }
    return PrivateDirOutcome::Failed;
}

} // namespace repair
