#pragma once

#include "cli/export/ExportTable.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

// What `export --format sql|sqlite` was asked for.
struct DatabaseExportRequest {
    std::vector<std::string> targets; // folders, aliases, table files
    std::string format;               // "sql" or "sqlite"
    std::string dialect;              // of --format sql: "sqlite", "postgresql", "mysql"
    std::string output;               // -o FILE; empty or "-": standard output (sql only)
    std::string codePageNumber;       // --code-page; empty: each table's header's
    bool recursive = false;           // folders are walked into their subfolders
};

// The exit code of the export of one table: 0, or 4 when something could not be read.
int ExportExitCode(const ExportTable& table, const ExportCounts& counts);

// Writes every table of the targets as SQL text or into one SQLite database; a line per
// table on `out`, what could not be read on `err`. Returns the exit code: the worst of the
// tables' (0, 4 when something could not be read, 8 when a table or target could not be
// read at all or the output not written; 16 for a usage error).
int ExportDatabase(const DatabaseExportRequest& request, std::ostream& out, std::ostream& err);

} // namespace cli
