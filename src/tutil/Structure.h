#pragma once

#include "paradox/Finding.h"
#include "paradox/Schema.h"
#include "tutil/StructureSalvage.h"
#include "tutil/TableLocation.h"

namespace tutil {

// The structure of a table as its family defines it: fields, key, level, block sizes, sort
// order, code page, table name, autoincrement and the secondary indexes found beside it.
// UtilityError when the header cannot be understood (not a table), the table is protected and
// no key decrypts it, or its field descriptors are damaged and no source fits. Damaged field
// descriptors are taken from the first source `structure` allows that the data bears out (by
// default the family's files and earlier backups, never inference); the error gives each
// source's reason when none does.
paradox::TableSchema ReadTableStructure(const TableLocation& table,
                                        const StructureChoice& structure = {});

} // namespace tutil
