#include "paradox/Codec.h"

#include <array>
#include <cmath>
#include <gtest/gtest.h>

using namespace paradox;

TEST(KbeIntegers, EncodeAndDecodeMatchTheDocumentedBytes) {
    std::array<std::uint8_t, 2> s{};
    EncodeKbeInt(1, s.data(), 2);
    EXPECT_EQ(s[0], 0x80);
    EXPECT_EQ(s[1], 0x01);
    EncodeKbeInt(-2, s.data(), 2);
    EXPECT_EQ(s[0], 0x7F);
    EXPECT_EQ(s[1], 0xFE);
    std::array<std::uint8_t, 4> l{};
    EncodeKbeInt(-2, l.data(), 4);
    EXPECT_EQ(l, (std::array<std::uint8_t, 4>{0x7F, 0xFF, 0xFF, 0xFE}));
    EXPECT_EQ(DecodeKbeInt(l.data(), 4), -2);
    EncodeKbeInt(0, l.data(), 4);
    EXPECT_EQ(DecodeKbeInt(l.data(), 4), 0); // zero is 80 00 00 00, not NULL
    l.fill(0);
    EXPECT_FALSE(DecodeKbeInt(l.data(), 4).has_value());
    for (std::int64_t v : {-2147483647LL, -1LL, 256LL, 2147483647LL}) {
        EncodeKbeInt(v, l.data(), 4);
        EXPECT_EQ(DecodeKbeInt(l.data(), 4), v);
    }
}

TEST(KbeDoubles, PositiveSetsTopBitNegativeInvertsEverything) {
    std::array<std::uint8_t, 8> d{};
    EncodeKbeDouble(1.0, d.data());
    EXPECT_EQ(d, (std::array<std::uint8_t, 8>{0xBF, 0xF0, 0, 0, 0, 0, 0, 0}));
    EncodeKbeDouble(-1.0, d.data());
    EXPECT_EQ(d, (std::array<std::uint8_t, 8>{0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EncodeKbeDouble(0.0, d.data());
    EXPECT_EQ(d[0], 0x80);
    for (double v : {-200.0, 12.34, 1e300, -4.9406564584124654e-324}) {
        EncodeKbeDouble(v, d.data());
        EXPECT_EQ(DecodeKbeDouble(d.data()), v);
    }
}

TEST(Dates, DayNumbersFollowTheProlepticGregorianCalendar) {
    EXPECT_EQ(DayNumberFromCivil(1, 1, 1), 1);
    EXPECT_EQ(DayNumberFromCivil(1996, 5, 4), 728783);
    EXPECT_EQ(DayNumberFromCivil(100, 1, 1), 36160);
    EXPECT_EQ(DayNumberFromCivil(2000, 1, 1), 730120);
    auto d = CivilFromDayNumber(736695);
    EXPECT_EQ(d.year, 2018);
    EXPECT_EQ(d.month, 1u);
    EXPECT_EQ(d.day, 1u);
    auto zero = CivilFromDayNumber(0);
    EXPECT_EQ(zero.year, 0);
    EXPECT_EQ(zero.month, 12u);
    EXPECT_EQ(zero.day, 31u);
}

TEST(Bcd, RoundTripsSignedValuesWithTheFieldScale) {
    std::array<std::uint8_t, 17> b{};
    ASSERT_TRUE(EncodeBcd("1.23", 2, b.data()));
    EXPECT_EQ(b[0], 0xC2);
    EXPECT_EQ(b[16], 0x23);
    EXPECT_EQ(b[15], 0x01);
    EXPECT_EQ(DecodeBcd(b.data(), 2), "1.23");
    ASSERT_TRUE(EncodeBcd("-1.23", 2, b.data()));
    EXPECT_EQ(b[0], 0x42);
    EXPECT_EQ(b[16], 0xDC);
    EXPECT_EQ(DecodeBcd(b.data(), 2), "-1.23");
    ASSERT_TRUE(EncodeBcd("12", 0, b.data()));
    EXPECT_EQ(DecodeBcd(b.data(), 0), "12.");
    ASSERT_TRUE(EncodeBcd("-5.5", 2, b.data()));
    EXPECT_EQ(DecodeBcd(b.data(), 2), "-5.50");
    EXPECT_FALSE(EncodeBcd("1.234", 2, b.data()));
    b.fill(0);
    EXPECT_FALSE(DecodeBcd(b.data(), 2).has_value());
}
