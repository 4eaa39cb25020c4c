#include "paradox/BlobFile.h"
#include "paradox/Cipher.h"
#include "paradox/Family.h"
#include "paradox/TableReader.h"
#include "paradox/ValueText.h"
#include "support/Corpus.h"
#include "support/DescribeFindings.h"
#include "support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <span>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using paradox::FindingCode;
using paradox::FindingList;
using paradox::TableReader;
using testsupport::Describe;

fs::path EncryptedDir() {
    return testsupport::CorpusDir() / "leonhad-paradoxdriver/encrypt";
}

std::vector<std::string> DumpLines(const TableReader& table, FindingList& findings) {
    std::vector<std::string> lines;
    table.ForEachRecord([&](const paradox::RecordRef& record) {
        std::string line;
        paradox::AppendRecordLine(line, table, record, nullptr, &findings);
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
        }
        lines.push_back(line);
    });
    return lines;
}

TEST(EncryptedTable, SampleTablesReadToTheirValuesWithoutAPassword) {
    MENDRIX_NEEDS_CORPUS();
    const std::vector<std::pair<std::string, std::vector<std::string>>> tables{
        {"encrypted.db", {"1\tValue 1", "2\tValue 2", "3\tValue 3", "4\tLast one"}},
        {"encrypted35.db", {"1\tTest 1", "2\tTest2"}},
    };
    for (const auto& [name, expected] : tables) {
        FindingList findings;
        const auto table = TableReader::Open(EncryptedDir() / name, findings);
        ASSERT_TRUE(table) << name << "\n" << Describe(findings);
        EXPECT_TRUE(table->Encrypted());
        EXPECT_EQ(table->Header().CipherKeyValue(), 0x0A25E09Au) << name;
        EXPECT_EQ(DumpLines(*table, findings), expected) << name;
        EXPECT_FALSE(findings.HasDamage()) << name << "\n" << Describe(findings);
    }

    // The memo table: both memos live in the encrypted .MB.
    FindingList findings;
    const auto memo = TableReader::Open(EncryptedDir() / "encryptedmemo.db", findings);
    ASSERT_TRUE(memo);
    const auto blobs = paradox::BlobFile::Open(paradox::FindFamily(memo->Path()).mb, findings,
                                               memo->Header().CipherKeyValue());
    ASSERT_TRUE(blobs);
    blobs->CheckStructure(findings);
    std::vector<std::string> texts;
    const auto& field = memo->Schema().fields[0];
    memo->ForEachRecord([&](const paradox::RecordRef& record) {
        std::vector<std::uint8_t> data;
        EXPECT_TRUE(paradox::ReadBlobField(record.bytes, field.ByteLength(), field.typeCode,
                                           blobs.get(), data, findings, field.name));
        texts.emplace_back(data.begin(), data.end());
    });
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].size(), 55855u);
    EXPECT_EQ(texts[0].rfind(" The PARADOX File Structure", 0), 0u) << texts[0].substr(0, 40);
    EXPECT_EQ(texts[1].size(), 494832u);
    EXPECT_EQ(texts[1].rfind("(This is stale and you may wish to find", 0), 0u)
        << texts[1].substr(0, 40);
    for (const auto& text : texts) {
        EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return byte >= 0x20 || c == '\n' || c == '\r' || c == '\t';
        }));
    }
    // Raw zero pieces after each blob's end are how the writer leaves them, not damage.
    EXPECT_FALSE(findings.HasDamage()) << Describe(findings);
}

// A copy of an encrypted sample whose plain content is changed, then encrypted again for the
// same block, as damage in a real protected table would look.
class DamagedEncryptedTable : public ::testing::Test {
protected:
    void CopyWithPlainBlockChange(const std::string& name,
                                  const std::function<void(std::span<std::uint8_t>)>& change) {
        std::string bytes = testsupport::ReadFileBytes(EncryptedDir() / name);
        FindingList ignored;
        const auto original = TableReader::Open(EncryptedDir() / name, ignored);
        ASSERT_TRUE(original);
        const auto key = paradox::CipherKey::FromStoredValue(original->Header().CipherKeyValue());
        const std::size_t offset = original->Header().headerSize;
        const std::size_t size = original->Header().BlockSize();
        ASSERT_GE(bytes.size(), offset + size);
        std::span<std::uint8_t> block(reinterpret_cast<std::uint8_t*>(bytes.data()) + offset, size);
        paradox::DecryptBlock(key, 1, block);
        change(block);
        paradox::EncryptBlock(key, 1, block);
        path_ = dir_ / name;
        testsupport::WriteFileBytes(path_, bytes);
    }

