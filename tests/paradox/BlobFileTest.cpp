#include "paradox/BlobFile.h"

#include "CorpusManifest.h"
#include "paradox/Family.h"
#include "paradox/TableBlobCheck.h"
#include "paradox/TableReader.h"
#include "support/Corpus.h"
#include "support/DescribeFindings.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>

namespace {

using paradox::BlobFile;
using paradox::FindingCode;
using paradox::FindingList;
using paradox::TableReader;

using testsupport::Describe;

// Every blob of the first record whose field `fieldIndex` is not NULL.
std::vector<std::uint8_t> FirstBlob(const TableReader& table, const BlobFile* blobs,
                                    std::size_t fieldIndex, FindingList& findings) {
    std::vector<std::uint8_t> data;
    bool done = false;
    const auto& field = table.Schema().fields[fieldIndex];
    table.ForEachRecord([&](const paradox::RecordRef& record) {
        if (done) {
            return;
        }
        const std::uint8_t* bytes = record.bytes + table.FieldOffsets()[fieldIndex];
        std::vector<std::uint8_t> blob;
        if (paradox::ReadBlobField(bytes, field.ByteLength(), field.typeCode, blobs, blob, findings,
                                   field.name) &&
            !blob.empty()) {
            data = std::move(blob);
            done = true;
        }
    });
    return data;
}

TEST(BlobFile, EveryCorpusBlobFileWalksAndEveryBlobReads) {
    MENDRIX_NEEDS_CORPUS();
    int checked = 0;
    for (const auto& row : ManifestRows()) {
        FindingList findings;
        auto table = TableReader::Open(row.path, findings);
        ASSERT_TRUE(table);
        if (!table->Schema().HasBlobs()) {
            continue;
        }
        auto family = paradox::FindFamily(row.path);
        auto blobs = family.mb.empty()
                         ? nullptr
                         : BlobFile::Open(family.mb, findings, table->Header().CipherKeyValue());
        if (blobs) {
            blobs->CheckStructure(findings);
        }
        paradox::CheckTableBlobs(*table, blobs.get(), findings);
        ++checked;
        if (row.relative == "teverett-paradoxReader/MEMBRE.DB") {
            EXPECT_TRUE(findings.Has(FindingCode::BlobFileMissing)) << Describe(findings);
            EXPECT_EQ(table->RecordCount(), row.headerRecords);
            continue;
        }
        // An encrypted table's .MB reads decrypted; only the header's note that it is
        // protected remains (raw zero tails after its blobs are no damage).
        EXPECT_EQ(findings.All().size(), row.Encrypted() ? 1u : 0u) << row.relative << "\n"
                                                                    << Describe(findings);
    }
    EXPECT_GT(checked, 60);
}

TEST(BlobFile, ContentsComeFromTheLeaderOrTheBlobFile) {
    MENDRIX_NEEDS_CORPUS();
    const auto dir = testsupport::CorpusDir() / "leonhad-paradoxdriver/fields";
    FindingList findings;
    // graphic.db: field 2 is a Graphic stored in type-2 blocks; the image starts "BM".
    auto graphic = TableReader::Open(dir / "graphic.db", findings);
    ASSERT_TRUE(graphic);
    auto graphicBlobs = BlobFile::Open(paradox::FindFamily(dir / "graphic.db").mb, findings);
    ASSERT_TRUE(graphicBlobs);
    auto image = FirstBlob(*graphic, graphicBlobs.get(), 1, findings);
    ASSERT_GT(image.size(), 2u);
    EXPECT_EQ(image[0], 'B');
    EXPECT_EQ(image[1], 'M');

    // memo.db: the memo's leader is a copy of its first bytes.
    auto memo = TableReader::Open(dir / "memo.db", findings);
    ASSERT_TRUE(memo);
    auto memoBlobs = BlobFile::Open(paradox::FindFamily(dir / "memo.db").mb, findings);
    auto text = FirstBlob(*memo, memoBlobs.get(), 1, findings);
    ASSERT_FALSE(text.empty());
    EXPECT_TRUE(findings.Empty()) << Describe(findings);

    // Without the blob file, a memo longer than its leader cannot be read.
    FindingList missing;
    std::size_t unreadable = 0;
    memo->ForEachRecord([&](const paradox::RecordRef& record) {
        std::vector<std::uint8_t> out;
        const auto& field = memo->Schema().fields[1];
        if (!paradox::ReadBlobField(record.bytes + memo->FieldOffsets()[1], field.ByteLength(),
                                    field.typeCode, nullptr, out, missing, field.name)) {
            ++unreadable;
        }
    });
    EXPECT_GT(unreadable, 0u);
    EXPECT_TRUE(missing.Has(FindingCode::BlobFileMissing));
}

class DamagedBlobs : public ::testing::Test {
protected:
    void SetUp() override {
        MENDRIX_NEEDS_CORPUS();
        const auto dir = testsupport::CorpusDir() / "leonhad-paradoxdriver/db";
        for (const char* name : {"CUSTOMER.DB", "CUSTOMER.MB"}) {
            std::filesystem::copy_file(dir / name, dir_ / name);
        }
        mb_ = testsupport::ReadFileBytes(dir_ / "CUSTOMER.MB");
    }
    FindingList Check() {
        testsupport::WriteFileBytes(dir_ / "CUSTOMER.MB", mb_);
        FindingList findings;
        auto table = TableReader::Open(dir_ / "CUSTOMER.DB", findings);
        EXPECT_TRUE(table);
        auto blobs = BlobFile::Open(dir_ / "CUSTOMER.MB", findings);
        if (blobs) {
            blobs->CheckStructure(findings);
        }
        paradox::CheckTableBlobs(*table, blobs.get(), findings);
        return findings;
    }
    // Offset of the first block of the given type after the header block.
    std::size_t FirstBlockOfType(std::uint8_t type) const {
        std::size_t offset = 4096;
        while (offset + 3 <= mb_.size()) {
            const auto units = static_cast<std::uint8_t>(mb_[offset + 1]) |
                               (static_cast<std::uint8_t>(mb_[offset + 2]) << 8);
            if (static_cast<std::uint8_t>(mb_[offset]) == type) {
                return offset;
            }
            offset += static_cast<std::size_t>(units) * 4096;
        }
        return 0;
    }

