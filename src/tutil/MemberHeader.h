#pragma once

#include "paradox/Family.h"
#include "paradox/HeaderOwnership.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>

namespace tutil {

// What a rebuild keeps of each index file it replaces, read from that file's header. Both are
// nullopt when the file does not exist or its header cannot be read.

// Block size code of a family member (.PX, .Ynn, .YGn) as its header states it, when the code
// is one the format allows. A rebuild keeps each index file's own block size, which may differ
// from the table's.
std::optional<std::uint8_t> MemberBlockSizeCode(const std::filesystem::path& file);

// The key value an index file of the family (.PX, .Xnn/.XGn, .Ynn/.YGn) stores, read from the
// field the reader decrypts it with (0 = stored plain); nullopt too when the file is not an
// index file. A rebuild gives each new index the key of the one it replaces.
std::optional<std::uint32_t> MemberKeyValue(const std::filesystem::path& file);

// The header bytes a rebuild keeps of each file of `family` it replaces, by upper-case
// extension (see paradox::TableWriter's WriteOptions::keptHeaders): the .DB's from `table`,
// the header it was read with (nullptr when its structure came from another source: then
// nothing of it is kept), each index file's as read from that file when it parses as one.
std::map<std::string, paradox::KeptHeader> KeptFamilyHeaders(const paradox::TableFamily& family,
                                                             const paradox::TableHeader* table);

} // namespace tutil
