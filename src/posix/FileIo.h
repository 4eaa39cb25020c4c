#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <sys/types.h>

namespace posix {

// Whole-buffer reads and writes: retried after EINTR and short transfers; every failure throws
// std::system_error naming `shown` (EIO when the system makes no progress without an error).
void WriteAll(int fd, std::span<const std::uint8_t> bytes, const std::filesystem::path& shown);
void WriteAllAt(int fd, std::uint64_t offset, std::span<const std::uint8_t> bytes,
                const std::filesystem::path& shown);
// copy_file_range(2) of up to `length` bytes from the file position of `from` to that of `to`,
// both moved on. Returns what the call does (the bytes copied, 0 at the end of `from`, or -1
// with errno set), so that a caller can fall back to reads and writes where the kernel cannot
// copy; a test's hook failing it throws like a write.
ssize_t CopyFileRange(int from, int to, std::uint64_t length, const std::filesystem::path& shown);
// Makes the empty new file `to` share every block of `from` (FICLONE) where the file system
// can: no data is copied, and a later write to either file gets blocks of its own. False, with
// `to` still empty, where it cannot; a test's hook failing it throws like a write.
bool CloneFile(int from, int to, const std::filesystem::path& shown);
// Reads exactly out.size() bytes; the end of the file before that is EIO.
void ReadAllAt(int fd, std::uint64_t offset, std::span<std::uint8_t> out,
               const std::filesystem::path& shown);

} // namespace posix
