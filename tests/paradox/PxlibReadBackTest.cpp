// Tables we write, read by pxlib (levels 5 and 7, the ones it reads reliably): every value
// as written, in key order, at every block size; pxlib also accepts our primary index.

#include "PxlibOracle.h"
#include "WriterTestData.h"
#include "paradox/TableWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using namespace writertest;

struct Case {
    const char* name;
    Mix mix;
    std::uint8_t version;
    std::uint8_t blockSizeCode;
    std::uint8_t indexBlockSizeCode;
    std::uint32_t records;
};

std::ostream& operator<<(std::ostream& out, const Case& c) {
    return out << c.name;
}

class PxlibReadBack : public ::testing::TestWithParam<Case> {};

TEST_P(PxlibReadBack, SameValuesAsWritten) {
    const Case& c = GetParam();
    GeneratedTable table =
        Generate(c.mix, c.version, c.blockSizeCode, c.indexBlockSizeCode, c.records, 11);
    testsupport::TempDir dir;
    paradox::WriteTable(dir.path(), "PXREAD", table.schema, table.records, table.blobs);
    SortByKey(table);

    const pxoracle::Dump dump = pxoracle::ReadWithPxlib(dir / "PXREAD.DB");
    EXPECT_EQ(dump.error, "");
    EXPECT_EQ(dump.records, static_cast<int>(c.records));
    ASSERT_EQ(dump.rows.size(), table.texts.size());
    for (std::size_t r = 0; r < dump.rows.size(); ++r) {
        ASSERT_EQ(dump.rows[r], pxoracle::AsPxlibReadsIt(table.schema, table.texts[r]))
            << "record " << r;
    }
}

TEST_P(PxlibReadBack, AcceptsOurPrimaryIndex) {
    const Case& c = GetParam();
    GeneratedTable table =
        Generate(c.mix, c.version, c.blockSizeCode, c.indexBlockSizeCode, c.records, 12);
    if (!table.schema.Keyed()) {
        GTEST_SKIP() << "no primary index";
    }
    testsupport::TempDir dir;
    paradox::WriteTable(dir.path(), "PXIDX", table.schema, table.records, table.blobs);
    const std::string px = testsupport::ReadFileBytes(dir / "PXIDX.PX");
    ASSERT_GT(px.size(), 0x20u);
    if (px[0x20] > 2) {
        // pxlib adds up every level above the first as one; our own walk checks deep trees.
        GTEST_SKIP() << "pxlib reads at most two index levels";
    }
    const pxoracle::Dump dump = pxoracle::ReadWithPxlib(dir / "PXIDX.DB", 60, dir / "PXIDX.PX");
    EXPECT_EQ(dump.error, "");
    EXPECT_EQ(dump.rows.size(), c.records);
}

INSTANTIATE_TEST_SUITE_P(Levels, PxlibReadBack,
                         ::testing::Values(Case{"v5_classic_1k", Mix::Classic, 0x0B, 1, 1, 1500},
                                           Case{"v5_classic_2k", Mix::Classic, 0x0B, 2, 2, 1500},
                                           Case{"v5_types_1k", Mix::Level5, 0x0B, 1, 1, 3000},
                                           Case{"v5_types_2k", Mix::Level5, 0x0B, 2, 2, 3000},
                                           Case{"v5_types_4k", Mix::Level5, 0x0B, 4, 1, 3000},
                                           Case{"v5_types_8k", Mix::Level5, 0x0B, 8, 2, 3000},
                                           Case{"v5_unkeyed_2k", Mix::Unkeyed, 0x0B, 2, 2, 800},
                                           Case{"v7_classic_2k", Mix::Classic, 0x0C, 2, 2, 1500},
                                           Case{"v7_types_1k", Mix::Level5, 0x0C, 1, 2, 3000},
                                           Case{"v7_types_4k", Mix::Level5, 0x0C, 4, 4, 3000},
                                           Case{"v7_types_16k", Mix::Level5, 0x0C, 16, 2, 5000},
                                           Case{"v7_types_32k", Mix::Level5, 0x0C, 32, 2, 5000},
                                           Case{"v7_unkeyed_16k", Mix::Unkeyed, 0x0C, 16, 2, 800},
                                           Case{"v7_empty", Mix::Level5, 0x0C, 2, 2, 0}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
