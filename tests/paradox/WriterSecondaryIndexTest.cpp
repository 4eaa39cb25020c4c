// Secondary indexes written with a table: X files sorted by the index (descending fields
// too), pointing at the right table blocks, Y files that index them, bookkeeping bytes tied
// to the table's, and a definition that reads back as it was given (so a rebuild can
// reproduce it).

#include "WriterIndexCheck.h"
#include "WriterTestData.h"
#include "paradox/Codec.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableReader.h"
#include "paradox/TableWriter.h"
#include "support/DescribeFindings.h"
#include "support/TempDir.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

using namespace writertest;
using paradox::FindingList;
using paradox::SecondaryIndexSpec;
using paradox::TableReader;

using testsupport::Describe;

SecondaryIndexSpec Single(const char* ext, std::uint16_t field, std::uint8_t blockSizeCode,
                          bool maintained = true) {
    SecondaryIndexSpec s;
    s.extension = ext;
    s.fieldNumbers = {field};
    s.maintained = maintained;
    s.blockSizeCode = blockSizeCode;
    return s;
}

SecondaryIndexSpec Composite(const char* ext, const char* name, std::vector<std::uint16_t> fields,
                             std::uint8_t blockSizeCode) {
    SecondaryIndexSpec s;
    s.extension = ext;
    s.name = name;
    s.fieldNumbers = std::move(fields);
    s.composite = true;
    s.blockSizeCode = blockSizeCode;
    return s;
}

// Offsets of the table's fields in a record.
std::vector<std::uint32_t> Offsets(const paradox::TableSchema& schema) {
    std::vector<std::uint32_t> offsets;
    std::uint32_t at = 0;
    for (const auto& f : schema.fields) {
        offsets.push_back(at);
        at += f.ByteLength();
    }
    return offsets;
}

// Compares two X records by their leading index fields, honouring descending fields.
int CompareIndexFields(const paradox::TableSchema& schema, const SecondaryIndexSpec& spec,
                       const std::uint8_t* a, const std::uint8_t* b) {
    std::uint32_t at = 0;
    for (std::uint16_t number : spec.fieldNumbers) {
        const auto& field = schema.fields[(number & 0x7FFF) - 1u];
        const int c = std::memcmp(a + at, b + at, field.ByteLength());
        if (c != 0) {
            return (number & 0x8000) != 0 ? -c : c;
        }
        at += field.ByteLength();
    }
    return 0;
}

void CheckFamily(const testsupport::TempDir& dir, const GeneratedTable& table) {
    FindingList findings;
    auto db = TableReader::Open(dir / "SEC.DB", findings);
    ASSERT_TRUE(db);
    const auto offsets = Offsets(table.schema);
    std::uint8_t primarySync = 0;
    if (table.schema.Keyed()) {
        auto px = TableReader::Open(dir / "SEC.PX", findings);
        ASSERT_TRUE(px);
        primarySync = px->Header().indexSyncCount;
    }
    for (const auto& spec : table.schema.secondaryIndexes) {
        SCOPED_TRACE(spec.extension);
        std::string yExtension = spec.extension;
        yExtension[0] = 'Y';
        const auto xPath = dir / ("SEC." + spec.extension);
        const auto yPath = dir / ("SEC." + yExtension);

        FindingList checks;
        paradox::CheckSecondaryIndex(*db, xPath, yPath, checks);
        EXPECT_TRUE(checks.Empty()) << Describe(checks);

        auto x = TableReader::Open(xPath, findings);
        auto y = TableReader::Open(yPath, findings);
        ASSERT_TRUE(x && y);
        EXPECT_TRUE(findings.Empty()) << Describe(findings);

        // The definition reads back as given.
        const SecondaryIndexSpec back =
            paradox::ReadSecondaryIndexSpec(x->Header(), spec.extension, table.schema);
        EXPECT_EQ(back.fieldNumbers, spec.fieldNumbers);
        EXPECT_EQ(back.composite, spec.composite);
        EXPECT_EQ(back.maintained, spec.maintained);
        EXPECT_EQ(back.blockSizeCode, spec.blockSizeCode);
        if (spec.composite) {
            EXPECT_EQ(back.name, spec.name);
        }

        // Bookkeeping bytes tied together.
        EXPECT_EQ(x->Header().byte2F, primarySync);
        EXPECT_EQ(x->Header().changeCount2, db->Header().changeCount2);
        EXPECT_EQ(y->Header().indexSyncCount, x->Header().changeCount1);

        // One X record per table record, in index order, each pointing at the table block
        // that holds its record.
        EXPECT_EQ(x->Header().numRecords, db->Header().numRecords);
        const std::uint16_t xSize = x->Header().recordSize;
        std::vector<std::uint8_t> previous;
        std::size_t count = 0;
        x->ForEachRecord([&](const paradox::RecordRef& r) {
            ++count;
            if (!previous.empty()) {
                EXPECT_LE(CompareIndexFields(table.schema, spec, previous.data(), r.bytes), 0)
                    << "X record " << count;
            }
            previous.assign(r.bytes, r.bytes + xSize);
            // Index fields, then (keyed) the key or (unkeyed) the record number, then the block.
            std::uint32_t at = 0;
            for (std::uint16_t number : spec.fieldNumbers) {
                at += table.schema.fields[(number & 0x7FFF) - 1u].ByteLength();
            }
            std::uint32_t keyLength = 0;
            for (std::size_t k = 0; k < table.schema.keyFieldCount; ++k) {
                keyLength += table.schema.fields[k].ByteLength();
            }
            const std::uint32_t blockAt = table.schema.Keyed() ? at + keyLength : at + 4;
            const auto block = paradox::DecodeKbeInt(r.bytes + blockAt, 2).value_or(0);
            const auto target = db->BlockBytes(static_cast<std::uint32_t>(block));
            ASSERT_GT(target.size(), 6u);
            const auto records = target.S16LE(4).value_or(-1) / db->Header().recordSize + 1;
            bool found = false;
            for (int i = 0; i < records && !found; ++i) {
                const std::uint8_t* rec = target.data() + 6 + i * db->Header().recordSize;
                bool same = true;
                std::uint32_t xAt = 0;
                for (std::uint16_t number : spec.fieldNumbers) {
                    const auto f = (number & 0x7FFF) - 1u;
                    const auto length = table.schema.fields[f].ByteLength();
                    same = same && std::memcmp(rec + offsets[f], r.bytes + xAt, length) == 0;
                    xAt += length;
                }
                if (table.schema.Keyed()) {
                    same = same && std::memcmp(rec, r.bytes + at, keyLength) == 0;
                } else {
                    const auto slot = paradox::DecodeKbeInt(r.bytes + at + 6, 2).value_or(-1);
                    same = same && slot == i;
                }
                found = same;
            }
            EXPECT_TRUE(found) << "X record " << count << " points at block " << block;
        });
        EXPECT_EQ(count, table.records.size());

        const IndexWalk walk = IndexWalker(*x, *y, static_cast<std::uint16_t>(xSize - 2)).Walk();
        EXPECT_TRUE(walk.problems.empty()) << ::testing::PrintToString(walk.problems);
    }
}

