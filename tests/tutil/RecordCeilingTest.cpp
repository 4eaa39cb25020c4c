#include "tutil/RecordCeiling.h"

#include "TableFixture.h"
#include "paradox/Cipher.h"
#include "support/Corpus.h"
#include "support/TempDir.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using namespace tutilfixture;

constexpr int kRecords = 300;
constexpr std::uint64_t kCount = kRecords;

void PutU32(std::string& bytes, std::size_t offset, std::uint32_t value) {
    PutU16(bytes, offset, static_cast<std::uint16_t>(value));
    PutU16(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

tutil::RecordCeiling Edited(const fs::path& dir, const std::string& file,
                            const std::function<void(std::string&)>& edit) {
    std::string bytes = ReadFileBytes(dir / file);
    edit(bytes);
    WriteFileBytes(dir / file, bytes);
    return tutil::EstimateRecordCeiling(dir / "ORDERS.DB", dir / "ORDERS.PX");
}

// What each witness says of a healthy table, and of one whose header lies about the layout
// or the count: the most is what the records bear out, whatever the header's fields say.
TEST(RecordCeiling, EachWitnessCountsTheRecordsAHeaderLieCannotHide) {
    TempDir dir;
    WriteOrders(dir.path(), kRecords);
    const auto healthy = tutil::EstimateRecordCeiling(dir / "ORDERS.DB", dir / "ORDERS.PX");
    EXPECT_EQ(healthy.most, kCount);
    EXPECT_EQ(healthy.headerCount, kCount);
    EXPECT_EQ(healthy.indexCount, kCount);
    EXPECT_EQ(healthy.storedLayoutCount, kCount);

    const std::string original = ReadFileBytes(dir / "ORDERS.DB");

    // The block size stored as 32 KB, and the header's count gone: the chain under 2 KB blocks
    // and the primary index still count every record.
    const auto wrongBlockSize = Edited(dir.path(), "ORDERS.DB", [](std::string& db) {
        db[5] = 32;
        PutU32(db, 6, 0);
    });
    EXPECT_EQ(wrongBlockSize.most, kCount) << wrongBlockSize.Describe();
    EXPECT_LT(wrongBlockSize.storedLayoutCount, kCount);
    EXPECT_EQ(wrongBlockSize.bestLayoutCount, kCount);
    EXPECT_EQ(wrongBlockSize.bestBlockSize, healthy.storedBlockSize);
    EXPECT_NE(wrongBlockSize.Describe().find("under 32 KB blocks"), std::string::npos);

    // A header size that points past the file, and no primary index.
    WriteFileBytes(dir / "ORDERS.DB", original);
    fs::remove(dir / "ORDERS.PX");
    const auto pastTheFile = Edited(dir.path(), "ORDERS.DB", [](std::string& db) {
        PutU16(db, 2, 0xFFFF);
        PutU32(db, 6, 0);
    });
    EXPECT_EQ(pastTheFile.most, kCount) << pastTheFile.Describe();
    EXPECT_EQ(pastTheFile.bestHeaderSize, 0x800u);
    EXPECT_FALSE(pastTheFile.indexCount);

    // A count no file of this size can hold is capped by what the bytes can hold (the chain
    // made to look short of the header's block count, so the count stands).
    WriteFileBytes(dir / "ORDERS.DB", original);
    const auto huge = Edited(dir.path(), "ORDERS.DB", [](std::string& db) {
        PutU32(db, 6, 0xFFFFFFFF);
        PutU16(db, 0x0A, static_cast<std::uint16_t>(GetU16(db, 0x0A) + 1));
    });
    EXPECT_EQ(huge.headerCount, original.size() / ReadLayout(original).recordSize);
}

// A header count above a whole chain is stale unless the primary index counts more too, as
// is an index statistic above a whole chain that the header agrees with; above a chain that
// ends early, or when both count more, the larger count stands.
TEST(RecordCeiling, ACountAboveAWholeChainIsStaleUnlessAnotherWitnessConfirmsIt) {
    TempDir dir;
    WriteOrders(dir.path(), kRecords);
    const std::string original = ReadFileBytes(dir / "ORDERS.DB");
    const auto stale = Edited(dir.path(), "ORDERS.DB", [](std::string& db) {
        PutU16(db, 6, static_cast<std::uint16_t>(GetU16(db, 6) + 3));
    });
    EXPECT_EQ(stale.most, kCount);
    EXPECT_EQ(stale.staleHeaderCount, kCount + 3);

    const auto brokenChain = Edited(dir.path(), "ORDERS.DB", [](std::string& db) {
        PutU16(db, ReadLayout(db).BlockOffset(3), 0); // the chain now ends at block 3
    });
    EXPECT_EQ(brokenChain.most, kCount + 3) << brokenChain.Describe();

    WriteFileBytes(dir / "ORDERS.DB", original);
    std::string px = ReadFileBytes(dir / "ORDERS.PX");
    const std::string originalPx = px;
    const auto bumpFirstStatistic = [](std::string& index) {
        const Layout l = ReadLayout(index);
        const std::size_t statistic = l.BlockOffset(GetU16(index, 0x1E)) + 6 + l.recordSize - 4;
        index[statistic + 1] = static_cast<char>(index[statistic + 1] + 1);
    };
    const auto outOfDate = Edited(dir.path(), "ORDERS.PX", bumpFirstStatistic);
    EXPECT_EQ(outOfDate.most, kCount) << outOfDate.Describe();
    EXPECT_EQ(outOfDate.staleIndexCount, kCount + 1);
    WriteFileBytes(dir / "ORDERS.DB", original);
    const auto outOfDateAndShort = Edited(dir.path(), "ORDERS.DB", [](std::string& db) {
        PutU16(db, ReadLayout(db).BlockOffset(3), 0);
    });
    EXPECT_EQ(outOfDateAndShort.most, kCount + 1) << outOfDateAndShort.Describe();

    WriteFileBytes(dir / "ORDERS.DB", original);
    px = originalPx;
    // A level-1 statistic no block can hold makes the index no witness.
    const Layout pxLayout = ReadLayout(px);
    const std::size_t firstEntry = pxLayout.BlockOffset(GetU16(px, 0x1E)) + 6;
    px[firstEntry + pxLayout.recordSize - 4] = static_cast<char>(0xFF);
    WriteFileBytes(dir / "ORDERS.PX", px);
    const auto garbled = Edited(dir.path(), "ORDERS.DB", [](std::string& db) {
        PutU16(db, 6, static_cast<std::uint16_t>(GetU16(db, 6) + 3));
    });
    EXPECT_FALSE(garbled.indexCount);
    EXPECT_EQ(garbled.most, kCount) << "the whole chain alone bears out its count";

    // The header counts 3 more and the index 1 more: both stand.
    WriteFileBytes(dir / "ORDERS.PX", originalPx);
    const auto both = Edited(dir.path(), "ORDERS.PX", bumpFirstStatistic);
    EXPECT_EQ(both.most, kCount + 3) << both.Describe();
}

// The chain walks judge block headers only: an encrypted table's blocks are not decrypted
// whole (a rebuild reads the ceiling before its backup starts), and the counts are the same.
TEST(RecordCeiling, AnEncryptedTableIsCountedFromItsBlockHeadersAlone) {
    TempDir dir;
    WriteOrders(dir.path(), kRecords, true, false, 0x2A5B3C4Du);
    fs::remove(dir / "ORDERS.PX");
    const std::uint64_t before = paradox::testing::BytesDecryptedOnThisThread();
    const auto ceiling = tutil::EstimateRecordCeiling(dir / "ORDERS.DB", {});
    const std::uint64_t decrypted = paradox::testing::BytesDecryptedOnThisThread() - before;
    EXPECT_EQ(ceiling.most, kCount) << ceiling.Describe();
    EXPECT_EQ(ceiling.storedLayoutCount, kCount);
    EXPECT_EQ(ceiling.bestLayoutCount, kCount);
    EXPECT_LT(decrypted, fs::file_size(dir / "ORDERS.DB") / 2) << "bytes decrypted";
}

// Real tables: the most never exceeds what their header counts (no witness invents records).
TEST(RecordCeiling, CorpusTablesHoldWhatTheirHeadersCount) {
    MENDRIX_NEEDS_CORPUS();
    for (const fs::path& db : testsupport::CorpusTables()) {
        SCOPED_TRACE(db.string());
        fs::path px = db;
        px.replace_extension(".PX");
        if (!fs::exists(px)) {
            px.replace_extension(".px");
        }
        const auto ceiling = tutil::EstimateRecordCeiling(db, fs::exists(px) ? px : fs::path());
        EXPECT_EQ(ceiling.most, ceiling.headerCount) << ceiling.Describe();
        EXPECT_EQ(ceiling.staleHeaderCount, 0u);
        EXPECT_EQ(ceiling.staleIndexCount, 0u);
    }
}

} // namespace
