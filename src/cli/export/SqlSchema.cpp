#include "cli/export/SqlSchema.h"

#include "paradox/FieldType.h"
#include "paradox/NameCase.h"
#include "paradox/SecondaryIndex.h"

#include <set>

namespace cli {
namespace {

std::string ColumnList(SqlDialect dialect, const SqlTableNames& names, std::size_t count) {
    std::string list;
    for (std::size_t i = 0; i < count && i < names.columns.size(); ++i) {
        list += (i == 0 ? "" : ", ") + QuotedName(dialect, names.columns[i]);
    }
    return list;
}

// One field of an index as the dialect writes it; empty when the table has no such field.
std::string IndexedColumn(SqlDialect dialect, const SqlTableNames& names,
                          const paradox::TableSchema& schema, std::uint16_t number,
                          bool caseInsensitive) {
    const std::size_t field = (number & ~paradox::kDescending);
    if (field < 1 || field > schema.fields.size() || field > names.columns.size()) {
        return {};
    }
    std::string column = QuotedName(dialect, names.columns[field - 1]);
    const bool text = schema.fields[field - 1].Type() == paradox::FieldType::Alpha;
    if (caseInsensitive && text && dialect == SqlDialect::Sqlite) {
        column += " COLLATE NOCASE";
    } else if (caseInsensitive && text && dialect == SqlDialect::Postgresql) {
        column = "lower(" + column + ")";
    }
    if ((number & paradox::kDescending) != 0) {
        column += " DESC";
    }
    return column;
}

} // namespace

std::vector<std::string> SqlColumnNames(const std::vector<std::string>& fieldNames) {
    std::set<std::string> used;
    std::vector<std::string> columns;
    for (std::size_t i = 0; i < fieldNames.size(); ++i) {
        const std::string base =
            fieldNames[i].empty() ? "field " + std::to_string(i + 1) : fieldNames[i];
        std::string name = base;
        for (int n = 2; used.contains(paradox::UpperAscii(name)); ++n) {
            name = base + '#' + std::to_string(n);
        }
        used.insert(paradox::UpperAscii(name));
        columns.push_back(std::move(name));
    }
    return columns;
}

std::string CreateTableSql(SqlDialect dialect, const SqlTableNames& names,
                           const paradox::TableSchema& schema, bool withKey) {
    std::string sql = "CREATE TABLE " + QuotedName(dialect, names.table) + " (";
    for (std::size_t i = 0; i < schema.fields.size() && i < names.columns.size(); ++i) {
        sql += (i == 0 ? "\n  " : ",\n  ") + QuotedName(dialect, names.columns[i]) + ' ' +
               ColumnType(dialect, schema.fields[i]);
    }
    if (withKey && schema.Keyed()) {
        sql += ",\n  PRIMARY KEY (" + ColumnList(dialect, names, schema.keyFieldCount) + ")";
    }
    sql += "\n)";
    if (dialect == SqlDialect::Mysql) {
        sql += " DEFAULT CHARSET=utf8mb4";
    }
    return sql + ";\n";
}

std::vector<std::string> CreateIndexSql(SqlDialect dialect, const SqlTableNames& names,
                                        const paradox::TableSchema& schema, bool keyIndex) {
    std::vector<std::string> statements;
    std::set<std::string> used;
    auto add = [&](const std::string& label, const std::string& columns) {
        std::string name = names.table + '_' + label;
        for (int n = 2; used.contains(paradox::UpperAscii(name)); ++n) {
            name = names.table + '_' + label + '#' + std::to_string(n);
        }
        used.insert(paradox::UpperAscii(name));
        statements.push_back("CREATE INDEX " + QuotedName(dialect, name) + " ON " +
                             QuotedName(dialect, names.table) + " (" + columns + ");\n");
    };
    if (keyIndex && schema.Keyed()) {
        add("key", ColumnList(dialect, names, schema.keyFieldCount));
    }
    for (const auto& index : schema.secondaryIndexes) {
        std::string columns;
        for (const std::uint16_t number : index.fieldNumbers) {
            const std::string column =
                IndexedColumn(dialect, names, schema, number, index.caseInsensitive);
            if (column.empty()) {
                columns.clear();
                break;
            }
            columns += (columns.empty() ? "" : ", ") + column;
        }
        if (!columns.empty()) {
            add(index.extension, columns);
        }
    }
    return statements;
}

} // namespace cli
