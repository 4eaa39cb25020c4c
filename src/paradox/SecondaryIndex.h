#pragma once

#include "paradox/Finding.h"
#include "paradox/Header.h"
#include "paradox/Schema.h"
#include "paradox/TableReader.h"

#include <filesystem>
#include <string>

namespace paradox {

// Checks a secondary index: the X file as a table of its own, the Y file as the index of the
// X file, the X header against the table, and for a maintained index every X record against
// the table record it points at. A non-maintained index that is merely stale is not damage.
// yFile may be empty when the Y file is missing (reported).
void CheckSecondaryIndex(const TableReader& table, const std::filesystem::path& xFile,
                         const std::filesystem::path& yFile, FindingList& findings);

// The definition of a secondary index as stored in its X file's header, so that a rebuild
// can reproduce it. `extension` is the X file's extension ("X02", "XG0", any case).
SecondaryIndexSpec ReadSecondaryIndexSpec(const TableHeader& xHeader, const std::string& extension,
                                          const TableSchema& table);

// Number of leading X fields that are the indexed table fields (the rest are the table's key
// fields and the block number, or the record number, block number and offset of an unkeyed
// table).
std::size_t SecondaryFieldCount(const TableHeader& xHeader, const TableHeader& table);

} // namespace paradox
