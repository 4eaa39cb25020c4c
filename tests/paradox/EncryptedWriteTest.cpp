// Password-protected tables we write, at every level and block size: every file of the family
// is the plain one with each block encrypted for its own slot (the .MB whole), our reader finds
// no fault and reads the same records, indexes and blobs, and pxlib reads the same values.

#include "PxlibOracle.h"
#include "WriterBlobCheck.h"
#include "WriterTestData.h"
#include "paradox/BlobFile.h"
#include "paradox/ByteView.h"
#include "paradox/Cipher.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableReader.h"
#include "paradox/TableWriter.h"
#include "support/DescribeFindings.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

using namespace writertest;
using paradox::CipherKey;
using paradox::FindingCode;
using paradox::FindingList;
using paradox::TableReader;
using testsupport::Describe;

// The checksum of "secret": both key bytes non-zero, high half set.
constexpr std::uint32_t kKeyValue = 0x6E25449A;

struct Case {
    const char* name;
    Mix mix;
    std::uint8_t version;
    std::uint8_t blockSizeCode;
    std::uint8_t indexBlockSizeCode;
    std::uint32_t records;
    std::uint32_t minDataBlocks; // past 255 the position tweak wraps
};

std::ostream& operator<<(std::ostream& out, const Case& c) {
    return out << c.name;
}

// A secondary index on the second field, and from level 4 a composite one on two fields.
void AddSecondaryIndexes(TableSchema& schema) {
    if (!schema.Keyed() || schema.HasBlobs()) {
        return;
    }
    schema.secondaryIndexes.push_back(
        {"X02", schema.fields[1].name, {2}, true, false, schema.indexBlockSizeCode, 0});
    if (schema.fileVersion >= 5) {
        schema.secondaryIndexes.push_back({"XG0", "Pair", {2, 3}, true, true, 2, 0});
    }
}

// Findings other than the note that the table is protected.
FindingList Faults(const FindingList& findings) {
    FindingList faults;
    for (const auto& f : findings.All()) {
        if (f.code != FindingCode::Encrypted) {
            faults.Add(f);
        }
    }
    return faults;
}

std::uint32_t U32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return *paradox::ByteView(bytes.data(), bytes.size()).U32LE(at);
}

bool InKeyBytes(std::size_t offset) {
    return (offset >= 0x25 && offset < 0x29) || (offset >= 0x3D && offset < 0x48) ||
           (offset >= 0x5C && offset < 0x60);
}

// `encrypted` must be `plain` with its header's key bytes set and every block (every piece of
// a .MB) encrypted for its place; the cipher text must differ from the plain text.
void ExpectEncryptedCopy(const std::filesystem::path& plain, const std::filesystem::path& encrypted,
                         bool blobFile) {
    const std::string plainText = testsupport::ReadFileBytes(plain);
    const std::string cipherText = testsupport::ReadFileBytes(encrypted);
    ASSERT_EQ(plainText.size(), cipherText.size()) << encrypted;
    std::vector<std::uint8_t> bytes(cipherText.begin(), cipherText.end());
    const CipherKey key = CipherKey::FromStoredValue(kKeyValue);
    std::size_t headerSize = 0;
    if (blobFile) {
        paradox::DecryptBlobBytes(key, bytes);
    } else {
        headerSize = *paradox::ByteView(bytes.data(), bytes.size()).U16LE(2);
        const std::size_t blockSize = bytes[5] * 1024u;
        ASSERT_EQ((bytes.size() - headerSize) % blockSize, 0u) << encrypted << ": whole blocks";
        std::uint32_t number = 1;
        for (std::size_t at = headerSize; at < bytes.size(); at += blockSize, ++number) {
            paradox::DecryptBlock(key, number, std::span(bytes).subspan(at, blockSize));
        }
        const std::uint32_t stored =
            U32(bytes, 0x25) == 0xFF00FF00u ? U32(bytes, 0x5C) : U32(bytes, 0x25);
        EXPECT_EQ(stored, kKeyValue) << encrypted;
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i < headerSize && InKeyBytes(i)) {
            continue;
        }
        ASSERT_EQ(bytes[i], static_cast<std::uint8_t>(plainText[i]))
            << encrypted << " differs from the plain file at offset " << i;
    }
    if (bytes.size() > headerSize) {
        EXPECT_NE(cipherText.substr(headerSize), plainText.substr(headerSize))
            << encrypted << " was stored in plain";
    }
}

class EncryptedWrite : public ::testing::TestWithParam<Case> {};

