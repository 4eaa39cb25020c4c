// The schema command and the SQL, SQLite and JSON Lines exports: read back by SQLite itself
// (Python's sqlite3 module, the sqlite3 program) and by a PostgreSQL server where one can be
// started, and compared with what the dump of the same tables says.

#include "CliRun.h"
#include "paradox/Codec.h"
#include "paradox/FieldType.h"
#include "paradox/RecordBuilder.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableWriter.h"
#include "support/Corpus.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using clitest::Quoted;
using clitest::RunCli;
using paradox::FieldType;
using testsupport::TempDir;

constexpr auto Code(FieldType type) {
    return static_cast<std::uint8_t>(type);
}

// Runs a shell command; its exit code (-1 when it did not exit).
int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every table file under `folder`, sorted.
std::vector<fs::path> TablesUnder(const fs::path& folder) {
    std::vector<fs::path> tables;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(), ::toupper);
        if (entry.is_regular_file() && extension == ".DB") {
            tables.push_back(entry.path());
        }
    }
    std::sort(tables.begin(), tables.end());
    return tables;
}

std::string Words(const std::vector<fs::path>& paths) {
    std::string words;
    for (const auto& path : paths) {
        words += ' ' + Quoted(path.string());
    }
    return words;
}

// What sql_round_trip.py says of `database` (one file, or several joined by commas) against
// the dumps of `tables`: "N tables compared, 0 differences" when all agree, else every line.
std::string RoundTrip(const std::string& database, const fs::path& lines,
                      const std::vector<fs::path>& tables, int& exitCode) {
    TempDir dir;
    exitCode =
        Shell("python3 " + Quoted(MENDRIX_SQL_ROUND_TRIP_SCRIPT) + " " +
              Quoted((testsupport::BinDir() / "mendrix-cli").string()) + " " + Quoted(database) +
              " " + Quoted(lines.string()) + Words(tables) + " >" + Quoted((dir / "out").string()));
    return testsupport::ReadFileBytes(dir / "out");
}

// A copy of the corpus in `dir`; its table files.
std::vector<fs::path> CopyOfCorpus(const TempDir& dir) {
    fs::copy(testsupport::CorpusDir(), dir / "corpus", fs::copy_options::recursive);
    return TablesUnder(dir / "corpus");
}

// Every corpus table, named one by one, and the sample database, named by its folder, into
// SQLite: record counts, every value and blob equal to the dump's, key and indexes in the
// schema. The sqlite dialect of --format sql, run by the sqlite3 program, gives the same.
TEST(SqlExport, CorpusAndSamplesReadBackFromSqliteAsTheDumpGivesThem) {
    MENDRIX_NEEDS_CORPUS();
    TempDir dir;
    const std::vector<fs::path> corpus = CopyOfCorpus(dir);
    ASSERT_GT(corpus.size(), 100u);
    const auto exported = RunCli("export --format sqlite -o " +
                                 Quoted((dir / "corpus.sqlite").string()) + Words(corpus));
    // MEMBRE.DB's blob file is missing in the corpus: what it held is reported, and 4.
    EXPECT_EQ(exported.exitCode, 4) << exported.err;
    EXPECT_NE(exported.out.find("integrity check of "), std::string::npos) << exported.out;
    testsupport::WriteFileBytes(dir / "corpus.lines", exported.out);
    ASSERT_EQ(Shell(Quoted((testsupport::BinDir() / "mendrix-cli").string()) +
                    " export --format sql" + Words(corpus) + " 2>/dev/null | sqlite3 " +
                    Quoted((dir / "text.sqlite").string())),
              0);
    int code = -1;
    std::string result =
        RoundTrip((dir / "corpus.sqlite").string() + "," + (dir / "text.sqlite").string(),
                  dir / "corpus.lines", corpus, code);
    EXPECT_EQ(code, 0) << result;
    EXPECT_NE(result.find(std::to_string(corpus.size()) + " tables compared, 0 differences"),
              std::string::npos)
        << result;

    const fs::path samples = testsupport::CopyOfSamples(dir / "samples");
    const auto fromFolder =
        RunCli("export --format sqlite -o " + Quoted((dir / "samples.sqlite").string()) + " " +
               Quoted(samples.string()));
    EXPECT_LE(fromFolder.exitCode, 4) << fromFolder.err;
    testsupport::WriteFileBytes(dir / "samples.lines", fromFolder.out);
    const std::vector<fs::path> sampleTables = TablesUnder(samples);
    result =
        RoundTrip((dir / "samples.sqlite").string(), dir / "samples.lines", sampleTables, code);
    EXPECT_EQ(code, 0) << result;
    EXPECT_NE(result.find(std::to_string(sampleTables.size()) + " tables compared"),
              std::string::npos)
        << result;
}

