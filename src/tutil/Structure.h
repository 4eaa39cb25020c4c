#pragma once

#include "paradox/Finding.h"
#include "paradox/Schema.h"
#include "tutil/TableLocation.h"

namespace tutil {

// The structure of a table as its family defines it: fields, key, level, block sizes, sort
// order, code page, table name, autoincrement and the secondary indexes found beside it.
// UtilityError when the header cannot be understood (not a table, damaged
// field descriptors) or the table is protected and no key decrypts it.
paradox::TableSchema ReadTableStructure(const TableLocation& table);

} // namespace tutil
