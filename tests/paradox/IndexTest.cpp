#include "CorpusManifest.h"
#include "paradox/Family.h"
#include "paradox/OpenChecks.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableReader.h"
#include "support/Corpus.h"
#include "support/DescribeFindings.h"
#include "support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>

namespace {

using paradox::FindingCode;
using paradox::FindingList;
using paradox::TableReader;

using testsupport::Describe;

TEST(Index, EveryCorpusIndexChecksClean) {
    MENDRIX_NEEDS_CORPUS();
    int primary = 0;
    int secondary = 0;
    for (const auto& row : ManifestRows()) {
        FindingList findings;
        auto table = TableReader::Open(row.path, findings);
        ASSERT_TRUE(table) << row.relative;
        auto family = paradox::FindFamily(row.path);
        if (!family.px.empty()) {
            paradox::CheckPrimaryIndex(*table, family.px, findings);
            ++primary;
        }
        for (const auto& file : family.secondaries) {
            if (paradox::UpperExtension(file)[0] == 'X') {
                paradox::CheckSecondaryIndex(*table, file, paradox::PairedTreeFile(family, file),
                                             findings);
                ++secondary;
            }
        }
        findings = [&] {
            FindingList withoutEncryption;
            for (const auto& f : findings.All()) {
                if (f.code != FindingCode::Encrypted) {
                    withoutEncryption.Add(f);
                }
            }
            return withoutEncryption;
        }();
        EXPECT_TRUE(findings.Empty()) << row.relative << "\n" << Describe(findings);
    }
    EXPECT_EQ(primary, 116);
    EXPECT_GE(secondary, 20);
}

} // namespace

