#pragma once

#include <cstdint>
#include <filesystem>

namespace posix {

// Asks the kernel to start reading the first `most` bytes of `file` into the page cache and
// returns without waiting for them, so that a later read finds them there. Nothing happens
// when the file cannot be opened; a hint, never an error.
void ReadAhead(const std::filesystem::path& file, std::uint64_t most);

} // namespace posix