    testsupport::TempDir dir_;
    std::string mb_;
};

TEST_F(DamagedBlobs, HealthyCopyIsClean) {
    auto findings = Check();
    EXPECT_TRUE(findings.Empty()) << Describe(findings);
}

TEST_F(DamagedBlobs, TruncatedFileBreaksTheWalkAndThePointers) {
    mb_.resize(mb_.size() - 4096 - 100);
    auto findings = Check();
    EXPECT_TRUE(findings.Has(FindingCode::BlobFileBad)) << Describe(findings);
    EXPECT_TRUE(findings.Has(FindingCode::BlobPointerBad)) << Describe(findings);
}

TEST_F(DamagedBlobs, SlotFaultsAreReported) {
    const std::size_t block = FirstBlockOfType(3);
    ASSERT_NE(block, 0u);
    std::string original = mb_;
    // Emptied slots (from 63 down) leave records pointing at nothing.
    for (std::size_t slot = 0; slot < 64; ++slot) {
        mb_[block + 12 + 5 * slot] = 0;
    }
    auto findings = Check();
    EXPECT_TRUE(findings.Has(FindingCode::BlobPointerBad)) << Describe(findings);

    // A wrong length byte and a wrong modification number in the used slots.
    mb_ = original;
    for (std::size_t slot = 0; slot < 64; ++slot) {
        const std::size_t at = block + 12 + 5 * slot;
        if (mb_[at] != 0) {
            mb_[at + 2] = static_cast<char>(mb_[at + 2] + 1);
            mb_[at + 4] = static_cast<char>(mb_[at + 4] == 1 ? 2 : 1);
        }
    }
    findings = Check();
    EXPECT_TRUE(findings.Has(FindingCode::BlobLengthMismatch)) << Describe(findings);

    mb_ = original;
    mb_[block + 12 + 5 * 63] = 0x02; // data offset inside the slot table
    findings = Check();
    EXPECT_TRUE(findings.Has(FindingCode::BlobFileBad)) << Describe(findings);
}

TEST_F(DamagedBlobs, UnknownBlockTypeAndZeroUnitsAreReportedAndCostOnlyThatBlock) {
    const std::size_t block = FirstBlockOfType(3);
    ASSERT_NE(block, 0u);
    mb_[block] = 9;
    auto findings = Check();
    EXPECT_TRUE(findings.Has(FindingCode::BlobFileBad)) << Describe(findings);
    // Only blobs of the damaged block are unreadable; the walk and the reads go on past it.
    const std::string damaged = "block at " + paradox::HexNumber(block) + " ";
    bool pointerBad = false;
    for (const auto& f : findings.All()) {
        if (f.code == FindingCode::BlobPointerBad) {
            pointerBad = true;
            EXPECT_NE(f.detail.Render().find(damaged), std::string::npos) << f.Describe();
        }
    }
    EXPECT_TRUE(pointerBad) << Describe(findings);
    mb_[block] = 3;
    mb_[block + 1] = 0;
    mb_[block + 2] = 0;
    findings = Check();
    EXPECT_TRUE(findings.Has(FindingCode::BlobFileBad)) << Describe(findings);
}

TEST(BlobFileOpen, MissingFileIsNoBlobFile) {
    testsupport::TempDir dir;
    FindingList findings;
    EXPECT_FALSE(BlobFile::Open(dir / "NONE.MB", findings));
    EXPECT_TRUE(findings.Empty());
    testsupport::WriteFileBytes(dir / "SHORT.MB", "xyz");
    auto blobs = BlobFile::Open(dir / "SHORT.MB", findings);
    ASSERT_TRUE(blobs);
    blobs->CheckStructure(findings);
    EXPECT_TRUE(findings.Has(FindingCode::BlobFileBad));
}

// A blob file's size comes from the disk (a sparse file can claim a terabyte); the places a check
// keeps track of are bounded by what a 32-bit blob offset can name.
TEST(BlobPlacesSeen, AHugeFileCostsNoMoreThanOffsetsCanName) {
    auto peakKb = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    };
    const long before = peakKb();
    paradox::BlobPlacesSeen seen(std::uint64_t{1} << 40);
    EXPECT_LT(peakKb() - before, 64 * 1024);
    EXPECT_TRUE(seen.Insert(0xFFFFF000U, 0xFF));
    EXPECT_FALSE(seen.Insert(0xFFFFF000U, 0xFF));
    EXPECT_TRUE(seen.Insert(0x1000U, 3));
    EXPECT_FALSE(seen.Insert(0x1000U, 3));
}

} // namespace
