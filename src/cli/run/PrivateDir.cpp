#include "cli/run/PrivateDir.h"

#include "engine/FileNames.h"
#include "posix/Durability.h"
#include "repair/PrivateDir.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace cli {
namespace {

// Makes `dir` (mode 0700) unless it exists; true when it is then a real folder of this user.
bool MakeOwnFolder(const std::filesystem::path& dir) {
    if (const int error = posix::TryMakeFolderAt(AT_FDCWD, dir, 0700, dir);
        error != 0 && error != EEXIST) {
        return false;
    }
    struct stat info {};
    return ::lstat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
}

// The run folder's lock file, created when missing and locked exclusively without waiting; a
// closed descriptor when another run holds it (or it cannot be opened or is a link). A file
// inside the folder, not the folder itself: the utility locks that while it writes an error
// table.
posix::FileDescriptor LockRunFolder(const std::filesystem::path& dir) {
    const std::filesystem::path held = dir / engine::kRunFolderLockName;
    posix::FileDescriptor fd(
        ::open(held.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600));
    if (fd.IsOpen() && ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        return {};
    }
    return fd;
}

// Removes the run folders no running run holds.
void RemoveAbandonedRunFolders(const std::filesystem::path& priv) {
    std::error_code ec;
    std::vector<std::filesystem::path> abandoned;
    for (auto it = std::filesystem::directory_iterator(priv, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (engine::IsRunFolderName(name) && !it->is_symlink(ec) && it->is_directory(ec) &&
            LockRunFolder(it->path()).IsOpen()) {
            abandoned.push_back(it->path());
        }
    }
    for (const auto& dir : abandoned) {
        std::filesystem::remove_all(dir, ec);
    }
}

} // namespace

std::string BatchPrivateDir() {
    const std::filesystem::path mendrix = repair::UserStateFolder();
    if (mendrix.empty()) {
        return {};
    }
    std::error_code ec;
    std::filesystem::create_directories(mendrix.parent_path(), ec); // the user's own
    const std::filesystem::path priv = engine::PrivateDirectoryIn(mendrix);
    if (!MakeOwnFolder(mendrix) || !MakeOwnFolder(priv)) {
        return {};
    }
    return priv.string();
}

RunPrivateDir::RunPrivateDir() {
    const std::string priv = BatchPrivateDir();
    if (priv.empty()) {
        return;
    }
    // Made and locked under the lock of the folder that holds them, so that no run takes
    // another's new folder for an abandoned one.
    const posix::FileDescriptor parent = posix::TryOpen(priv, O_RDONLY | O_DIRECTORY);
    if (!parent.IsOpen() || ::flock(parent.Get(), LOCK_EX) != 0) {
        return;
    }
    RemoveAbandonedRunFolders(priv);
    std::string pattern = (std::filesystem::path(priv) / engine::RunFolderPattern()).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return;
    }
    held_ = LockRunFolder(pattern);
    if (!held_.IsOpen()) {
        std::error_code ignored;
        std::filesystem::remove(pattern, ignored);
        return;
    }
    path_ = pattern;
}

RunPrivateDir::~RunPrivateDir() {
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

} // namespace cli
