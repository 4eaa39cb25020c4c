#pragma once

#include "paradox/Collation.h"
#include "paradox/KeyCompare.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

namespace tutil {

// The order a keyed table's recovered records are written in, and which of them are key
// violations.
struct KeyOrder {
    std::vector<bool> duplicate;      // by record: an earlier record has the same key bytes
    std::vector<std::uint32_t> order; // records in the order to write them; empty = as they are
};

// The first key field of a record as an order any usual collation agrees with: ASCII letters
// upper-cased, cut before the first byte >= 0x80 (bytes as they are for other field types).
std::string FoldedFirstField(const paradox::KeyComparator& keys, const std::uint8_t* record);

// Under a collation we reproduce (byte order or a collation table), the records sorted by key
// (stable, so the first of equal keys stays). Under one we cannot, the chain's order is kept
// unless it descends even ignoring case: then whole blocks (runs of records with the same
// `blockAt(i)`) are put in order of their first key so folded, each block keeping its order.
// Either way a record whose key bytes an earlier record already has is a violation.
// `recordAt(i)` gives the bytes of record i of `count`.
template <typename RecordAt, typename BlockAt>
KeyOrder OrderByKey(std::size_t count, const paradox::KeyComparator& keys, RecordAt recordAt,
                    BlockAt blockAt) {
    KeyOrder result;
    result.duplicate.assign(count, false);
    const auto compare = [&](std::size_t a, std::size_t b) {
        return keys.Compare(recordAt(a), recordAt(b));
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
    if (keys.OrderKnown()) {
        result.order.swap(byKey);
        return result;
    }
    bool descends = false;
    for (std::size_t i = 1; i < count && !descends; ++i) {
        descends = keys.CompareFolded(recordAt(i - 1), recordAt(i)) > 0;
    }
    if (!descends) {
        return result;
    }
    struct Run {
        std::string first; // folded first key field of the run's first record
        std::uint32_t begin;
        std::uint32_t end;
    };
    std::vector<Run> runs;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (runs.empty() || blockAt(i) != blockAt(runs.back().begin)) {
            runs.push_back({FoldedFirstField(keys, recordAt(i)), i, i});
        }
        runs.back().end = i + 1;
    }
    std::stable_sort(runs.begin(), runs.end(),
                     [](const Run& a, const Run& b) { return a.first < b.first; });
    result.order.reserve(count);
    for (const Run& run : runs) {
        for (std::uint32_t i = run.begin; i < run.end; ++i) {
            result.order.push_back(i);
        }
    }
    return result;
}

} // namespace tutil
