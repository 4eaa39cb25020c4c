#pragma once

#include "paradox/Finding.h"
#include "paradox/TableReader.h"

namespace paradox {

// The entries of a secondary index (its X file) ascend in the index's order: Alpha values under
// the table's collation, descending fields reversed. Under a sort order without a collation
// table only a descent that holds even ignoring case is reported, as suspicious. The first
// entry out of order is reported (SecondaryIndexBad); the X file's other faults are
// CheckSecondaryIndex's, which opens `x`.
void CheckSecondaryIndexOrder(const TableReader& table, const TableReader& x,
                              FindingList& findings);

} // namespace paradox
