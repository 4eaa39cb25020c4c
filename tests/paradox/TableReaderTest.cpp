#include "paradox/TableReader.h"

#include "CorpusManifest.h"
#include "support/Corpus.h"
#include "support/DescribeFindings.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

namespace {

using paradox::FindingCode;
using paradox::FindingList;
using paradox::TableReader;

using testsupport::Describe;

TEST(TableReader, EveryCorpusTableReadsWithTheManifestRecordCount) {
    MENDRIX_NEEDS_CORPUS();
    ASSERT_EQ(ManifestRows().size(), 166u);
    for (const auto& row : ManifestRows()) {
        FindingList findings;
        auto reader = TableReader::Open(row.path, findings);
        ASSERT_TRUE(reader) << row.relative << "\n" << Describe(findings);
        EXPECT_FALSE(findings.HasDamage()) << row.relative << "\n" << Describe(findings);
        EXPECT_EQ(reader->Encrypted(), row.Encrypted()) << row.relative;
        if (row.Encrypted()) {
            // Read without the password; the header finding only says it is protected.
            EXPECT_TRUE(findings.Has(FindingCode::Encrypted)) << row.relative;
            EXPECT_EQ(findings.All().size(), 1u) << row.relative << "\n" << Describe(findings);
        } else {
            EXPECT_TRUE(findings.Empty()) << row.relative << "\n" << Describe(findings);
        }
        EXPECT_EQ(reader->RecordCount(), row.headerRecords) << row.relative;
        std::uint64_t visited = 0;
        reader->ForEachRecord([&](const paradox::RecordRef& record) {
            EXPECT_NE(record.bytes, nullptr);
            ++visited;
        });
        EXPECT_EQ(visited, row.headerRecords) << row.relative;
    }
}

TEST(TableReader, ShortLastBlockIsNotDamage) {
    MENDRIX_NEEDS_CORPUS();
    FindingList findings;
    auto reader = TableReader::Open(
        testsupport::CorpusDir() / "leonhad-paradoxdriver/areas/ZIPCODES.DB", findings);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(findings.Empty()) << Describe(findings);
    EXPECT_EQ(reader->RecordCount(), 43185u);
    EXPECT_EQ(reader->ChainBlocks().size(), reader->Header().blocksInUse);
    // The last block is cut short in the file; its records must still be served.
    const auto last = reader->ChainBlocks().back();
    EXPECT_LT(reader->BlockBytes(last).size(), reader->Header().BlockSize());
}

TEST(TableReader, EmptyBlockWithNegativeOffsetHoldsNoRecords) {
    MENDRIX_NEEDS_CORPUS();
    FindingList findings;
    auto reader =
        TableReader::Open(testsupport::CorpusDir() / "obiba-onyx/ZSustainedTest.DB", findings);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(findings.Empty()) << Describe(findings);
    EXPECT_EQ(reader->ChainBlocks().size(), 1u);
    EXPECT_EQ(reader->RecordCount(), 0u);
}

TEST(TableReader, FreeBlocksAreListedApartFromTheChain) {
    MENDRIX_NEEDS_CORPUS();
    for (const char* relative :
         {"leonhad-paradoxdriver/mtdemo/RENTAL.DB", "leonhad-paradoxdriver/mtdemo/FILMS.DB",
          "celebithil-Rparadox/biolife.db"}) {
        FindingList findings;
        auto reader = TableReader::Open(testsupport::CorpusDir() / relative, findings);
        ASSERT_TRUE(reader) << relative;
        EXPECT_TRUE(findings.Empty()) << relative << "\n" << Describe(findings);
        ASSERT_EQ(reader->FreeBlocks().size(), 1u) << relative;
        EXPECT_EQ(reader->FreeBlocks()[0], reader->Header().firstFreeBlock);
        EXPECT_EQ(reader->ChainBlocks().size() + 1, reader->Header().fileBlocks);
    }
}

TEST(TableReader, AFileThatIsNoTableIsRefused) {
    MENDRIX_NEEDS_CORPUS();
    // Kept in the corpus as found: a text log that carries an index's name.
    FindingList findings;
    EXPECT_FALSE(
        TableReader::Open(testsupport::CorpusDir() / "obiba-onyx/ZTrackerSL.PX", findings));
    EXPECT_TRUE(findings.HasDamage());
}

} // namespace
