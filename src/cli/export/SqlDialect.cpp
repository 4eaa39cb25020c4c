#include "cli/export/SqlDialect.h"

#include "cli/export/CsvExport.h"
#include "paradox/FieldType.h"
#include "paradox/ValueText.h"

#include <algorithm>
#include <cmath>

namespace cli {
namespace {

using paradox::FieldType;
using Kind = ExportValue::Kind;

// Digits a BCD field holds in all, of which its size byte gives the decimals.
constexpr int kBcdDigits = 32;
// MySQL's largest DECIMAL scale.
constexpr int kMysqlMaxScale = 30;

void AppendQuoted(std::string& out, std::string_view text, char quote) {
    out += quote;
    for (const char c : text) {
        if (c == quote) {
            out += c;
        }
        out += c;
    }
    out += quote;
}

// Text as a string literal. A line-oriented reader of the SQL (the sqlite3 and psql programs)
// may take a carriage return before a line end for part of the line end, so it is written as
// an escape, or for SQLite, which has none, as hex; so is a NUL, which ends the statement's
// text. False when the dialect cannot hold the text as it is (PostgreSQL's text holds no NUL:
// written without it).
bool AppendTextLiteral(std::string& out, SqlDialect dialect, std::string_view text) {
    const bool awkward = text.find_first_of(std::string_view("\0\r", 2)) != std::string::npos;
    if (!awkward && (dialect == SqlDialect::Sqlite || text.find('\\') == std::string::npos)) {
        AppendQuoted(out, text, '\'');
        return true;
    }
    switch (dialect) {
    case SqlDialect::Sqlite:
        out += "CAST(X'";
        paradox::AppendHex(out, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        out += "' AS TEXT)";
        return true;
    case SqlDialect::Postgresql:
    case SqlDialect::Mysql:
        break;
    }
    const bool postgres = dialect == SqlDialect::Postgresql;
    out += postgres ? "E'" : "'";
    for (const char c : text) {
        switch (c) {
        case '\0':
            if (!postgres) {
                out += "\\0";
            }
            break;
        case '\r':
            out += "\\r";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\'':
            out += "''";
            break;
        default:
            out += c;
            break;
        }
    }
    out += '\'';
    return !postgres || text.find('\0') == std::string::npos;
}

std::string BcdType(SqlDialect dialect, int scale) {
    if (dialect == SqlDialect::Sqlite) {
        // A type name with TEXT in it: SQLite would round a NUMERIC value of more than 15
        // digits to a double; as text every digit stays.
        return "DECIMAL TEXT(" + std::to_string(kBcdDigits) + "," + std::to_string(scale) + ")";
    }
    if (dialect == SqlDialect::Mysql) {
        const int kept = std::min(scale, kMysqlMaxScale);
        return "DECIMAL(" + std::to_string(kBcdDigits + kept - scale) + "," + std::to_string(kept) +
               ")";
    }
    return "NUMERIC(" + std::to_string(kBcdDigits) + "," + std::to_string(scale) + ")";
}

void AppendReal(std::string& out, SqlDialect dialect, double value) {
    if (std::isfinite(value)) {
        AppendShortestDouble(out, value);
        return;
    }
    if (dialect == SqlDialect::Postgresql) {
        out += std::isnan(value) ? "'NaN'" : value > 0 ? "'Infinity'" : "'-Infinity'";
    } else if (dialect == SqlDialect::Sqlite) {
        // SQLite reads these as the infinities; a NaN it would store as NULL, so as text.
        out += std::isnan(value) ? "'NaN'" : value > 0 ? "9e999" : "-9e999";
    } else {
        out += "NULL"; // the dialect has no such number
    }
}

// A date or timestamp as PostgreSQL reads it: ISO 8601's years before 1 (0000 = 1 BC,
// -0001 = 2 BC) as years BC, a year after 9999 without its sign.
std::string PostgresTemporal(const std::string& text) {
    if (text.starts_with('+')) {
        return text.substr(1);
    }
    const bool negative = text.starts_with('-');
    const std::size_t digits = text.find('-', negative ? 1 : 0);
    if (digits == std::string::npos || (!negative && !text.starts_with("0000-"))) {
        return text; // a time, or a date of the years PostgreSQL writes as ISO does
    }
    long long year = 0;
    for (std::size_t i = negative ? 1 : 0; i < digits; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return text;
        }
        year = year * 10 + (text[i] - '0');
    }
    std::string bc = std::to_string(year + 1);
    bc.insert(0, bc.size() < 4 ? 4 - bc.size() : 0, '0');
    return bc + text.substr(digits) + " BC";
}

} // namespace

std::optional<SqlDialect> DialectNamed(std::string_view name) {
    if (name == "sqlite") {
        return SqlDialect::Sqlite;
    }
    if (name == "postgresql") {
        return SqlDialect::Postgresql;
    }
    if (name == "mysql") {
        return SqlDialect::Mysql;
    }
    return std::nullopt;
}

std::string QuotedName(SqlDialect dialect, std::string_view name) {
    std::string out;
    AppendQuoted(out, name, dialect == SqlDialect::Mysql ? '`' : '"');
    return out;
}

std::string ColumnType(SqlDialect dialect, const paradox::FieldSpec& field) {
    const bool pg = dialect == SqlDialect::Postgresql;
    const bool my = dialect == SqlDialect::Mysql;
    switch (field.Type()) {
    case FieldType::Alpha:
        return "VARCHAR(" + std::to_string(field.sizeByte) + ")";
    case FieldType::Number:
    case FieldType::Currency:
        return pg ? "DOUBLE PRECISION" : my ? "DOUBLE" : "REAL";
    case FieldType::Short:
        return "SMALLINT";
    case FieldType::Long:
    case FieldType::AutoInc:
        // SQLite: INT, not INTEGER, so that a key of one such field does not become the row
        // id, which would number records with a blank key itself.
        return dialect == SqlDialect::Sqlite || my ? "INT" : "INTEGER";
    case FieldType::Bcd:
        return BcdType(dialect, field.sizeByte);
    case FieldType::Date:
        return "DATE";
    case FieldType::Time:
        return my ? "TIME(3)" : "TIME";
    case FieldType::Timestamp:
        return pg ? "TIMESTAMP(3)" : my ? "DATETIME(3)" : "TIMESTAMP";
    case FieldType::Logical:
        return "BOOLEAN";
    case FieldType::Memo:
    case FieldType::FmtMemo:
        return my ? "LONGTEXT" : "TEXT";
    case FieldType::Blob:
    case FieldType::Graphic:
    case FieldType::Ole:
        return pg ? "BYTEA" : my ? "LONGBLOB" : "BLOB";
    case FieldType::Bytes:
        return pg ? "BYTEA" : my ? "VARBINARY(" + std::to_string(field.sizeByte) + ")" : "BLOB";
    }
    // A type no level defines: its values are exported as NULL.
    return pg ? "BYTEA" : "BLOB";
}

bool AppendSqlLiteral(std::string& out, SqlDialect dialect, const ExportValue& value) {
    switch (value.kind) {
    case Kind::Null:
        out += "NULL";
        return true;
    case Kind::Text:
        return AppendTextLiteral(out, dialect, value.text);
    case Kind::Temporal:
        AppendQuoted(out,
                     dialect == SqlDialect::Postgresql ? PostgresTemporal(value.text) : value.text,
                     '\'');
        return true;
    case Kind::Decimal:
        if (dialect == SqlDialect::Sqlite) {
            AppendQuoted(out, value.text, '\''); // a number would be rounded to a double
        } else {
            out += value.text;
        }
        return true;
    case Kind::Integer:
        out += std::to_string(value.integer);
        return true;
    case Kind::Real:
        AppendReal(out, dialect, value.real);
        return true;
    case Kind::Boolean:
        out += value.boolean ? "TRUE" : "FALSE";
        return true;
    case Kind::Binary:
        out += dialect == SqlDialect::Postgresql ? "'\\x" : "X'";
        paradox::AppendHex(out, value.bytes.data(), value.bytes.size());
        out += '\'';
        return true;
    }
    return true;
}

} // namespace cli
