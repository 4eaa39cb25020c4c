#pragma once

#include <cstdint>

namespace paradox {

// An index entry counts the records below it in a 16-bit word, so a subtree of more than
// 65535 records holds its count modulo 65536. `stated` (one entry's word, or the sum of
// several) fits `records` when it is what the words hold of that many records.
inline bool StatisticFits(std::uint64_t records, std::uint64_t stated) {
    return stated <= records && (records - stated) % 65536 == 0;
}

} // namespace paradox
