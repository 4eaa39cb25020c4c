#include "tutil/DirHandle.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace tutil {

DirHandle DirHandle::Open(const std::filesystem::path& dir) {
    const std::filesystem::path path = dir.empty() ? std::filesystem::path(".") : dir;
    return DirHandle(posix::OpenDirectory(path), path);
}

DirHandle DirHandle::OpenChild(const DirHandle& parent, const std::string& name) {
    const std::filesystem::path shown = parent.path_ / name;
    return DirHandle(
        posix::OpenAt(parent.Fd(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW, 0, shown), shown);
}

std::filesystem::path DirHandle::PinnedPath() const {
    const std::filesystem::path pinned = "/proc/self/fd/" + std::to_string(Fd());
    struct stat viaProc {};
    struct stat viaFd {};
    if (::stat(pinned.c_str(), &viaProc) == 0 && ::fstat(Fd(), &viaFd) == 0 &&
        viaProc.st_dev == viaFd.st_dev && viaProc.st_ino == viaFd.st_ino) {
        return pinned;
    }
    return path_;
}

} // namespace tutil