TEST(WriterSecondaryIndex, SingleAndCompositeIndexesOfAKeyedTable) {
    for (const std::uint8_t version :
         {paradox::level::V4, paradox::level::V5, paradox::level::V7}) {
        SCOPED_TRACE(static_cast<int>(version));
        const Mix mix = version == paradox::level::V4 ? Mix::Classic : Mix::Level5;
        GeneratedTable table = Generate(mix, version, 1, 1, 2500, 21);
        if (mix == Mix::Classic) {
            table.schema.secondaryIndexes = {Single("X02", 2, 1),
                                             Composite("XG0", "ByNote", {6, 3}, 2)};
        } else {
            table.schema.secondaryIndexes = {Single("X03", 3, 1), Single("X02", 2, 2),
                                             Composite("XG0", "ByFlagName", {4, 2}, 1)};
        }
        testsupport::TempDir dir;
        paradox::WriteTable(dir.path(), "SEC", table.schema, table.records, table.blobs);
        CheckFamily(dir, table);
    }
}

TEST(WriterSecondaryIndex, SingleFieldIndexesAtLevel3) {
    for (const std::uint8_t version : {paradox::level::V3_0, paradox::level::V3_5}) {
        SCOPED_TRACE(static_cast<int>(version));
        GeneratedTable table = Generate(Mix::Classic, version, 1, 1, 1500, 24);
        table.schema.secondaryIndexes = {Single("X02", 2, 1), Single("X03", 3, 2)};
        testsupport::TempDir dir;
        paradox::WriteTable(dir.path(), "SEC", table.schema, table.records, table.blobs);
        CheckFamily(dir, table);
    }
}

TEST(WriterSecondaryIndex, DescendingFieldsAtLevel7) {
    GeneratedTable table = Generate(Mix::Level5, paradox::level::V7, 2, 2, 3000, 22);
    table.schema.secondaryIndexes = {Composite("XG0", "Newest", {0x8000 | 11, 12}, 1),
                                     Composite("XG1", "Mixed", {4, 0x8000 | 3}, 2)};
    testsupport::TempDir dir;
    paradox::WriteTable(dir.path(), "SEC", table.schema, table.records, table.blobs);
    CheckFamily(dir, table);
    // The composite index header marks the descending direction (bit 4; bit 0 would mark a
    // case-insensitive index).
    const std::string xg0 = testsupport::ReadFileBytes(dir / "SEC.XG0");
    EXPECT_EQ(static_cast<std::uint8_t>(xg0[0x55]), 0x10);
}

TEST(WriterSecondaryIndex, NonMaintainedIndexOfAnUnkeyedTable) {
    GeneratedTable table = Generate(Mix::Unkeyed, paradox::level::V7, 1, 1, 1200, 23);
    table.schema.secondaryIndexes = {Single("X02", 2, 1, false),
                                     Composite("XG0", "ByBorn", {3}, 1)};
    table.schema.secondaryIndexes[1].maintained = false;
    testsupport::TempDir dir;
    paradox::WriteTable(dir.path(), "SEC", table.schema, table.records, table.blobs);
    CheckFamily(dir, table);
}

TEST(WriterSecondaryIndex, EmptyTableGetsEmptyIndexes) {
    GeneratedTable table = Generate(Mix::Level5, paradox::level::V5, 2, 2, 0);
    table.schema.secondaryIndexes = {Single("X03", 3, 2)};
    testsupport::TempDir dir;
    paradox::WriteTable(dir.path(), "SEC", table.schema, table.records, table.blobs);
    CheckFamily(dir, table);
    EXPECT_TRUE(std::filesystem::exists(dir / "SEC.Y03"));
}

} // namespace