namespace {

// A copy of a corpus family in a temporary folder whose files can be edited before checking.
class FamilyCopy {
public:
    FamilyCopy(const std::string& folder, const std::vector<std::string>& names) {
        for (const auto& name : names) {
            std::filesystem::copy_file(testsupport::CorpusDir() / folder / name, dir_ / name);
        }
    }
    std::filesystem::path operator/(const std::string& name) const { return dir_ / name; }
    void Edit(const std::string& name, std::size_t offset, std::initializer_list<int> bytes) {
        std::string content = testsupport::ReadFileBytes(dir_ / name);
        for (int b : bytes) {
            content.at(offset++) = static_cast<char>(b);
        }
        testsupport::WriteFileBytes(dir_ / name, content);
    }
    FindingList CheckPrimary(const std::string& db, const std::string& px) {
        FindingList findings;
        auto table = TableReader::Open(dir_ / db, findings);
        EXPECT_TRUE(table);
        if (table) {
            paradox::CheckPrimaryIndex(*table, dir_ / px, findings);
        }
        return findings;
    }
    FindingList CheckSecondary(const std::string& db, const std::string& x, const std::string& y) {
        FindingList findings;
        auto table = TableReader::Open(dir_ / db, findings);
        EXPECT_TRUE(table);
        if (table) {
            paradox::CheckSecondaryIndex(*table, dir_ / x, y.empty() ? "" : dir_ / y, findings);
        }
        return findings;
    }

private:
    testsupport::TempDir dir_;
};

// ORDERS.PX: one level, 8 entries of 14 bytes (8-byte key + block, statistic, 0) in block 1.
constexpr std::size_t kOrdersEntry0 = 0x800 + 6;

TEST(PrimaryIndexDamage, EntryFaultsAreFound) {
    MENDRIX_NEEDS_CORPUS();
    struct Case {
        const char* what;
        std::size_t offset;
        std::initializer_list<int> bytes;
        FindingCode expected;
    };
    const Case cases[] = {
        {"statistic", kOrdersEntry0 + 14 + 10, {0x80, 0x05}, FindingCode::IndexStatisticMismatch},
        {"child block", kOrdersEntry0 + 8, {0x80, 0x07}, FindingCode::IndexBlocksMismatch},
        {"child outside", kOrdersEntry0 + 8, {0x83, 0x00}, FindingCode::IndexBlocksMismatch},
        {"key", kOrdersEntry0 + 14 + 3, {0x55}, FindingCode::IndexKeyMismatch},
        {"entry count", 0x06, {9}, FindingCode::IndexCountMismatch},
        {"root", 0x1E, {7, 0}, FindingCode::IndexHeaderBad},
        {"levels", 0x20, {0}, FindingCode::IndexCountMismatch},
        {"key field type", 0x58, {0x03}, FindingCode::IndexKeyFieldsMismatch},
        {"bookkeeping", 0x2C, {0x01}, FindingCode::IndexOutOfDate},
        {"collation", 0x29, {0x4C}, FindingCode::IndexOfAnotherTable},
    };
    for (const auto& c : cases) {
        FamilyCopy copy("leonhad-paradoxdriver/db", {"ORDERS.DB", "ORDERS.PX"});
        copy.Edit("ORDERS.PX", c.offset, c.bytes);
        auto findings = copy.CheckPrimary("ORDERS.DB", "ORDERS.PX");
        EXPECT_TRUE(findings.Has(c.expected)) << c.what << "\n" << Describe(findings);
    }
}

TEST(PrimaryIndexDamage, TwoLevelTreeLoopAndMissingFileAreReported) {
    MENDRIX_NEEDS_CORPUS();
    FamilyCopy copy("leonhad-paradoxdriver/areas", {"ZIPCODES.DB", "ZIPCODES.PX"});
    EXPECT_TRUE(copy.CheckPrimary("ZIPCODES.DB", "ZIPCODES.PX").Empty());
    // The root (block 3 of 2 KB blocks, 11-byte entries: 5-byte key, block, statistic, 0)
    // points at itself from its first entry: a loop, not a hang.
    copy.Edit("ZIPCODES.PX", 0x800 + 2 * 2048 + 6 + 5, {0x80, 0x03});
    auto findings = copy.CheckPrimary("ZIPCODES.DB", "ZIPCODES.PX");
    EXPECT_TRUE(findings.Has(FindingCode::IndexTreeBad)) << Describe(findings);

    FindingList missing = copy.CheckPrimary("ZIPCODES.DB", "NOPE.PX");
    EXPECT_TRUE(missing.Has(FindingCode::FileMissing));
}

TEST(SecondaryIndexDamage, MaintainedIndexMustMatchTheTable) {
    MENDRIX_NEEDS_CORPUS();
    const std::vector<std::string> files{"C.DB", "C.PX", "C.X02", "C.Y02"};
    {
        FamilyCopy copy("leonhad-paradoxdriver/joins", files);
        EXPECT_TRUE(copy.CheckSecondary("C.DB", "C.X02", "C.Y02").Empty());
        auto noY = copy.CheckSecondary("C.DB", "C.X02", "");
        EXPECT_TRUE(noY.Has(FindingCode::IndexMissing));
    }
    struct Case {
        const char* what;
        const char* file;
        std::size_t offset;
        std::initializer_list<int> bytes;
        FindingCode expected;
    };
    // C.X02 records: indexed Long, key Long, Blk Num Short (10 bytes) from 0x806.
    const Case cases[] = {
        {"indexed value", "C.X02", 0x806 + 3, {0x09}, FindingCode::SecondaryIndexBad},
        {"key not in table", "C.X02", 0x806 + 7, {0x44}, FindingCode::SecondaryIndexBad},
        {"block number", "C.X02", 0x806 + 8, {0x80, 0x09}, FindingCode::SecondaryIndexBad},
        {"record count", "C.X02", 0x06, {2}, FindingCode::IndexCountMismatch},
        {"field type", "C.X02", 0x78, {0x03, 0x02}, FindingCode::IndexOfAnotherTable},
        {"y statistic", "C.Y02", 0x806 + 8 + 2, {0x80, 0x01}, FindingCode::IndexStatisticMismatch},
        {"link to the primary index", "C.X02", 0x2F, {0x01}, FindingCode::IndexOutOfDate},
    };
    for (const auto& c : cases) {
        FamilyCopy copy("leonhad-paradoxdriver/joins", files);
        copy.Edit(c.file, c.offset, c.bytes);
        auto findings = copy.CheckSecondary("C.DB", "C.X02", "C.Y02");
        EXPECT_TRUE(findings.Has(c.expected)) << c.what << "\n" << Describe(findings);
    }
}

// An X file whose indexed field is not the table's is refused at open with the finding verify
// lists for it: one code, one detail.
TEST(SecondaryIndexDamage, OpenAndVerifyNameAFieldOfAnotherTableAlike) {
    MENDRIX_NEEDS_CORPUS();
    FamilyCopy copy("leonhad-paradoxdriver/joins", {"C.DB", "C.PX", "C.X02", "C.Y02"});
    copy.Edit("C.X02", 0x78, {0x03, 0x02}); // the indexed Long field stored as a Short
    const FindingList verified = copy.CheckSecondary("C.DB", "C.X02", "C.Y02");
    FindingList ignored;
    const auto table = TableReader::Open(copy / "C.DB", ignored);
    const auto x = TableReader::Open(copy / "C.X02", ignored);
    ASSERT_TRUE(table && x);
    FindingList opened;
    paradox::CheckSecondaryHeader(table->Header(), x->Header(), "C.X02", opened);
    ASSERT_FALSE(opened.Empty());
    const paradox::Finding& refusal = opened.All().front();
    EXPECT_EQ(refusal.code, FindingCode::IndexOfAnotherTable);
    const auto& all = verified.All();
    const auto same = std::find_if(all.begin(), all.end(), [&](const paradox::Finding& f) {
        return f.code == refusal.code && f.detail.Render() == refusal.detail.Render();
    });
    EXPECT_NE(same, all.end()) << refusal.Describe() << "\n" << Describe(verified);
    EXPECT_FALSE(verified.Has(FindingCode::SecondaryIndexBad)) << Describe(verified);
}

// A .PX with as many key fields as the table but of another type names the field and both
// types.
TEST(PrimaryIndexDamage, AKeyFieldOfAnotherTypeIsNamed) {
    MENDRIX_NEEDS_CORPUS();
    FamilyCopy copy("leonhad-paradoxdriver/db", {"ORDERS.DB", "ORDERS.PX"});
    copy.Edit("ORDERS.PX", 0x58, {0x03}); // the key field stored as a Short
    const FindingList findings = copy.CheckPrimary("ORDERS.DB", "ORDERS.PX");
    const auto& all = findings.All();
    const auto mismatch = std::find_if(all.begin(), all.end(), [](const paradox::Finding& f) {
        return f.code == FindingCode::IndexKeyFieldsMismatch;
    });
    ASSERT_NE(mismatch, all.end()) << Describe(findings);
    EXPECT_EQ(mismatch->detail.Render(), "key field 1 is Short in the index, Number in the table");
    // The values travel with the finding, not only in its words.
    EXPECT_EQ(mismatch->detail.field, paradox::DetailValue(std::int64_t{1}));
    EXPECT_EQ(mismatch->detail.found, paradox::DetailValue(std::string("Short")));
    EXPECT_EQ(mismatch->detail.expected, paradox::DetailValue(std::string("Number")));
}

TEST(SecondaryIndexSpec, DefinitionsAreReadFromTheXHeader) {
    MENDRIX_NEEDS_CORPUS();
    FindingList findings;
    auto table = TableReader::Open(testsupport::CorpusDir() / "obiba-onyx/ZPatient.DB", findings);
    ASSERT_TRUE(table);
    auto x = TableReader::Open(testsupport::CorpusDir() / "obiba-onyx/ZPatient.XG0", findings);
    ASSERT_TRUE(x);
    auto spec = paradox::ReadSecondaryIndexSpec(x->Header(), "xg0", table->Schema());
    EXPECT_EQ(spec.extension, "XG0");
    EXPECT_TRUE(spec.composite);
    EXPECT_TRUE(spec.maintained);
    EXPECT_EQ(spec.fieldNumbers.size(), 3u);
    EXPECT_EQ(spec.name, x->Header().indexName);
    EXPECT_FALSE(spec.name.empty());

    auto c =
        TableReader::Open(testsupport::CorpusDir() / "leonhad-paradoxdriver/joins/C.DB", findings);
    auto x02 =
        TableReader::Open(testsupport::CorpusDir() / "leonhad-paradoxdriver/joins/C.X02", findings);
    ASSERT_TRUE(c && x02);
    auto single = paradox::ReadSecondaryIndexSpec(x02->Header(), "X02", c->Schema());
    ASSERT_EQ(single.fieldNumbers.size(), 1u);
    EXPECT_EQ(single.fieldNumbers[0], 2);
    EXPECT_EQ(single.name, c->Schema().fields[1].name);
    EXPECT_FALSE(single.composite);
}

} // namespace
