// mendrix-cli export, read back by independent parsers (Python's csv module, nlohmann-json) and
// compared with what the dump of the same table says, its text decoded by Python's codecs.

#include "CliRun.h"
#include "paradox/Codec.h"
#include "paradox/FieldType.h"
#include "paradox/RecordBuilder.h"
#include "paradox/TableReader.h"
#include "paradox/TableWriter.h"
#include "support/Corpus.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using clitest::Quoted;
using clitest::RunCli;
using paradox::FieldType;

struct CorpusTable {
    const char* path;
    const char* codec; // Python's name of the table's code page
};

// Russian text in cp866; memos in the .MB with graphics beside them; every field type, with a
// memo holding a letter outside ASCII; Bytes and Binary values; a single field, NULL in one
// record.
const CorpusTable kTables[] = {
    {"celebithil-Rparadox/of_cp866.db", "cp866"},
    {"celebithil-Rparadox/biolife.db", "cp437"},
    {"celebithil-Rparadox/TypSammlung.DB", "cp1252"},
    {"MedilinkPS-Paradox-Reader/testtab.DB", "cp1252"},
    {"leonhad-paradoxdriver/fields/timestamp.db", "cp850"},
};

fs::path CorpusPath(const std::string& relative) {
    return testsupport::CorpusDir() / relative;
}

// A value as the dump gives it, text in UTF-8.
struct Expected {
    enum class Kind { Null, Text, Integer, Real, Exact, Boolean, Binary };
    Kind kind = Kind::Null;
    std::string text;
    std::vector<std::uint8_t> bytes;
};

struct ExpectedTable {
    std::vector<std::string> names;
    std::vector<std::vector<Expected>> rows;
    bool hasBinary = false;
};

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(separator, start)) != std::string::npos;
         start = end + 1) {
        parts.push_back(text.substr(start, end - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::vector<std::uint8_t> FromHex(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::string ToHex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 0xF];
    }
    return hex;
}

std::string UnescapeDumpText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            out += next == 't' ? '\t' : next == 'n' ? '\n' : next;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::uint8_t> FromBase64(const std::string& text) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<std::uint8_t> bytes;
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=') {
            break;
        }
        const auto value = alphabet.find(c);
        EXPECT_NE(value, std::string::npos) << "not base64: " << c;
        bits = (bits << 6) | static_cast<std::uint32_t>(value & 0x3F);
        if ((count += 6) >= 8) {
            count -= 8;
            bytes.push_back(static_cast<std::uint8_t>(bits >> count));
        }
    }
    return bytes;
}

// Runs read_back.py; its standard output.
std::string ReadBack(const std::string& arguments) {
    testsupport::TempDir dir;
    const std::string command = "python3 " + Quoted(MENDRIX_READ_BACK_SCRIPT) + " " + arguments +
                                " >" + Quoted((dir / "out").string());
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    return testsupport::ReadFileBytes(dir / "out");
}

