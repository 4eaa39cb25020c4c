#pragma once

#include <filesystem>
#include <string_view>

namespace posix {

// Throws std::system_error carrying `error` (an errno value) with the text "<what> <file>", so
// that callers can tell a full disk from other failures.
[[noreturn]] void ThrowSystemError(int error, std::string_view what,
                                   const std::filesystem::path& file);

} // namespace posix
