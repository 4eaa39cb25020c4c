// Tables written by pxlib (an independent implementation) read by our reader: no findings,
// the same records with the same values.

#include "paradox/Codec.h"
#include "paradox/TableReader.h"
#include "support/TempDir.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" {
#include <paradox.h>
}

namespace {

using paradox::FindingList;
using paradox::TableReader;

struct PxField {
    const char* name;
    char type;
    int length; // bytes in the record (BCD: 17)
    int decimals;
};

const PxField kFields[] = {
    {"Name", pxfAlpha, 20, 0},    {"Small", pxfShort, 2, 0},     {"Big", pxfLong, 4, 0},
    {"Money", pxfCurrency, 8, 0}, {"Value", pxfNumber, 8, 0},    {"Day", pxfDate, 4, 0},
    {"At", pxfTime, 4, 0},        {"Stamp", pxfTimestamp, 8, 0}, {"Flag", pxfLogical, 1, 0},
    {"Amount", pxfBCD, 17, 2},    {"Raw", pxfBytes, 4, 0},
};
constexpr int kFieldCount = static_cast<int>(std::size(kFields));

// The values of record i; every fifth record leaves its second half NULL.
struct Row {
    std::string name;
    int small;
    long big;
    double money, value;
    long day, at;
    double stamp;
    bool flag;
    std::string amount;
    std::array<std::uint8_t, 4> raw;
    bool sparse;
};

Row RowFor(int i) {
    Row r;
    r.name = "row " + std::to_string(i * 7919 % 100000);
    r.small = (i * 37) % 30000 - 15000;
    r.big = static_cast<long>(i) * 104729 - 50000000;
    r.money = i * 0.25 - 100.0;
    r.value = -1.0 / (i + 1);
    r.day = 730120 + i;
    r.at = static_cast<long>((i * 1234567LL) % 86400000);
    r.stamp = (730120.0 + i) * 86400000.0 + (i % 1000) * 1000.0;
    r.flag = i % 3 == 0;
    r.amount = std::to_string(i - 500) + "." + std::to_string(10 + i % 90);
    r.raw = {static_cast<std::uint8_t>(i), 0xAB, static_cast<std::uint8_t>(i >> 8), 0x01};
    r.sparse = i % 5 == 4;
    return r;
}

// Writes the table with pxlib in a child process (pxlib takes ownership of what it is given).
bool WriteWithPxlib(const std::filesystem::path& db, int records, int keyFields) {
    const pid_t child = fork();
    if (child == 0) {
        auto* fields = static_cast<pxfield_t*>(std::malloc(sizeof(pxfield_t) * kFieldCount));
        for (int f = 0; f < kFieldCount; ++f) {
            fields[f].px_fname = strdup(kFields[f].name);
            fields[f].px_ftype = kFields[f].type;
            fields[f].px_flen = kFields[f].length;
            fields[f].px_fdc = kFields[f].decimals;
        }
        pxdoc_t* doc = PX_new();
        if (keyFields > 0) {
            PX_set_value(doc, "numprimkeys", static_cast<float>(keyFields));
        }
        if (PX_create_file(doc, fields, kFieldCount, db.c_str(),
                           keyFields > 0 ? pxfFileTypIndexDB : pxfFileTypNonIndexDB) < 0) {
            _exit(1);
        }
        std::vector<char> record(static_cast<std::size_t>(PX_get_recordsize(doc)));
        for (int i = 0; i < records; ++i) {
            const Row r = RowFor(i);
            std::fill(record.begin(), record.end(), 0);
            char* p = record.data();
            std::vector<char> name(r.name.begin(), r.name.end());
            name.push_back(0);
            PX_put_data_alpha(doc, p, 20, name.data());
            PX_put_data_short(doc, p + 20, 2, static_cast<short>(r.small));
            PX_put_data_long(doc, p + 22, 4, static_cast<int>(r.big));
            PX_put_data_double(doc, p + 26, 8, r.money);
            PX_put_data_double(doc, p + 34, 8, r.value);
            if (!r.sparse) {
                PX_put_data_long(doc, p + 42, 4, static_cast<int>(r.day));
                PX_put_data_long(doc, p + 46, 4, static_cast<int>(r.at));
                PX_put_data_double(doc, p + 50, 8, r.stamp);
                PX_put_data_byte(doc, p + 58, 1, r.flag ? 1 : 0);
                std::vector<char> amount(r.amount.begin(), r.amount.end());
                amount.push_back(0);
                PX_put_data_bcd(doc, p + 59, 2, amount.data());
                PX_put_data_bytes(doc, p + 76, 4,
                                  const_cast<char*>(reinterpret_cast<const char*>(r.raw.data())));
            }
            if (PX_put_record(doc, record.data()) < 0) {
                _exit(2);
            }
        }
        PX_close(doc);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class PxlibWrittenReadBack : public ::testing::TestWithParam<int> {};

TEST_P(PxlibWrittenReadBack, OurReaderSeesPxlibsValues) {
    const int records = GetParam();
    testsupport::TempDir dir;
    ASSERT_TRUE(WriteWithPxlib(dir / "PXW.DB", records, 0));
    FindingList findings;
    auto table = TableReader::Open(dir / "PXW.DB", findings);
    ASSERT_TRUE(table);
    EXPECT_TRUE(findings.Empty());
    ASSERT_EQ(table->Header().fields.size(), static_cast<std::size_t>(kFieldCount));
    for (int f = 0; f < kFieldCount; ++f) {
        EXPECT_EQ(table->Header().fields[f].name, kFields[f].name);
        EXPECT_EQ(table->Header().fields[f].typeCode, static_cast<std::uint8_t>(kFields[f].type));
    }
    ASSERT_EQ(table->RecordCount(), static_cast<std::uint64_t>(records));

    int i = 0;
    table->ForEachRecord([&](const paradox::RecordRef& ref) {
        const Row r = RowFor(i++);
        const std::uint8_t* p = ref.bytes;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(p)), r.name);
        EXPECT_EQ(paradox::DecodeKbeInt(p + 20, 2), r.small);
        EXPECT_EQ(paradox::DecodeKbeInt(p + 22, 4), r.big);
        EXPECT_EQ(paradox::DecodeKbeDouble(p + 26), r.money);
        EXPECT_EQ(paradox::DecodeKbeDouble(p + 34), r.value);
        if (r.sparse) {
            EXPECT_TRUE(paradox::IsAllZero(p + 42, 38)) << "record " << i - 1;
            return;
        }
        EXPECT_EQ(paradox::DecodeKbeInt(p + 42, 4), r.day);
        EXPECT_EQ(paradox::DecodeKbeInt(p + 46, 4), r.at);
        EXPECT_EQ(paradox::DecodeKbeDouble(p + 50), r.stamp);
        EXPECT_EQ(p[58], r.flag ? 0x81 : 0x80);
        EXPECT_EQ(paradox::DecodeBcd(p + 59, 2), r.amount);
        EXPECT_EQ(std::memcmp(p + 76, r.raw.data(), 4), 0);
    });
    EXPECT_EQ(i, records);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PxlibWrittenReadBack, ::testing::Values(0, 1, 25, 3000));

} // namespace