TEST_P(EncryptedWrite, EveryFileEncryptedAndReadBackEqual) {
    const Case& c = GetParam();
    GeneratedTable table =
        Generate(c.mix, c.version, c.blockSizeCode, c.indexBlockSizeCode, c.records, 21);
    AddSecondaryIndexes(table.schema);
    paradox::WriteOptions options;
    options.sync = false;
    options.fileUpdateTime = 1700000000;
    testsupport::TempDir plainDir;
    testsupport::TempDir dir;
    paradox::WriteTable(plainDir.path(), "SECRET", table.schema, table.records, table.blobs,
                        options);
    table.schema.protection.keyValue = kKeyValue;
    paradox::WriteTable(dir.path(), "SECRET", table.schema, table.records, table.blobs, options);
    SortByKey(table);

    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(plainDir.path())) {
        const auto name = entry.path().filename();
        ExpectEncryptedCopy(entry.path(), dir / name.string(), name.extension() == ".MB");
        ++files;
    }
    EXPECT_EQ(files, 1 + (table.schema.Keyed() ? 1u : 0u) + (table.schema.HasBlobs() ? 1u : 0u) +
                         2 * table.schema.secondaryIndexes.size());

    FindingList findings;
    auto db = TableReader::Open(dir / "SECRET.DB", findings);
    ASSERT_TRUE(db);
    EXPECT_TRUE(db->Encrypted());
    EXPECT_TRUE(Faults(findings).Empty()) << Describe(findings);
    EXPECT_GE(db->Header().fileBlocks, c.minDataBlocks);
    EXPECT_EQ(db->Schema().protection.keyValue, kKeyValue);
    FindingList plainFindings;
    auto plainDb = TableReader::Open(plainDir / "SECRET.DB", plainFindings);
    ASSERT_TRUE(plainDb);
    std::vector<std::vector<std::uint8_t>> plainRecords;
    plainDb->ForEachRecord([&](const paradox::RecordRef& r) {
        plainRecords.emplace_back(r.bytes, r.bytes + plainDb->Header().recordSize);
    });
    ASSERT_EQ(plainRecords.size(), c.records);
    std::size_t n = 0;
    db->ForEachRecord([&](const paradox::RecordRef& r) {
        ASSERT_LT(n, plainRecords.size());
        EXPECT_EQ(std::vector<std::uint8_t>(r.bytes, r.bytes + db->Header().recordSize),
                  plainRecords[n])
            << "record " << n;
        ++n;
    });
    EXPECT_EQ(n, c.records);

    FindingList indexFindings;
    if (table.schema.Keyed()) {
        paradox::CheckPrimaryIndex(*db, dir / "SECRET.PX", indexFindings);
    }
    for (const auto& spec : table.schema.secondaryIndexes) {
        const std::string y = "Y" + spec.extension.substr(1);
        paradox::CheckSecondaryIndex(*db, dir / ("SECRET." + spec.extension), dir / ("SECRET." + y),
                                     indexFindings);
    }
    EXPECT_TRUE(Faults(indexFindings).Empty()) << Describe(indexFindings);

    if (table.schema.HasBlobs()) {
        FindingList blobFindings;
        auto mb = paradox::BlobFile::Open(dir / "SECRET.MB", blobFindings, kKeyValue);
        ASSERT_TRUE(mb);
        mb->CheckStructure(blobFindings);
        paradox::CheckTableBlobs(*db, mb.get(), blobFindings);
        EXPECT_TRUE(Faults(blobFindings).Empty()) << Describe(blobFindings);
        ExpectBlobsAsGenerated(*db, mb.get(), table, blobFindings);
    }

    if (c.version >= 0x0B && !table.schema.HasBlobs()) {
        // pxlib decrypts with the stored key as it reads; it is never handed a .MB.
        const pxoracle::Dump dump = pxoracle::ReadWithPxlib(dir / "SECRET.DB");
        EXPECT_EQ(dump.error, "");
        EXPECT_EQ(dump.records, static_cast<int>(c.records));
        ASSERT_EQ(dump.rows.size(), table.texts.size());
        for (std::size_t i = 0; i < dump.rows.size(); ++i) {
            ASSERT_EQ(dump.rows[i], pxoracle::AsPxlibReadsIt(table.schema, table.texts[i]))
                << "record " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Levels, EncryptedWrite,
    ::testing::Values(Case{"v30_1k_many", Mix::Classic, 0x03, 1, 1, 1500, 300},
                      Case{"v35_2k_px1k", Mix::Classic, 0x04, 2, 1, 1200, 100},
                      Case{"v4_4k_px2k", Mix::Classic, 0x09, 4, 2, 1500, 60},
                      Case{"v4_blobs_2k", Mix::Blobs, 0x09, 2, 2, 300, 1},
                      Case{"v5_1k_many", Mix::Level5, 0x0B, 1, 1, 4000, 256},
                      Case{"v5_8k_px4k", Mix::Level5, 0x0B, 8, 4, 3000, 30},
                      Case{"v5_blobs_1k", Mix::Blobs, 0x0B, 1, 1, 400, 1},
                      Case{"v7_classic_2k_many", Mix::Classic, 0x0C, 2, 2, 3000, 256},
                      Case{"v7_16k_px2k", Mix::Level5, 0x0C, 16, 2, 5000, 20},
                      Case{"v7_32k_px1k", Mix::Level5, 0x0C, 32, 1, 5000, 10},
                      Case{"v7_unkeyed_4k", Mix::Unkeyed, 0x0C, 4, 2, 900, 30},
                      Case{"v7_blobs_4k", Mix::Blobs, 0x0C, 4, 2, 300, 1},
                      Case{"v7_empty", Mix::Level5, 0x0C, 2, 2, 0, 0}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace
