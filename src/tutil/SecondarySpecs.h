#pragma once

#include "paradox/Schema.h"
#include "tutil/TableLocation.h"

#include <string>
#include <vector>

namespace tutil {

// An index file beside the table that cannot be reproduced, and why.
struct UnusableIndex {
    std::string file; // ORDERS.X02
    std::string reason;
};

// The secondary indexes beside the table (.Xnn/.XGn headers), as the writer needs them to
// reproduce each one. Index files whose header cannot be read are left out and, when
// `unusable` is given, listed there.
std::vector<paradox::SecondaryIndexSpec>
ReadSecondaryIndexSpecs(const TableLocation& table, const paradox::TableSchema& schema,
                        std::vector<UnusableIndex>* unusable = nullptr);

} // namespace tutil
