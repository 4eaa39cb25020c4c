#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace tutil {

// Block size code of a family member (.PX, .Ynn, .YGn) as its header states it, when the
// file exists, its header can be read and the code is one the format allows. A rebuild keeps
// each index file's own block size, which may differ from the table's.
std::optional<std::uint8_t> MemberBlockSizeCode(const std::filesystem::path& file);

} // namespace tutil
