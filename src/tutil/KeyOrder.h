#pragma once

#include "paradox/Codec.h"
#include "tutil/RecordValues.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <vector>

namespace tutil {

// The order a keyed table's recovered records are written in, and which of them are key
// violations.
struct KeyOrder {
    std::vector<bool> duplicate;      // by record: an earlier record has the same key bytes
    std::vector<std::uint32_t> order; // records in the order to write them; empty = as they are
};

// Where byte order is the key order, the records sorted by key (stable, so the first of
// equal keys stays). Under a collation that cannot be reproduced, the chain's order is kept.
// Either way a record whose key bytes an earlier record already has is a violation.
// `recordAt(i)` gives the bytes of record i of `count`.
template <typename RecordAt>
KeyOrder OrderByKey(std::size_t count, const KeyLayout& key, RecordAt recordAt) {
    KeyOrder result;
    result.duplicate.assign(count, false);
    const auto compare = [&](std::size_t a, std::size_t b) {
        return paradox::CompareKeyBytes(recordAt(a), recordAt(b), key.length);
    };
    // A chain in key order (every healthy table) is written as it is: no order array; its
    // violations are found by the same pass that sees it is in order.
    bool sorted = true;
    for (std::size_t i = 1; i < count; ++i) {
        const int order = compare(i, i - 1);
        if (order < 0) {
            sorted = false;
            break;
        }
        result.duplicate[i] = order == 0;
    }
    if (sorted) {
        return result;
    }
    result.duplicate.assign(count, false);
    std::vector<std::uint32_t> byKey(count);
    std::iota(byKey.begin(), byKey.end(), 0u);
    std::stable_sort(byKey.begin(), byKey.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return compare(a, b) < 0; });
    for (std::size_t i = 1; i < byKey.size(); ++i) {
        if (compare(byKey[i - 1], byKey[i]) == 0) {
            result.duplicate[byKey[i]] = true;
        }
    }
    if (key.byteOrdered) {
        result.order.swap(byKey);
    }
    return result;
}

} // namespace tutil
