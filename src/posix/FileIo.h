#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace posix {

// Whole-buffer reads and writes: retried after EINTR and short transfers; every failure throws
// std::system_error naming `shown` (EIO when the system makes no progress without an error).
void WriteAll(int fd, std::span<const std::uint8_t> bytes, const std::filesystem::path& shown);
void WriteAllAt(int fd, std::uint64_t offset, std::span<const std::uint8_t> bytes,
                const std::filesystem::path& shown);
// Reads exactly out.size() bytes; the end of the file before that is EIO.
void ReadAllAt(int fd, std::uint64_t offset, std::span<std::uint8_t> out,
               const std::filesystem::path& shown);

} // namespace posix
