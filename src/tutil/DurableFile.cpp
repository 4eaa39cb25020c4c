#include "tutil/DurableFile.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
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
    Fd(const std::filesystem::path& path, int flags, mode_t mode = 0644)
        : fd_(::open(path.c_str(), flags | O_CLOEXEC, mode)) {
        if (fd_ < 0) {
            ThrowSystemError("cannot open", path);
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

void CopyFileDurably(const std::filesystem::path& from, const std::filesystem::path& to) {
    constexpr std::size_t kChunk = 1 << 20;
    Fd in(from, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    RequireRegularFile(in, from);
    Fd out(to, O_WRONLY | O_CREAT | O_TRUNC);
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
                                        "cannot copy " + from.string() + " to " + to.string());
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
        WriteAll(out, buffer.data(), static_cast<std::size_t>(n), to);
        CrashPoint();
    }
    Sync(out, to);
    CrashPoint();
}

std::string ReadRegularFile(const std::filesystem::path& file, std::size_t limit) {
    Fd in(file, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
    RequireRegularFile(in, file);
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ThrowSystemError("cannot read", file);
        }
        if (n == 0) {
            return text;
        }
        if (text.size() + static_cast<std::size_t>(n) > limit) {
            errno = EFBIG;
            ThrowSystemError("too large to be ours:", file);
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

void WriteFileDurably(const std::filesystem::path& to, std::string_view bytes) {
    Fd out(to, O_WRONLY | O_CREAT | O_TRUNC);
    CrashPoint();
    WriteAll(out, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), to);
    Sync(out, to);
    CrashPoint();
}

void SyncFile(const std::filesystem::path& file) {
    Fd fd(file, O_RDONLY);
    Sync(fd, file);
}

void SyncDirectory(const std::filesystem::path& dir) {
    Fd fd(dir.empty() ? std::filesystem::path(".") : dir, O_RDONLY | O_DIRECTORY);
    Sync(fd, dir);
    CrashPoint();
}

void RenameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        ThrowSystemError("cannot rename", from);
    }
    CrashPoint();
}

void RemoveFileIfPresent(const std::filesystem::path& file) {
    if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
        ThrowSystemError("cannot remove", file);
    }
    CrashPoint();
}

} // namespace tutil
