#pragma once

#include "cli/export/ExportValue.h"
#include "paradox/Schema.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cli {

// The SQL a schema or an export is written for.
enum class SqlDialect : std::uint8_t { Sqlite, Postgresql, Mysql };

// "sqlite", "postgresql", "mysql"; nullopt for any other name.
std::optional<SqlDialect> DialectNamed(std::string_view name);

// A table, column or index name quoted for the dialect: "name" with quotes doubled, or
// `name` for MySQL.
std::string QuotedName(SqlDialect dialect, std::string_view name);

// The column type a field's values are kept in (the README's mapping table).
std::string ColumnType(SqlDialect dialect, const paradox::FieldSpec& field);

// A value as an SQL literal of the dialect, appended to `out`. False when the dialect cannot
// hold it as it is: a text with NUL characters for PostgreSQL, written without them.
bool AppendSqlLiteral(std::string& out, SqlDialect dialect, const ExportValue& value);

} // namespace cli
