// Opening tables of our own making, sound and damaged in each way the open can see.
#include "EngineTestSupport.h"
#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/TableOpen.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableReader.h"
#include "support/Corpus.h"
#include "support/DescribeFindings.h"
#include "support/Golden.h"
#include "support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>

namespace {

using enginetest::PatchBytes;
using enginetest::PatchU16;
using enginetest::ReadU16;
using enginetest::ReadU8;
namespace err = engine::err;
namespace fs = std::filesystem;

struct OpenResult {
    std::uint16_t code;
    std::string message;
};

OpenResult Open(const fs::path& db, const std::string& index = "") {
    std::unique_ptr<engine::OpenedTable> table;
    const auto code = engine::OpenTable(db, index, true, table);
    EXPECT_EQ(table != nullptr, code == err::Ok);
    return {code, code == err::Ok ? std::string() : engine::TakeFailureMessage(code)};
}

class DamagedTable : public ::testing::Test {
protected:
    void SetUp() override { db_ = enginetest::WriteKeyedTable(dir_.path(), "ORDERS", 400); }

    fs::path File(const std::string& ext) const { return dir_.path() / ("ORDERS." + ext); }
    std::uint64_t BlockOffset(const fs::path& file, std::uint16_t block) const {
        return ReadU16(file, 2) + static_cast<std::uint64_t>(block - 1) * ReadU8(file, 5) * 1024u;
    }
    void ExpectRefused(std::uint16_t code, const std::string& index = "",
                       const std::string& mentions = "ORDERS") {
        const auto result = Open(db_, index);
        seen_ += std::to_string(result.code) + " " + result.message + "\n";
        EXPECT_EQ(result.code, code) << result.message;
        EXPECT_NE(result.message.find(mentions), std::string::npos) << result.message;
        EXPECT_NE(result.message.find(engine::DescribeError(code)), std::string::npos);
    }

    // The error and message of each refusal a test saw, against tests/golden/table-open-damage/.
    void TearDown() override {
        if (!seen_.empty()) {
            const std::string test =
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
            testsupport::ExpectGolden("table-open-damage/" + test + ".txt",
                                      testsupport::NormalisedOutput(seen_, dir_.path()));
        }
    }

