// Tables written at every level, block size and field mix read back through our reader:
// same structure, same records in key order, packed blocks, and a primary index that
// satisfies the format's consistency rules at any depth.

#include "WriterBlobCheck.h"
#include "WriterIndexCheck.h"
#include "WriterTestData.h"
#include "paradox/BlobFile.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/TableReader.h"
#include "paradox/TableWriter.h"
#include "support/DescribeFindings.h"
#include "support/TempDir.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

using namespace writertest;
using paradox::FindingList;
using paradox::TableReader;

struct Case {
    const char* name;
    Mix mix;
    std::uint8_t version;
    std::uint8_t blockSizeCode;
    std::uint8_t indexBlockSizeCode;
    std::uint32_t records;
    std::uint8_t minIndexLevels;
};

std::ostream& operator<<(std::ostream& out, const Case& c) {
    return out << c.name;
}

using testsupport::Describe;

class WriterRoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(WriterRoundTrip, ReadsBackIdentically) {
    const Case& c = GetParam();
    GeneratedTable table =
        Generate(c.mix, c.version, c.blockSizeCode, c.indexBlockSizeCode, c.records);
    table.schema.tableName = "ROUND.DB";
    table.schema.sortOrder = 0x4C;
    table.schema.sortOrderName = "DBWINUS0";
    table.schema.codePage = 1252;
    testsupport::TempDir dir;
    paradox::WriteTable(dir.path(), "ROUND", table.schema, table.records, table.blobs);
    SortByKey(table);

    FindingList findings;
    auto db = TableReader::Open(dir / "ROUND.DB", findings);
    ASSERT_TRUE(db);
    EXPECT_TRUE(findings.Empty()) << Describe(findings);

    // Structure as asked for.
    const auto& h = db->Header();
    EXPECT_EQ(h.fileVersion, c.version);
    EXPECT_EQ(h.blockSizeCode, c.blockSizeCode);
    EXPECT_EQ(h.fileType, table.schema.Keyed() ? 0 : 2);
    EXPECT_EQ(h.numRecords, c.records);
    EXPECT_EQ(h.primaryKeyFields, table.schema.keyFieldCount);
    EXPECT_EQ(h.recordSize, table.schema.RecordSize());
    ASSERT_EQ(h.fields.size(), table.schema.fields.size());
    for (std::size_t i = 0; i < h.fields.size(); ++i) {
        EXPECT_EQ(h.fields[i].name, table.schema.fields[i].name);
        EXPECT_EQ(h.fields[i].typeCode, table.schema.fields[i].typeCode);
        EXPECT_EQ(h.fields[i].sizeByte, table.schema.fields[i].sizeByte);
    }
    EXPECT_EQ(h.tableName, "ROUND.DB");
    if (c.mix == Mix::Level5) {
        // The autoincrement field holds n + 1 for record n (NULL in every seventh from the
        // fourth): the header keeps the largest value handed out.
        std::uint32_t largest = 0;
        for (std::uint32_t n = 0; n < c.records; ++n) {
            largest = n % 7 == 3 ? largest : n + 1;
        }
        EXPECT_EQ(h.autoIncrement, largest);
    }
    EXPECT_EQ(h.sortOrder, 0x4C);
    if (c.version >= paradox::level::V4) {
        EXPECT_EQ(h.sortOrderName, "DBWINUS0");
        EXPECT_EQ(h.codePage, 1252);
    }
    if (c.version == paradox::level::V3_0) {
        EXPECT_EQ(h.realHeaderSize, 0);
        EXPECT_LT(h.headerSize, 0x800);
    } else {
        EXPECT_EQ(h.headerSize % 0x800, 0);
    }
    const std::uint32_t blockSize = c.blockSizeCode * 1024u;
    EXPECT_EQ(std::filesystem::file_size(dir / "ROUND.DB"),
              h.headerSize + std::uint64_t{h.fileBlocks} * blockSize);

    // Packed blocks in order, zero beyond the last record.
    const std::uint32_t capacity = (blockSize - 8) / h.recordSize;
    const auto& counts = db->ChainCounts();
    for (std::size_t i = 0; i < counts.size(); ++i) {
        ASSERT_EQ(db->ChainBlocks()[i], i + 1);
        if (i + 1 < counts.size()) {
            EXPECT_EQ(counts[i], capacity) << "block " << i + 1;
        }
        const auto bytes = db->BlockBytes(db->ChainBlocks()[i]);
        const std::size_t used = 6 + std::size_t{counts[i]} * h.recordSize;
        EXPECT_TRUE(paradox::IsAllZero(bytes.data() + used, bytes.size() - used));
    }

