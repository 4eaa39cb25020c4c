#include "paradox/Finding.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

namespace {

using paradox::Detail;
using paradox::DetailKind;

// Every form names only slots a detail has, so no finding can print a slot's name instead of
// its value, and no two kinds of one code share their words (one wording per kind).
TEST(FindingDetail, EveryFormFillsItsSlotsAndIsItsOwn) {
    const auto kinds = paradox::AllDetailKinds();
    ASSERT_GT(kinds.size(), 150u);
    std::set<std::string> seen;
    for (const DetailKind kind : kinds) {
        const paradox::DetailForm form = paradox::FormOf(kind);
        const std::string words(form.words);
        SCOPED_TRACE(words);
        const int code = form.code ? static_cast<int>(*form.code) : 0;
        EXPECT_TRUE(seen.insert(std::to_string(code) + words).second);
        const std::string text =
            Detail(kind).Found(1).Expected(2).Field(3).Block(4).Entry(5).Extra(6).Render();
        EXPECT_EQ(text.find('{'), std::string::npos);
        EXPECT_EQ(text.find('?'), std::string::npos);
    }
}

TEST(FindingDetail, ValuesAreRenderedInTheirFormAndKeptAsValues) {
    const paradox::FindingDetail detail =
        Detail(DetailKind::BlocksHoldRecords).Found(90u).Expected(std::uint64_t{93});
    EXPECT_EQ(detail.Render(), "blocks hold 90 records, header says 93");
    EXPECT_EQ(std::get<std::int64_t>(detail.found), 90);
    EXPECT_EQ(detail.Code(), paradox::FindingCode::RecordCountMismatch);

    EXPECT_EQ(Detail(DetailKind::BlobSharedAt).Field("Notes").Block(0x3000).Entry(2).Render(),
              "Notes: blob at 0x3000 slot 2");
    // Words from outside the problem table are kept as they are, for any code.
    EXPECT_EQ(paradox::DetailText("Permission denied").Render(), "Permission denied");
    EXPECT_FALSE(paradox::DetailText("x").Code().has_value());

    paradox::Finding finding{paradox::FindingCode::RecordCountMismatch,
                             paradox::Severity::Damage,
                             "ORDERS.DB",
                             -1,
                             -1,
                             detail,
                             false};
    EXPECT_EQ(finding.Text(), "Record count in the header differs from the blocks (blocks hold 90 "
                              "records, header says 93)");
}

} // namespace
