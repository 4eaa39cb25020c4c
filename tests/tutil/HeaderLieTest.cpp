// Header fields that lie about where the blocks are or how they are read (header size, block
// size, key, a level-3.0 header lost): the table is reported damaged, and the rebuild brings
// every record back with its values, a protected table protected with a key that reads it.
#include "TableFixture.h"
#include "engine/ErrorCodes.h"
#include "engine/TableHeaderCheck.h"
#include "paradox/Family.h"
#include "paradox/RecordBuilder.h"
#include "paradox/TableReader.h"
#include "paradox/TableWriter.h"
#include "support/Corpus.h"
#include "support/TempDir.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/UtilityError.h"
#include "tutil/Verify.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using paradox::FindingCode;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using namespace tutilfixture;

constexpr std::uint32_t kKey = 0x0A25E09A;

struct Lie {
    std::string name;
    FindingCode reported;
    void (*apply)(std::string& db);
};

std::size_t KeyAt(const std::string& db) {
    return static_cast<std::uint8_t>(db.at(0x39)) >= 5 ? 0x5C : 0x25;
}

const Lie kHeaderSizePastTheFile{"HeaderSizePastTheFile", FindingCode::BadHeaderSize,
                                 [](std::string& db) { PutU16(db, 0x02, 0xFFFF); }};
const Lie kBlockSizeTooLarge{"BlockSizeTooLarge", FindingCode::BadBlockSize,
                             [](std::string& db) { db[0x05] = 32; }};
const Lie kBlockSizeTooSmall{"BlockSizeTooSmall", FindingCode::BadBlockSize,
                             [](std::string& db) { db[0x05] = 1; }};
const Lie kKeyZeroed{"KeyZeroed", FindingCode::EncryptionKeyBad,
                     [](std::string& db) { db.replace(KeyAt(db), 4, 4, '\0'); }};

// ORDERS at `level` in fields every level has (Short key, two Alpha, Number, Money), keyed with
// its primary index, in several 2 KB blocks.
fs::path WriteOrdersAt(const fs::path& dir, std::uint8_t level, std::uint32_t keyValue) {
    paradox::TableSchema schema;
    schema.fileVersion = level;
    schema.blockSizeCode = 2;
    schema.indexBlockSizeCode = 1;
    schema.tableName = "ORDERS.DB";
    schema.fields = {{"Id", 0x03, 2},
                     {"Name", 0x01, 24},
                     {"City", 0x01, 12},
                     {"Amount", 0x06, 8},
                     {"Paid", 0x05, 8}};
    schema.keyFieldCount = 1;
    schema.protection.keyValue = keyValue;
    std::vector<std::vector<std::uint8_t>> records;
    paradox::RecordBuilder row(schema);
    for (int id = 1; id <= 150; ++id) {
        row.Clear();
        row.SetInt(0, id);
        row.SetText(1, "customer " + std::to_string((id * 7919) % 1000));
        row.SetText(2, "city " + std::to_string(id % 17));
        row.SetDouble(3, id * 1.25 - 40);
        row.SetDouble(4, id * 0.5);
        records.push_back(row.Bytes());
    }
    paradox::WriteTable(dir, "ORDERS", schema, records);
    return dir / "ORDERS.DB";
}

tutil::RebuildNames NamesFor(const fs::path& db) {
    const std::string stem = db.stem().string();
    return {stem + "-BACKUP.DB", stem + "-KEYVIOL.DB", stem + "-PROBLEM.DB", ""};
}

std::uint32_t StoredKey(const fs::path& db) {
    paradox::FindingList findings;
    const auto reader = paradox::TableReader::Open(db, findings);
    return reader ? reader->Header().CipherKeyValue() : 0;
}

// After a rebuild: every record with its values, a clean verify, and a protected table still
// protected, its blocks encrypted on disk under a key whose low half is the original's.
void ExpectCameBack(const fs::path& db, const std::vector<std::string>& values,
                    std::uint32_t keyValue) {
    EXPECT_EQ(RecordValues(db), values);
    EXPECT_EQ(tutil::VerifyTable(tutil::LocateTable(db.string())).status,
              tutil::VerifyStatus::Healthy);
    paradox::FindingList findings;
    const auto reader = paradox::TableReader::Open(db, findings);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->Encrypted(), keyValue != 0);
    EXPECT_EQ(reader->Header().CipherKeyValue() & 0xFFFFu, keyValue & 0xFFFFu);
    if (keyValue != 0 && reader->BlocksPresent() > 0) {
        const std::string stored = ReadFileBytes(db);
        EXPECT_NE(stored.substr(reader->Header().headerSize, 6),
                  std::string(reinterpret_cast<const char*>(reader->BlockBytes(1).data()), 6))
            << "block 1 stored in plain";
    }
}

