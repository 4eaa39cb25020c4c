#include "paradox/ByteView.h"
#include "paradox/Cipher.h"
#include "paradox/Family.h"
#include "paradox/TableReader.h"
#include "support/Corpus.h"
#include "support/DescribeFindings.h"
#include "support/TempDir.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/UtilityError.h"
#include "tutil/Verify.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <span>
#include <string>

namespace {

namespace fs = std::filesystem;
using paradox::FindingCode;
using testsupport::Describe;

fs::path EncryptedSample(const std::string& name) {
    return testsupport::CorpusDir() / "leonhad-paradoxdriver/encrypt" / name;
}

void CopySample(const std::string& stem, const fs::path& dir) {
    for (const auto& file :
         paradox::AllFamilyFiles(paradox::FindFamily(EncryptedSample(stem + ".db")))) {
        fs::copy_file(file, dir / file.filename());
    }
}

TEST(EncryptedVerify, SampleTablesVerifyAsHealthyWithEveryCheckRun) {
    for (const std::string stem : {"encrypted", "encrypted35", "encryptedmemo"}) {
        testsupport::TempDir dir;
        CopySample(stem, dir.path());
        const auto outcome =
            tutil::VerifyTable(tutil::LocateTable((dir / (stem + ".db")).string()));
        EXPECT_EQ(outcome.status, tutil::VerifyStatus::Healthy)
            << stem << Describe(outcome.findings);
        EXPECT_TRUE(outcome.findings.Has(FindingCode::Encrypted)) << stem;
        EXPECT_FALSE(outcome.findings.HasDamage()) << stem << Describe(outcome.findings);
    }
}

TEST(EncryptedVerify, DamageBehindTheCipherIsFoundAndTheRebuildRefusesWithoutWriting) {
    testsupport::TempDir dir;
    CopySample("encrypted", dir.path());
    const fs::path db = dir / "encrypted.db";
    std::string bytes = testsupport::ReadFileBytes(db);
    paradox::FindingList ignored;
    const auto original = paradox::TableReader::Open(db, ignored);
    ASSERT_TRUE(original);
    const auto key = paradox::CipherKey::FromStoredValue(original->Header().CipherKeyValue());
    std::span<std::uint8_t> block(reinterpret_cast<std::uint8_t*>(bytes.data()) +
                                      original->Header().headerSize,
                                  original->Header().BlockSize());
    paradox::DecryptBlock(key, 1, block);
    // The block now declares one record fewer than the header counts.
    const auto recordSize = static_cast<std::uint16_t>(original->Header().recordSize);
    const auto lastOffset = static_cast<std::uint16_t>(block[4] | (block[5] << 8));
    ASSERT_GE(lastOffset, recordSize);
    paradox::PutU16LE(block.data() + 4, static_cast<std::uint16_t>(lastOffset - recordSize));
    paradox::EncryptBlock(key, 1, block);
    testsupport::WriteFileBytes(db, bytes);

    const auto table = tutil::LocateTable(db.string());
    const auto outcome = tutil::VerifyTable(table);
    EXPECT_TRUE(outcome.findings.Has(FindingCode::RecordCountMismatch))
        << Describe(outcome.findings);
    // Found, but not promised to a rebuild that would have to write it unencrypted.
    EXPECT_EQ(outcome.status, tutil::VerifyStatus::CannotRebuild) << Describe(outcome.findings);
    EXPECT_THROW(tutil::ReadTableStructure(table), tutil::UtilityError);
    EXPECT_EQ(testsupport::ReadFileBytes(db), bytes);
}

} // namespace
