// A keyed table of more than 32768 blocks with a secondary index: block numbers above 32767
// in the X records and index statistics above 65535 read as the unsigned words they are, so
// the healthy table has no index findings, and damage to one X record is still found.

#include "paradox/Codec.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/RecordBuilder.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableReader.h"
#include "paradox/TableWriter.h"
#include "support/DescribeFindings.h"
#include "support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using paradox::FindingList;
using paradox::TableReader;

// 4 records of 204 bytes per 1 KB block: 33000 blocks.
constexpr std::size_t kRecords = 132000;

void WriteLarge(const fs::path& dir) {
    paradox::TableSchema schema;
    schema.fileVersion = paradox::level::V7;
    schema.blockSizeCode = 1;
    schema.indexBlockSizeCode = 1;
    schema.tableName = "LARGE.DB";
    schema.fields = {{"Id", 0x04, 4}, {"Name", 0x01, 200}};
    schema.keyFieldCount = 1;
    paradox::SecondaryIndexSpec byName;
    byName.extension = "X02";
    byName.fieldNumbers = {2};
    byName.blockSizeCode = 1;
    schema.secondaryIndexes = {byName};
    paradox::WriteOptions options;
    options.sync = false;
    paradox::TableWriter writer(dir, "LARGE", schema, options);
    paradox::RecordBuilder row(schema);
    for (std::size_t i = 1; i <= kRecords; ++i) {
        row.Clear().SetInt(0, static_cast<std::int64_t>(i)).SetText(1, std::to_string(i % 1000));
        writer.Append(row.Bytes(), row.Blobs());
    }
    writer.Finish();
}

FindingList CheckIndexes(const fs::path& dir) {
    FindingList findings;
    auto table = TableReader::Open(dir / "LARGE.DB", findings);
    EXPECT_TRUE(table);
    if (table) {
        EXPECT_GT(table->ChainBlocks().size(), 32768u);
        paradox::CheckPrimaryIndex(*table, dir / "LARGE.PX", findings);
        paradox::CheckSecondaryIndex(*table, dir / "LARGE.X02", dir / "LARGE.Y02", findings);
    }
    return findings;
}

// Overwrites bytes of the X file's first block at `offset` past its block header.
void PatchFirstXBlock(const fs::path& x, std::size_t offset, std::initializer_list<char> bytes) {
    FindingList ignored;
    std::uint64_t at = 0;
    {
        auto reader = TableReader::Open(x, ignored);
        ASSERT_TRUE(reader);
        at = reader->BlockOffset(reader->ChainBlocks().front()) + 6 + offset;
    }
    std::fstream file(x, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(at));
    for (char c : bytes) {
        file.put(c);
    }
}

TEST(LargeTableIndex, HealthyTableHasNoIndexFindings) {
    testsupport::TempDir dir;
    WriteLarge(dir.path());
    const FindingList findings = CheckIndexes(dir.path());
    EXPECT_TRUE(findings.All().empty()) << testsupport::Describe(findings);
}

TEST(LargeTableIndex, DamagedXRecordsAreFoundInXOrder) {
    testsupport::TempDir dir;
    WriteLarge(dir.path());
    // X record (206 bytes): Name (200), Id (4), Blk Num (2). The second record of the first
    // X block (the first is the key the Y file holds) gets a value the table's record does
    // not have.
    constexpr std::size_t kSecond = 206;
    PatchFirstXBlock(dir / "LARGE.X02", kSecond, {'z'});
    const FindingList findings = CheckIndexes(dir.path());
    ASSERT_EQ(findings.All().size(), 1u) << testsupport::Describe(findings);
    EXPECT_EQ(findings.All()[0].code, paradox::FindingCode::SecondaryIndexBad);
    EXPECT_EQ(findings.All()[0].record, 1);
    EXPECT_EQ(findings.All()[0].detail.Render(), "value of Name differs from the table");

    // Blk Num 0x7FFF with the top bit inverted: block 65535, not in the chain.
    PatchFirstXBlock(dir / "LARGE.X02", kSecond + 204, {'\x7F', '\xFF'});
    const FindingList second = CheckIndexes(dir.path());
    ASSERT_EQ(second.All().size(), 1u) << testsupport::Describe(second);
    EXPECT_EQ(second.All()[0].detail.Render(),
              "points at block 65535, which is not in the table's chain");
}

} // namespace