// Every value of the table as its dump gives it; names, Alpha and memo text decoded from
// `codec` by Python.
ExpectedTable ExpectedFromDump(const fs::path& path, const std::string& codec) {
    paradox::FindingList findings;
    const auto table = paradox::TableReader::Open(path, findings);
    EXPECT_TRUE(table);
    if (!table) {
        return {};
    }
    const auto dump = RunCli("dump " + Quoted(path.string()));
    EXPECT_EQ(dump.exitCode, 0) << dump.err;
    std::vector<std::string> lines = Split(dump.out, '\n');
    lines.pop_back(); // after the last line end

    // Text to decode, as hex lines: the field names, then each text value in order.
    const auto& fields = table->Schema().fields;
    std::string hexLines;
    for (const auto& field : fields) {
        hexLines += ToHex(field.name) + '\n';
    }
    ExpectedTable expected;
    std::vector<Expected*> texts;
    expected.rows.resize(lines.size());
    for (std::size_t r = 0; r < lines.size(); ++r) {
        const auto cells = Split(lines[r], '\t');
        EXPECT_EQ(cells.size(), fields.size()) << lines[r];
        auto& row = expected.rows[r];
        row.resize(fields.size());
        for (std::size_t f = 0; f < fields.size() && f < cells.size(); ++f) {
            const std::string& cell = cells[f];
            Expected& value = row[f];
            const auto type = fields[f].Type();
            const bool binary = type == FieldType::Blob || type == FieldType::Graphic ||
                                type == FieldType::Ole || type == FieldType::Bytes;
            expected.hasBinary = expected.hasBinary || binary;
            EXPECT_TRUE(cell != "\\E" && cell.rfind("<blob", 0) != 0)
                << "the test tables read whole: " << cell;
            if (cell == "\\N") {
                continue;
            }
            if (type == FieldType::Alpha || type == FieldType::Memo || type == FieldType::FmtMemo) {
                value.kind = Expected::Kind::Text;
                hexLines +=
                    (type == FieldType::Alpha ? ToHex(UnescapeDumpText(cell)) : cell) + '\n';
                texts.push_back(&value);
            } else if (binary) {
                value.kind = Expected::Kind::Binary;
                value.bytes = FromHex(cell);
            } else if (type == FieldType::Short || type == FieldType::Long ||
                       type == FieldType::AutoInc) {
                value.kind = Expected::Kind::Integer;
            } else if (type == FieldType::Number || type == FieldType::Currency) {
                value.kind = Expected::Kind::Real;
            } else if (type == FieldType::Logical) {
                value.kind = Expected::Kind::Boolean;
            } else {
                value.kind = Expected::Kind::Exact; // dates, times, BCD
            }
            if (value.kind != Expected::Kind::Text) {
                value.text = cell;
            }
        }
    }
    testsupport::TempDir dir;
    testsupport::WriteFileBytes(dir / "hex", hexLines);
    const auto decoded =
        nlohmann::json::parse(ReadBack("decode " + codec + " " + Quoted((dir / "hex").string())));
    EXPECT_EQ(decoded.size(), fields.size() + texts.size());
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        auto text = decoded[i].get<std::string>();
        if (i < fields.size()) {
            expected.names.push_back(std::move(text));
        } else {
            texts[i - fields.size()]->text = std::move(text);
        }
    }
    return expected;
}

std::string Where(std::size_t row, const std::string& field) {
    return "record " + std::to_string(row + 1) + " field " + field;
}

void ExpectCsvCell(const std::string& cell, const Expected& expected, const fs::path& csvFolder,
                   const std::string& where) {
    switch (expected.kind) {
    case Expected::Kind::Null:
        EXPECT_EQ(cell, "") << where;
        return;
    case Expected::Kind::Real:
        EXPECT_EQ(std::strtod(cell.c_str(), nullptr), std::strtod(expected.text.c_str(), nullptr))
            << where << ": " << cell << " against " << expected.text;
        return;
    case Expected::Kind::Binary: {
        const std::string bytes = testsupport::ReadFileBytes(csvFolder / cell);
        EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), expected.bytes)
            << where << ": " << cell;
        return;
    }
    default:
        EXPECT_EQ(cell, expected.text) << where;
        return;
    }
}

void ExpectJsonValue(const nlohmann::json& value, const Expected& expected,
                     const std::string& where) {
    switch (expected.kind) {
    case Expected::Kind::Null:
        EXPECT_TRUE(value.is_null()) << where << ": " << value;
        return;
    case Expected::Kind::Text:
    case Expected::Kind::Exact:
        ASSERT_TRUE(value.is_string()) << where << ": " << value;
        EXPECT_EQ(value.get<std::string>(), expected.text) << where;
        return;
    case Expected::Kind::Integer:
        ASSERT_TRUE(value.is_number_integer()) << where << ": " << value;
        EXPECT_EQ(value.get<std::int64_t>(), std::stoll(expected.text)) << where;
        return;
    case Expected::Kind::Real:
        ASSERT_TRUE(value.is_number()) << where << ": " << value;
        EXPECT_EQ(value.get<double>(), std::strtod(expected.text.c_str(), nullptr)) << where;
        return;
    case Expected::Kind::Boolean:
        ASSERT_TRUE(value.is_boolean()) << where << ": " << value;
        EXPECT_EQ(value.get<bool>(), expected.text == "true") << where;
        return;
    case Expected::Kind::Binary:
        ASSERT_TRUE(value.is_string()) << where << ": " << value;
        EXPECT_EQ(FromBase64(value.get<std::string>()), expected.bytes) << where;
        return;
    }
}

