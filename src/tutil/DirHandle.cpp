#include "tutil/DirHandle.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace tutil {

DirHandle DirHandle::Open(const std::filesystem::path& dir) {
    const std::filesystem::path path = dir.empty() ? std::filesystem::path(".") : dir;
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(), "cannot open " + path.string());
    }
    return DirHandle(fd, path);
}

DirHandle DirHandle::OpenChild(const DirHandle& parent, const std::string& name) {
    const int fd =
        ::openat(parent.fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(),
                                "cannot open " + (parent.path_ / name).string());
    }
    return DirHandle(fd, parent.path_ / name);
}

DirHandle::~DirHandle() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

DirHandle::DirHandle(DirHandle&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

DirHandle& DirHandle::operator=(DirHandle&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

std::filesystem::path DirHandle::PinnedPath() const {
    const std::filesystem::path pinned = "/proc/self/fd/" + std::to_string(fd_);
    struct stat viaProc {};
    struct stat viaFd {};
    if (::stat(pinned.c_str(), &viaProc) == 0 && ::fstat(fd_, &viaFd) == 0 &&
        viaProc.st_dev == viaFd.st_dev && viaProc.st_ino == viaFd.st_ino) {
        return pinned;
    }
    return path_;
}

} // namespace tutil