// Tells the lie in `db`, checks that the table no longer passes for healthy (verify names the
// field, the engine refuses the open), rebuilds it and checks that it came back.
void LieAndRebuild(const fs::path& db, const Lie& lie) {
    SCOPED_TRACE(lie.name);
    const auto table = tutil::LocateTable(db.string());
    const std::vector<std::string> values = RecordValues(db);
    ASSERT_FALSE(values.empty());
    const std::uint32_t keyValue = StoredKey(db);
    std::string bytes = ReadFileBytes(db);
    lie.apply(bytes);
    WriteFileBytes(db, bytes);

    const auto damaged = tutil::VerifyTable(table);
    EXPECT_EQ(damaged.status, tutil::VerifyStatus::Repairable);
    EXPECT_TRUE(damaged.findings.Has(lie.reported));
    std::optional<paradox::MappedFile> file;
    std::optional<paradox::TableHeader> header;
    EXPECT_EQ(engine::ReadTableHeader(db, file, header), engine::err::HeaderCorrupt);
    file.reset();

    const auto outcome = tutil::RebuildTable(table, tutil::ReadTableStructure(table), NamesFor(db));
    EXPECT_EQ(ReadFileBytes(outcome.backupTable), bytes);
    // Only a key found again is reported as recovered, and it is the one the table now has.
    EXPECT_EQ(outcome.recoveredKey.has_value(), lie.reported == FindingCode::EncryptionKeyBad);
    if (outcome.recoveredKey) {
        EXPECT_EQ(*outcome.recoveredKey, StoredKey(db));
    }
    ExpectCameBack(db, values, keyValue);
}

const std::uint8_t kLevels[] = {paradox::level::V3_0, paradox::level::V4, paradox::level::V5,
                                paradox::level::V7};

TEST(HeaderLie, HeaderSizeAndBlockSizeAreCheckedAgainstTheBlocks) {
    for (const std::uint8_t level : kLevels) {
        for (const std::uint32_t key : {0u, kKey}) {
            for (const Lie* lie :
                 {&kHeaderSizePastTheFile, &kBlockSizeTooLarge, &kBlockSizeTooSmall}) {
                SCOPED_TRACE("level " + std::to_string(level) + (key ? " protected" : " plain"));
                TempDir dir;
                LieAndRebuild(WriteOrdersAt(dir.path(), level, key), *lie);
            }
        }
    }
}

TEST(HeaderLie, ZeroedKeyIsFoundAgainAndKept) {
    for (const std::uint8_t level : kLevels) {
        SCOPED_TRACE("level " + std::to_string(level));
        TempDir dir;
        LieAndRebuild(WriteOrdersAt(dir.path(), level, kKey), kKeyZeroed);
    }
}

// Real tables: a level-3.0 one and the protected ones with a header size past the file, the
// protected ones with their key zeroed, a level-7 one with a block size that lies.
TEST(HeaderLie, CorpusTablesComeBack) {
    MENDRIX_NEEDS_CORPUS();
    const fs::path leonhad = testsupport::CorpusDir() / "leonhad-paradoxdriver";
    const fs::path level30 = leonhad / "mtdemo" / "CUSTOMER.DB";
    const std::vector<fs::path> protectedTables = {leonhad / "encrypt" / "encrypted35.db",
                                                   leonhad / "encrypt" / "encryptedmemo.db",
                                                   leonhad / "encrypt" / "encrypted.db"};
    std::vector<std::pair<fs::path, const Lie*>> cases = {
        {level30, &kHeaderSizePastTheFile}, {leonhad / "db" / "CUSTOMER.DB", &kBlockSizeTooLarge}};
    for (const fs::path& table : protectedTables) {
        cases.emplace_back(table, &kHeaderSizePastTheFile);
        cases.emplace_back(table, &kKeyZeroed);
    }
    for (const auto& [source, lie] : cases) {
        SCOPED_TRACE(source.string());
        TempDir dir;
        LieAndRebuild(CopyFamily(source, dir.path()), *lie);
    }
}

// A level-3.0 table whose header is lost comes back whole from a template of the same
// structure and from an earlier backup: its blocks start right after the names the structure
// implies.
TEST(HeaderLie, Level30HeaderIsSalvaged) {
    MENDRIX_NEEDS_CORPUS();
    const fs::path realTable =
        testsupport::CorpusDir() / "leonhad-paradoxdriver" / "mtdemo" / "CUSTOMER.DB";
    for (const bool real : {false, true}) {
        for (const bool fromBackup : {false, true}) {
            SCOPED_TRACE(std::string(real ? "corpus" : "own") +
                         (fromBackup ? " from a backup" : " from a template"));
            TempDir dir, shapeDir;
            const fs::path db = real ? CopyFamily(realTable, dir.path())
                                     : WriteOrdersAt(dir.path(), paradox::level::V3_0, 0);
            const std::string stem = db.stem().string();
            tutil::StructureChoice choice;
            if (fromBackup) {
                fs::copy_file(db, dir / (stem + "-BACKUP.DB"));
            } else {
                fs::copy_file(db, shapeDir / "SHAPE.DB");
                choice.templateTable = shapeDir / "SHAPE.DB";
            }
            const auto table = tutil::LocateTable(db.string());
            const std::vector<std::string> values = RecordValues(db);
            std::string bytes = ReadFileBytes(db);
            std::fill_n(bytes.begin(), GetU16(bytes, 0x02), '\0');
            WriteFileBytes(db, bytes);

            const auto outcome = tutil::RebuildTable(
                table, tutil::ReadTableStructure(table, choice), NamesFor(db), choice);
            EXPECT_TRUE(outcome.findings.Has(FindingCode::StructureSalvaged));
            EXPECT_EQ(outcome.recordsWritten, values.size());
            ExpectCameBack(db, values, 0);
        }
    }
}

