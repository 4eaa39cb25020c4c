#pragma once

#include "paradox/Schema.h"
#include "tutil/TableLocation.h"

#include <vector>

namespace tutil {

// The secondary indexes beside the table (.Xnn/.XGn headers), as the writer needs them to
// reproduce each one. Index files whose header cannot be read are left out (the verify
// reports them).
std::vector<paradox::SecondaryIndexSpec>
ReadSecondaryIndexSpecs(const TableLocation& table, const paradox::TableSchema& schema);

} // namespace tutil
