#include "TableFixture.h"
#include "paradox/Codec.h"
#include "paradox/Family.h"
#include "paradox/FieldType.h"
#include "paradox/TableWriter.h"
#include "support/Corpus.h"
#include "support/TempDir.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/Verify.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using paradox::FindingCode;
using paradox::Severity;
using testsupport::TempDir;

fs::path CopyFamily(const fs::path& db, const fs::path& dir) {
    for (const auto& file : paradox::AllFamilyFiles(paradox::FindFamily(db))) {
        fs::copy_file(file, dir / file.filename());
    }
    return dir / db.filename();
}

const paradox::Finding* FindingOf(const paradox::FindingList& findings, FindingCode code) {
    for (const auto& f : findings.All()) {
        if (f.code == code) {
            return &f;
        }
    }
    return nullptr;
}

std::string Describe(const paradox::FindingList& findings) {
    std::string text;
    for (const auto& f : findings.All()) {
        text += f.Describe() + "\n";
    }
    return text;
}

tutil::VerifyOutcome Verify(const fs::path& db) {
    return tutil::VerifyTable(tutil::LocateTable(db.string()));
}

void Rebuild(const fs::path& db) {
    const auto table = tutil::LocateTable(db.string());
    tutil::RebuildTable(table, tutil::ReadTableStructure(table),
                        {"C-BACKUP.DB", "C-KEYVIOL.DB", "C-PROBLEM.DB", ""});
}

// No table written by the software itself has a key or an index entry the collation checks
// call out of order, whatever its sort order (with a table here or not).
TEST(CollationOrder, NoCorpusTableHasAKeyOrderFinding) {
    MENDRIX_NEEDS_CORPUS();
    for (const auto& path : testsupport::CorpusTables()) {
        SCOPED_TRACE(path.string());
        TempDir dir;
        const auto outcome = Verify(CopyFamily(path, dir.path()));
        const paradox::Finding* order = FindingOf(outcome.findings, FindingCode::KeyOrder);
        EXPECT_EQ(order, nullptr) << order->Describe();
        for (const auto& f : outcome.findings.All()) {
            EXPECT_EQ(f.Describe().find("out of order"), std::string::npos) << f.Describe();
        }
    }
}

// The records of the chain's first two blocks change places: everything but the chain links
// (the first 4 bytes of each block header) moves.
void SwapFirstTwoBlocks(const fs::path& db) {
    std::string bytes = testsupport::ReadFileBytes(db);
    const auto layout = tutilfixture::ReadLayout(bytes);
    const std::uint16_t first = tutilfixture::GetU16(bytes, 0x0E);
    const std::uint16_t second = tutilfixture::GetU16(bytes, layout.BlockOffset(first));
    ASSERT_NE(second, 0);
    for (std::size_t i = 4; i < layout.blockSize; ++i) {
        std::swap(bytes[layout.BlockOffset(first) + i], bytes[layout.BlockOffset(second) + i]);
    }
    testsupport::WriteFileBytes(db, bytes);
}

// Two data blocks of a real table under a sort order without a table here ('DBWINUS0'), their
// records swapped: the descent is reported as suspicious, and the rebuild puts the blocks back
// in the order of their first keys, so every record comes back where it was.
TEST(CollationOrder, SwappedBlocksUnderAnUnknownOrderAreFoundAndPutBack) {
    MENDRIX_NEEDS_CORPUS();
    TempDir dir;
    const fs::path db = CopyFamily(
        testsupport::CorpusDir() / "leonhad-paradoxdriver" / "db" / "AREACODES.DB", dir.path());
    const auto original = tutilfixture::RecordValues(db);
    SwapFirstTwoBlocks(db);

    const auto before = Verify(db);
    const paradox::Finding* order = FindingOf(before.findings, FindingCode::KeyOrder);
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(order->severity, Severity::Suspicious);
    EXPECT_NE(order->Describe().find("DBWINUS0"), std::string::npos) << order->Describe();

    Rebuild(db);
    EXPECT_EQ(tutilfixture::RecordValues(db), original);
    const auto after = Verify(db);
    EXPECT_EQ(after.status, tutil::VerifyStatus::Healthy);
    EXPECT_EQ(FindingOf(after.findings, FindingCode::KeyOrder), nullptr);
}

// The same damage under a sort order with a collation table ('ANSII850'): the keys out of
// order are damage, and the rebuild sorts the records back into the collation's order.
TEST(CollationOrder, SwappedBlocksUnderAKnownOrderAreDamageAndResorted) {
    MENDRIX_NEEDS_CORPUS();
    TempDir dir;
    const fs::path db = CopyFamily(
        testsupport::CorpusDir() / "leonhad-paradoxdriver" / "db" / "HERCULES.DB", dir.path());
    const auto original = tutilfixture::RecordValues(db);
    SwapFirstTwoBlocks(db);

    const auto before = Verify(db);
    const paradox::Finding* order = FindingOf(before.findings, FindingCode::KeyOrder);
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(order->severity, Severity::Damage);

    Rebuild(db);
    EXPECT_EQ(tutilfixture::RecordValues(db), original);
    EXPECT_EQ(Verify(db).status, tutil::VerifyStatus::Healthy);
}

