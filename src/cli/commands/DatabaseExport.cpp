#include "cli/commands/DatabaseExport.h"

#include "cli/ExitCodes.h"
#include "cli/commands/CommandHelp.h"
#include "cli/commands/TableState.h"
#include "cli/export/ExportTable.h"
#include "cli/export/ExportTargets.h"
#include "cli/export/ReplacingOutputFile.h"
#include "cli/export/SqlTableSource.h"
#include "cli/export/SqlTextExport.h"
#include "cli/export/SqliteExport.h"
#include "cli/run/FindingOutput.h"
#include "cli/run/TerminalProgress.h"
#include "paradox/Family.h"

#include <algorithm>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>

namespace cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPrefix = "mendrix-cli export: ";

bool IsFileOf(const fs::path& output, const fs::path& table) {
    for (const auto& member : paradox::AllFamilyFiles(paradox::FindFamily(table))) {
        std::error_code ec;
        if (fs::equivalent(output, member, ec)) {
            return true;
        }
    }
    return false;
}

// Writes the tables one after the other into either sink.
class TableLoop {
public:
    TableLoop(const DatabaseExportRequest& request, std::ostream& out, std::ostream& err)
        : request_(request), out_(out), err_(err),
          progress_(err,
                    TerminalProgress::StderrIsTerminal() ? ProgressStyle::Terminal
                                                         : ProgressStyle::None,
                    "export") {}

    // Calls add(table, names, schema, progress) -> ExportCounts for each table that opens.
    template <class Add> void Run(const std::vector<fs::path>& tables, Add&& add) {
        for (std::size_t i = 0; i < tables.size(); ++i) {
            progress_.BeginTable(tables[i].filename().string(), i + 1, tables.size());
            Export(tables[i], add);
            progress_.EndTable();
        }
    }

    void Worsen(int code) { exitCode_ = std::max(exitCode_, code); }
    int ExitCode() const { return exitCode_; }
    std::size_t Written() const { return written_; }

private:
    template <class Add> void Export(const fs::path& path, Add& add) {
        paradox::FindingList findings;
        std::string error;
        bool codePageUnknown = false;
        const auto table =
            ExportTable::Open(path, request_.codePageNumber, findings, error, codePageUnknown);
        if (!table) {
            progress_.ClearLine();
            PrintFindings(findings, err_);
            if (codePageUnknown) {
                err_ << kPrefix << path.filename().string() << ": " << error
                     << " (give --code-page)\n";
            }
            Worsen(kExitOperational);
            return;
        }
        const paradox::TableSchema schema = SchemaWithIndexes(table->Reader());
        const SqlTableNames names{.table = namer_.NameOf(path),
                                  .columns = SqlColumnNames(table->Decoder().FieldNames())};
        const std::uint64_t total = std::max<std::uint64_t>(1, table->Reader().RecordCount());
        const ExportCounts counts = add(*table, names, schema, [&](std::uint64_t records) {
            progress_.SetBar(
                repair::TableStatusBar::Data,
                static_cast<unsigned>(std::min<std::uint64_t>(100, records * 100 / total)));
        });
        progress_.ClearLine();
        out_ << table->Reader().FileName() << ": " << counts.records << " records written to "
             << (request_.output.empty() || request_.output == "-" ? "standard output"
                                                                   : request_.output)
             << " as " << names.table << '\n';
        table->ReportLosses(err_, kPrefix + table->Reader().FileName() + ": ", counts, "NULL");
        Worsen(ExportExitCode(*table, counts));
        ++written_;
    }

    const DatabaseExportRequest& request_;
    std::ostream& out_;
    std::ostream& err_;
    TerminalProgress progress_;
    SqlTableNamer namer_;
    int exitCode_ = kExitOk;
    std::size_t written_ = 0;
};

