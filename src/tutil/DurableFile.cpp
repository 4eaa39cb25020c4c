#include "tutil/DurableFile.h"

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace tutil {
namespace {

std::uint64_t crashAt = 0;
std::uint64_t crashPointsPassed = 0;
bool skipFlushes = false;

[[noreturn]] void ThrowSystemError(const char* what, const std::filesystem::path& file) {
    throw std::system_error(errno, std::generic_category(),
                            std::string(what) + " " + file.string());
}

// An open file descriptor, closed on scope exit.
class Fd {
public:
    Fd(int dir, const std::filesystem::path& path, int flags, const std::filesystem::path& shown)
        : fd_(::openat(dir, path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW, 0644)) {
        if (fd_ < 0) {
            ThrowSystemError((flags & O_CREAT) != 0 ? "cannot create" : "cannot open", shown);
        }
    }
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

constexpr int kCreate = O_WRONLY | O_CREAT | O_EXCL;

void WriteAll(const Fd& fd, const std::uint8_t* data, std::size_t size,
              const std::filesystem::path& path) {
    while (size > 0) {
        const ssize_t n = ::write(fd.get(), data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ThrowSystemError("cannot write", path);
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

// Refuses a FIFO, device or directory before anything is read from it (a read would hang or
// mean nothing).
void RequireRegularFile(const Fd& fd, const std::filesystem::path& path) {
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        ThrowSystemError("cannot examine", path);
    }
    if (!S_ISREG(info.st_mode)) {
        errno = EINVAL;
        ThrowSystemError("not a regular file:", path);
    }
}

void Sync(const Fd& fd, const std::filesystem::path& path) {
    if (!skipFlushes && ::fsync(fd.get()) != 0) {
        ThrowSystemError("cannot flush", path);
    }
}

} // namespace

void CrashPoint() {
    ++crashPointsPassed;
    if (crashAt != 0 && crashPointsPassed == crashAt) {
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
void SkipFlushes(bool skip) {
    skipFlushes = skip;
}
bool FlushesSkipped() {
    return skipFlushes;
}
} // namespace testing

void CopyFileDurably(const std::filesystem::path& from, const DirHandle& dir,
                     const std::string& to) {
    constexpr std::size_t kChunk = 1 << 20;
    const std::filesystem::path shown = dir.Path() / to;
    Fd in(AT_FDCWD, from, O_RDONLY | O_NONBLOCK | O_NOCTTY, from);
    RequireRegularFile(in, from);
    Fd out(dir.Fd(), to, kCreate, shown);
    CrashPoint();
    // The kernel copies without the data passing through this process where it can.
    bool kernelCopy = true;
    for (;;) {
        const ssize_t n = ::copy_file_range(in.get(), nullptr, out.get(), nullptr, 8 * kChunk, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
                const int error = errno;
                throw std::system_error(error, std::generic_category(),
                                        "cannot copy " + from.string() + " to " + shown.string());
            }
            kernelCopy = false; // plain reads go on from where the file offsets stand
            break;
        }
        if (n == 0) {
            break;
        }
        CrashPoint();
    }
    std::vector<std::uint8_t> buffer(kernelCopy ? 0 : kChunk);
    while (!kernelCopy) {
        const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ThrowSystemError("cannot read", from);
        }
        if (n == 0) {
            break;
        }
        WriteAll(out, buffer.data(), static_cast<std::size_t>(n), shown);
        CrashPoint();
    }
    Sync(out, shown);
    CrashPoint();
}

void WriteFileDurably(const DirHandle& dir, const std::string& to, std::string_view bytes) {
    const std::filesystem::path shown = dir.Path() / to;
    Fd out(dir.Fd(), to, kCreate, shown);
    CrashPoint();
    WriteAll(out, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), shown);
    Sync(out, shown);
    CrashPoint();
}

void SyncDirectory(const DirHandle& dir) {
    if (!skipFlushes && ::fsync(dir.Fd()) != 0) {
        ThrowSystemError("cannot flush", dir.Path());
    }
    CrashPoint();
}

void RenameFile(const DirHandle& fromDir, const std::string& from, const DirHandle& toDir,
                const std::string& to) {
    if (::renameat(fromDir.Fd(), from.c_str(), toDir.Fd(), to.c_str()) != 0) {
        ThrowSystemError("cannot rename", fromDir.Path() / from);
    }
    CrashPoint();
}

void RenameFileNoReplace(const DirHandle& fromDir, const std::string& from, const DirHandle& toDir,
                         const std::string& to) {
    if (::renameat2(fromDir.Fd(), from.c_str(), toDir.Fd(), to.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno != EINVAL && errno != ENOSYS) {
            ThrowSystemError("cannot rename", fromDir.Path() / from);
        }
        // A file system without the flag: look first (the table's lock keeps other rebuilds
        // of this table away).
        struct stat existing {};
        if (::fstatat(toDir.Fd(), to.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
            errno = EEXIST;
            ThrowSystemError("cannot rename onto existing", toDir.Path() / to);
        }
        if (::renameat(fromDir.Fd(), from.c_str(), toDir.Fd(), to.c_str()) != 0) {
            ThrowSystemError("cannot rename", fromDir.Path() / from);
        }
    }
    CrashPoint();
}

void RemoveFileIfPresent(const DirHandle& dir, const std::string& name) {
    if (::unlinkat(dir.Fd(), name.c_str(), 0) != 0 && errno != ENOENT) {
        ThrowSystemError("cannot remove", dir.Path() / name);
    }
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
    if (::unlinkat(dir.Fd(), name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
        ThrowSystemError("cannot remove", dir.Path() / name);
    }
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
    if (::unlinkat(dir.Fd(), name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
        ThrowSystemError("cannot remove", dir.Path() / name);
    }
    CrashPoint();
}

} // namespace tutil
