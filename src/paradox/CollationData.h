#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace paradox {

// One sort order's table in the compact text form CollationData.cpp keeps them in.
//
// `ladder`: the weight groups from lowest to highest, separated by spaces. A group is the bytes
// sharing one primary weight, in ascending secondary weight: ',' steps the secondary weight,
// '=' keeps it. "XX-YY" is a run of bytes, each its own group. "XX+ZZ" marks a byte that
// sorts as itself followed by byte ZZ (a two-letter expansion such as 'ß' = "ss"). A member
// of four hex digits is a letter pair sorting as one letter (Spanish "ch"). Every byte
// appears exactly once.
// `upper`: "from:to" pairs (hex) of the upper-case map beyond a-z -> A-Z.
struct CollationSource {
    std::string_view name;  // the sort-order name in the table header
    std::uint8_t code;      // the sort-order byte (header 0x29)
    std::uint16_t codePage; // the code page the table is for
    std::string_view ladder;
    std::string_view upper;
};

std::span<const CollationSource> CollationSources();

} // namespace paradox
