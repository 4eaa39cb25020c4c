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
// The file a new file replaces, open and mapped: stretches of the new file often repeat its
// bytes at the same offsets (a rebuilt table of a healthy one does, bar its headers).
struct SameOffsetSource {
    int fd = -1;
    std::span<const std::uint8_t> bytes; // the whole file
};
// WriteAllAt, except that where `source` holds exactly `bytes` at `offset` the kernel copies
// the whole 4 KB blocks of the stretch from there (copy_file_range(2), sharing the blocks
// where the file system can), so that the data does not pass through the page cache again;
// only the rest is written. Where the kernel cannot copy, or copies less (the source changed
// meanwhile), the bytes are written instead: the file gets `bytes` either way.
void WriteAllAtFrom(int fd, std::uint64_t offset, std::span<const std::uint8_t> bytes,
                    const SameOffsetSource& source, const std::filesystem::path& shown);
// Reads exactly out.size() bytes; the end of the file before that is EIO.
void ReadAllAt(int fd, std::uint64_t offset, std::span<std::uint8_t> out,
               const std::filesystem::path& shown);

} // namespace posix
