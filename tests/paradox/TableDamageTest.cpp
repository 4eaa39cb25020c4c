#include "paradox/TableReader.h"
#include "support/CodedFindings.h"
#include "support/Corpus.h"
#include "support/DescribeFindings.h"
#include "support/Golden.h"
#include "support/TempDir.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace {

using paradox::FindingCode;
using paradox::FindingList;
using paradox::TableReader;

using testsupport::Describe;

// ORDERS.DB: keyed, 224 records in several 2 KB blocks after a 0x800 header.
class DamagedOrders : public ::testing::Test {
protected:
    void SetUp() override {
        MENDRIX_NEEDS_CORPUS();
        source_ = testsupport::CorpusDir() / "leonhad-paradoxdriver/db/ORDERS.DB";
        bytes_ = testsupport::ReadFileBytes(source_);
        FindingList findings;
        original_ = TableReader::Open(source_, findings);
        ASSERT_TRUE(original_);
        ASSERT_GE(original_->ChainBlocks().size(), 4u);
    }
    std::size_t BlockStart(std::uint32_t block) const {
        return static_cast<std::size_t>(original_->BlockOffset(block));
    }
    void PutU16(std::size_t offset, std::uint16_t value) {
        bytes_[offset] = static_cast<char>(value & 0xFF);
        bytes_[offset + 1] = static_cast<char>(value >> 8);
    }
    std::uint16_t ChainBlock(std::size_t i) const { return original_->ChainBlocks().at(i); }
    // Reads the edited bytes back through a temporary copy.
    std::unique_ptr<TableReader> Reopen(FindingList& findings) {
        auto path = dir_ / "ORDERS.DB";
        testsupport::WriteFileBytes(path, bytes_);
        auto reader = TableReader::Open(path, findings);
        seen_ += testsupport::DescribeCoded(findings);
        return reader;
    }
    // What each test's reads found, against tests/golden/table-damage/.
    void TearDown() override {
        if (!seen_.empty()) {
            const std::string test =
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
            testsupport::ExpectGolden("table-damage/" + test + ".txt", seen_);
        }
    }

    testsupport::TempDir dir_;
    std::filesystem::path source_;
    std::string bytes_;
    std::unique_ptr<TableReader> original_;
    std::string seen_;
};

TEST_F(DamagedOrders, TruncatedFileLosesOnlyTheMissingRecords) {
    const auto last = ChainBlock(original_->ChainBlocks().size() - 1);
    bytes_.resize(BlockStart(last) + 6 + 3 * 71);
    FindingList findings;
    auto reader = Reopen(findings);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(findings.Has(FindingCode::FileTruncated)) << Describe(findings);
    EXPECT_EQ(reader->ChainBlocks().size(), original_->ChainBlocks().size());
    EXPECT_EQ(reader->ChainCounts().back(), 3);
    const auto declared = original_->ChainCounts().back();
    EXPECT_EQ(reader->ChainMissing().back(), declared - 3);
    std::uint64_t records = 0;
    std::uint64_t gaps = 0;
    reader->ForEachRecordOrGap([&](const paradox::RecordRef&) { ++records; },
                               [&](std::uint16_t block, std::uint16_t count) {
                                   EXPECT_EQ(block, last);
                                   gaps += count;
                               });
    EXPECT_EQ(records + gaps, 224u);
    bool lost = false;
    for (const auto& f : findings.All()) {
        lost = lost || (f.code == FindingCode::FileTruncated && f.dataLost);
    }
    EXPECT_TRUE(lost);
}

TEST_F(DamagedOrders, NextLinkOutsideTheFileStopsTheChain) {
    PutU16(BlockStart(ChainBlock(1)), 999);
    FindingList findings;
    auto reader = Reopen(findings);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(findings.Has(FindingCode::ChainPointerOutOfRange)) << Describe(findings);
    EXPECT_TRUE(findings.Has(FindingCode::ChainLengthMismatch));
    EXPECT_TRUE(findings.Has(FindingCode::RecordCountMismatch));
    EXPECT_EQ(reader->ChainBlocks().size(), 2u);
}

TEST_F(DamagedOrders, CycleInTheChainEnds) {
    PutU16(BlockStart(ChainBlock(3)), ChainBlock(1));
    FindingList findings;
    auto reader = Reopen(findings);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(findings.Has(FindingCode::ChainCycle)) << Describe(findings);
    EXPECT_EQ(reader->ChainBlocks().size(), 4u);
}

TEST_F(DamagedOrders, ZeroedBlockEndsTheChainThere) {
    const auto zeroed = ChainBlock(2);
    std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(BlockStart(zeroed)),
              bytes_.begin() + static_cast<std::ptrdiff_t>(BlockStart(zeroed) + 2048), '\0');
    FindingList findings;
    auto reader = Reopen(findings);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(findings.Has(FindingCode::ChainPrevMismatch)) << Describe(findings);
    EXPECT_TRUE(findings.Has(FindingCode::ChainTailMismatch));
    EXPECT_TRUE(findings.Has(FindingCode::OrphanBlock));
    EXPECT_EQ(reader->ChainBlocks().size(), 3u);
}