    testsupport::TempDir dir_;
    fs::path db_;
    std::string seen_;
};

TEST_F(DamagedTable, SoundTableOpensOnEveryIndex) {
    for (const char* index : {"", "Primary", "City", "x03", "primary"}) {
        const auto result = Open(db_, index);
        EXPECT_EQ(result.code, err::Ok) << index << ": " << result.message;
    }
    const auto plain = enginetest::WritePlainTable(dir_.path(), "PLAIN", 500);
    EXPECT_EQ(Open(plain).code, err::Ok);
    EXPECT_EQ(Open(plain, "Primary").code, err::UnknownIndex);
}

TEST_F(DamagedTable, HeaderFieldsThatAreWrong) {
    const auto original = testsupport::ReadFileBytes(db_);
    struct Patch {
        std::uint64_t offset;
        std::vector<std::uint8_t> bytes;
        std::uint16_t code;
    };
    const Patch patches[] = {
        {0x00, {0x07, 0x00}, err::HeaderCorrupt},            // record size
        {0x05, {0x05}, err::HeaderCorrupt},                  // block size code
        {0x21, {0x00, 0x00}, err::HeaderCorrupt},            // field count
        {0x23, {0x09, 0x00}, err::HeaderCorrupt},            // key fields beyond the field count
        {0x39, {0x42}, err::HeaderCorrupt},                  // file version
        {0x78, {0x33}, err::HeaderCorrupt},                  // type of the first field
        {0x06, {0xFF, 0x00, 0x00, 0x00}, err::TableCorrupt}, // record count
        {0x0A, {0x30, 0x00}, err::TableCorrupt},             // blocks in use beyond the file
        {0x10, {0x01, 0x00}, err::TableCorrupt},             // last block of the chain
        {0x0C, {0x40, 0x00}, err::TableTruncated},           // file blocks beyond the end
    };
    for (const auto& patch : patches) {
        SCOPED_TRACE("offset " + std::to_string(patch.offset));
        testsupport::WriteFileBytes(db_, original);
        PatchBytes(db_, patch.offset, patch.bytes);
        ExpectRefused(patch.code);
    }
}

TEST_F(DamagedTable, BrokenBlockChain) {
    const auto original = testsupport::ReadFileBytes(db_);
    PatchU16(db_, BlockOffset(db_, 2), 999); // next of block 2 out of range
    ExpectRefused(err::TableCorrupt, "", "Block chain points outside the file");

    testsupport::WriteFileBytes(db_, original);
    PatchU16(db_, BlockOffset(db_, 3), 1); // back to the first block
    ExpectRefused(err::TableCorrupt);

    testsupport::WriteFileBytes(db_, original);
    PatchU16(db_, BlockOffset(db_, 2) + 2, 5); // prev link of block 2
    ExpectRefused(err::TableCorrupt, "", "block 2");

    testsupport::WriteFileBytes(db_, original);
    PatchU16(db_, BlockOffset(db_, 2) + 4, 13); // last-record offset no multiple of the size
    ExpectRefused(err::TableCorrupt, "", "last record offset 13");
}

// The same damage of a data block gives the open's refusal the finding verify lists for it:
// same code, same block, same text, the file named by its name.
TEST_F(DamagedTable, OpenAndVerifyChargeEachChainFaultAlike) {
    const auto original = testsupport::ReadFileBytes(db_);
    std::vector<std::uint16_t> chain;
    {
        paradox::FindingList findings;
        const auto reader = paradox::TableReader::Open(db_, findings);
        ASSERT_TRUE(reader && findings.Empty()) << testsupport::Describe(findings);
        chain = reader->ChainBlocks();
    }
    ASSERT_GE(chain.size(), 4u);
    const std::uint16_t last = chain.back();
    using C = paradox::FindingCode;
    struct Damage {
        std::string name;
        std::function<void()> apply;
        C code;
    };
    const std::vector<Damage> damages = {
        {"truncated block",
         [&] { fs::resize_file(db_, BlockOffset(db_, last) + 6 + 3 * ReadU16(db_, 0) + 5); },
         C::FileTruncated},
        {"bad offset", [&] { PatchU16(db_, BlockOffset(db_, chain[1]) + 4, 0x7FF0); },
         C::BadLastRecordOffset},
        {"cycle", [&] { PatchU16(db_, BlockOffset(db_, chain[2]), chain[1]); }, C::ChainCycle},
        {"prev mismatch", [&] { PatchU16(db_, BlockOffset(db_, chain[1]) + 2, 5); },
         C::ChainPrevMismatch},
        {"pointer out of range", [&] { PatchU16(db_, BlockOffset(db_, chain[1]), 999); },
         C::ChainPointerOutOfRange},
        {"count mismatch",
         [&] { PatchBytes(db_, 0x06, {static_cast<std::uint8_t>(ReadU8(db_, 6) - 3)}); },
         C::RecordCountMismatch},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        testsupport::WriteFileBytes(db_, original);
        damage.apply();
        std::unique_ptr<engine::OpenedTable> table;
        const auto code = engine::OpenTable(db_, "", true, table);
        ASSERT_NE(code, err::Ok);
        const std::string refusal = engine::TakeFailureContext(code);

        paradox::FindingList findings;
        paradox::TableReader::Open(db_, findings);
        const auto& all = findings.All();
        const auto same = std::find_if(all.begin(), all.end(),
                                       [&](const auto& f) { return f.code == damage.code; });
        ASSERT_NE(same, all.end()) << testsupport::Describe(findings);
        EXPECT_EQ(refusal, same->Describe());
        EXPECT_EQ(refusal.rfind("ORDERS.DB", 0), 0u) << refusal;
    }
}

// The same damage of an index reads the same at the open and in verify's walk of it.
TEST_F(DamagedTable, OpenAndVerifyWordEachIndexFaultAlike) {
    using C = paradox::FindingCode;
    const auto px = File("PX");
    const auto x = File("X03");
    struct Damage {
        std::string name;
        fs::path file;
        std::function<void()> apply;
        std::string index;
        C code;
    };
    const std::uint16_t keyLength = ReadU16(px, 0) - 6;
    const std::uint64_t thirdEntry =
        BlockOffset(px, ReadU16(px, 0x1E)) + 6 + 2u * (keyLength + 6u) + keyLength + 2;
    const std::vector<Damage> damages = {
        {"root statistic", px,
         [&] {
             PatchBytes(px, thirdEntry, {0x80, 0x07});
         },
         "", C::IndexStatisticMismatch},
        {"secondary count", x,
         [&] {
             PatchBytes(x, 0x06, {0x10, 0x00, 0x00, 0x00});
         },
         "X03", C::IndexCountMismatch},
        {"collation", x,
         [&] { PatchBytes(x, 0x29, {static_cast<std::uint8_t>(ReadU8(x, 0x29) + 1)}); }, "X03",
         C::IndexOfAnotherTable},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        const auto original = testsupport::ReadFileBytes(damage.file);
        damage.apply();
        std::unique_ptr<engine::OpenedTable> table;
        const auto code = engine::OpenTable(db_, damage.index, true, table);
        ASSERT_NE(code, err::Ok);
        const std::string refusal = engine::TakeFailureContext(code);

        paradox::FindingList findings;
        const auto reader = paradox::TableReader::Open(db_, findings);
        ASSERT_TRUE(reader);
        if (damage.index.empty()) {
            paradox::CheckPrimaryIndex(*reader, px, findings);
        } else {
            paradox::CheckSecondaryIndex(*reader, x, File("Y03"), findings);
        }
        const auto& all = findings.All();
        const auto same = std::find_if(all.begin(), all.end(),
                                       [&](const auto& f) { return f.code == damage.code; });
        ASSERT_NE(same, all.end()) << testsupport::Describe(findings);
        EXPECT_EQ(refusal, same->Describe());
        testsupport::WriteFileBytes(damage.file, original);
    }
}

TEST_F(DamagedTable, TruncatedFile) {
    const auto size = fs::file_size(db_);
    fs::resize_file(db_, size - 2048 - 100); // into the block before the last
    ExpectRefused(err::TableTruncated, "", "File ends before its last block");
    fs::resize_file(db_, 100);
    ExpectRefused(err::HeaderCorrupt);
}

TEST_F(DamagedTable, StaleOrBrokenPrimaryIndex) {
    const auto px = File("PX");
    const auto original = testsupport::ReadFileBytes(px);
    // The index of the same table before its last 150 records were added.
    testsupport::TempDir older;
    enginetest::WriteKeyedTable(older.path(), "ORDERS", 250);
    fs::copy_file(older.path() / "ORDERS.PX", px, fs::copy_options::overwrite_existing);
    ExpectRefused(err::IndexOutOfDate, "", "ORDERS.PX");

    testsupport::WriteFileBytes(px, original);
    PatchBytes(px, 0x2C, {static_cast<std::uint8_t>(ReadU8(px, 0x2C) + 1)}); // bookkeeping byte
    ExpectRefused(err::IndexOutOfDate, "Primary", "ORDERS.PX");

    testsupport::WriteFileBytes(px, original);
    PatchU16(px, 0x1E, 0x00FF); // root block beyond the end
    ExpectRefused(err::IndexCorrupt, "", "ORDERS.PX");

    testsupport::WriteFileBytes(px, original);
    fs::resize_file(px, 60);
    ExpectRefused(err::IndexCorrupt, "", "ORDERS.PX");

    fs::remove(px);
    ExpectRefused(err::IndexMissing, "", "has no primary index");
    ExpectRefused(err::IndexMissing, "City", "has no primary index");
}

TEST_F(DamagedTable, RootBlockThatDisagreesWithTheData) {
    const auto px = File("PX");
    ASSERT_EQ(ReadU8(px, 0x20), 1); // a one-level index: the root lists the data blocks
    const std::uint16_t keyLength = ReadU16(px, 0) - 6;
    const std::uint64_t firstEntry = BlockOffset(px, ReadU16(px, 0x1E)) + 6;
    PatchBytes(px, firstEntry + keyLength + 2, {0x80, 0x05}); // statistic of the first entry
    ExpectRefused(err::IndexOutOfDate, "", "ORDERS.PX");
}

TEST_F(DamagedTable, IndexOfAnotherTable) {
    MENDRIX_NEEDS_CORPUS();
    const auto original = testsupport::ReadFileBytes(File("PX"));
    const auto orders = testsupport::CorpusDir() / "leonhad-paradoxdriver" / "db" / "ORDERS.PX";
    fs::copy_file(orders, File("PX"), fs::copy_options::overwrite_existing);
    ExpectRefused(err::IndexOfAnotherTable, "", "ORDERS.PX");
    testsupport::WriteFileBytes(File("PX"), original);

    // The secondary index claims to index the table's Long field with its Alpha key.
    PatchU16(File("X03"), ReadU16(File("X03"), 0x66) + 0x58, 2);
    ExpectRefused(err::IndexOfAnotherTable, "X03", "ORDERS.X03");
}

TEST_F(DamagedTable, SecondaryIndexProblems) {
    const auto x = File("X03");
    const auto y = File("Y03");
    const auto originalX = testsupport::ReadFileBytes(x);
    PatchBytes(x, 0x06, {0x10, 0x00, 0x00, 0x00}); // a maintained index counting 16 records
    ExpectRefused(err::IndexOutOfDate, "City", "ORDERS.X03: Index entry count is wrong");
    EXPECT_EQ(Open(db_, "Primary").code, err::Ok); // the primary index is not affected

    testsupport::WriteFileBytes(x, originalX);
    PatchBytes(y, 0x00, {0x02, 0x00}); // Y record size
    ExpectRefused(err::IndexCorrupt, "City", "ORDERS.Y03");

    fs::remove(y);
    ExpectRefused(err::IndexMissing, "City", "no Y file");
    EXPECT_EQ(Open(db_).code, err::Ok);

    ExpectRefused(err::UnknownIndex, "Nowhere", "its indexes: Primary, City");
}

TEST_F(DamagedTable, BlobFileMissingOrBroken) {
    const auto mb = File("MB");
    const auto original = testsupport::ReadFileBytes(mb);
    PatchBytes(mb, 0, {0x02});
    ExpectRefused(err::BlobFileCorrupt, "", "ORDERS.MB");

    testsupport::WriteFileBytes(mb, original);
    fs::resize_file(mb, 5000);
    ExpectRefused(err::BlobFileCorrupt, "", "4096");

    fs::remove(mb);
    ExpectRefused(err::BlobFileMissing, "City", "no blob file");
}

TEST_F(DamagedTable, MissingTable) {
    fs::remove(db_);
    ExpectRefused(err::TableMissing);
}

} // namespace

