#include "paradox/RecordChecks.h"

#include "CorpusManifest.h"
#include "paradox/TableReader.h"
#include "support/Corpus.h"
#include "support/DescribeFindings.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using paradox::FindingCode;
using paradox::FindingList;
using paradox::TableReader;

using testsupport::Describe;

TEST(RecordChecks, CorpusKeysAscendAndValuesAreInRange) {
    MENDRIX_NEEDS_CORPUS();
    for (const auto& row : ManifestRows()) {
        FindingList findings;
        auto table = TableReader::Open(row.path, findings);
        ASSERT_TRUE(table);
        FindingList checks;
        paradox::CheckKeyOrder(*table, checks);
        paradox::CheckRecordValues(*table, checks);
        EXPECT_TRUE(checks.Empty()) << row.relative << "\n" << Describe(checks);
    }
}

// ORDERS.DB is keyed on a Number; swapping two records of a block breaks the order and
// copying one over its neighbour makes a duplicate.
TEST(RecordChecks, SwappedAndRepeatedKeysAreFound) {
    MENDRIX_NEEDS_CORPUS();
    const auto source = testsupport::CorpusDir() / "leonhad-paradoxdriver/db/ORDERS.DB";
    std::string bytes = testsupport::ReadFileBytes(source);
    FindingList ignored;
    auto original = TableReader::Open(source, ignored);
    ASSERT_TRUE(original);
    const auto first = static_cast<std::size_t>(original->BlockOffset(original->ChainBlocks()[0]));
    const std::size_t size = original->Header().recordSize;
    testsupport::TempDir dir;

    std::string swapped = bytes;
    std::swap_ranges(swapped.begin() + static_cast<std::ptrdiff_t>(first + 6),
                     swapped.begin() + static_cast<std::ptrdiff_t>(first + 6 + size),
                     swapped.begin() + static_cast<std::ptrdiff_t>(first + 6 + size));
    testsupport::WriteFileBytes(dir / "ORDERS.DB", swapped);
    FindingList findings;
    auto table = TableReader::Open(dir / "ORDERS.DB", findings);
    ASSERT_TRUE(table);
    paradox::CheckKeyOrder(*table, findings);
    EXPECT_TRUE(findings.Has(FindingCode::KeyOrder)) << Describe(findings);

    std::string repeated = bytes;
    std::copy_n(repeated.begin() + static_cast<std::ptrdiff_t>(first + 6), size,
                repeated.begin() + static_cast<std::ptrdiff_t>(first + 6 + size));
    testsupport::WriteFileBytes(dir / "ORDERS.DB", repeated);
    findings.Clear();
    table = TableReader::Open(dir / "ORDERS.DB", findings);
    ASSERT_TRUE(table);
    paradox::CheckKeyOrder(*table, findings);
    EXPECT_TRUE(findings.Has(FindingCode::DuplicateKey)) << Describe(findings);
}

TEST(RecordChecks, OddLogicalBytesAreSuspicious) {
    MENDRIX_NEEDS_CORPUS();
    // logical.db: one Logical field, 4 one-byte records in block 1 after a 0x800 header.
    const auto source = testsupport::CorpusDir() / "leonhad-paradoxdriver/fields/logical.db";
    std::string bytes = testsupport::ReadFileBytes(source);
    bytes.at(0x800 + 6) = 0x42;
    testsupport::TempDir dir;
    testsupport::WriteFileBytes(dir / "logical.db", bytes);
    FindingList findings;
    auto table = TableReader::Open(dir / "logical.db", findings);
    ASSERT_TRUE(table);
    paradox::CheckRecordValues(*table, findings);
    ASSERT_TRUE(findings.Has(FindingCode::BadValue)) << Describe(findings);
    EXPECT_FALSE(findings.HasDamage());
}

} // namespace
