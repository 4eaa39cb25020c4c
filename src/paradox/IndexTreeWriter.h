#pragma once

#include "paradox/BlockChainWriter.h"
#include "paradox/HeaderLayout.h"

#include <filesystem>

namespace paradox {

// Writes a primary-index file (.PX, or the .Ynn/.YGn of an X file) over the blocks of a
// data file: one level-1 entry per data block, then as many levels above as it takes to
// end in a single root. The root is block 1, each level follows the one above it, and every
// block is on one chain in block-number order. `header` supplies everything but the counts.
// Returns the number of levels.
std::uint8_t WriteIndexTree(const std::filesystem::path& path, HeaderContent header,
                            const BlockEntries& level1, bool sync);

} // namespace paradox