std::size_t FilesIn(const fs::path& folder) {
    std::error_code ec;
    std::size_t count = 0;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        ++count;
    }
    return count;
}

TEST(Export, CsvReadsBackAsTheDumpInUtf8) {
    MENDRIX_NEEDS_CORPUS();
    for (const auto& table : kTables) {
        SCOPED_TRACE(table.path);
        const fs::path path = CorpusPath(table.path);
        const ExpectedTable expected = ExpectedFromDump(path, table.codec);
        testsupport::TempDir dir;
        const fs::path csv = dir / "records.csv";
        const auto run =
            RunCli("export " + Quoted(path.string()) + " --format csv -o " + Quoted(csv.string()));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");

        const auto rows = nlohmann::json::parse(ReadBack("csv " + Quoted(csv.string())));
        ASSERT_EQ(rows.size(), expected.rows.size() + 1);
        EXPECT_EQ(rows[0].get<std::vector<std::string>>(), expected.names);
        std::size_t binaryValues = 0;
        for (std::size_t r = 0; r < expected.rows.size(); ++r) {
            const auto cells = rows[r + 1].get<std::vector<std::string>>();
            ASSERT_EQ(cells.size(), expected.names.size()) << "row " << r + 1;
            for (std::size_t f = 0; f < cells.size(); ++f) {
                const Expected& value = expected.rows[r][f];
                binaryValues += value.kind == Expected::Kind::Binary;
                ExpectCsvCell(cells[f], value, dir.path(), Where(r, expected.names[f]));
            }
        }
        // One file per binary value, nothing else.
        EXPECT_EQ(FilesIn(dir / "records.csv.blobs"), binaryValues);

        if (!expected.hasBinary) {
            const auto toStdout = RunCli("export " + Quoted(path.string()) + " --format csv");
            EXPECT_EQ(toStdout.exitCode, 0) << toStdout.err;
            EXPECT_TRUE(toStdout.out == testsupport::ReadFileBytes(csv))
                << "standard output differs from the file";
        }
    }
}

TEST(Export, JsonReadsBackAsTheDumpInUtf8) {
    MENDRIX_NEEDS_CORPUS();
    for (const auto& table : kTables) {
        SCOPED_TRACE(table.path);
        const fs::path path = CorpusPath(table.path);
        const ExpectedTable expected = ExpectedFromDump(path, table.codec);
        testsupport::TempDir dir;
        const fs::path file = dir / "records.json";
        const auto run = RunCli("export " + Quoted(path.string()) + " --format json -o " +
                                Quoted(file.string()));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const std::string text = testsupport::ReadFileBytes(file);
        const auto toStdout = RunCli("export " + Quoted(path.string()) + " --format json");
        EXPECT_EQ(toStdout.exitCode, 0) << toStdout.err;
        EXPECT_TRUE(toStdout.out == text) << "standard output differs from the file";

        const auto records = nlohmann::ordered_json::parse(text);
        ASSERT_TRUE(records.is_array());
        ASSERT_EQ(records.size(), expected.rows.size());
        for (std::size_t r = 0; r < records.size(); ++r) {
            const auto& record = records[r];
            ASSERT_TRUE(record.is_object());
            std::vector<std::string> keys;
            for (const auto& [key, value] : record.items()) {
                keys.push_back(key);
            }
            ASSERT_EQ(keys, expected.names) << "record " << r + 1;
            for (std::size_t f = 0; f < keys.size(); ++f) {
                ExpectJsonValue(record.at(keys[f]), expected.rows[r][f], Where(r, keys[f]));
            }
        }
    }
}

