// mendrix-cli schema TABLE... [--dialect sqlite|postgresql|mysql]: the structure of tables as
// SQL DDL, the same the SQL and SQLite exports create.

#include "cli/ExitCodes.h"
#include "cli/commands/CommandHelp.h"
#include "cli/commands/ReadCommands.h"
#include "cli/export/ExportTable.h"
#include "cli/export/ExportTargets.h"
#include "cli/export/SqlSchema.h"
#include "cli/export/SqlTableSource.h"
#include "cli/run/FindingOutput.h"

#include <algorithm>
#include <ostream>

namespace cli {
namespace {

constexpr const char* kTable = "TABLE";
constexpr const char* kDialect = "--dialect";

const char* const kHelp =
    R"(For each table, a comment naming its file, then CREATE TABLE with one column per
field (named as the field, types as the README's table maps them), the primary key from
the key fields, and one CREATE INDEX per secondary index beside the table: composite
ones over all their fields, descending fields with DESC, case-insensitive ones as the
dialect ignores case. The SQL table is named as the table's file without .DB. Names are
quoted for the dialect ("name", or `name` for MySQL). A folder or alias gives every
table in it.)";

int RunSchema(const ParsedArguments& args, std::ostream& out, std::ostream& err) {
    const SqlDialect dialect =
        DialectNamed(args.Value(kDialect, "sqlite")).value_or(SqlDialect::Sqlite);
    const ExportTargets targets = ResolveExportTargets(args.Values(kTable));
    int exitCode = kExitOk;
    for (const auto& problem : targets.problems) {
        err << "mendrix-cli schema: " << problem << '\n';
        exitCode = kExitOperational;
    }
    SqlTableNamer namer;
    for (const auto& path : targets.tables) {
        paradox::FindingList findings;
        std::string error;
        bool codePageUnknown = false;
        const auto table = ExportTable::Open(path, {}, findings, error, codePageUnknown);
        if (!table) {
            PrintFindings(findings, err);
            if (codePageUnknown) {
                err << "mendrix-cli schema: " << path.filename().string() << ": " << error << '\n';
            }
            exitCode = kExitOperational;
            continue;
        }
        const paradox::TableSchema schema = SchemaWithIndexes(table->Reader());
        const SqlTableNames names{.table = namer.NameOf(path),
                                  .columns = SqlColumnNames(table->Decoder().FieldNames())};
        out << (&path == &targets.tables.front() ? "" : "\n") << "-- " << table->Reader().FileName()
            << '\n'
            << CreateTableSql(dialect, names, schema);
        for (const auto& statement : CreateIndexSql(dialect, names, schema)) {
            out << statement;
        }
    }
    return exitCode;
}

} // namespace

Command SchemaCommand() {
    return {.name = "schema",
            .summary = "print the structure of Paradox tables as SQL (CREATE TABLE and CREATE "
                       "INDEX) for SQLite, PostgreSQL or MySQL",
            .syntax = {.arguments = {{.name = kTable, .required = true, .many = true}},
                       .options = {{.names = kDialect,
                                    .valueName = "NAME",
                                    .description = "the SQL to write: sqlite (the default), "
                                                   "postgresql or mysql",
                                    .choices = {"sqlite", "postgresql", "mysql"}}}},
            .run = &RunSchema,
            .help = kHelp,
            .exitCodes = ReadExitCodes(false)};
}

} // namespace cli
