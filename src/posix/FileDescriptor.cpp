#include "posix/FileDescriptor.h"

#include "posix/SystemError.h"
#include "posix/testing/Recording.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace posix {

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)) {}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void FileDescriptor::Close(const std::filesystem::path& shown) {
    if (::close(std::exchange(fd_, -1)) != 0) {
        ThrowSystemError(errno, "cannot close", shown);
    }
}

namespace {

// Notes the file an open made, or the truncation it did.
void RecordOpen(int dir, const std::filesystem::path& name, int flags, bool existed, int fd) {
    if (!existed) {
        RecordedOperation create = detail::OnName(RecordedKind::Create, dir, name);
        create.inode = detail::InodeOf(fd);
        detail::Record(std::move(create));
    } else if ((flags & O_TRUNC) != 0 && (flags & O_ACCMODE) != O_RDONLY) {
        detail::Record(detail::OnDescriptor(RecordedKind::Truncate, fd)); // to size 0
    }
}

} // namespace

FileDescriptor OpenAt(int dir, const std::filesystem::path& name, int flags, mode_t mode,
                      const std::filesystem::path& shown) {
    const bool recorded = detail::Recording() && (flags & (O_CREAT | O_TRUNC)) != 0;
    const bool existed = recorded && detail::InodeAt(dir, name) != 0;
    FileDescriptor fd(::openat(dir, name.c_str(), flags | O_CLOEXEC, mode));
    if (!fd.IsOpen()) {
        ThrowSystemError(errno, (flags & O_CREAT) != 0 ? "cannot create" : "cannot open", shown);
    }
    if (recorded) {
        RecordOpen(dir, name, flags, existed, fd.Get());
    }
    return fd;
}

FileDescriptor Open(const std::filesystem::path& path, int flags, mode_t mode) {
    return OpenAt(AT_FDCWD, path, flags, mode, path);
}

FileDescriptor TryOpen(const std::filesystem::path& path, int flags) {
    return FileDescriptor(::open(path.c_str(), flags | O_CLOEXEC));
}

FileDescriptor CreateNewAt(int dir, const std::filesystem::path& name, int access, mode_t mode,
                           const std::filesystem::path& shown) {
    return OpenAt(dir, name, access | O_CREAT | O_EXCL | O_NOFOLLOW, mode, shown);
}

FileDescriptor CreateNew(const std::filesystem::path& path, int access, mode_t mode) {
    return CreateNewAt(AT_FDCWD, path, access, mode, path);
}

FileDescriptor OpenDirectory(const std::filesystem::path& dir) {
    return Open(dir, O_RDONLY | O_DIRECTORY);
}

} // namespace posix