int ExportToSqlite(const DatabaseExportRequest& request, const std::vector<fs::path>& tables,
                   TableLoop& loop, std::ostream& out, std::ostream& err) {
    SqliteExport sink(request.output);
    loop.Run(tables, [&](ExportTable& table, const SqlTableNames& names,
                         const paradox::TableSchema& schema, const auto& progress) {
        const SqliteExport::TableResult result = sink.Add(table, names, schema, progress);
        if (!result.keyHeld) {
            err << kPrefix << table.Reader().FileName() << ": warning: its key values repeat, so "
                << names.table
                << " has no primary key; a plain index on the key fields stands in for it\n";
        }
        return result.counts;
    });
    if (loop.Written() == 0) {
        err << kPrefix << "no table could be read; " << request.output << " was not written\n";
        return kExitOperational;
    }
    const std::string check = sink.Commit();
    if (check != "ok") {
        err << kPrefix << "PRAGMA integrity_check of " << request.output
            << " did not answer ok, so it was not written:\n"
            << check << '\n';
        return kExitOperational;
    }
    out << "integrity check of " << request.output << ": ok\n";
    return loop.ExitCode();
}

int ExportToSql(const DatabaseExportRequest& request, const std::vector<fs::path>& tables,
                TableLoop& loop, std::ostream& out, std::ostream& err) {
    const bool toFile = !request.output.empty() && request.output != "-";
    std::optional<ReplacingOutputFile> file;
    if (toFile) {
        file.emplace(request.output);
    }
    std::ostream& stream = file ? file->Stream() : out;
    const SqlDialect dialect = DialectNamed(request.dialect).value_or(SqlDialect::Sqlite);
    SqlTextExport sink(stream, dialect);
    loop.Run(tables, [&](ExportTable& table, const SqlTableNames& names,
                         const paradox::TableSchema& schema, const auto& progress) {
        const ExportCounts counts = sink.Add(table, names, schema, progress);
        if (sink.AlteredValues() != 0) {
            err << kPrefix << table.Reader().FileName() << ": " << sink.AlteredValues()
                << " texts held NUL characters, which " << request.dialect
                << " text cannot hold; they were written without them\n";
            loop.Worsen(kExitProblemsLeft);
        }
        return counts;
    });
    stream.flush();
    if (!stream) {
        throw std::runtime_error("cannot write the output");
    }
    if (file) {
        file->Commit();
    }
    return loop.ExitCode();
}

} // namespace

int ExportExitCode(const ExportTable& table, const ExportCounts& counts) {
    return ExitCodeOf(StateOf({.opened = true,
                               .lossFound = table.Findings().HasDamage(),
                               .lostRecords = counts.lostRecords,
                               .unreadableValues = table.Decoder().UnreadableValues(),
                               .replacedBytes = table.Decoder().ReplacedBytes()}));
}

int ExportDatabase(const DatabaseExportRequest& request, std::ostream& out, std::ostream& err) {
    const bool sqlite = request.format == "sqlite";
    const bool toFile = !request.output.empty() && request.output != "-";
    if (sqlite && !toFile) {
        return PrintUsageError(err, "export",
                               "--format sqlite writes a database file: give -o FILE");
    }
    if (toFile) {
        if (const std::string problem = UnusableOutputFile(request.output); !problem.empty()) {
            return PrintUsageError(err, "export", problem);
        }
    }
    const ExportTargets targets = ResolveExportTargets(request.targets, request.recursive);
    for (const auto& table : targets.tables) {
        if (toFile && IsFileOf(request.output, table)) {
            return PrintUsageError(err, "export",
                                   request.output + " is a file of the table " +
                                       table.filename().string());
        }
    }
    for (const auto& problem : targets.problems) {
        err << kPrefix << problem << '\n';
    }
    std::ostringstream discarded;
    // With the SQL on standard output, the lines per table go nowhere.
    std::ostream& lines = sqlite || toFile ? out : discarded;
    TableLoop loop(request, lines, err);
    if (!targets.problems.empty()) {
        loop.Worsen(kExitOperational);
    }
    try {
        const int code = sqlite ? ExportToSqlite(request, targets.tables, loop, lines, err)
                                : ExportToSql(request, targets.tables, loop, out, err);
        return std::max(code, loop.ExitCode());
    } catch (const std::exception& e) {
        err << kPrefix << e.what() << '\n';
        return kExitOperational;
    }
}

} // namespace cli
