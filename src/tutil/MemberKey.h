#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace tutil {

// The key value an index file of the family (.PX, .Xnn/.XGn, .Ynn/.YGn) stores in its header,
// read from the field the reader decrypts it with (0 = stored plain); nullopt when the file does
// not exist or its header cannot be read or is not an index file's. A rebuild gives each new index
// the key of the one it replaces.
std::optional<std::uint32_t> MemberKeyValue(const std::filesystem::path& file);

} // namespace tutil
