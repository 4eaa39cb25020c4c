#pragma once

#include "cli/export/ExportTable.h"
#include "cli/export/SqlSchema.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

namespace cli {

// Tables as SQL text for a dialect: per table, in one transaction, its CREATE TABLE, INSERT
// statements of up to 256 records each and its CREATE INDEX statements, as a database program
// loads them.
class SqlTextExport {
public:
    // Writes the statements that set the session up for the rest (text in UTF-8...).
    SqlTextExport(std::ostream& out, SqlDialect dialect);

    // Throws std::runtime_error when the stream fails.
    ExportCounts Add(ExportTable& table, const SqlTableNames& names,
                     const paradox::TableSchema& schema,
                     const std::function<void(std::uint64_t)>& progress);

    // Values of the last table the dialect could not hold as they are (AppendSqlLiteral).
    std::uint64_t AlteredValues() const { return altered_; }

private:
    void Flush(std::string& text, std::size_t atLeast);

    std::ostream& out_;
    SqlDialect dialect_;
    std::uint64_t altered_ = 0;
};

} // namespace cli
