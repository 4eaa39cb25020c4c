#pragma once

#include "cli/export/SqlDialect.h"
#include "paradox/Schema.h"

#include <string>
#include <vector>

namespace cli {

// The names an SQL table gets for a Paradox table: its own and its columns', in UTF-8.
struct SqlTableNames {
    std::string table;
    // One per field; a name that repeats one before it in any case (only a damaged header has
    // that; SQL names ignore case) gets "#2", "#3"..., an empty one "field N".
    std::vector<std::string> columns;
};

// Unique column names for the fields' names (see SqlTableNames::columns).
std::vector<std::string> SqlColumnNames(const std::vector<std::string>& fieldNames);

// The table's CREATE TABLE statement: one column per field, the primary key from the key
// fields when `withKey` (a table whose key values repeat is loaded without it).
std::string CreateTableSql(SqlDialect dialect, const SqlTableNames& names,
                           const paradox::TableSchema& schema, bool withKey = true);

// One CREATE INDEX per secondary index: composite ones over all their fields, descending
// fields with DESC, case-insensitive ones ignoring case as the dialect can (SQLite: COLLATE
// NOCASE, PostgreSQL: lower(); MySQL compares text without case already). Indexes whose
// fields the table does not have are left out. With `keyIndex`, also a plain index over the
// key fields, for a table loaded without its primary key.
std::vector<std::string> CreateIndexSql(SqlDialect dialect, const SqlTableNames& names,
                                        const paradox::TableSchema& schema, bool keyIndex = false);

} // namespace cli
