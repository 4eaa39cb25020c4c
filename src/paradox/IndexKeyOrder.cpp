#include "paradox/IndexKeyOrder.h"

#include "paradox/Collation.h"
#include "paradox/FindingLimiter.h"
#include "paradox/KeyCompare.h"
#include "paradox/SecondaryIndex.h"

#include <string>
#include <vector>

namespace paradox {

void CheckSecondaryIndexOrder(const TableReader& table, const TableReader& x,
                              FindingList& findings) {
    if (x.Header().fields.size() < 2) {
        return;
    }
    const TableHeader& xh = x.Header();
    const std::size_t keyFields = xh.fields.size() - 1; // all but the record locator
    const std::size_t secondary = SecondaryFieldCount(xh, table.Header());
    std::vector<bool> descending(keyFields, false);
    for (std::size_t i = 0; i < secondary && i < xh.fieldNumbers.size() && i < keyFields; ++i) {
        descending[i] = (xh.fieldNumbers[i] & 0x8000) != 0;
    }
    const Collation& collation =
        Collation::ForSortOrder(table.Header().sortOrder, table.Header().sortOrderName);
    const KeyComparator keys(xh.fields, keyFields, collation, descending);
    if (keys.Length() > xh.recordSize) {
        return;
    }
    FindingLimiter report(findings, x.FileName());
    const std::uint8_t* previous = nullptr;
    bool reported = false;
    x.ForEachRecord([&](const RecordRef& r) {
        if (previous != nullptr && !reported) {
            if (keys.OrderKnown() && keys.Compare(previous, r.bytes) > 0) {
                reported = true;
                report.Add(FindingCode::SecondaryIndexBad, Severity::Damage, r.block, r.slot,
                           Detail(DetailKind::EntryOutOfOrder));
            } else if (!keys.OrderKnown() && keys.CompareFolded(previous, r.bytes) > 0) {
                reported = true;
                report.Add(FindingCode::SecondaryIndexBad, Severity::Suspicious, r.block, r.slot,
                           Detail(DetailKind::EntryOutOfOrderFolded).Extra(collation.Name()));
            }
        }
        previous = r.bytes;
    });
}

} // namespace paradox
