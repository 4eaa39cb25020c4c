#pragma once

#include "paradox/Finding.h"
#include "paradox/Header.h"
#include "paradox/TableReader.h"

#include <string>

namespace paradox {

// Shared by the primary index (.PX over a .DB) and the index of a secondary index (.Ynn/.YGn
// over its .Xnn/.XGn): both are B-trees whose leaf entries point at the data file's blocks.

// Header-only consistency of an index with the file it indexes. True when the index's key
// fields are those of the data file, so that its tree can be walked against it.
bool CheckIndexAgainstData(const TableHeader& data, const TableHeader& index,
                           const std::string& indexFile, FindingList& findings);

// Walks the tree from its root and checks it entry by entry against the data file's chain.
void CheckIndexTree(const TableReader& data, const TableReader& index, FindingList& findings);

// Index entries end in three key-sortable 16-bit numbers: child block, statistic, unused.
inline std::uint16_t IndexWord(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(((p[0] << 8) | p[1]) ^ 0x8000);
}

} // namespace paradox