TEST(Export, WhatCannotBeReadIsReportedWithExitFourAndTheRestIsWritten) {
    MENDRIX_NEEDS_CORPUS();
    testsupport::TempDir dir;
    // ORDERS.DB cut off two records into its last block.
    const fs::path orders = CorpusPath("leonhad-paradoxdriver/db/ORDERS.DB");
    paradox::FindingList findings;
    const auto table = paradox::TableReader::Open(orders, findings);
    ASSERT_TRUE(table);
    std::string bytes = testsupport::ReadFileBytes(orders);
    bytes.resize(static_cast<std::size_t>(table->BlockOffset(table->ChainBlocks().back())) + 6 +
                 2 * table->Header().recordSize);
    testsupport::WriteFileBytes(dir / "ORDERS.DB", bytes);
    const std::size_t lost = table->ChainCounts().back() - 2u;
    const auto cut = RunCli("export " + Quoted((dir / "ORDERS.DB").string()) + " --format csv -o " +
                            Quoted((dir / "orders.csv").string()));
    EXPECT_EQ(cut.exitCode, 4) << cut.err;
    EXPECT_NE(cut.err.find(std::to_string(lost) + " records could not be read"), std::string::npos)
        << cut.err;
    const auto rows =
        nlohmann::json::parse(ReadBack("csv " + Quoted((dir / "orders.csv").string())));
    EXPECT_EQ(rows.size(), 1 + table->RecordCount() - lost);

    // MEMBRE.DB: memos and photos live in an .MB the table came without.
    const fs::path membre = CorpusPath("teverett-paradoxReader/MEMBRE.DB");
    const auto dump = RunCli("dump " + Quoted(membre.string()));
    const auto run = RunCli("export " + Quoted(membre.string()) + " --format json");
    EXPECT_EQ(run.exitCode, 4) << run.err;
    EXPECT_NE(run.err.find("Blob file is missing"), std::string::npos) << run.err;
    const auto records = nlohmann::ordered_json::parse(run.out);
    const auto lines = Split(dump.out, '\n');
    ASSERT_EQ(records.size() + 1, lines.size());
    std::size_t unreadable = 0;
    for (std::size_t r = 0; r < records.size(); ++r) {
        const auto cells = Split(lines[r], '\t');
        std::size_t f = 0;
        for (const auto& [key, value] : records[r].items()) {
            ASSERT_LT(f, cells.size());
            if (cells[f].rfind("<blob", 0) == 0) {
                ++unreadable;
                EXPECT_TRUE(value.is_null()) << Where(r, key) << ": " << value;
            } else if (cells[f] != "\\N") {
                EXPECT_FALSE(value.is_null()) << Where(r, key);
            }
            ++f;
        }
    }
    EXPECT_GT(unreadable, 0u);
    EXPECT_NE(run.err.find(std::to_string(unreadable) + " values could not be read"),
              std::string::npos)
        << run.err;
}

