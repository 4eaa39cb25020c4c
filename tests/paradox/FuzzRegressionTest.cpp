// Inputs the fuzz targets once crashed or stalled on, replayed through the same checks, and the
// packing of families the fuzz inputs use.

#include "../../fuzz/FamilyPack.h"
#include "../../fuzz/ReaderChecks.h"
#include "paradox/Cipher.h"
#include "support/Corpus.h"
#include "support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path RegressionDir() {
    return fs::path(MENDRIX_TESTS_DIR) / "paradox" / "fuzz-regressions";
}

std::vector<fs::path> RegressionInputs() {
    std::vector<fs::path> inputs;
    for (const auto& entry : fs::directory_iterator(RegressionDir())) {
        if (entry.is_regular_file()) {
            inputs.push_back(entry.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

fuzzpack::ReaderCheckResult ReplayInput(const std::vector<std::uint8_t>& bytes,
                                        const fs::path& dir) {
    const auto members = fuzzpack::Unpack(bytes.data(), bytes.size());
    fuzzpack::WriteMembers(dir, "FUZZ", members);
    return fuzzpack::RunReaderChecks(dir / "FUZZ.DB");
}

TEST(FuzzRegression, KeptCrashInputsReadAsDamagedTables) {
    const auto inputs = RegressionInputs();
    ASSERT_FALSE(inputs.empty());
    for (const auto& input : inputs) {
        SCOPED_TRACE(input.filename().string());
        testsupport::TempDir dir;
        const auto result = ReplayInput(ReadBytes(input), dir.path());
        // Each of them is a damaged family: the reader must say so rather than crash.
        EXPECT_GT(result.findings, 0u);
    }
}

TEST(FuzzRegression, NegativeKeyFieldCountIsReportedAgainstTheSecondaryIndex) {
    testsupport::TempDir dir;
    const auto bytes = ReadBytes(RegressionDir() / "secondary-negative-key-count.fam");
    fuzzpack::WriteMembers(dir.path(), "FUZZ", fuzzpack::Unpack(bytes.data(), bytes.size()));
    paradox::FindingList findings;
    const auto table = paradox::TableReader::Open(dir / "FUZZ.DB", findings);
    ASSERT_NE(table, nullptr);
    EXPECT_TRUE(findings.Has(paradox::FindingCode::BadKeyFieldCount));
    paradox::FindingList indexFindings;
    paradox::CheckSecondaryIndex(*table, dir / "FUZZ.X02", dir / "FUZZ.Y02", indexFindings);
    EXPECT_FALSE(indexFindings.Empty());
}

// A protected table whose stored key fits no block: each key search over it once judged every
// one of the 65,536 low halves. Reading it now decrypts a few times its size, not hundreds.
TEST(FuzzRegression, KeySearchOverAHostileTableCostsWorkBoundedByItsSize) {
    testsupport::TempDir dir;
    const auto bytes = ReadBytes(RegressionDir() / "key-search-over-every-low-half.fam");
    const std::uint64_t before = paradox::testing::BytesDecryptedOnThisThread();
    const auto result = ReplayInput(bytes, dir.path());
    const std::uint64_t decrypted = paradox::testing::BytesDecryptedOnThisThread() - before;
    EXPECT_GT(result.findings, 0u);
    EXPECT_GT(decrypted, 0u); // the search ran
    EXPECT_LE(decrypted, 4 * bytes.size());
}

// A corpus family packed the way make_fuzz_seeds does it comes back byte for byte, and a healthy
// family gives no finding through the whole reader check.
TEST(FamilyPack, CorpusFamilyRoundTripsAndReadsClean) {
    MENDRIX_NEEDS_CORPUS();
    const fs::path db = testsupport::CorpusDir() / "leonhad-paradoxdriver" / "db" / "CUSTOMER.DB";
    const paradox::TableFamily family = paradox::FindFamily(db);
    ASSERT_FALSE(family.px.empty());
    ASSERT_FALSE(family.mb.empty());
    ASSERT_EQ(family.secondaries.size(), 2u);

    std::vector<std::uint8_t> packed;
    fuzzpack::AppendMember(packed, 'D', 0, ReadBytes(family.db));
    fuzzpack::AppendMember(packed, 'P', 0, ReadBytes(family.px));
    fuzzpack::AppendMember(packed, 'M', 0, ReadBytes(family.mb));
    for (const auto& index : family.secondaries) {
        const std::string ext = paradox::UpperExtension(index);
        const int selector = fuzzpack::SelectorForExtension(ext);
        ASSERT_GE(selector, 0) << ext;
        fuzzpack::AppendMember(packed, ext[0], static_cast<std::uint8_t>(selector),
                               ReadBytes(index));
    }

    testsupport::TempDir dir;
    const auto written =
        fuzzpack::WriteMembers(dir.path(), "FUZZ", fuzzpack::Unpack(packed.data(), packed.size()));
    ASSERT_EQ(written.size(), 5u);
    EXPECT_EQ(ReadBytes(dir / "FUZZ.DB"), ReadBytes(family.db));
    EXPECT_EQ(ReadBytes(dir / "FUZZ.PX"), ReadBytes(family.px));
    EXPECT_EQ(ReadBytes(dir / "FUZZ.MB"), ReadBytes(family.mb));
    EXPECT_EQ(ReadBytes(dir / "FUZZ.X06"), ReadBytes(family.secondaries[0]));
    EXPECT_EQ(ReadBytes(dir / "FUZZ.Y06"), ReadBytes(family.secondaries[1]));

    const auto result = fuzzpack::RunReaderChecks(dir / "FUZZ.DB");
    EXPECT_TRUE(result.tableOpened);
    EXPECT_EQ(result.records, 20u);
    EXPECT_EQ(result.findings, 0u);
}

TEST(FamilyPack, DamagedContainersUnpackToWhatIsThere) {
    std::vector<std::uint8_t> packed;
    const std::vector<std::uint8_t> first{1, 2, 3};
    const std::vector<std::uint8_t> second{4, 5};
    fuzzpack::AppendMember(packed, 'D', 0, first);
    fuzzpack::AppendMember(packed, '?', 0, first);  // unknown kind: skipped
    fuzzpack::AppendMember(packed, 'D', 7, second); // a second .DB replaces the first
    fuzzpack::AppendMember(packed, 'X', 0x81, first);
    fuzzpack::AppendMember(packed, 'Y', 0x81, second);
    // A member whose length runs past the end keeps the bytes that are there.
    fuzzpack::AppendMember(packed, 'M', 0, std::vector<std::uint8_t>(100, 9));
    packed.resize(packed.size() - 60);

    const auto members = fuzzpack::Unpack(packed.data(), packed.size());
    ASSERT_EQ(members.size(), 4u);
    EXPECT_EQ(members[0].kind, 'D');
    EXPECT_EQ(std::vector<std::uint8_t>(members[0].bytes.begin(), members[0].bytes.end()), second);
    EXPECT_EQ(fuzzpack::MemberExtension(members[1]), "XG1");
    EXPECT_EQ(fuzzpack::MemberExtension(members[2]), "YG1");
    EXPECT_EQ(members[3].kind, 'M');
    EXPECT_EQ(members[3].bytes.size(), 40u);

    const std::vector<std::uint8_t> cutShort{'D', 0, 5};
    EXPECT_TRUE(fuzzpack::Unpack(cutShort.data(), cutShort.size()).empty());

    EXPECT_EQ(fuzzpack::SecondaryExtension('X', 1), "X02");
    EXPECT_EQ(fuzzpack::SelectorForExtension("Y06"), 5);
    EXPECT_EQ(fuzzpack::SelectorForExtension("X00"), -1);
    EXPECT_EQ(fuzzpack::SelectorForExtension("DB"), -1);
}

} // namespace
