// mendrix-cli export TARGET... --format csv|json|jsonl|sql|sqlite [-o FILE] [options]: every
// record of a table (csv, json, jsonl), or of every table of the targets (sql, sqlite), in a
// format other programs read, text in UTF-8.

#include "cli/ExitCodes.h"
#include "cli/commands/CommandHelp.h"
#include "cli/commands/DatabaseExport.h"
#include "cli/commands/ReadCommands.h"
#include "cli/commands/TableState.h"
#include "cli/export/CodePage.h"
#include "cli/export/CsvExport.h"
#include "cli/export/ExportTable.h"
#include "cli/export/JsonExport.h"
#include "cli/export/ReplacingOutputFile.h"
#include "cli/run/FindingOutput.h"
#include "paradox/Family.h"
#include "paradox/NameCase.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <ostream>

namespace cli {
namespace {

namespace fs = std::filesystem;

const char* const kHelp =
    R"(CSV (RFC 4180): a header row of field names, then one row per record, rows ended by
CRLF; fields holding the delimiter, quotes or line breaks are quoted. NULL is an empty
cell. --delimiter, --no-header, --null and --lf change these for readers that want
otherwise. Binary values (Binary, Graphic and OLE fields, Bytes) are written as files
beside the output, FILE.blobs/<record>-<field>.bin (record = row number among the
records, field = field number, both from 1); the cell holds that name relative to
FILE's folder. A table with binary fields therefore needs -o FILE for CSV, and
FILE.blobs must not hold files already.

JSON: an array with one object per record, one member per field, in field order. NULL
is null, binary values are base64 strings, BCD values are strings of their exact digits,
numbers are numbers, logicals true or false. JSON Lines (jsonl): the same objects, one a
line, without the array.

SQL (sql) and SQLite (sqlite) take every table of each TARGET: a folder or an alias gives
all its tables, a table file itself. Each table becomes one SQL table named as its file
(without .DB), with the columns, primary key and indexes `mendrix-cli schema` gives, and
is written in one transaction: sql writes the statements (CREATE TABLE, INSERTs of up
to 256 records, CREATE INDEX) for --dialect, sqlite writes them into a new SQLite database -o FILE
(replaced only once every table is in and PRAGMA integrity_check answers ok). A table
whose key values repeat is written into SQLite with a plain index on its key fields
instead of the primary key, with a warning; no record is left out. A line per table says
how many records were written.

Both: Alpha, Memo and formatted memo text is converted from the table's code page to
UTF-8 with iconv (header code page, e.g. 437, 850, 866, 936, 1252; CP437 when the header
gives none, with a warning when the text holds letters outside ASCII, which only the
right --code-page reads right). Dates, times and timestamps are ISO 8601 (2024-03-01,
13:05:00.000, 2024-03-01T13:05:00.000; years before 1 as -0044-03-15, year 0 as 0000).
BCD values keep every digit. Encrypted tables are read without their password.

When records, values or characters cannot be read (bytes that are no characters of the
code page are written as U+FFFD), the export still writes all the rest, says what was
lost on standard error and exits with 4.)";

constexpr const char* kFormat = "--format";
constexpr const char* kOutput = "--output";
constexpr const char* kCodePage = "--code-page";
constexpr const char* kDelimiter = "--delimiter";
constexpr const char* kNoHeader = "--no-header";
constexpr const char* kNull = "--null";
constexpr const char* kCrlf = "--crlf";
constexpr const char* kLf = "--lf";
constexpr const char* kDialect = "--dialect";
constexpr const char* kRecursive = "--recursive";
constexpr const char* kTarget = "TARGET";
constexpr const char* kStandardOutput = "-";

CommandSyntax ExportSyntax() {
    return {.arguments = {{.name = kTarget, .required = true, .many = true}},
            .options = {
                {.names = kFormat,
                 .description = "the output format; csv, json and jsonl (JSON Lines) write "
                                "one table, sql and sqlite every table of the targets",
                 .required = true,
                 .choices = {"csv", "json", "jsonl", "sql", "sqlite"}},
                {.names = kDialect,
                 .valueName = "NAME",
                 .description = "the SQL --format sql writes: sqlite (the default), "
                                "postgresql or mysql",
                 .choices = {"sqlite", "postgresql", "mysql"}},
                {.names = kRecursive,
                 .description = "with sql and sqlite, walk each folder target into its "
                                "subfolders and take their tables too"},
                {.names = std::string("-o,") + kOutput,
                 .valueName = "FILE",
                 .description = "write to FILE (replaced only once the export is complete; a "
                                "character device or a FIFO is written in place, a symbolic link "
                                "is refused); without it, or with -o -, the records go to "
                                "standard output"},
                {.names = kCodePage,
                 .valueName = "N",
                 .description = "read the table's text as code page N (866, 1252...) "
                                "instead of the one its header names",
                 .range = std::pair<std::int64_t, std::int64_t>{1, 65535}},
                {.names = kDelimiter,
                 .valueName = "C",
                 .description = "separate CSV fields by C, one ASCII character other "
                                "than a quote or a line break (\\t or tab for a "
                                "tab); the default is a comma"},
                {.names = kNoHeader, .description = "leave out the CSV header row of field names"},
                {.names = kNull,
                 .valueName = "TEXT",
                 .description = "write NULL in CSV as TEXT instead of an empty cell; a "
                                "value that reads as TEXT is quoted"},
                {.names = kCrlf,
                 .description = "end CSV rows in CRLF, as RFC 4180 has it (the default)"},
                {.names = kLf, .description = "end CSV rows in LF"}}};
}

// The byte --delimiter names; nullopt when it is not one the CSV can be read back with.
std::optional<char> DelimiterOf(const std::string& text) {
    if (text == "\\t" || text == "tab") {
        return '\t';
    }
    if (text.size() != 1) {
        return std::nullopt;
    }
    const auto byte = static_cast<unsigned char>(text[0]);
    if (byte >= 0x80 || byte == '"' || (std::iscntrl(byte) && byte != '\t')) {
        return std::nullopt;
    }
    return text[0];
}

fs::path FolderOf(const fs::path& file) {
    std::error_code ec;
    const fs::path parent = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    return fs::weakly_canonical(parent, ec);
}

// Whether writing `output` would replace a file of the table, or put a file beside it that
// the table's family lookup (by base name, in any case) would take for one of its own.
bool IsFileOfTable(const fs::path& output, const paradox::TableFamily& family) {
    for (const auto& member : paradox::AllFamilyFiles(family)) {
        std::error_code ec;
        if (fs::equivalent(output, member, ec)) {
            return true;
        }
    }
    if (paradox::UpperAscii(output.stem().string()) !=
            paradox::UpperAscii(family.db.stem().string()) ||
        FolderOf(output) != FolderOf(family.db)) {
        return false;
    }
    const std::string extension = paradox::UpperExtension(output);
    return extension == "DB" || extension == "PX" || extension == "MB" || extension == "VAL" ||
           extension == "TV" || extension == "FAM" || paradox::IsSecondaryIndexExtension(extension);
}

bool HoldsFiles(const fs::path& folder) {
    std::error_code ec;
    return fs::exists(folder, ec) && !(fs::is_directory(folder, ec) && fs::is_empty(folder, ec));
}

// Ends the output: flushed, and the file (if any) renamed into place.
void Finish(std::ostream& stream, std::optional<ReplacingOutputFile>& file) {
    stream.flush();
    if (!stream) {
        throw std::runtime_error("cannot write the output");
    }
    if (file) {
        file->Commit();
    }
}

int RunExport(const ParsedArguments& args, std::ostream& out, std::ostream& err) {
    // Empty: the header's. The parser let only a number from 1 to 65535 through.
    const std::string codePageNumber =
        args.Has(kCodePage) ? std::to_string(std::stol(args.Value(kCodePage))) : std::string();
    auto usageError = [&](const std::string& message) {
        return PrintUsageError(err, "export", message);
    };
    const std::string format = args.Value(kFormat);
    const bool csv = format == "csv";
    const bool database = format == "sql" || format == "sqlite";
    if (args.Has(kDialect) && format != "sql") {
        return usageError(std::string(kDialect) + " is an option of --format sql");
    }
    if (args.Has(kRecursive) && !database) {
        return usageError(std::string(kRecursive) + " is an option of --format sql and sqlite");
    }
    if (!database && args.Values(kTarget).size() != 1) {
        return usageError("--format " + format +
                          " writes one table: give one TABLE (sql and sqlite take several)");
    }
    for (const char* option : {kDelimiter, kNoHeader, kNull, kCrlf, kLf}) {
        if (!csv && !args.Values(option).empty()) {
            return usageError(std::string(option) + " is an option of --format csv");
        }
    }
    if (args.Has(kCrlf) && args.Has(kLf)) {
        return usageError("give --crlf or --lf, not both");
    }
    const std::optional<char> delimiter = DelimiterOf(args.Value(kDelimiter, ","));
    if (!delimiter) {
        return usageError("--delimiter takes one ASCII character other than a quote or a line "
                          "break (\\t or tab for a tab), not " +
                          args.Value(kDelimiter));
    }

    if (database) {
        return ExportDatabase({.targets = args.Values(kTarget),
                               .format = format,
                               .dialect = args.Value(kDialect, "sqlite"),
                               .output = args.Value(kOutput),
                               .codePageNumber = codePageNumber,
                               .recursive = args.Has(kRecursive)},
                              out, err);
    }

    paradox::FindingList findings;
    std::string codePageError;
    bool codePageUnknown = false;
    const auto opened = ExportTable::Open(args.Value(kTarget), codePageNumber, findings,
                                          codePageError, codePageUnknown);
    if (codePageUnknown) {
        if (!codePageNumber.empty()) {
            return usageError(codePageError);
        }
        err << "mendrix-cli export: " << codePageError << " (give --code-page)\n";
        return kExitOperational;
    }
    if (!opened) {
        PrintFindings(findings, err);
        return ExitCodeOf(StateOf({.opened = false}));
    }
    ExportTable& exported = *opened;
    const paradox::TableReader* table = &exported.Reader();
    const auto& fields = table->Schema().fields;
    const bool hasBinary = std::any_of(fields.begin(), fields.end(), [](const auto& field) {
        return IsBinaryField(field.typeCode);
    });
    const std::string outputName = args.Value(kOutput);
    const fs::path output = outputName == kStandardOutput ? fs::path() : fs::path(outputName);
    const fs::path blobFolder = output.empty() ? fs::path() : fs::path(output.string() + ".blobs");
    const paradox::TableFamily family = paradox::FindFamily(table->Path());
    if (csv && hasBinary && output.empty()) {
        return usageError("the table has binary fields, which a CSV export writes as files "
                          "beside its output: give -o FILE");
    }
    if (!output.empty() && IsFileOfTable(output, family)) {
        return usageError(output.string() + " is a file of the table itself");
    }
    if (!output.empty()) {
        if (const std::string problem = UnusableOutputFile(output); !problem.empty()) {
            return usageError(problem);
        }
    }
    if (csv && hasBinary && HoldsFiles(blobFolder)) {
        return usageError(blobFolder.string() +
                          " already exists: remove it or choose another output file");
    }

    std::optional<ReplacingOutputFile> file;
    if (!output.empty()) {
        file.emplace(output);
    }
    std::ostream& stream = file ? file->Stream() : out;
    RecordDecoder& decoder = exported.Decoder();
    ExportCounts counts;
    if (csv) {
        CsvExport sink(stream, blobFolder, blobFolder.filename().string(),
                       {.delimiter = *delimiter, .crlf = !args.Has(kLf)}, args.Value(kNull));
        if (!args.Has(kNoHeader)) {
            sink.Header(decoder.FieldNames());
        }
        counts = exported.ForEachRecord(
            [&](std::uint64_t number, const auto& values) { sink.Record(number, values); });
        Finish(stream, file);
        sink.Keep();
    } else {
        JsonExport sink(stream, decoder.FieldNames(),
                        format == "jsonl" ? JsonExport::Layout::Lines : JsonExport::Layout::Array);
        counts =
            exported.ForEachRecord([&](std::uint64_t, const auto& values) { sink.Record(values); });
        sink.Finish();
        Finish(stream, file);
    }
    if (file) {
        out << table->FileName() << ": " << counts.records << " records written to "
            << output.string() << '\n';
    }

    exported.ReportLosses(err, "mendrix-cli export: ", counts, csv ? "empty cells" : "null");
    return ExportExitCode(exported, counts);
}

} // namespace

Command ExportCommand() {
    return {.name = "export",
            .summary = "write the records of a Paradox table as CSV, JSON or JSON Lines, or of "
                       "every table of folders or aliases as SQL or into an SQLite database, "
                       "text in UTF-8, for other programs",
            .syntax = ExportSyntax(),
            .run = &RunExport,
            .help = kHelp,
            .exitCodes = ReadExitCodes(true)};
}

} // namespace cli