    testsupport::TempDir dir_;
    fs::path path_;
};

TEST_F(DamagedEncryptedTable, DamageBehindTheCipherIsFoundLikeInAPlainTable) {
    MENDRIX_NEEDS_CORPUS();
    // Last record offset 5 is not a multiple of the record size.
    CopyWithPlainBlockChange("encrypted.db", [](std::span<std::uint8_t> block) {
        block[4] = 5;
        block[5] = 0;
    });
    FindingList findings;
    auto table = TableReader::Open(path_, findings);
    ASSERT_TRUE(table);
    EXPECT_TRUE(findings.Has(FindingCode::BadLastRecordOffset)) << Describe(findings);

    // A next pointer to a block the file does not have.
    CopyWithPlainBlockChange("encrypted35.db", [](std::span<std::uint8_t> block) { block[0] = 9; });
    findings.Clear();
    table = TableReader::Open(path_, findings);
    ASSERT_TRUE(table);
    EXPECT_TRUE(findings.Has(FindingCode::ChainPointerOutOfRange)) << Describe(findings);
    EXPECT_EQ(table->RecordCount(), 2u);
}

TEST_F(DamagedEncryptedTable, GarbledOrCutCipherTextGivesFindingsNotACrash) {
    MENDRIX_NEEDS_CORPUS();
    const std::string original = testsupport::ReadFileBytes(EncryptedDir() / "encrypted.db");
    FindingList ignored;
    const auto plain = TableReader::Open(EncryptedDir() / "encrypted.db", ignored);
    ASSERT_TRUE(plain);
    const std::size_t blockStart = plain->Header().headerSize;

    std::string garbled = original;
    for (std::size_t i = blockStart; i < blockStart + 600 && i < garbled.size(); ++i) {
        garbled[i] = static_cast<char>(i * 37 + 11);
    }
    testsupport::WriteFileBytes(dir_ / "garbled.db", garbled);
    FindingList findings;
    auto table = TableReader::Open(dir_ / "garbled.db", findings);
    ASSERT_TRUE(table);
    EXPECT_TRUE(findings.HasDamage()) << Describe(findings);
    table->ForEachRecord([](const paradox::RecordRef&) {});

    // A block cut inside the piece holding its records loses them; cut after that piece, all
    // four records are still there.
    for (std::size_t cut : {blockStart + 3, blockStart + 100, blockStart + 300}) {
        testsupport::WriteFileBytes(dir_ / "cut.db", original.substr(0, cut));
        findings.Clear();
        table = TableReader::Open(dir_ / "cut.db", findings);
        ASSERT_TRUE(table) << cut;
        std::vector<std::string> lines = DumpLines(*table, findings);
        if (cut < blockStart + paradox::kCipherPieceSize) {
            EXPECT_TRUE(findings.Has(FindingCode::FileTruncated)) << cut << Describe(findings);
            EXPECT_TRUE(lines.empty()) << cut;
        } else {
            EXPECT_FALSE(findings.HasDamage()) << cut << Describe(findings);
            EXPECT_EQ(lines, DumpLines(*plain, ignored));
        }
    }

    // A .MB whose blob blocks carry a bad type byte behind the cipher: the memos cannot be read.
    testsupport::WriteFileBytes(dir_ / "encryptedmemo.db",
                                testsupport::ReadFileBytes(EncryptedDir() / "encryptedmemo.db"));
    std::string mb = testsupport::ReadFileBytes(EncryptedDir() / "encryptedmemo.mb");
    const auto key = paradox::CipherKey::FromStoredValue(plain->Header().CipherKeyValue());
    for (std::size_t i = 4096; i + paradox::kCipherPieceSize <= mb.size(); i += 4096) {
        std::span<std::uint8_t> piece(reinterpret_cast<std::uint8_t*>(mb.data()) + i,
                                      paradox::kCipherPieceSize);
        paradox::DecryptBlobBytes(key, piece);
        piece[0] = 7;
        paradox::EncryptBlobBytes(key, piece);
    }
    testsupport::WriteFileBytes(dir_ / "encryptedmemo.mb", mb);
    findings.Clear();
    table = TableReader::Open(dir_ / "encryptedmemo.db", findings);
    ASSERT_TRUE(table);
    auto blobs = paradox::BlobFile::Open(dir_ / "encryptedmemo.mb", findings,
                                         table->Header().CipherKeyValue());
    ASSERT_TRUE(blobs);
    blobs->CheckStructure(findings);
    paradox::CheckTableBlobs(*table, blobs.get(), findings);
    EXPECT_TRUE(findings.HasDamage()) << Describe(findings);
}