// A PostgreSQL server of our own in a folder of `dir`, stopped when this goes away.
class PostgresServer {
public:
    explicit PostgresServer(const fs::path& dir) : dir_(dir) {
        // The server refuses to run as root: then it runs as nobody, in a folder it owns.
        const bool root = ::geteuid() == 0;
        as_ = root ? "runuser -u nobody -- " : "";
        fs::create_directories(dir_);
        if (root) {
            fs::permissions(dir_.parent_path(),
                            fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
            if (Shell("chown nobody " + Quoted(dir_.string())) != 0) {
                return;
            }
        }
        const std::string log = " >" + Quoted((dir_ / "setup.log").string()) + " 2>&1";
        if (Shell(as_ + "initdb -D " + Quoted((dir_ / "data").string()) +
                  " -A trust -U mendrix --no-sync -E UTF8 --locale=C" + log) != 0) {
            return;
        }
        started_ = Shell(as_ + "pg_ctl -D " + Quoted((dir_ / "data").string()) + " -o \"-k " +
                         dir_.string() + " -c listen_addresses='' -c fsync=off\" -l " +
                         Quoted((dir_ / "server.log").string()) + " -w start" + log) == 0;
    }
    ~PostgresServer() {
        if (started_) {
            Shell(as_ + "pg_ctl -D " + Quoted((dir_ / "data").string()) +
                  " -m immediate stop >/dev/null 2>&1");
        }
    }
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    bool Started() const { return started_; }
    // psql with `arguments`, its standard output in `out`; its exit code.
    int Psql(const std::string& arguments, std::string& out) const {
        const fs::path file = dir_ / "psql.out";
        const int code = Shell("psql -h " + Quoted(dir_.string()) +
                               " -U mendrix -d postgres -v ON_ERROR_STOP=1 -q -At " + arguments +
                               " >" + Quoted(file.string()) + " 2>&1");
        out = testsupport::ReadFileBytes(file);
        return code;
    }

private:
    fs::path dir_;
    std::string as_;
    bool started_ = false;
};

// --format sql --dialect postgresql of every corpus table loads into PostgreSQL, each table
// with the records the export wrote. Skipped (one line) where no server can be started; the
// sqlite dialect's SQL is then still checked through SQLite's parser by the test above.
TEST(SqlExport, PostgresqlLoadsTheSqlOfEveryCorpusTable) {
    MENDRIX_NEEDS_CORPUS();
    if (Shell("command -v psql initdb pg_ctl >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no PostgreSQL programs here; the SQL is checked through SQLite only";
    }
    TempDir dir;
    const PostgresServer server(dir / "pg");
    if (!server.Started()) {
        GTEST_SKIP() << "no PostgreSQL server could be started here; the SQL is checked "
                        "through SQLite only";
    }
    const std::vector<fs::path> corpus = CopyOfCorpus(dir);
    const auto exported = RunCli("export --format sql --dialect postgresql -o " +
                                 Quoted((dir / "corpus.sql").string()) + Words(corpus));
    EXPECT_EQ(exported.exitCode, 4) << exported.err; // MEMBRE.DB's lost blobs, fmemo's NULs
    std::string out;
    ASSERT_EQ(server.Psql("-f " + Quoted((dir / "corpus.sql").string()), out), 0) << out;

    const std::regex line("(.*): (\\d+) records written to .* as (.*)");
    std::string counts = "SELECT 0";
    std::string expected = "0\n";
    std::size_t tables = 0;
    std::istringstream lines(exported.out);
    for (std::string text; std::getline(lines, text);) {
        std::smatch match;
        if (std::regex_match(text, match, line)) {
            counts += " UNION ALL SELECT count(*) FROM \"" + match[3].str() + "\"";
            expected += match[2].str() + "\n";
            ++tables;
        }
    }
    EXPECT_EQ(tables, corpus.size());
    ASSERT_EQ(server.Psql("-c " + Quoted(counts), out), 0) << out;
    EXPECT_EQ(out, expected);
}

// A keyed table with a secondary index of one field and a composite, case-insensitive one
// with a descending field.
paradox::TableSchema IndexedSchema() {
    paradox::TableSchema schema;
    schema.fields = {{"Id", Code(FieldType::Long), 4},
                     {"Name", Code(FieldType::Alpha), 20},
                     {"City \"Old\"", Code(FieldType::Alpha), 20},
                     {"Amount", Code(FieldType::Bcd), 2}};
    schema.keyFieldCount = 1;
    schema.codePage = 1252;
    paradox::SecondaryIndexSpec byName;
    byName.extension = "X02";
    byName.name = "Name";
    byName.fieldNumbers = {2};
    paradox::SecondaryIndexSpec byPlace;
    byPlace.extension = "XG0";
    byPlace.name = "ByPlace";
    byPlace.fieldNumbers = {static_cast<std::uint16_t>(3 | paradox::kDescending), 2};
    byPlace.composite = true;
    byPlace.caseInsensitive = true;
    schema.secondaryIndexes = {byName, byPlace};
    return schema;
}

TEST(SqlExport, SchemaGivesTypesKeyAndEveryKindOfIndexInEachDialect) {
    TempDir dir;
    const paradox::TableSchema schema = IndexedSchema();
    paradox::RecordBuilder record(schema);
    record.SetInt(0, 1).SetText(1, "Ann").SetText(2, "Graz").SetBcd(3, "12.5");
    paradox::WriteTable(dir.path(), "PEOPLE", schema, {record.Bytes()});
    const std::string table = Quoted((dir / "PEOPLE.DB").string());

    const auto sqlite = RunCli("schema " + table);
    ASSERT_EQ(sqlite.exitCode, 0) << sqlite.err;
    for (const char* part :
         {"CREATE TABLE \"PEOPLE\" (", "\"Id\" INT,", "\"Name\" VARCHAR(20),",
          "\"City \"\"Old\"\"\" VARCHAR(20),", "\"Amount\" DECIMAL TEXT(32,2)",
          "PRIMARY KEY (\"Id\")", "CREATE INDEX \"PEOPLE_X02\" ON \"PEOPLE\" (\"Name\");",
          "CREATE INDEX \"PEOPLE_XG0\" ON \"PEOPLE\" (\"City \"\"Old\"\"\" COLLATE NOCASE DESC, "
          "\"Name\" COLLATE NOCASE);"}) {
        EXPECT_NE(sqlite.out.find(part), std::string::npos) << part << " in\n" << sqlite.out;
    }
    testsupport::WriteFileBytes(dir / "schema.sql", sqlite.out);
    EXPECT_EQ(Shell("sqlite3 :memory: <" + Quoted((dir / "schema.sql").string())), 0);

    const auto postgres = RunCli("schema --dialect postgresql " + table);
    for (const char* part : {"\"Amount\" NUMERIC(32,2)", "PRIMARY KEY (\"Id\")",
                             "(lower(\"City \"\"Old\"\"\") DESC, lower(\"Name\"));"}) {
        EXPECT_NE(postgres.out.find(part), std::string::npos) << part << " in\n" << postgres.out;
    }
    const auto mysql = RunCli("schema --dialect mysql " + table);
    for (const char* part :
         {"CREATE TABLE `PEOPLE` (", "`Amount` DECIMAL(32,2)", "PRIMARY KEY (`Id`)",
          "(`City \"Old\"` DESC, `Name`);", "DEFAULT CHARSET=utf8mb4;"}) {
        EXPECT_NE(mysql.out.find(part), std::string::npos) << part << " in\n" << mysql.out;
    }
}

// Two keys that differ only in bytes after the Alpha value's end are one value in SQLite: the
// table is written without its primary key, with a plain index on the key, and both records.
TEST(SqlExport, KeyValuesThatRepeatInSqliteKeepEveryRecord) {
    TempDir dir;
    paradox::TableSchema schema;
    schema.fields = {{"Code", Code(FieldType::Alpha), 8}, {"Count", Code(FieldType::Long), 4}};
    schema.keyFieldCount = 1;
    paradox::RecordBuilder first(schema);
    first.SetText(0, "x").SetInt(1, 1);
    paradox::RecordBuilder second(schema);
    second.SetText(0, std::string("x\0zz", 4)).SetInt(1, 2);
    paradox::WriteTable(dir.path(), "CODES", schema, {first.Bytes(), second.Bytes()});
    const fs::path database = dir / "codes.sqlite";
    const auto run = RunCli("export --format sqlite -o " + Quoted(database.string()) + " " +
                            Quoted((dir / "CODES.DB").string()));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("CODES.DB: 2 records written to"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("CODES.DB: warning: its key values repeat"), std::string::npos)
        << run.err;
    TempDir readBack;
    EXPECT_EQ(Shell("sqlite3 " + Quoted(database.string()) +
                    " \"SELECT group_concat(Count) FROM CODES; SELECT name FROM sqlite_master "
                    "WHERE type = 'index'\" >" +
                    Quoted((readBack / "out").string())),
              0);
    EXPECT_EQ(testsupport::ReadFileBytes(readBack / "out"), "1,2\nCODES_key\n");
}

// --format jsonl writes the objects of --format json, one a line.
TEST(SqlExport, JsonLinesHoldTheObjectsOfTheJsonArray) {
    MENDRIX_NEEDS_CORPUS();
    const std::string table =
        Quoted((testsupport::CorpusDir() / "celebithil-Rparadox/TypSammlung.DB").string());
    const auto array = RunCli("export --format json " + table);
    const auto lines = RunCli("export --format jsonl " + table);
    ASSERT_EQ(array.exitCode, lines.exitCode);
    const auto objects = nlohmann::json::parse(array.out);
    std::istringstream stream(lines.out);
    std::size_t count = 0;
    for (std::string line; std::getline(stream, line); ++count) {
        ASSERT_LT(count, objects.size());
        EXPECT_EQ(nlohmann::json::parse(line), objects[count]);
    }
    EXPECT_EQ(count, objects.size());
    EXPECT_GT(count, 0u);
}

// The most memory a run of mendrix-cli with `arguments` held, in KB. Run from Python, whose
// own memory is small: a process started straight from this test would count the test's.
long PeakMemoryKb(const std::string& arguments) {
    TempDir dir;
    const int code =
        Shell("python3 -c 'import resource, subprocess, sys; "
              "sys.exit(subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL).returncode or "
              "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))' " +
              Quoted((testsupport::BinDir() / "mendrix-cli").string()) + " " + arguments + " >" +
              Quoted((dir / "peak").string()));
    EXPECT_EQ(code, 0) << arguments;
    return std::stol("0" + testsupport::ReadFileBytes(dir / "peak"));
}

// Every format exports a 64 MB table holding well under half of it in memory: the records
// are read and written a bounded batch at a time.
TEST(SqlExport, MemoryStaysFlatWhateverTheTableSize) {
#ifdef MENDRIX_SANITIZED
    GTEST_SKIP() << "memory peaks are measured in the normal build only";
#endif
    TempDir dir;
    paradox::TableSchema schema;
    schema.fields = {{"Text", Code(FieldType::Alpha), 250}, {"N", Code(FieldType::Long), 4}};
    constexpr std::size_t kRecords = 64u * 1024 * 1024 / 254;
    {
        paradox::TableWriter writer(dir.path(), "BIG", schema, {.sync = false});
        paradox::RecordBuilder record(schema);
        const std::string text(249, 'q');
        for (std::size_t i = 0; i < kRecords; ++i) {
            record.SetText(0, text).SetInt(1, static_cast<std::int64_t>(i));
            writer.Append(record.Bytes());
        }
        writer.Finish();
    }
    const std::string table = (dir / "BIG.DB").string();
    ASSERT_GT(fs::file_size(table), 64u << 20);
    constexpr long kLimitKb = 32 * 1024;
    for (const std::string format : {"csv", "json", "jsonl", "sql", "sqlite"}) {
        const std::string output = (dir / ("out." + format)).string();
        EXPECT_LT(PeakMemoryKb("export --format " + format + " -o " + Quoted(output) + " " +
                               Quoted(table)),
                  kLimitKb)
            << format;
    }
}

} // namespace