TEST(Export, RefusesWhatWouldLoseOrMixFiles) {
    MENDRIX_NEEDS_CORPUS();
    testsupport::TempDir dir;
    for (const char* name : {"biolife.db", "biolife.mb"}) {
        fs::copy_file(CorpusPath(std::string("celebithil-Rparadox/") + name), dir / name);
    }
    const std::string table = Quoted((dir / "biolife.db").string());
    const std::string tableBytes = testsupport::ReadFileBytes(dir / "biolife.db");
    const std::string blobBytes = testsupport::ReadFileBytes(dir / "biolife.mb");

    // Graphics cannot go to standard output as CSV.
    const auto toStdout = RunCli("export " + table + " --format csv");
    EXPECT_EQ(toStdout.exitCode, 16);
    EXPECT_EQ(toStdout.out, "");
    EXPECT_NE(toStdout.err.find("-o"), std::string::npos) << toStdout.err;
    // The output may not be a file of the table, nor be taken for one.
    for (const char* name : {"biolife.db", "biolife.mb", "BIOLIFE.MB", "Biolife.X02"}) {
        const auto run =
            RunCli("export " + table + " --format json -o " + Quoted((dir / name).string()));
        EXPECT_EQ(run.exitCode, 16) << name;
    }
    EXPECT_TRUE(testsupport::ReadFileBytes(dir / "biolife.db") == tableBytes);
    EXPECT_TRUE(testsupport::ReadFileBytes(dir / "biolife.mb") == blobBytes);
    // Blob files of an earlier export are not mixed with new ones.
    fs::create_directory(dir / "out.csv.blobs");
    testsupport::WriteFileBytes(dir / "out.csv.blobs" / "1-8.bin", "earlier");
    const auto mixed =
        RunCli("export " + table + " --format csv -o " + Quoted((dir / "out.csv").string()));
    EXPECT_EQ(mixed.exitCode, 16);
    EXPECT_FALSE(fs::exists(dir / "out.csv"));
    EXPECT_EQ(testsupport::ReadFileBytes(dir / "out.csv.blobs" / "1-8.bin"), "earlier");
    EXPECT_EQ(FilesIn(dir.path()), 3u); // the table, its .MB, the earlier blob folder

    for (const char* arguments : {"", " --format xml", " --format json --code-page 0",
                                  " --format json --code-page 65000", " --format json extra"}) {
        const auto run = RunCli("export " + table + arguments);
        EXPECT_EQ(run.exitCode, 16) << arguments << '\n' << run.err;
        EXPECT_EQ(run.out, "") << arguments;
    }
    EXPECT_EQ(RunCli("export --format json").exitCode, 16);
}

// Special files given to -o are written in place, never replaced; symbolic links are refused.
TEST(Export, DevicesAndFifosAreWrittenInPlaceAndSymbolicLinksRefused) {
    MENDRIX_NEEDS_CORPUS();
    testsupport::TempDir dir;
    const std::string table = Quoted(CorpusPath(kTables[0].path).string());
    const auto expected = RunCli("export " + table + " --format json");
    ASSERT_EQ(expected.exitCode, 0) << expected.err;

    // A FIFO, with a reader already there; our own writer keeps it from ending too soon.
    const fs::path fifo = dir / "records.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const int keepOpen = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(keepOpen, 0);
    ASSERT_EQ(::fcntl(reader, F_SETFL, 0), 0);
    std::string fromFifo;
    std::thread drain([&] {
        char buffer[4096];
        for (ssize_t n; (n = ::read(reader, buffer, sizeof buffer)) > 0;) {
            fromFifo.append(buffer, static_cast<std::size_t>(n));
        }
    });
    const auto toFifo = RunCli("export " + table + " --format json -o " + Quoted(fifo.string()));
    ::close(keepOpen);
    drain.join();
    ::close(reader);
    EXPECT_EQ(toFifo.exitCode, 0) << toFifo.err;
    EXPECT_TRUE(fromFifo == expected.out) << "what the FIFO carried differs";
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));

    const auto toNull = RunCli("export " + table + " --format json -o /dev/null");
    EXPECT_EQ(toNull.exitCode, 0) << toNull.err;
    EXPECT_TRUE(fs::is_character_file(fs::symlink_status("/dev/null")));

    // Symbolic links: to a regular file, to a device, to nothing.
    testsupport::WriteFileBytes(dir / "earlier.json", "earlier");
    const std::pair<const char*, fs::path> links[] = {
        {"to-file", dir / "earlier.json"}, {"to-device", "/dev/null"}, {"dangling", dir / "none"}};
    for (const auto& [name, destination] : links) {
        const fs::path link = dir / name;
        fs::create_symlink(destination, link);
        const auto run = RunCli("export " + table + " --format json -o " + Quoted(link.string()));
        EXPECT_EQ(run.exitCode, 16) << name;
        EXPECT_NE(run.err.find("symbolic link"), std::string::npos) << run.err;
        EXPECT_TRUE(fs::is_symlink(link)) << name;
        EXPECT_EQ(fs::read_symlink(link), destination) << name;
    }
    EXPECT_EQ(testsupport::ReadFileBytes(dir / "earlier.json"), "earlier");
    EXPECT_FALSE(fs::exists(dir / "none"));
    EXPECT_EQ(FilesIn(dir.path()), 5u); // the FIFO, the file, three links
}

