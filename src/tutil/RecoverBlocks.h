#pragma once

#include "paradox/Finding.h"
#include "paradox/TableReader.h"

#include <cstdint>
#include <vector>

namespace tutil {

// A data block whose records a rebuild takes over.
struct BlockRecords {
    std::uint16_t block = 0;
    std::uint16_t count = 0;
};

// The blocks a rebuild reads, in order: the chain as far as it goes (without blocks that were
// wiped to zeros), then, when the chain is shorter than the header says, the blocks that are
// neither in the chain nor free and hold a plausible block header (following their own links
// where they have them). Never free blocks, never bytes past a block's last record.
// A chain block whose last-record offset is bogus holds, as the reader's facts say, the
// records before its first all-zero slot, and never more than the primary index's entry for
// it counts (`px`, may be null).
std::vector<BlockRecords> BlocksToRecover(const paradox::TableReader& reader,
                                          const paradox::TableReader* px,
                                          paradox::FindingList& findings);

} // namespace tutil