    // Same records in key order (blob fields are compared by the blob tests).
    std::vector<std::uint32_t> offsets;
    std::uint32_t offset = 0;
    for (const auto& f : table.schema.fields) {
        offsets.push_back(offset);
        offset += f.ByteLength();
    }
    std::size_t n = 0;
    db->ForEachRecord([&](const paradox::RecordRef& r) {
        ASSERT_LT(n, table.records.size());
        for (std::size_t f = 0; f < offsets.size(); ++f) {
            if (paradox::IsBlobType(table.schema.fields[f].typeCode)) {
                continue;
            }
            const auto length = table.schema.fields[f].ByteLength();
            ASSERT_EQ(
                std::memcmp(r.bytes + offsets[f], table.records[n].data() + offsets[f], length), 0)
                << "record " << n << " field " << table.schema.fields[f].name;
        }
        ++n;
    });
    EXPECT_EQ(n, table.records.size());

    if (table.schema.HasBlobs()) {
        // Every blob reads back through the library's blob reader, and the .MB passes its walk.
        FindingList blobFindings;
        auto mb = paradox::BlobFile::Open(dir / "ROUND.MB", blobFindings);
        ASSERT_TRUE(mb);
        mb->CheckStructure(blobFindings);
        paradox::CheckTableBlobs(*db, mb.get(), blobFindings);
        EXPECT_TRUE(blobFindings.Empty()) << Describe(blobFindings);
        ExpectBlobsAsGenerated(*db, mb.get(), table, blobFindings);
    }

    if (!table.schema.Keyed()) {
        EXPECT_FALSE(std::filesystem::exists(dir / "ROUND.PX"));
        return;
    }
    FindingList indexFindings;
    auto px = TableReader::Open(dir / "ROUND.PX", indexFindings);
    ASSERT_TRUE(px);
    EXPECT_TRUE(indexFindings.Empty()) << Describe(indexFindings);
    EXPECT_EQ(px->Header().fileType, 1);
    EXPECT_EQ(px->Header().blockSizeCode, c.indexBlockSizeCode);
    EXPECT_EQ(px->Header().numFields, table.schema.keyFieldCount);
    EXPECT_GE(px->Header().indexLevels, c.minIndexLevels);
    EXPECT_GE(h.changeCount1, 2);
    EXPECT_EQ(px->Header().indexSyncCount, h.changeCount1);
    FindingList checkFindings;
    paradox::CheckPrimaryIndex(*db, dir / "ROUND.PX", checkFindings);
    EXPECT_TRUE(checkFindings.Empty()) << Describe(checkFindings);
    const IndexWalk walk = IndexWalker(*db, *px, table.schema.fields[0].ByteLength()).Walk();
    EXPECT_TRUE(walk.problems.empty()) << ::testing::PrintToString(walk.problems);
}

INSTANTIATE_TEST_SUITE_P(Levels, WriterRoundTrip,
                         ::testing::Values(Case{"v30_1k_deep", Mix::Classic, 0x03, 1, 1, 3000, 4},
                                           Case{"v30_unkeyed_2k", Mix::Unkeyed, 0x03, 2, 2, 700, 0},
                                           Case{"v35_2k_px1k", Mix::Classic, 0x04, 2, 1, 2500, 3},
                                           Case{"v4_4k_px2k", Mix::Classic, 0x09, 4, 2, 2500, 2},
                                           Case{"v4_blobs_2k", Mix::Blobs, 0x09, 2, 2, 400, 1},
                                           Case{"v5_1k_deep", Mix::Classic, 0x0B, 1, 1, 3000, 4},
                                           Case{"v5_8k_px4k", Mix::Level5, 0x0B, 8, 4, 3000, 1},
                                           Case{"v5_types_1k", Mix::Level5, 0x0B, 1, 1, 6000, 2},
                                           Case{"v5_blobs_1k", Mix::Blobs, 0x0B, 1, 1, 700, 2},
                                           Case{"v7_16k_px2k", Mix::Classic, 0x0C, 16, 2, 4000, 2},
                                           Case{"v7_32k_px1k", Mix::Level5, 0x0C, 32, 1, 5000, 1},
                                           Case{"v7_types_2k", Mix::Level5, 0x0C, 2, 1, 6000, 2},
                                           Case{"v7_unkeyed_4k", Mix::Unkeyed, 0x0C, 4, 2, 900, 0},
                                           Case{"v7_blobs_4k", Mix::Blobs, 0x0C, 4, 2, 400, 1},
                                           Case{"v7_empty", Mix::Level5, 0x0C, 2, 2, 0, 0},
                                           Case{"v5_one_record", Mix::Classic, 0x0B, 2, 2, 1, 1}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