TEST(Export, EncryptedTableExportsItsValuesWithoutAPassword) {
    MENDRIX_NEEDS_CORPUS();
    const auto encrypted = RunCli(
        "export " + Quoted(CorpusPath("leonhad-paradoxdriver/encrypt/encrypted35.db").string()) +
        " --format csv");
    EXPECT_EQ(encrypted.exitCode, 0) << encrypted.err;
    EXPECT_NE(encrypted.out.find("Test 1"), std::string::npos) << encrypted.out;
    EXPECT_NE(encrypted.out.find("Test2"), std::string::npos) << encrypted.out;
}

// NOTES.DB of our writer: Name, Note (Alpha), When (Date), At (Timestamp), its header naming
// code page `codePage` (0: none); `fill` sets the values of record `i`.
fs::path WriteNotes(const fs::path& dir, std::uint16_t codePage, int records,
                    const std::function<void(paradox::RecordBuilder&, int)>& fill) {
    paradox::TableSchema schema;
    schema.tableName = "NOTES.DB";
    schema.codePage = codePage;
    schema.fields = {{"Name", 0x01, 20}, {"Note", 0x01, 20}, {"When", 0x02, 4}, {"At", 0x15, 8}};
    std::vector<std::vector<std::uint8_t>> rows;
    paradox::RecordBuilder row(schema);
    for (int i = 0; i < records; ++i) {
        row.Clear();
        fill(row, i);
        rows.push_back(row.Bytes());
    }
    fs::create_directories(dir);
    paradox::WriteTable(dir, "NOTES", schema, rows);
    return dir / "NOTES.DB";
}

TEST(Export, AGuessedCodePageOrTextThatDoesNotDecodeNamesTheCodePageOption) {
    testsupport::TempDir dir;
    constexpr auto npos = std::string::npos;
    const std::string privet = "\x8F\xE0\xA8\xA2\xA5\xE2"; // in code page 866
    const std::string unnamed = Quoted(WriteNotes(dir / "unnamed", 0, 1, [&](auto& row, int) {
                                           row.SetText(0, privet);
                                       }).string());
    // Read as CP437, which every byte decodes in: a warning, not an error.
    const auto guessed = RunCli("export " + unnamed + " --format json");
    EXPECT_EQ(guessed.exitCode, 0) << guessed.err;
    EXPECT_NE(guessed.err.find("header names no code page; its text was read as CP437"), npos)
        << guessed.err;
    EXPECT_NE(guessed.err.find("give --code-page N"), npos) << guessed.err;
    const auto given = RunCli("export " + unnamed + " --format json --code-page 866");
    EXPECT_EQ(given.exitCode, 0) << given.err;
    EXPECT_EQ(given.err, "");
    EXPECT_EQ(nlohmann::json::parse(given.out).at(0).at("Name"),
              "\u041f\u0440\u0438\u0432\u0435\u0442");
    // ASCII reads the same in every code page.
    const auto ascii = RunCli(
        "export " +
        Quoted(WriteNotes(dir / "ascii", 0, 1, [](auto& row, int) { row.SetText(0, "plain"); })
                   .string()) +
        " --format csv");
    EXPECT_EQ(ascii.exitCode, 0) << ascii.err;
    EXPECT_EQ(ascii.err, "");
    // 0x81 is no character of the code page the header names: two values of three hold it.
    const auto wrong = RunCli(
        "export " +
        Quoted(WriteNotes(dir / "cp1252", 1252, 3,
                          [](auto& row, int i) { row.SetText(0, i == 1 ? "ok" : "a\x81\x81"); })
                   .string()) +
        " --format csv");
    EXPECT_EQ(wrong.exitCode, 4) << wrong.err;
    EXPECT_NE(wrong.err.find("2 texts (values or field names) held 4 bytes that are no "
                             "characters of code page CP1252"),
              npos)
        << wrong.err;
    EXPECT_NE(wrong.err.find("give --code-page N"), npos) << wrong.err;
    EXPECT_EQ(wrong.err.find("names no code page"), npos) << wrong.err;
}