TEST_F(DamagedOrders, BadLastRecordOffsetsAreReportedAndBounded) {
    PutU16(BlockStart(ChainBlock(0)) + 4, 71 * 3 + 5); // not a multiple
    PutU16(BlockStart(ChainBlock(1)) + 4, 0x7FF0);     // past the block end
    PutU16(BlockStart(ChainBlock(2)) + 4, 0xFFFF);     // negative, not -recordSize
    FindingList findings;
    auto reader = Reopen(findings);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(findings.Has(FindingCode::BadLastRecordOffset)) << Describe(findings);
    EXPECT_EQ(reader->ChainCounts()[0], 4);
    EXPECT_EQ(reader->ChainCounts()[1], (2048 - 6) / 71);
    EXPECT_EQ(reader->ChainCounts()[2], 0);
    EXPECT_TRUE(findings.Has(FindingCode::RecordCountMismatch));
}

TEST_F(DamagedOrders, WrongHeaderCountsAreReported) {
    bytes_[0x06] = static_cast<char>(bytes_[0x06] + 1); // numRecords
    bytes_[0x0A] = static_cast<char>(bytes_[0x0A] + 1); // blocksInUse
    bytes_[0x0C] = static_cast<char>(bytes_[0x0C] - 1); // fileBlocks
    FindingList findings;
    auto reader = Reopen(findings);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(findings.Has(FindingCode::RecordCountMismatch)) << Describe(findings);
    EXPECT_TRUE(findings.Has(FindingCode::ChainLengthMismatch));
    EXPECT_TRUE(findings.Has(FindingCode::BlockCountMismatch));
    EXPECT_TRUE(findings.Has(FindingCode::ExtraBytesAtEnd));
    EXPECT_EQ(reader->RecordCount(), 224u);
}

TEST_F(DamagedOrders, FreeListIntoTheChainIsReported) {
    PutU16(0x4D, ChainBlock(2));
    FindingList findings;
    auto reader = Reopen(findings);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(findings.Has(FindingCode::FreeListBad)) << Describe(findings);
    EXPECT_TRUE(reader->FreeBlocks().empty());
}

TEST_F(DamagedOrders, FaultsAtAListHeadNameNoBlock) {
    // A free list head outside the file and a chain whose first block is gone are faults of
    // the header, not of any block: no finding may name a block there.
    PutU16(0x4D, 999);
    bytes_.resize(BlockStart(1));
    FindingList findings;
    auto reader = Reopen(findings);
    ASSERT_TRUE(reader);
    ASSERT_TRUE(findings.Has(FindingCode::FreeListBad)) << Describe(findings);
    ASSERT_TRUE(findings.Has(FindingCode::ChainPointerOutOfRange)) << Describe(findings);
    for (const auto& f : findings.All()) {
        if (f.code == FindingCode::FreeListBad || f.code == FindingCode::ChainPointerOutOfRange) {
            EXPECT_EQ(f.block, -1) << f.Describe();
            EXPECT_EQ(f.Describe().rfind("ORDERS.DB: ", 0), 0u) << f.Describe();
        }
    }
}

TEST_F(DamagedOrders, FirstBlockPointerIsNotTrusted) {
    PutU16(0x0E, 40000);
    FindingList findings;
    auto reader = Reopen(findings);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(findings.Has(FindingCode::ChainBadFirst)) << Describe(findings);
    EXPECT_EQ(reader->RecordCount(), 224u);
}

TEST_F(DamagedOrders, RandomBlockGarbageNeverCrashes) {
    std::uint32_t seed = 12345;
    for (int round = 0; round < 200; ++round) {
        std::string copy = bytes_;
        for (int i = 0; i < 40; ++i) {
            seed = seed * 1103515245u + 12345u;
            const std::size_t at = 0x800 + (seed >> 8) % (copy.size() - 0x800);
            copy[at] = static_cast<char>(seed >> 3);
        }
        auto path = dir_ / "ORDERS.DB";
        testsupport::WriteFileBytes(path, copy);
        FindingList findings;
        auto reader = TableReader::Open(path, findings);
        ASSERT_TRUE(reader);
        seen_ += "round " + std::to_string(round) + "\n" + testsupport::DescribeCoded(findings);
        std::uint64_t seen = 0;
        reader->ForEachRecord([&](const paradox::RecordRef&) { ++seen; });
        EXPECT_EQ(seen, reader->RecordCount());
    }
}

TEST(TableReaderOpen, MissingAndEmptyFilesGiveFindings) {
    testsupport::TempDir dir;
    FindingList findings;
    EXPECT_FALSE(TableReader::Open(dir / "NONE.DB", findings));
    EXPECT_TRUE(findings.Has(FindingCode::FileMissing));
    testsupport::WriteFileBytes(dir / "EMPTY.DB", "");
    findings.Clear();
    EXPECT_FALSE(TableReader::Open(dir / "EMPTY.DB", findings));
    EXPECT_TRUE(findings.Has(FindingCode::FileTooShort));
}

} // namespace
