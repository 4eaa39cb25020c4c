#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace paradox {

// Whether the first bytes of a file named like a table show a file that no Paradox level
// writes (another program's database, a thumbnail cache): its file type, block size code and
// header size all outside every value a level writes. Damage seldom changes all three of them,
// so a damaged table is not taken for such a file; one too short to hold them is not either.
bool IsForeignFileStart(std::span<const std::uint8_t> start);

// The same for the file on disk; false when it cannot be read, and false when an index or blob
// file of its family lies beside it (a table whose header start was wiped is still a table, for
// the structure salvage to take up).
bool IsForeignFile(const std::filesystem::path& file);

} // namespace paradox
