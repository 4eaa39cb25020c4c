#include "repair/LogFile.h"

#include "posix/Durability.h"
#include "posix/FileDescriptor.h"
#include "posix/FileIo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace repair {
namespace {

std::string Reason(int error) {
    return std::strerror(error);
}

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& file, int error) {
    throw LogFileError(what + " " + file.string() + ": " + Reason(error));
}

// Runs `step`, turning a failure of the file layer into LogFileError "<what> <file>: <reason>".
template <typename Step>
void AsLogFileStep(const std::string& what, const std::filesystem::path& file, Step step) {
    try {
        step();
    } catch (const std::system_error& error) {
        Fail(what, file, error.code().value());
    }
}

// Removes the temporary file unless the save went through.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!kept_) {
            try {
                posix::RemoveAt(AT_FDCWD, path_, 0, path_);
            } catch (const std::system_error&) {
                // Left behind: the next save replaces it.
            }
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
    const posix::FileDescriptor fd = posix::TryOpen(file, O_RDONLY);
    if (!fd.IsOpen()) {
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
    posix::FileDescriptor fd(::mkstemp(pattern.data()));
    if (!fd.IsOpen()) {
        Fail("Could not save the run log", file, errno);
    }
    TemporaryFile temporary(pattern);
    if (::fchmod(fd.Get(), ModeFor(file)) != 0) {
        Fail("Could not save the run log", file, errno);
    }
    const std::string text = JoinLogLines(lines);
    AsLogFileStep("Could not write the run log", file, [&] {
        posix::WriteAll(fd.Get(), {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                        file);
    });
    AsLogFileStep("Could not save the run log", file, [&] {
        posix::Sync(fd.Get(), file);
        fd.Close(file);
        posix::Rename(temporary.Path(), file);
    });
    temporary.Keep();
    try {
        posix::SyncDirectory(posix::OpenDirectory(directory).Get(), directory);
    } catch (const std::system_error&) {
        // the rename is done; a failure to flush the folder cannot be undone
    }
}

void AppendLogLines(const std::filesystem::path& file, const LogLines& lines) {
    const LogFileLock lock(file);
    posix::FileDescriptor fd;
    AsLogFileStep("Could not write the run log", file, [&] {
        fd = posix::Open(file, O_WRONLY | O_APPEND | O_CREAT | O_NOCTTY, ModeFor(file));
    });
    const std::string text = JoinLogLines(lines);
    AsLogFileStep("Could not write the run log", file, [&] {
        posix::WriteAll(fd.Get(), {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                        file);
        fd.Close(file);
    });
}

std::filesystem::path LogFileLock::LockFileFor(const std::filesystem::path& logFile) {
    std::filesystem::path lock = logFile;
    lock += ".lock";
    return lock;
}

LogFileLock::LogFileLock(const std::filesystem::path& logFile) {
    const std::filesystem::path lockFile = LockFileFor(logFile);
    AsLogFileStep("Could not lock the run log", lockFile,
                  [&] { fd_ = posix::Open(lockFile, O_RDWR | O_CREAT, 0666); });
    while (::flock(fd_.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            Fail("Could not lock the run log", lockFile, errno);
        }
    }
} // closing the descriptor releases the lock

} // namespace repair
