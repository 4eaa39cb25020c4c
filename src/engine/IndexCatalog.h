#pragma once

#include "paradox/Family.h"
#include "paradox/Header.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// One index of a table as the engine offers it.
struct IndexDefinition {
    std::string name;   // "Primary", a field name, or a composite index's label
    std::string fields; // indexed field names joined by ";"
    bool primary = false;
    std::string extension;          // "PX", "X02", "XG0"
    std::filesystem::path file;     // the .PX, or the secondary's .Xnn/.XGn
    std::filesystem::path treeFile; // the secondary's .Ynn/.YGn (empty when missing)
};

inline constexpr std::string_view kPrimaryIndexName = "Primary";

// The primary index of a keyed table (its key fields and .PX); reads no index file.
IndexDefinition PrimaryIndexDefinition(const paradox::TableHeader& table,
                                       const paradox::TableFamily& family);

// The indexes of a table from its parsed header and family: the primary index when the
// table is keyed, then each secondary index (.Xnn/.XGn file) in file-name order. Names are
// unique without regard to case; a repeated name gets the file extension added.
std::vector<IndexDefinition> ListIndexes(const paradox::TableHeader& table,
                                         const paradox::TableFamily& family);

// Reads a table's header, checks its file against it as an open does (CheckTableFile) and
// lists its indexes. err::HeaderCorrupt (or TableMissing, NotATable, TableCorrupt,
// TableTruncated) when the table's structure cannot be read or its file does not match it.
std::uint16_t ReadIndexDefinitions(const std::filesystem::path& db,
                                   std::vector<IndexDefinition>& out);

// Finds an index by name or by file extension, without regard to case.
const IndexDefinition* FindIndex(const std::vector<IndexDefinition>& indexes,
                                 std::string_view name);

} // namespace engine