// Where the field list of `db` starts: after the level-4 extension from that level on.
std::size_t FieldListAt(const std::string& db) {
    return static_cast<std::uint8_t>(db.at(0x39)) >= 5 ? 0x78 : 0x58;
}

// Field descriptors that lie about types or sizes while the record size still adds up: the
// data contradicts them, so the table is not healthy and no rebuild may take them for true.
// Without another source the rebuild is refused with every file as it was; with a template of
// the true structure every record comes back.
TEST(HeaderLie, FieldTypesAndSizesAreCheckedAgainstTheData) {
    const Lie numberReadAsAlpha{"NumberReadAsAlpha", FindingCode::StructureContradicted,
                                [](std::string& db) { db[FieldListAt(db) + 3 * 2] = 0x01; }};
    const Lie alphaSizesSwapped{
        "AlphaSizesSwapped", FindingCode::StructureContradicted, [](std::string& db) {
            std::swap(db[FieldListAt(db) + 1 * 2 + 1], db[FieldListAt(db) + 2 * 2 + 1]);
        }};
    for (const std::uint8_t level : kLevels) {
        for (const std::uint32_t key : {0u, kKey}) {
            for (const Lie* lie : {&numberReadAsAlpha, &alphaSizesSwapped}) {
                SCOPED_TRACE("level " + std::to_string(level) + (key ? " protected " : " plain ") +
                             lie->name);
                TempDir dir, shapeDir;
                const fs::path db = WriteOrdersAt(dir.path(), level, key);
                WriteOrdersAt(shapeDir.path(), level, 0); // a template is read for its header only
                const auto table = tutil::LocateTable(db.string());
                const std::vector<std::string> values = RecordValues(db);
                std::string bytes = ReadFileBytes(db);
                lie->apply(bytes);
                WriteFileBytes(db, bytes);
                const auto before = FolderFiles(dir.path());

                const auto damaged = tutil::VerifyTable(table);
                EXPECT_NE(damaged.status, tutil::VerifyStatus::Healthy);
                EXPECT_TRUE(damaged.findings.Has(lie->reported));
                EXPECT_THROW(
                    tutil::RebuildTable(table, tutil::ReadTableStructure(table), NamesFor(db)),
                    tutil::UtilityError);
                EXPECT_EQ(FolderFiles(dir.path()), before) << "a refused rebuild changed files";

                tutil::StructureChoice choice;
                choice.templateTable = shapeDir.path() / "ORDERS.DB";
                const auto outcome = tutil::RebuildTable(
                    table, tutil::ReadTableStructure(table, choice), NamesFor(db), choice);
                EXPECT_EQ(ReadFileBytes(outcome.backupTable), bytes);
                ExpectCameBack(db, values, key);
            }
        }
    }
}

// A .PX whose header counts no key fields (as some other writers leave it) cannot describe
// its key, but the table's own header can: the table is repairable, not one to rebuild by
// hand, and a rebuild writes the index anew with every record.
TEST(HeaderLie, AnIndexHeaderWithoutFieldsLeavesTheTableRepairable) {
    TempDir dir;
    const fs::path db = WriteOrders(dir.path(), 300);
    const auto before = RecordValues(db);
    const fs::path px = dir.path() / "ORDERS.PX";
    std::string bytes = ReadFileBytes(px);
    PutU16(bytes, 0x21, 0);
    WriteFileBytes(px, bytes);

    const auto table = tutil::LocateTable(db.string());
    const auto verified = tutil::VerifyTable(table);
    EXPECT_TRUE(verified.findings.Has(FindingCode::BadFieldCount));
    EXPECT_EQ(verified.status, tutil::VerifyStatus::Repairable);

    tutil::RebuildTable(table, tutil::ReadTableStructure(table),
                        {"ORDERS-BACKUP.DB", "ORDERS-KEYVIOL.DB", "ORDERS-PROBLEM.DB", ""});
    EXPECT_EQ(tutil::VerifyTable(table).status, tutil::VerifyStatus::Healthy);
    EXPECT_EQ(RecordValues(db), before);
}

} // namespace
