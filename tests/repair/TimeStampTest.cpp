#include "repair/TimeStamp.h"

#include <gtest/gtest.h>
#include <regex>

namespace {

using repair::FormatTimeStamp;
using repair::LocalDateTime;

TEST(TimeStamp, TwelveHourClockWithoutLeadingZeros) {
    EXPECT_EQ(FormatTimeStamp({2026, 12, 6, 0, 30, 0}), "12/6/2026 12:30:00a");
    EXPECT_EQ(FormatTimeStamp({2026, 12, 6, 12, 0, 0}), "12/6/2026 12:00:00p");
    EXPECT_EQ(FormatTimeStamp({2026, 12, 6, 13, 5, 9}), "12/6/2026 1:05:09p");
    EXPECT_EQ(FormatTimeStamp({2026, 12, 6, 13, 28, 55}), "12/6/2026 1:28:55p");
    EXPECT_EQ(FormatTimeStamp({2027, 1, 1, 0, 5, 9}), "1/1/2027 12:05:09a");
    EXPECT_EQ(FormatTimeStamp({2027, 1, 1, 12, 0, 0}), "1/1/2027 12:00:00p");
}

TEST(TimeStamp, MorningAndEveningEdges) {
    EXPECT_EQ(FormatTimeStamp({2027, 10, 31, 11, 59, 59}), "10/31/2027 11:59:59a");
    EXPECT_EQ(FormatTimeStamp({2027, 10, 31, 23, 59, 59}), "10/31/2027 11:59:59p");
    EXPECT_EQ(FormatTimeStamp({2027, 10, 31, 1, 0, 0}), "10/31/2027 1:00:00a");
}

TEST(TimeStamp, NowHasTheStampShape) {
    EXPECT_TRUE(std::regex_match(repair::TimeStampNow(),
                                 std::regex(R"(\d{1,2}/\d{1,2}/\d{4} \d{1,2}:\d\d:\d\d[ap])")));
}

} // namespace
