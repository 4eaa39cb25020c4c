#pragma once

#include "paradox/Finding.h"
#include "paradox/Header.h"
#include "paradox/MappedFile.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace engine {

// Maps a family member and parses its header in full. Gives err::TableMissing when the file
// does not exist, err::IoError when it cannot be read, err::NotATable when it is no table
// file, `damageCode` when the header has a damage finding (message: the first of them).
std::uint16_t ReadCheckedHeader(const std::filesystem::path& path, std::uint16_t missingCode,
                                std::uint16_t damageCode, std::optional<paradox::MappedFile>& file,
                                std::optional<paradox::TableHeader>& header);

// The .DB's header: as above with err::TableMissing / err::HeaderCorrupt, and the file must
// be a table (keyed or not).
std::uint16_t ReadTableHeader(const std::filesystem::path& db,
                              std::optional<paradox::MappedFile>& file,
                              std::optional<paradox::TableHeader>& header);

// The .DB file against its parsed header: the file holds the blocks the header counts, and
// the start of the block chain (all of a small table) and its tail agree with the header.
// err::TableTruncated or err::TableCorrupt with the first damage found. Its cost does not
// grow with the table's data.
std::uint16_t CheckTableFile(const std::filesystem::path& db, const paradox::MappedFile& file,
                             const paradox::TableHeader& header);

} // namespace engine
