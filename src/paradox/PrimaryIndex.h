#pragma once

#include "paradox/Finding.h"
#include "paradox/Header.h"
#include "paradox/TableReader.h"

#include <filesystem>
#include <string>

namespace paradox {

// Full check of a primary index against its table: the .PX file's own structure, its header
// against the table's, and its tree entry by entry against the table's block chain.
void CheckPrimaryIndex(const TableReader& table, const std::filesystem::path& px,
                       FindingList& findings);

// The cheap check an open uses to refuse a stale or foreign index without reading data: key
// fields equal the table's leading fields, counts and root plausible, bookkeeping bytes.
// True when the tree can be walked against the table (it is the index of a keyed table and
// its key fields are the table's).
bool CheckIndexHeader(const TableHeader& table, const TableHeader& index, const std::string& file,
                      FindingList& findings);

} // namespace paradox
