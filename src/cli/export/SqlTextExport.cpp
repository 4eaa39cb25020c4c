#include "cli/export/SqlTextExport.h"

#include <ostream>
#include <stdexcept>

namespace cli {
namespace {

constexpr std::size_t kFlushBytes = 1 << 20;
constexpr std::uint64_t kProgressEvery = 4096;
// An INSERT carries up to this many records, or ends once its text passes kStatementBytes:
// a statement per record would cost a server a round trip each.
constexpr std::size_t kRecordsPerStatement = 256;
constexpr std::size_t kStatementBytes = 1 << 20;

} // namespace

SqlTextExport::SqlTextExport(std::ostream& out, SqlDialect dialect) : out_(out), dialect_(dialect) {
    switch (dialect) {
    case SqlDialect::Sqlite:
        break;
    case SqlDialect::Postgresql:
        out_ << "SET client_encoding = 'UTF8';\nSET standard_conforming_strings = on;\n";
        break;
    case SqlDialect::Mysql:
        out_ << "SET NAMES utf8mb4;\n";
        break;
    }
}

void SqlTextExport::Flush(std::string& text, std::size_t atLeast) {
    if (text.size() >= atLeast) {
        out_.write(text.data(), static_cast<std::streamsize>(text.size()));
        text.clear();
        if (!out_) {
            throw std::runtime_error("cannot write the output");
        }
    }
}

ExportCounts SqlTextExport::Add(ExportTable& table, const SqlTableNames& names,
                                const paradox::TableSchema& schema,
                                const std::function<void(std::uint64_t)>& progress) {
    std::string text = "\n-- " + table.Reader().FileName() + "\n";
    text += dialect_ == SqlDialect::Mysql ? "START TRANSACTION;\n" : "BEGIN;\n";
    text += CreateTableSql(dialect_, names, schema);
    const std::string insert = "INSERT INTO " + QuotedName(dialect_, names.table) + " VALUES\n(";
    text.reserve(kFlushBytes + 4096);
    altered_ = 0;
    std::size_t inStatement = 0;    // records of the INSERT being written
    std::size_t statementStart = 0; // where it began in `text`
    std::uint64_t flushedBytes = 0; // of the statement, already written out
    const ExportCounts counts = table.ForEachRecord([&](std::uint64_t number, const auto& values) {
        if (inStatement == 0) {
            statementStart = text.size();
            flushedBytes = 0;
            text += insert;
        } else {
            text += ",\n(";
        }
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i != 0) {
                text += ", ";
            }
            altered_ += AppendSqlLiteral(text, dialect_, values[i]) ? 0 : 1;
        }
        text += ')';
        ++inStatement;
        if (inStatement == kRecordsPerStatement ||
            flushedBytes + text.size() - statementStart >= kStatementBytes) {
            text += ";\n";
            inStatement = 0;
        }
        if (text.size() >= kFlushBytes) {
            flushedBytes += text.size() - statementStart;
            statementStart = 0;
            Flush(text, 0);
        }
        if (number % kProgressEvery == 0) {
            progress(number);
        }
    });
    if (inStatement != 0) {
        text += ";\n";
    }
    for (const auto& statement : CreateIndexSql(dialect_, names, schema)) {
        text += statement;
    }
    text += "COMMIT;\n";
    Flush(text, 0);
    return counts;
}

} // namespace cli
