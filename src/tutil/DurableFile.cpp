#include "tutil/DurableFile.h"

#include "posix/Durability.h"
#include "posix/FileDescriptor.h"
#include "posix/FileIo.h"
#include "posix/SystemError.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <span>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tutil {
namespace {

// Tables worked on at once pass crash points on several threads.
std::atomic<std::uint64_t> crashAt = 0;
std::atomic<std::uint64_t> crashPointsPassed = 0;

[[noreturn]] void ThrowSystemError(const char* what, const std::filesystem::path& file) {
    posix::ThrowSystemError(errno, what, file);
}

// Refuses a FIFO, device or directory before anything is read from it (a read would hang or
// mean nothing).
void RequireRegularFile(const posix::FileDescriptor& fd, const std::filesystem::path& path) {
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) {
        ThrowSystemError("cannot examine", path);
    }
    if (!S_ISREG(info.st_mode)) {
        errno = EINVAL;
        ThrowSystemError("not a regular file:", path);
    }
}

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

} // namespace

void CrashPoint() {
    const std::uint64_t passed = ++crashPointsPassed;
    const std::uint64_t at = crashAt;
    if (at != 0 && passed == at) {
        ::raise(SIGKILL);
    }
}

namespace testing {
void ArmCrashAt(std::uint64_t n) {
    crashAt = n == 0 ? 0 : crashPointsPassed + n;
}
std::uint64_t CrashPointsPassed() {
    return crashPointsPassed;
}
} // namespace testing

void CopyFileDurably(const std::filesystem::path& from, const DirHandle& dir,
                     const std::string& to) {
    constexpr std::size_t kChunk = 1 << 20;
    const std::filesystem::path shown = dir.Path() / to;
    const posix::FileDescriptor in =
        posix::OpenAt(AT_FDCWD, from, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW, 0, from);
    RequireRegularFile(in, from);
    const posix::FileDescriptor out = posix::CreateNewAt(dir.Fd(), to, O_WRONLY, 0644, shown);
    CrashPoint();
    if (posix::CloneFile(in.Get(), out.Get(), shown)) {
        posix::Sync(out.Get(), shown);
        CrashPoint();
        return;
    }
    // The kernel copies without the data passing through this process where it can; what is
    // copied goes on to the disk meanwhile, so that the flush at the end has little left to do.
    bool kernelCopy = true;
    std::uint64_t copied = 0;
    for (;;) {
        const ssize_t n = posix::CopyFileRange(in.Get(), out.Get(), 8 * kChunk, shown);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
                posix::ThrowSystemError(errno, "cannot copy " + from.string() + " to", shown);
            }
            kernelCopy = false; // plain reads go on from where the file offsets stand
            break;
        }
        if (n == 0) {
            break;
        }
        posix::StartWriteBack(out.Get(), copied, static_cast<std::uint64_t>(n));
        copied += static_cast<std::uint64_t>(n);
        CrashPoint();
    }
    std::vector<std::uint8_t> buffer(kernelCopy ? 0 : kChunk);
    while (!kernelCopy) {
        const ssize_t n = ::read(in.Get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ThrowSystemError("cannot read", from);
        }
        if (n == 0) {
            break;
        }
        posix::WriteAll(out.Get(), {buffer.data(), static_cast<std::size_t>(n)}, shown);
        CrashPoint();
    }
    posix::Sync(out.Get(), shown);
    CrashPoint();
}

void WriteFileDurably(const DirHandle& dir, const std::string& to, std::string_view bytes) {
    const std::filesystem::path shown = dir.Path() / to;
    const posix::FileDescriptor out = posix::CreateNewAt(dir.Fd(), to, O_WRONLY, 0644, shown);
    CrashPoint();
    posix::WriteAll(out.Get(), Bytes(bytes), shown);
    posix::Sync(out.Get(), shown);
    CrashPoint();
}

void SyncDirectory(const DirHandle& dir) {
    posix::SyncDirectory(dir.Fd(), dir.Path());
    CrashPoint();
}

void RenameFile(const DirHandle& fromDir, const std::string& from, const DirHandle& toDir,
                const std::string& to) {
    posix::RenameAt(fromDir.Fd(), from, toDir.Fd(), to, fromDir.Path() / from);
    CrashPoint();
}

void RenameFileNoReplace(const DirHandle& fromDir, const std::string& from, const DirHandle& toDir,
                         const std::string& to) {
    posix::RenameAtNoReplace(fromDir.Fd(), from, toDir.Fd(), to, fromDir.Path() / from,
                             toDir.Path() / to);
    CrashPoint();
}

void RemoveFileIfPresent(const DirHandle& dir, const std::string& name) {
    posix::RemoveAt(dir.Fd(), name, 0, dir.Path() / name);
    CrashPoint();
}

void MakeFolder(const DirHandle& dir, const std::string& name, mode_t mode) {
    posix::MakeFolderAt(dir.Fd(), name, mode, dir.Path() / name);
    CrashPoint();
}

void TakeOwnerAndMode(const DirHandle& dir, const std::string& name, const struct stat& original) {
    const std::filesystem::path shown = dir.Path() / name;
    const posix::FileDescriptor fd =
        posix::OpenAt(dir.Fd(), name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW, 0, shown);
    RequireRegularFile(fd, shown);
    mode_t mode = original.st_mode & 0777;
    if (::fchown(fd.Get(), original.st_uid, original.st_gid) != 0 &&
        ::fchown(fd.Get(), static_cast<uid_t>(-1), original.st_gid) != 0) {
        mode &= ~static_cast<mode_t>(070); // another group than the original's: none of its rights
    }
    if (::fchmod(fd.Get(), mode) != 0) {
        ThrowSystemError("cannot set the permissions of", shown);
    }
    posix::Sync(fd.Get(), shown);
    CrashPoint();
}

void EmptyFolder(const DirHandle& folder) {
    const int listFd = ::dup(folder.Fd());
    if (listFd < 0) {
        ThrowSystemError("cannot list", folder.Path());
    }
    DIR* list = ::fdopendir(listFd);
    if (list == nullptr) {
        ::close(listFd);
        ThrowSystemError("cannot list", folder.Path());
    }
    ::rewinddir(list);
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(list)) {
        const std::string entryName = entry->d_name;
        if (entryName != "." && entryName != "..") {
            names.push_back(entryName);
        }
    }
    ::closedir(list);
    for (const std::string& entryName : names) {
        RemoveFileIfPresent(folder, entryName);
    }
}

void RemoveFolderIfPresent(const DirHandle& dir, const std::string& name) {
    struct stat info {};
    if (::fstatat(dir.Fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) {
            return;
        }
        ThrowSystemError("cannot look at", dir.Path() / name);
    }
    EmptyFolder(DirHandle::OpenChild(dir, name));
    posix::RemoveAt(dir.Fd(), name, AT_REMOVEDIR, dir.Path() / name);
    CrashPoint();
}

void RemoveOpenFolder(const DirHandle& dir, const std::string& name, const DirHandle& folder) {
    EmptyFolder(folder);
    struct stat byName {};
    struct stat opened {};
    if (::fstatat(dir.Fd(), name.c_str(), &byName, AT_SYMLINK_NOFOLLOW) != 0 ||
        ::fstat(folder.Fd(), &opened) != 0 || byName.st_dev != opened.st_dev ||
        byName.st_ino != opened.st_ino) {
        return; // the name no longer leads to this folder: leave whatever it is alone
    }
    posix::RemoveAt(dir.Fd(), name, AT_REMOVEDIR, dir.Path() / name);
    CrashPoint();
}

} // namespace tutil
