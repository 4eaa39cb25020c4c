#include "cli/PrivateDir.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {
namespace {

// Makes `dir` (mode 0700) unless it exists; true when it is then a real folder of this user.
bool MakeOwnFolder(const std::filesystem::path& dir) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat info {};
    return ::lstat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
}

} // namespace

std::string BatchPrivateDir() {
    std::filesystem::path state;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && *xdg == '/') {
        state = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
        state = std::filesystem::path(home) / ".local" / "state";
    } else {
        return {};
    }
    std::error_code ec;
    std::filesystem::create_directories(state, ec); // the user's own, as other programs do
    const std::filesystem::path mendrix = state / "mendrix";
    const std::filesystem::path priv = mendrix / "priv";
    if (!MakeOwnFolder(mendrix) || !MakeOwnFolder(priv)) {
        return {};
    }
    return priv.string();
}

} // namespace cli