TEST_F(DamagedEncryptedTable, DamagedKeyFieldIsRecoveredBySearchOrTheBlocksAreNotRead) {
    MENDRIX_NEEDS_CORPUS();
    FindingList ignored;
    const auto plain = TableReader::Open(EncryptedDir() / "encrypted.db", ignored);
    ASSERT_TRUE(plain);
    const auto expected = DumpLines(*plain, ignored);
    std::string bytes = testsupport::ReadFileBytes(EncryptedDir() / "encrypted.db");
    ASSERT_TRUE(plain->Header().hasExtension);
    constexpr std::size_t kKeyOffset = 0x5C; // level 4+: the key follows the marker at 0x25
    bytes[kKeyOffset] = static_cast<char>(bytes[kKeyOffset] ^ 0x11);
    bytes[kKeyOffset + 1] = static_cast<char>(bytes[kKeyOffset + 1] ^ 0x40);
    testsupport::WriteFileBytes(dir_ / "rekeyed.db", bytes);
    FindingList findings;
    auto table = TableReader::Open(dir_ / "rekeyed.db", findings);
    ASSERT_TRUE(table);
    EXPECT_TRUE(findings.Has(FindingCode::EncryptionKeyBad)) << Describe(findings);
    EXPECT_EQ(table->Header().CipherKeyValue() & 0xFFFFu, 0xE09Au);
    EXPECT_EQ(DumpLines(*table, findings), expected);

    // Block 1's first piece replaced: no key gives it a plausible header; said, and the chain
    // checks report the block.
    const std::size_t blockStart = plain->Header().headerSize;
    for (std::size_t i = 0; i < paradox::kCipherPieceSize; ++i) {
        bytes[blockStart + i] = static_cast<char>(0xA5 ^ (i * 29));
    }
    testsupport::WriteFileBytes(dir_ / "nokey.db", bytes);
    findings.Clear();
    table = TableReader::Open(dir_ / "nokey.db", findings);
    ASSERT_TRUE(table);
    ASSERT_TRUE(findings.Has(FindingCode::EncryptionKeyBad)) << Describe(findings);
    EXPECT_TRUE(findings.Has(FindingCode::RecordCountMismatch) ||
                findings.Has(FindingCode::BadLastRecordOffset) ||
                findings.Has(FindingCode::ChainPrevMismatch) ||
                findings.Has(FindingCode::ChainPointerOutOfRange))
        << Describe(findings);
}

TEST_F(DamagedEncryptedTable, BlobFileStoredPlainBesideAnEncryptedTableIsReadAsStored) {
    MENDRIX_NEEDS_CORPUS();
    FindingList findings;
    const auto table = TableReader::Open(EncryptedDir() / "encryptedmemo.db", findings);
    ASSERT_TRUE(table);
    std::string mb = testsupport::ReadFileBytes(EncryptedDir() / "encryptedmemo.mb");
    const auto key = paradox::CipherKey::FromStoredValue(table->Header().CipherKeyValue());
    for (std::size_t i = 0; i + paradox::kCipherPieceSize <= mb.size();
         i += paradox::kCipherPieceSize) {
        std::span<std::uint8_t> piece(reinterpret_cast<std::uint8_t*>(mb.data()) + i,
                                      paradox::kCipherPieceSize);
        if (std::any_of(piece.begin(), piece.end(), [](std::uint8_t b) { return b != 0; })) {
            paradox::DecryptBlobBytes(key, piece);
        }
    }
    testsupport::WriteFileBytes(dir_ / "plain.mb", mb);
    const auto blobs =
        paradox::BlobFile::Open(dir_ / "plain.mb", findings, table->Header().CipherKeyValue());
    ASSERT_TRUE(blobs);
    EXPECT_TRUE(findings.Has(FindingCode::BlobFileBad)) << Describe(findings);
    blobs->CheckStructure(findings);
    const auto& field = table->Schema().fields[0];
    std::vector<std::size_t> sizes;
    table->ForEachRecord([&](const paradox::RecordRef& record) {
        std::vector<std::uint8_t> data;
        EXPECT_TRUE(paradox::ReadBlobField(record.bytes, field.ByteLength(), field.typeCode,
                                           blobs.get(), data, findings, field.name));
        sizes.push_back(data.size());
    });
    EXPECT_EQ(sizes, (std::vector<std::size_t>{55855u, 494832u}));
    EXPECT_FALSE(findings.HasDamage()) << Describe(findings);
}

} // namespace
