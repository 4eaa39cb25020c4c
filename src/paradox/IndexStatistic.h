#pragma once

#include "paradox/FindingDetail.h"

#include <cstdint>
#include <optional>
#include <string>

namespace paradox {

// An index entry counts the records below it in a 16-bit word, so a subtree of more than
// 65535 records holds its count modulo 65536. `stated` (one entry's word, or the sum of
// several) fits `records` when it is what the words hold of that many records.
inline bool StatisticFits(std::uint64_t records, std::uint64_t stated) {
    return stated <= records && (records - stated) % 65536 == 0;
}

// The wording of a statistic against what it counts, for the open's look at the root and
// verify's walk of the whole tree alike: "entry says 5 records, block 7 holds 4" (no `held`:
// the block cannot be read).
FindingDetail StatisticDetail(std::uint64_t statistic, std::uint32_t block,
                              std::optional<std::uint64_t> held);

// "index statistics add up to 12, table says 13".
FindingDetail StatisticSumDetail(std::uint64_t sum, std::uint64_t tableRecords);

} // namespace paradox
