#include "repair/LogFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace repair {
namespace {

std::string Reason(int error) {
    return std::strerror(error);
}

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& file, int error) {
    throw LogFileError(what + " " + file.string() + ": " + Reason(error));
}

// Closes a file descriptor when the scope ends.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd_; }
    // Closes now and reports the result (close can report a delayed write error).
    int Close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

// Removes the temporary file unless the save went through.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!kept_) {
            ::unlink(path_.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::string& Path() const { return path_; }
    void Keep() { kept_ = true; }

private:
    std::string path_;
    bool kept_ = false;
};

void WriteAll(int fd, const std::string& bytes, const std::filesystem::path& file) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("Could not write the run log", file, errno);
        }
        done += static_cast<std::size_t>(written);
    }
}

// The permissions the log should have: those of the file it replaces, else the usual ones
// for a new file.
mode_t ModeFor(const std::filesystem::path& file) {
    struct stat existing {};
    if (::stat(file.c_str(), &existing) == 0) {
        return existing.st_mode & 07777;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

void SyncDirectory(const std::filesystem::path& directory) {
    const FileDescriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) {
        ::fsync(dir.Get()); // the rename is done; a failure here cannot be undone
    }
}

} // namespace

LogLines SplitLogLines(std::string_view text) {
    LogLines lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') {
            continue;
        }
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
        }
        start = i + 1;
    }
    if (start < text.size()) {
        lines.emplace_back(text.substr(start));
    }
    return lines;
}

std::string JoinLogLines(const LogLines& lines) {
    std::size_t size = 0;
    for (const auto& line : lines) {
        size += line.size() + 2;
    }
    std::string text;
    text.reserve(size);
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

LogLines ReadLogFile(const std::filesystem::path& file) {
    const FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        Fail("Could not read the run log", file, errno);
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) {
        Fail("Could not read the run log", file, errno);
    }
    if (S_ISDIR(info.st_mode)) {
        Fail("Could not read the run log", file, EISDIR);
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("Could not read the run log", file, errno);
        }
        if (got == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return SplitLogLines(text);
}

void WriteLogFileAtomically(const std::filesystem::path& file, const LogLines& lines) {
    const std::filesystem::path directory =
        file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    std::string pattern = (directory / (file.filename().string() + ".tmp-XXXXXX")).string();
    const int rawFd = ::mkstemp(pattern.data());
    if (rawFd < 0) {
        Fail("Could not save the run log", file, errno);
    }
    FileDescriptor fd(rawFd);
    TemporaryFile temporary(pattern);
    if (::fchmod(fd.Get(), ModeFor(file)) != 0) {
        Fail("Could not save the run log", file, errno);
    }
    WriteAll(fd.Get(), JoinLogLines(lines), file);
    if (::fsync(fd.Get()) != 0) {
        Fail("Could not save the run log", file, errno);
    }
    if (fd.Close() != 0) {
        Fail("Could not save the run log", file, errno);
    }
    if (::rename(temporary.Path().c_str(), file.c_str()) != 0) {
        Fail("Could not save the run log", file, errno);
    }
    temporary.Keep();
    SyncDirectory(directory);
}

std::filesystem::path LogFileLock::LockFileFor(const std::filesystem::path& logFile) {
    std::filesystem::path lock = logFile;
    lock += ".lock";
    return lock;
}

LogFileLock::LogFileLock(const std::filesystem::path& logFile) {
    const std::filesystem::path lockFile = LockFileFor(logFile);
    fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        Fail("Could not lock the run log", lockFile, errno);
    }
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            const int error = errno;
            ::close(fd_);
            Fail("Could not lock the run log", lockFile, error);
        }
    }
}

LogFileLock::~LogFileLock() {
    ::close(fd_);
} // closing releases the lock

} // namespace repair