std::vector<std::uint8_t> NameRecord(const std::string& name, std::int32_t n) {
    std::vector<std::uint8_t> record(24, 0);
    std::copy(name.begin(), name.end(), record.begin());
    paradox::EncodeKbeInt(n, record.data() + 20, 4);
    return record;
}

struct KeyOrderCase {
    std::uint8_t sortOrder;
    const char* sortOrderName;
    std::uint16_t codePage;
    std::vector<std::string> collated; // Alpha keys in the collation's order
};

// Tables whose Alpha keys byte order and the collation sort differently (lower-case initials,
// accents, 'ä' as "ae", the Windows order's 'Ø' among the o's), under 'ANSIINTL' on code page
// 1252 and 'intl850' on code page 850: in collation order a table verifies clean and a rebuild
// keeps it; in byte order the keys are out of order, and the rebuild writes them in collation
// order.
TEST(CollationOrder, KnownCollationDecidesAlphaKeyOrder) {
    const std::vector<KeyOrderCase> cases = {
        {0x62, "ANSIINTL", 1252, {"apple", "Banana", "cote", "c\xF4te", "C\xF4te", "cukor"}},
        {0x54,
         "intl850",
         850,
         {"\x84rger", "apple", "Banana", "cote", "c\x93te", "C\x93te", "cukor", "olive", "\x9Dre",
          "pear"}}};
    auto names = [](const fs::path& db) {
        std::vector<std::string> out;
        for (const std::string& r : tutilfixture::ChainRecords(db)) {
            out.push_back(r.substr(0, r.find('\0')));
        }
        return out;
    };
    for (const KeyOrderCase& k : cases) {
        SCOPED_TRACE(k.sortOrderName);
        paradox::TableSchema schema;
        schema.fields = {{"Name", static_cast<std::uint8_t>(paradox::FieldType::Alpha), 20},
                         {"N", static_cast<std::uint8_t>(paradox::FieldType::Long), 4}};
        schema.keyFieldCount = 1;
        schema.sortOrder = k.sortOrder;
        schema.sortOrderName = k.sortOrderName;
        schema.codePage = k.codePage;
        std::vector<std::string> bytewise = k.collated;
        std::sort(bytewise.begin(), bytewise.end());
        ASSERT_NE(bytewise, k.collated);
        paradox::WriteOptions asGiven;
        asGiven.byteOrderKeys = false;
        auto write = [&](const fs::path& dir, const std::vector<std::string>& keys) {
            std::vector<std::vector<std::uint8_t>> records;
            for (std::size_t i = 0; i < keys.size(); ++i) {
                records.push_back(NameRecord(keys[i], static_cast<std::int32_t>(i)));
            }
            paradox::WriteTable(dir, "NAMES", schema, records, {}, asGiven);
            return dir / "NAMES.DB";
        };

        TempDir good;
        const fs::path sorted = write(good.path(), k.collated);
        const auto clean = Verify(sorted);
        EXPECT_EQ(clean.status, tutil::VerifyStatus::Healthy) << Describe(clean.findings);
        EXPECT_EQ(FindingOf(clean.findings, FindingCode::KeyOrder), nullptr);
        Rebuild(sorted);
        EXPECT_EQ(names(sorted), k.collated);
        EXPECT_EQ(Verify(sorted).status, tutil::VerifyStatus::Healthy);

        TempDir bad;
        const fs::path db = write(bad.path(), bytewise);
        const auto outOfOrder = Verify(db);
        const paradox::Finding* order = FindingOf(outOfOrder.findings, FindingCode::KeyOrder);
        ASSERT_NE(order, nullptr);
        EXPECT_EQ(order->severity, Severity::Damage);
        Rebuild(db);
        EXPECT_EQ(names(db), k.collated);
        EXPECT_EQ(Verify(db).status, tutil::VerifyStatus::Healthy);
    }
}

// The entries of every X file of a table, without the trailing record locators (Blk Num, and
// for an unkeyed table Tup Offset), which a rebuild may renumber when it packs blocks anew.
std::map<std::string, std::vector<std::string>> IndexEntries(const fs::path& db) {
    const bool keyed = testsupport::ReadFileBytes(db).at(4) == 0;
    std::map<std::string, std::vector<std::string>> entries;
    for (const auto& file : paradox::FindFamily(db).secondaries) {
        const std::string extension = paradox::UpperExtension(file);
        if (extension[0] != 'X') {
            continue;
        }
        auto& list = entries[extension];
        for (const std::string& r : tutilfixture::ChainRecords(file)) {
            list.push_back(r.substr(0, r.size() - (keyed ? 2 : 4)));
        }
    }
    return entries;
}

