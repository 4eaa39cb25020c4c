#pragma once

#include "posix/FileDescriptor.h"

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace repair {

using LogLines = std::vector<std::string>;

// A run-log file that could not be read or written; the message names the file and the
// system's reason.
class LogFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Splits 8-bit text into lines. A line ends at CR, at LF or at CR LF; a last line without
// an end is still a line.
LogLines SplitLogLines(std::string_view text);

// The file form of the lines: every line, the last one included, followed by CR LF.
std::string JoinLogLines(const LogLines& lines);

// Reads the whole file as lines. Throws LogFileError when it cannot be read (a directory,
// an I/O error, no permission).
LogLines ReadLogFile(const std::filesystem::path& file);

// Replaces the file with the lines without ever leaving it half written: the lines go to a
// temporary file in the same directory, which is flushed to disk and then renamed over the
// file. On failure the old file is untouched and LogFileError is thrown.
void WriteLogFileAtomically(const std::filesystem::path& file, const LogLines& lines);

// Adds the lines at the end of the file (made when missing) under the file's lock
// (LogFileLock), each followed by CR LF. Throws LogFileError with the system's reason.
void AppendLogLines(const std::filesystem::path& file, const LogLines& lines);

// An exclusive lock that copies of the program take around the read-and-rewrite of a log
// file; it lives in a lock file beside the log. Blocks until the lock is granted.
class LogFileLock {
public:
    explicit LogFileLock(const std::filesystem::path& logFile);
    LogFileLock(const LogFileLock&) = delete;
    LogFileLock& operator=(const LogFileLock&) = delete;

    static std::filesystem::path LockFileFor(const std::filesystem::path& logFile);

private:
    posix::FileDescriptor fd_;
};

} // namespace repair
