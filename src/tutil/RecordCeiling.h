#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace tutil {

// The most records a table's files say it held, read from their raw bytes without the table
// reader's belief about the layout, so that a rebuild can tell records it could not read from
// records that never were.
struct RecordCeiling {
    std::uint64_t most = 0;                  // the largest of the counts below
    std::uint64_t headerCount = 0;           // 0x06, at most what the file's bytes can hold
    std::uint64_t staleHeaderCount = 0;      // 0x06 when overruled as stale (see the .cpp)
    std::uint64_t staleIndexCount = 0;       // the .PX's sum when overruled as out of date
    std::optional<std::uint64_t> indexCount; // leaf statistics of the .PX, when it reads whole
    std::uint64_t storedLayoutCount = 0;     // the chain under the stored header and block size
    std::uint32_t storedBlockSize = 0;       // 0 when the stored code is no block size
    std::uint64_t bestLayoutCount = 0;       // the chain under the layout that finds most
    std::uint32_t bestBlockSize = 0;
    std::uint32_t bestHeaderSize = 0;

    // "the header counts 20, the blocks hold 5 under 32 KB blocks, 20 under 2 KB blocks"
    std::string Describe() const;
};

// Reads `db` and its primary index `px` (empty path for none). Every number read is checked
// against the file's size; a file that cannot be read at all gives zeros.
RecordCeiling EstimateRecordCeiling(const std::filesystem::path& db,
                                    const std::filesystem::path& px);

} // namespace tutil