// Every healthy corpus table with secondary indexes, rebuilt, writes index files holding the
// entries of the originals one for one: case-insensitive indexes keep their upper-cased values
// (zakazky.XG0, ZProtocol.XG0), in the order the table's software sorted them.
TEST(CollationOrder, RebuiltCorpusIndexesMatchTheOriginalsEntryForEntry) {
    MENDRIX_NEEDS_CORPUS();
    int compared = 0;
    for (const auto& path : testsupport::CorpusTables()) {
        if (paradox::FindFamily(path).secondaries.empty()) {
            continue;
        }
        SCOPED_TRACE(path.string());
        TempDir dir;
        const fs::path db = CopyFamily(path, dir.path());
        if (Verify(db).status != tutil::VerifyStatus::Healthy) {
            continue;
        }
        const auto before = IndexEntries(db);
        const std::size_t records = tutilfixture::ChainRecords(db).size();
        Rebuild(db);
        const auto after = IndexEntries(db);
        ASSERT_EQ(before.size(), after.size());
        for (const auto& [extension, entries] : before) {
            SCOPED_TRACE(extension);
            if (entries.size() != records) {
                continue; // a non-maintained index the software left stale: rebuilt afresh
            }
            const auto& rebuilt = after.at(extension);
            ASSERT_EQ(rebuilt.size(), entries.size());
            for (std::size_t i = 0; i < entries.size(); ++i) {
                ASSERT_EQ(rebuilt[i], entries[i]) << "entry " << i;
            }
            ++compared;
        }
    }
    EXPECT_GE(compared, 20);
}

// A case-insensitive index of an 'ANSIINTL' table holds its values upper-cased through the sort
// order's map ('é' -> 'E') and sorted in its collation ('Ä' as "AE", before "AL"; equal values
// by key, then by the bytes after their NUL, as the order check compares them); two entries
// swapped are out of order.
TEST(CollationOrder, CaseInsensitiveIndexIsUpperCasedAndCollated) {
    paradox::TableSchema schema;
    schema.fields = {{"Id", static_cast<std::uint8_t>(paradox::FieldType::Long), 4},
                     {"Name", static_cast<std::uint8_t>(paradox::FieldType::Alpha), 20}};
    schema.keyFieldCount = 1;
    schema.sortOrder = 0x62;
    schema.sortOrderName = "ANSIINTL";
    schema.codePage = 1252;
    paradox::SecondaryIndexSpec byName;
    byName.extension = "XG0";
    byName.name = "ByName";
    byName.fieldNumbers = {2};
    byName.composite = true;
    byName.caseInsensitive = true;
    schema.secondaryIndexes = {byName};
    // Two empty values, one with bytes left after its NUL: equal values, told apart by bytes.
    const std::vector<std::string> names = {
        "b\xE9ta", "Alpha", "alpine", "Zulu", "\xC4rger", "beta", std::string("\0zz", 3), ""};
    std::vector<std::vector<std::uint8_t>> records;
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::vector<std::uint8_t> record(24, 0);
        paradox::EncodeKbeInt(static_cast<std::int64_t>(i + 1), record.data(), 4);
        std::copy(names[i].begin(), names[i].end(), record.begin() + 4);
        records.push_back(record);
    }
    TempDir dir;
    paradox::WriteTable(dir.path(), "NAMES", schema, records);
    const fs::path xg0 = dir.path() / "NAMES.XG0";
    std::vector<std::string> stored;
    for (const std::string& r : tutilfixture::ChainRecords(xg0)) {
        stored.push_back(r.substr(0, r.find('\0')));
    }
    EXPECT_EQ(stored, (std::vector<std::string>{"", "", "\xC4RGER", "ALPHA", "ALPINE", "BETA",
                                                "BETA", "ZULU"}));
    EXPECT_EQ(testsupport::ReadFileBytes(xg0).at(0x55), 0x01);
    const auto clean = Verify(dir.path() / "NAMES.DB");
    EXPECT_EQ(clean.status, tutil::VerifyStatus::Healthy) << Describe(clean.findings);

    std::string bytes = testsupport::ReadFileBytes(xg0);
    const auto layout = tutilfixture::ReadLayout(bytes);
    const std::size_t first = layout.BlockOffset(1) + 6;
    for (std::size_t i = 0; i < layout.recordSize; ++i) {
        std::swap(bytes[first + i], bytes[first + layout.recordSize + i]);
    }
    testsupport::WriteFileBytes(xg0, bytes);
    const auto swapped = Verify(dir.path() / "NAMES.DB");
    bool found = false;
    for (const auto& f : swapped.findings.All()) {
        found =
            found || (f.code == FindingCode::SecondaryIndexBad && f.severity == Severity::Damage &&
                      f.Describe().find("out of order") != std::string::npos);
    }
    EXPECT_TRUE(found);
}

} // namespace
