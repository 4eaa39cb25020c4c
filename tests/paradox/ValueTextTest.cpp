#include "paradox/ValueText.h"

#include "paradox/Codec.h"
#include "paradox/Header.h"
#include "paradox/MappedFile.h"
#include "support/Corpus.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

namespace {

using paradox::FieldSpec;

std::string Text(std::uint8_t type, std::uint8_t size, const std::vector<std::uint8_t>& bytes) {
    FieldSpec spec{"F", type, size};
    std::string out;
    paradox::AppendFieldText(out, spec, bytes.data(), nullptr);
    return out;
}

std::vector<std::uint8_t> KbeInt(std::int64_t value, std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    paradox::EncodeKbeInt(value, bytes.data(), n);
    return bytes;
}

std::vector<std::uint8_t> KbeDouble(double value) {
    std::vector<std::uint8_t> bytes(8);
    paradox::EncodeKbeDouble(value, bytes.data());
    return bytes;
}

TEST(ValueText, NumbersFollowTheCanonicalText) {
    EXPECT_EQ(Text(0x03, 2, KbeInt(-2, 2)), "-2");
    EXPECT_EQ(Text(0x03, 2, {0, 0}), "\\N");
    EXPECT_EQ(Text(0x03, 2, KbeInt(0, 2)), "0");
    EXPECT_EQ(Text(0x04, 4, KbeInt(-2147483647, 4)), "-2147483647");
    EXPECT_EQ(Text(0x16, 4, KbeInt(44, 4)), "44");
    EXPECT_EQ(Text(0x06, 8, KbeDouble(12.34)), "12.34");
    EXPECT_EQ(Text(0x06, 8, KbeDouble(0.1 + 0.2)), "0.30000000000000004");
    EXPECT_EQ(Text(0x05, 8, KbeDouble(-1)), "-1");
    EXPECT_EQ(Text(0x06, 8, KbeDouble(1e300)), "1.0000000000000001e+300");
    EXPECT_EQ(Text(0x06, 8, KbeDouble(4.9406564584124654e-324)), "4.9406564584124654e-324");
    EXPECT_EQ(Text(0x06, 8, KbeDouble(std::numeric_limits<double>::infinity())), "inf");
    EXPECT_EQ(Text(0x06, 8, KbeDouble(0.0)), "0");
    EXPECT_EQ(Text(0x06, 8, std::vector<std::uint8_t>(8, 0)), "\\N");
}

TEST(ValueText, DatesTimesAndTimestamps) {
    EXPECT_EQ(Text(0x02, 4, KbeInt(1, 4)), "0001-01-01");
    EXPECT_EQ(Text(0x02, 4, KbeInt(730120, 4)), "2000-01-01");
    // ISO 8601 expanded years: a year 0, a sign and at least four digits outside 0..9999.
    EXPECT_EQ(Text(0x02, 4, KbeInt(0, 4)), "0000-12-31");
    EXPECT_EQ(Text(0x02, 4, KbeInt(-366, 4)), "-0001-12-31");
    EXPECT_EQ(Text(0x02, 4, KbeInt(paradox::DayNumberFromCivil(-9998, 1, 1), 4)), "-9998-01-01");
    EXPECT_EQ(Text(0x02, 4, KbeInt(paradox::DayNumberFromCivil(-12345, 6, 7), 4)), "-12345-06-07");
    EXPECT_EQ(Text(0x02, 4, KbeInt(paradox::DayNumberFromCivil(10000, 1, 1), 4)), "+10000-01-01");
    EXPECT_EQ(Text(0x02, 4, {0, 0, 0, 0}), "\\N");
    EXPECT_EQ(Text(0x14, 4, KbeInt(3601000, 4)), "01:00:01.000");
    EXPECT_EQ(Text(0x14, 4, KbeInt(-61001, 4)), "-00:01:01.001");
    EXPECT_EQ(Text(0x14, 4, KbeInt(100LL * 3600000, 4)), "100:00:00.000");
    EXPECT_EQ(Text(0x15, 8, KbeDouble(63716202001000.0)), "2020-02-01T01:00:01.000");
    EXPECT_EQ(Text(0x15, 8, KbeDouble(730120.0 * 86400000 + 3723456)), "2000-01-01T01:02:03.456");
    EXPECT_EQ(Text(0x15, 8, KbeDouble(-1.0)), "0000-12-30T23:59:59.999");
    EXPECT_EQ(Text(0x15, 8, KbeDouble(-367.0 * 86400000)), "-0001-12-30T00:00:00.000");
    EXPECT_EQ(Text(0x15, 8, KbeDouble(1e16)), "10000000000000000");
}

TEST(ValueText, TextLogicalBcdAndBytes) {
    EXPECT_EQ(Text(0x01, 6, {'a', '\t', 'b', '\\', '\n', 0}), "a\\tb\\\\\\n");
    EXPECT_EQ(Text(0x01, 4, {'a', 'b', 0, 'z'}), "ab");
    EXPECT_EQ(Text(0x01, 3, {'x', '\r', 0xE9}), "x\r\xE9");
    EXPECT_EQ(Text(0x01, 3, {0, 'b', 'c'}), "\\N");
    EXPECT_EQ(Text(0x09, 1, {0x80}), "false");
    EXPECT_EQ(Text(0x09, 1, {0x81}), "true");
    EXPECT_EQ(Text(0x09, 1, {0x00}), "\\N");
    std::vector<std::uint8_t> bcd(17);
    ASSERT_TRUE(paradox::EncodeBcd("-5.5", 2, bcd.data()));
    EXPECT_EQ(Text(0x17, 2, bcd), "-5.50");
    ASSERT_TRUE(paradox::EncodeBcd("12", 0, bcd.data()));
    EXPECT_EQ(Text(0x17, 0, bcd), "12.");
    EXPECT_EQ(Text(0x17, 2, std::vector<std::uint8_t>(17, 0)), "\\N");
    EXPECT_EQ(Text(0x18, 3, {0x00, 0xAB, 0x01}), "00ab01");
    EXPECT_EQ(Text(0x18, 2, {0, 0}), "\\N");
    EXPECT_EQ(Text(0x07, 1, {1}), "\\E");
}

TEST(ValueText, BlobsFromTheLeaderOrMarkedUnreadable) {
    // 4-byte leader holding "hi", length 2, not in the blob file.
    std::vector<std::uint8_t> inLeader{'h', 'i', 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0};
    EXPECT_EQ(Text(0x0C, 14, inLeader), "6869");
    // 300 bytes in the blob file, which is not available.
    std::vector<std::uint8_t> elsewhere{'h', 'i', 'y', 'o', 0xFF, 0x10, 0, 0, 0x2C, 1, 0, 0, 1, 0};
    EXPECT_EQ(Text(0x0C, 14, elsewhere), "<blob len=300>");
    std::vector<std::uint8_t> null(14, 0);
    EXPECT_EQ(Text(0x10, 14, null), "\\N");
}

TEST(ValueText, InfoListsTheStructure) {
    MENDRIX_NEEDS_CORPUS();
    std::string error;
    auto file = paradox::MappedFile::Open(
        testsupport::CorpusDir() / "leonhad-paradoxdriver/fields/bcd.db", &error);
    ASSERT_TRUE(file) << error;
    paradox::FindingList findings;
    auto header = paradox::ParseHeader(file->View(), "bcd.db", findings);
    ASSERT_TRUE(header);
    std::string info;
    paradox::AppendInfo(info, *header);
    EXPECT_NE(info.find("file version: 11\n"), std::string::npos) << info;
    EXPECT_NE(info.find("records: 3\n"), std::string::npos) << info;
    EXPECT_NE(info.find("block size: 2048\n"), std::string::npos) << info;
    EXPECT_NE(info.find("field 1: "), std::string::npos) << info;
    EXPECT_NE(info.find("type=0x17 len=17 dec="), std::string::npos) << info;
}

} // namespace