TEST(Export, DatesBeforeYearOneAreIso8601ExpandedYearsInBothFormatsAndTheDump) {
    testsupport::TempDir dir;
    const std::int32_t days[] = {
        0, -366, static_cast<std::int32_t>(paradox::DayNumberFromCivil(-44, 3, 15))};
    const std::string dates[] = {"0000-12-31", "-0001-12-31", "-0044-03-15"};
    const std::string table = Quoted(WriteNotes(dir.path(), 437, 3, [&](auto& row, int i) {
                                         row.SetDayNumber(2, days[i]);
                                         row.SetTimestamp(3, days[i] * 86400000.0 + 43200000);
                                     }).string());
    const auto csv = RunCli("export " + table + " --format csv");
    const auto json = RunCli("export " + table + " --format json");
    const auto dump = RunCli("dump " + table);
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    ASSERT_EQ(json.exitCode, 0) << json.err;
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    const auto records = nlohmann::json::parse(json.out);
    ASSERT_EQ(records.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const std::string timestamp = dates[i] + "T12:00:00.000";
        EXPECT_EQ(records[i].at("When"), dates[i]);
        EXPECT_EQ(records[i].at("At"), timestamp);
        EXPECT_NE(csv.out.find(",," + dates[i] + ',' + timestamp + "\r\n"), std::string::npos)
            << csv.out;
        EXPECT_NE(dump.out.find('\t' + dates[i] + '\t' + timestamp + '\n'), std::string::npos)
            << dump.out;
    }
}

TEST(Export, CsvOptionsChooseTheDelimiterHeaderNullTextAndLineEnds) {
    testsupport::TempDir dir;
    const std::string table = Quoted(WriteNotes(dir.path(), 437, 2, [](auto& row, int i) {
                                         if (i == 0) {
                                             row.SetText(0, "a;b");
                                             row.SetDate(2, 2024, 3, 1);
                                         } else {
                                             row.SetText(0, "NULL");
                                             row.SetText(1, "x\ty");
                                         }
                                     }).string());
    // Quoting follows the delimiter: the semicolon is quoted, the tab is not.
    const auto semicolon = RunCli("export " + table + " --format csv --delimiter ';'");
    EXPECT_EQ(semicolon.exitCode, 0) << semicolon.err;
    EXPECT_EQ(semicolon.out, "Name;Note;When;At\r\n\"a;b\";;2024-03-01;\r\nNULL;x\ty;;\r\n");
    // A value that reads as the NULL text is quoted to stay apart from NULL.
    const std::string expected = "a;b\tNULL\t2024-03-01\tNULL\n\"NULL\"\t\"x\ty\"\tNULL\tNULL\n";
    for (const char* tab : {"tab", "'\\t'"}) {
        const auto run = RunCli("export " + table + " --format csv --no-header --null NULL --lf " +
                                "--delimiter " + tab);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, expected) << tab;
    }
    for (const char* wrong :
         {" --format json --null x", " --format json --lf", " --format csv --delimiter ab",
          " --format csv --delimiter '\"'", " --format csv --crlf --lf"}) {
        const auto run = RunCli("export " + table + wrong);
        EXPECT_EQ(run.exitCode, 16) << wrong;
        EXPECT_EQ(run.out, "") << wrong;
        EXPECT_NE(run.err, "") << wrong;
    }
}

TEST(Export, DashAsOutputFileIsStandardOutput) {
    testsupport::TempDir dir;
    const std::string table = Quoted(WriteNotes(dir.path(), 437, 2, [](auto& row, int i) {
                                         row.SetText(0, "n" + std::to_string(i));
                                     }).string());
    const auto expected = RunCli("export " + table + " --format json");
    ASSERT_EQ(expected.exitCode, 0) << expected.err;
    const auto run = RunCli("export " + table + " --format json -o -",
                            "cd " + Quoted(dir.path().string()) + " &&");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, expected.out);
    EXPECT_FALSE(fs::exists(dir / "-"));
}

} // namespace