namespace {

// Random bytes written into the family: the open gives an answer, never a crash or a hang.
// (Many such bytes fall on header padding, in-memory pointers or record data, which an open
// rightly does not judge, so only some of the rounds are refused.)
TEST(RandomDamage, OpenAlwaysAnswers) {
    testsupport::TempDir dir;
    const auto db = enginetest::WriteKeyedTable(dir.path(), "ORDERS", 200);
    const std::vector<std::string> members = {"DB", "PX", "X03", "Y03", "MB"};
    std::map<std::string, std::string> originals;
    for (const auto& ext : members) {
        originals[ext] = testsupport::ReadFileBytes(dir / ("ORDERS." + ext));
    }
    std::uint32_t state = 12345;
    auto next = [&](std::uint32_t bound) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % bound;
    };
    int refused = 0;
    std::string seen; // each open's answer, against tests/golden/
    for (int round = 0; round < 400; ++round) {
        const std::string& ext = members[next(members.size())];
        std::string bytes = originals[ext];
        const int flips = 1 + static_cast<int>(next(8));
        // Most damage goes to the header and the first blocks, where the open looks.
        const std::size_t window = std::min<std::size_t>(bytes.size(), next(2) ? 0x900 : 0x4000);
        for (int i = 0; i < flips; ++i) {
            bytes[next(static_cast<std::uint32_t>(window))] = static_cast<char>(next(256));
        }
        testsupport::WriteFileBytes(dir / ("ORDERS." + ext), bytes);
        for (const char* index : {"", "X03"}) {
            std::unique_ptr<engine::OpenedTable> table;
            const auto code = engine::OpenTable(db, index, true, table);
            const std::string message = engine::TakeFailureMessage(code);
            refused += code != err::Ok ? 1 : 0;
            seen += std::to_string(round) + " " + ext + " " + index + ": " + std::to_string(code) +
                    " " + message + "\n";
        }
        testsupport::WriteFileBytes(dir / ("ORDERS." + ext), originals[ext]);
    }
    EXPECT_GT(refused, 20);
    testsupport::ExpectGolden("table-open-damage/RandomDamage.txt",
                              testsupport::NormalisedOutput(seen, dir.path()));
}

} // namespace
