// A verify's verdict is decided per code, and the findings cap keeps at least one finding of
// each code: how many findings of a code there are never changes the verdict.
#include "TableFixture.h"
#include "paradox/FindingLimiter.h"
#include "support/DescribeFindings.h"
#include "support/TempDir.h"
#include "tutil/TableLocation.h"
#include "tutil/Verify.h"

#include <gtest/gtest.h>

namespace {

using paradox::FindingCode;
using paradox::Severity;
using namespace tutilfixture;

// Swaps record slots `a` and `b` of data block `block` of the .DB.
void SwapRecords(const std::filesystem::path& db, std::uint32_t block, std::size_t a,
                 std::size_t b) {
    std::string bytes = testsupport::ReadFileBytes(db);
    const Layout l = ReadLayout(bytes);
    const std::size_t first = l.BlockOffset(block) + 6;
    const std::string kept = bytes.substr(first + a * l.recordSize, l.recordSize);
    bytes.replace(first + a * l.recordSize, l.recordSize,
                  bytes.substr(first + b * l.recordSize, l.recordSize));
    bytes.replace(first + b * l.recordSize, l.recordSize, kept);
    testsupport::WriteFileBytes(db, bytes);
}

bool HasSummaryLine(const paradox::FindingList& findings, FindingCode code) {
    for (const auto& f : findings.All()) {
        if (f.code == code && f.detail.Render().ends_with("more like this not listed")) {
            return true;
        }
    }
    return false;
}

TEST(VerifyStatusCap, ManyFindingsOfOneCodeGiveTheVerdictOfOne) {
    // A real table: one pair of records out of key order, then every block reversed (far more
    // out-of-order records than the cap lists).
    testsupport::TempDir oneDir;
    const auto one = WriteOrders(oneDir.path(), 300);
    SwapRecords(one, 1, 2, 3);
    const auto few = tutil::VerifyTable(tutil::LocateTable(one.string()));

    testsupport::TempDir manyDir;
    const auto many = WriteOrders(manyDir.path(), 300);
    const Layout l = ReadLayout(testsupport::ReadFileBytes(many));
    const std::size_t perBlock = (l.blockSize - 6) / l.recordSize;
    for (std::uint32_t block = 1; block <= 300 / perBlock; ++block) {
        for (std::size_t i = 0; i < perBlock / 2; ++i) {
            SwapRecords(many, block, i, perBlock - 1 - i);
        }
    }
    const auto lots = tutil::VerifyTable(tutil::LocateTable(many.string()));
    ASSERT_TRUE(HasSummaryLine(lots.findings, FindingCode::KeyOrder))
        << testsupport::Describe(lots.findings);
    EXPECT_EQ(lots.status, few.status) << testsupport::Describe(lots.findings);
    EXPECT_EQ(few.status, tutil::VerifyStatus::Repairable);

    // Through the cap, findings of one code whose one damage finding or one data loss is
    // beyond the cap: the summary line carries it.
    struct Case {
        FindingCode code;
        Severity severity; // of every finding but the one
        bool dataLost;     // of the one
    };
    for (const Case c : {Case{FindingCode::KeyOrder, Severity::Suspicious, false},
                         Case{FindingCode::FileTruncated, Severity::Damage, true}}) {
        SCOPED_TRACE(static_cast<int>(c.code));
        paradox::FindingList single;
        single.Add(c.code, Severity::Damage, "ORDERS.DB", 1, 0, paradox::DetailText("the one"),
                   c.dataLost);
        paradox::FindingList capped;
        {
            paradox::FindingLimiter report(capped, "ORDERS.DB");
            for (int i = 0; i < 60; ++i) {
                const bool theOne = i == 55;
                report.Add(c.code, theOne ? Severity::Damage : c.severity, 1, i,
                           paradox::DetailText("one of many"), theOne && c.dataLost);
            }
        }
        ASSERT_TRUE(HasSummaryLine(capped, c.code));
        EXPECT_EQ(tutil::StatusFor(capped, true, "ORDERS.DB"),
                  tutil::StatusFor(single, true, "ORDERS.DB"))
            << testsupport::Describe(capped);
    }
}

} // namespace
