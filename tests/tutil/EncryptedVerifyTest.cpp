#include "TableFixture.h"
#include "WriterTestData.h"
#include "paradox/ByteView.h"
#include "paradox/Cipher.h"
#include "paradox/Family.h"
#include "paradox/NameCase.h"
#include "paradox/TableReader.h"
#include "paradox/TableWriter.h"
#include "support/Corpus.h"
#include "support/DescribeFindings.h"
#include "support/TempDir.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/UtilityError.h"
#include "tutil/Verify.h"

#include <array>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

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
    MENDRIX_NEEDS_CORPUS();
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

// The plain content of block 1 changed by `change`, then encrypted again for the same block, as
// damage in a real protected table would look.
void ChangeFirstBlock(const fs::path& db,
                      const std::function<void(std::span<std::uint8_t>)>& change) {
    std::string bytes = testsupport::ReadFileBytes(db);
    paradox::FindingList ignored;
    const auto original = paradox::TableReader::Open(db, ignored);
    ASSERT_TRUE(original);
    const auto key = paradox::CipherKey::FromStoredValue(original->Header().CipherKeyValue());
    std::span<std::uint8_t> block(reinterpret_cast<std::uint8_t*>(bytes.data()) +
                                      original->Header().headerSize,
                                  original->Header().BlockSize());
    paradox::DecryptBlock(key, 1, block);
    change(block);
    paradox::EncryptBlock(key, 1, block);
    testsupport::WriteFileBytes(db, bytes);
}

std::map<std::string, std::string> FamilyBytes(const fs::path& dir, const std::string& stem) {
    std::map<std::string, std::string> files;
    for (const auto& [name, bytes] : tutilfixture::FolderFiles(dir)) {
        if (paradox::UpperAscii(fs::path(name).stem().string()) == paradox::UpperAscii(stem)) {
            files[fs::path(name).extension().string()] = bytes;
        }
    }
    return files;
}

const tutil::RebuildNames kNames{"SAFE.DB", "KEYVIOL.DB", "PROBLEM.DB", ""};

// A protected sample table rebuilt: the new family keeps the stored key and the header bytes
// kept with it, is encrypted (its blocks are not the plain ones), reads back to the same
// values, and the backup is the damaged family byte for byte.
void ExpectRebuiltProtected(const fs::path& dir, const std::string& stem,
                            const std::vector<std::string>& expected, tutil::VerifyStatus before) {
    const fs::path db = dir / (stem + ".db");
    const auto table = tutil::LocateTable(db.string());
    const auto damaged = FamilyBytes(dir, stem);
    const auto verified = tutil::VerifyTable(table);
    EXPECT_EQ(verified.status, before) << stem << Describe(verified.findings);
    const std::string oldHeader = damaged.at(".db");

    const auto outcome = tutil::RebuildTable(table, tutil::ReadTableStructure(table), kNames);
    EXPECT_EQ(outcome.problems, 0u) << Describe(outcome.findings);
    EXPECT_EQ(FamilyBytes(dir, "SAFE"), damaged) << stem << ": backup differs";

    const auto after = tutil::VerifyTable(table);
    EXPECT_EQ(after.status, tutil::VerifyStatus::Healthy) << stem << Describe(after.findings);
    EXPECT_TRUE(after.findings.Has(FindingCode::Encrypted)) << stem;
    EXPECT_EQ(tutilfixture::RecordValues(db), expected) << stem;

    const std::string rebuilt = testsupport::ReadFileBytes(db);
    paradox::FindingList findings;
    const auto reader = paradox::TableReader::Open(db, findings);
    ASSERT_TRUE(reader);
    const std::size_t keyAt = reader->Header().hasExtension ? 0x5C : 0x25;
    EXPECT_EQ(rebuilt.substr(keyAt, 4), std::string("\x9A\xE0\x25\x0A", 4)) << stem;
    EXPECT_EQ(rebuilt.substr(0x3D, 11), oldHeader.substr(0x3D, 11)) << stem;
    const std::size_t blocks = reader->Header().headerSize;
    EXPECT_NE(rebuilt.substr(blocks, 6),
              std::string(reinterpret_cast<const char*>(reader->BlockBytes(1).data()), 6))
        << stem << ": block 1 stored in plain";
    const auto family = paradox::FindFamily(db);
    if (!family.mb.empty()) {
        const std::string mb = testsupport::ReadFileBytes(family.mb);
        ASSERT_GE(mb.size(), 3u);
        EXPECT_FALSE(mb[0] == 0 && mb[1] == 1 && mb[2] == 0) << stem << ": .MB stored in plain";
    }
}

TEST(EncryptedVerify, DamageBehindTheCipherIsFoundAndRebuiltEncryptedWithTheSameKey) {
    MENDRIX_NEEDS_CORPUS();
    for (const std::string stem : {"encrypted", "encrypted35", "encryptedmemo"}) {
        SCOPED_TRACE(stem);
        testsupport::TempDir dir;
        CopySample(stem, dir.path());
        const auto expected = tutilfixture::RecordValues(dir / (stem + ".db"));
        ASSERT_FALSE(expected.empty());
        // The first block links to a block the file does not have; its records are all there.
        ChangeFirstBlock(dir / (stem + ".db"), [](std::span<std::uint8_t> block) { block[0] = 9; });
        ExpectRebuiltProtected(dir.path(), stem, expected, tutil::VerifyStatus::Repairable);
    }
}

TEST(EncryptedVerify, DamagedKeyIsRecoveredAndRewrittenOrTheTableIsNotRebuildable) {
    MENDRIX_NEEDS_CORPUS();
    testsupport::TempDir dir;
    CopySample("encrypted", dir.path());
    const fs::path db = dir / "encrypted.db";
    const auto expected = tutilfixture::RecordValues(db);
    std::string bytes = testsupport::ReadFileBytes(db);
    const std::string original = bytes;
    bytes[0x5C] = static_cast<char>(bytes[0x5C] ^ 0x21); // the low half of the stored key
    testsupport::WriteFileBytes(db, bytes);
    const auto recovered = tutil::VerifyTable(tutil::LocateTable(db.string()));
    ASSERT_TRUE(recovered.findings.Has(FindingCode::EncryptionKeyBad))
        << Describe(recovered.findings);
    // The rebuild writes the key that was found, and the rest of the stored value with it.
    ExpectRebuiltProtected(dir.path(), "encrypted", expected, tutil::VerifyStatus::Repairable);

    // No key gives block 1 a plausible header and there is no other block: nothing can be read.
    testsupport::TempDir lost;
    CopySample("encrypted", lost.path());
    const fs::path lostDb = lost / "encrypted.db";
    std::string garbled = original;
    const std::size_t blockStart =
        static_cast<std::uint8_t>(garbled[2]) | (static_cast<std::uint8_t>(garbled[3]) << 8);
    for (std::size_t i = 0; i < paradox::kCipherPieceSize; ++i) {
        garbled[blockStart + i] = static_cast<char>(0xA5 ^ (i * 29));
    }
    garbled[0x5C] = static_cast<char>(garbled[0x5C] ^ 0x21);
    testsupport::WriteFileBytes(lostDb, garbled);
    const auto table = tutil::LocateTable(lostDb.string());
    const auto outcome = tutil::VerifyTable(table);
    EXPECT_EQ(outcome.status, tutil::VerifyStatus::CannotRebuild) << Describe(outcome.findings);
    ASSERT_TRUE(outcome.findings.Has(FindingCode::EncryptionKeyBad)) << Describe(outcome.findings);
    bool said = false;
    for (const auto& f : outcome.findings.All()) {
        said = said || (f.code == FindingCode::EncryptionKeyBad &&
                        f.detail.Render().find("no other key") != std::string::npos);
    }
    EXPECT_TRUE(said) << Describe(outcome.findings);
    EXPECT_THROW(tutil::ReadTableStructure(table), tutil::UtilityError);
    // Handed the structure all the same (as a descriptor could give it), the rebuild refuses.
    const auto schema =
        tutil::ReadTableStructure(tutil::LocateTable(EncryptedSample("encrypted.db").string()));
    EXPECT_THROW(tutil::RebuildTable(table, schema, kNames), tutil::UtilityError);
    EXPECT_EQ(testsupport::ReadFileBytes(lostDb), garbled);
    EXPECT_FALSE(fs::exists(lost / "SAFE.DB"));
}

// As the original software leaves a protected .MB: after the last byte of each blob in a block
// of its own, the rest of that piece holds zeros where its unused bytes would be enciphered, and
// the later pieces of the block are raw zeros. Returns the number of raw zero pieces made.
int LeaveTailsUnencrypted(const fs::path& mbPath, std::uint32_t keyValue) {
    std::string mb = testsupport::ReadFileBytes(mbPath);
    auto* bytes = reinterpret_cast<std::uint8_t*>(mb.data());
    const auto key = paradox::CipherKey::FromStoredValue(keyValue);
    constexpr std::size_t kChunk = 4096;
    constexpr std::size_t kPiece = paradox::kCipherPieceSize;
    int rawPieces = 0;
    for (std::size_t block = kChunk; block + kChunk <= mb.size();) {
        std::array<std::uint8_t, kPiece> head{};
        std::copy_n(bytes + block, kPiece, head.begin());
        paradox::DecryptBlobBytes(key, head);
        const std::size_t chunks = head[0] == 2 ? (head[1] | (head[2] << 8)) : 1;
        if (head[0] == 2) {
            const std::size_t length =
                head[3] | (head[4] << 8) | (head[5] << 16) | (std::size_t{head[6]} << 24);
            const std::size_t end = block + 9 + length;
            const std::size_t piece = end / kPiece * kPiece;
            if (end % kPiece != 0) {
                // The cipher offsets of the unused plain bytes: where two plain texts that
                // differ only there encrypt differently.
                std::array<std::uint8_t, kPiece> plain{};
                std::copy_n(bytes + piece, kPiece, plain.begin());
                paradox::DecryptBlobBytes(key, plain);
                std::array<std::uint8_t, kPiece> other = plain;
                for (std::size_t i = end % kPiece; i < kPiece; ++i) {
                    other[i] = static_cast<std::uint8_t>(~other[i]);
                }
                paradox::EncryptBlobBytes(key, plain);
                paradox::EncryptBlobBytes(key, other);
                for (std::size_t j = 0; j < kPiece; ++j) {
                    bytes[piece + j] = plain[j] == other[j] ? plain[j] : 0;
                }
            }
            for (std::size_t at = (end + kPiece - 1) / kPiece * kPiece;
                 at < block + chunks * kChunk; at += kPiece) {
                std::fill_n(bytes + at, kPiece, 0);
                ++rawPieces;
            }
        }
        block += std::max<std::size_t>(chunks, 1) * kChunk;
    }
    testsupport::WriteFileBytes(mbPath, mb);
    return rawPieces;
}

TEST(EncryptedVerify, RawZeroTailsOfAProtectedBlobFileAreNoDamageAndRebuildKeepsEveryBlob) {
    testsupport::TempDir dir;
    writertest::GeneratedTable generated =
        writertest::Generate(writertest::Mix::Blobs, 0x0C, 4, 2, 60);
    generated.schema.protection.keyValue = 0x0A25E09A;
    paradox::WriteTable(dir.path(), "MEMOS", generated.schema, generated.records, generated.blobs);
    const fs::path db = dir / "MEMOS.DB";
    const auto expected = tutilfixture::RecordValues(db);
    ASSERT_GT(LeaveTailsUnencrypted(dir / "MEMOS.MB", 0x0A25E09A), 10);
    EXPECT_EQ(tutilfixture::RecordValues(db), expected);

    const auto table = tutil::LocateTable(db.string());
    const auto verified = tutil::VerifyTable(table);
    EXPECT_EQ(verified.status, tutil::VerifyStatus::Healthy) << Describe(verified.findings);
    for (const auto& f : verified.findings.All()) {
        EXPECT_EQ(f.code, FindingCode::Encrypted) << f.Describe();
    }
    const auto outcome = tutil::RebuildTable(table, tutil::ReadTableStructure(table), kNames);
    EXPECT_EQ(outcome.problems, 0u) << Describe(outcome.findings);
    EXPECT_EQ(tutilfixture::RecordValues(db), expected);
    EXPECT_EQ(tutil::VerifyTable(table).status, tutil::VerifyStatus::Healthy);
}

// The index file stores `key` in the field its reader takes the key from, and its blocks are
// stored under that key: as they are for 0 (read as stored, they show no fault), else each one
// enciphered for its own number, deciphering to what the reader reads.
void ExpectIndexStoredUnder(const fs::path& file, std::uint32_t key) {
    SCOPED_TRACE(file.filename().string());
    paradox::FindingList findings;
    const auto reader = paradox::TableReader::Open(file, findings);
    ASSERT_TRUE(reader) << Describe(findings);
    for (const auto& f : findings.All()) {
        EXPECT_EQ(f.code, FindingCode::Encrypted) << f.Describe();
    }
    const std::string bytes = testsupport::ReadFileBytes(file);
    const std::size_t keyAt = reader->Header().hasExtension ? 0x5C : 0x25;
    ASSERT_GE(bytes.size(), keyAt + 4);
    const auto* raw = reinterpret_cast<const std::uint8_t*>(bytes.data());
    EXPECT_EQ(*paradox::ByteView(raw, bytes.size()).U32LE(keyAt), key);
    EXPECT_EQ(reader->Encrypted(), key != 0);
    const auto cipherKey = paradox::CipherKey::FromStoredValue(key);
    const std::uint32_t blockSize = reader->Header().BlockSize();
    ASSERT_GT(reader->Header().fileBlocks, 0u);
    for (std::uint32_t n = 1; n <= reader->Header().fileBlocks; ++n) {
        const std::size_t at = reader->Header().headerSize + std::size_t{n - 1} * blockSize;
        ASSERT_LE(at + blockSize, bytes.size());
        std::vector<std::uint8_t> block(raw + at, raw + at + blockSize);
        const paradox::ByteView read = reader->BlockBytes(n);
        const std::vector<std::uint8_t> plain(read.data(), read.data() + read.size());
        if (key != 0) {
            EXPECT_TRUE(block != plain) << "block " << n << " stored in plain";
            paradox::DecryptBlock(cipherKey, n, block);
        }
        EXPECT_TRUE(block == plain) << "block " << n << " does not read back";
    }
}

// Key values of the index files of the generated table below, by extension; 0 = stored plain.
using IndexKeys = std::map<std::string, std::uint32_t>;

void ExpectIndexKeys(const fs::path& dir, const IndexKeys& keys) {
    for (const auto& [extension, key] : keys) {
        ExpectIndexStoredUnder(dir / ("SECRET." + extension), key);
    }
}

void ExpectHealthyProtected(const tutil::TableLocation& table) {
    const auto verified = tutil::VerifyTable(table);
    EXPECT_EQ(verified.status, tutil::VerifyStatus::Healthy) << Describe(verified.findings);
    for (const auto& f : verified.findings.All()) {
        EXPECT_EQ(f.code, FindingCode::Encrypted) << f.Describe();
    }
}

TEST(EncryptedVerify, RebuiltIndexesKeepTheKeyOfTheFilesTheyReplace) {
    constexpr std::uint32_t kTableKey = 0x0A25E09A;
    // The X file keeps its key at 0x25 at level 3.5, at 0x5C from level 4 on.
    for (const auto& [mix, level] : {std::pair{writertest::Mix::Classic, paradox::level::V3_5},
                                     std::pair{writertest::Mix::Level5, paradox::level::V7}}) {
        SCOPED_TRACE(static_cast<int>(level));
        writertest::GeneratedTable generated = writertest::Generate(mix, level, 2, 1, 700, 5);
        auto& schema = generated.schema;
        schema.protection.keyValue = kTableKey;
        schema.secondaryIndexes.push_back(
            {"X02", schema.fields[1].name, {2}, true, false, 2, 0, false});
        const bool composite = level >= paradox::level::V4;
        if (composite) {
            schema.secondaryIndexes.push_back({"XG0", "Pair", {2, 3}, true, true, 2, 0, false});
        }
        const IndexKeys plain =
            composite ? IndexKeys{{"PX", 0}, {"X02", 0}, {"Y02", 0}, {"XG0", 0}, {"YG0", 0}}
                      : IndexKeys{{"PX", 0}, {"X02", 0}, {"Y02", 0}};
        // Keys of their own where an old family had them, the table's elsewhere.
        const IndexKeys own =
            composite ? IndexKeys{{"PX", 0x6E25449A},
                                  {"X02", kTableKey},
                                  {"Y02", 0x3C81B221},
                                  {"XG0", 0x8F97D16E},
                                  {"YG0", kTableKey}}
                      : IndexKeys{{"PX", 0x6E25449A}, {"X02", 0x8F97D16E}, {"Y02", kTableKey}};
        for (const IndexKeys* keys : {&plain, &own}) {
            SCOPED_TRACE(keys == &plain ? "plain indexes" : "encrypted indexes");
            testsupport::TempDir dir;
            auto written = schema;
            written.protection.primaryIndexKeyValue = keys->at("PX");
            for (auto& spec : written.secondaryIndexes) {
                spec.xKeyValue = keys->at(spec.extension);
                spec.yKeyValue = keys->at("Y" + spec.extension.substr(1));
            }
            paradox::WriteTable(dir.path(), "SECRET", written, generated.records, {});
            ExpectIndexKeys(dir.path(), *keys);
            const fs::path db = dir / "SECRET.DB";
            const auto table = tutil::LocateTable(db.string());
            ExpectHealthyProtected(table);
            const auto expected = tutilfixture::RecordValues(db);
            ASSERT_EQ(expected.size(), generated.records.size());

            const auto outcome =
                tutil::RebuildTable(table, tutil::ReadTableStructure(table), kNames);
            EXPECT_EQ(outcome.problems, 0u) << Describe(outcome.findings);
            ExpectIndexKeys(dir.path(), *keys);
            EXPECT_EQ(tutilfixture::RecordValues(db), expected);
            ExpectHealthyProtected(table);
        }

        // Indexes with no file to replace take the table's key; the others keep theirs.
        testsupport::TempDir dir;
        auto written = schema;
        written.protection.primaryIndexKeyValue = 0;
        for (auto& spec : written.secondaryIndexes) {
            spec.xKeyValue = spec.yKeyValue = 0;
        }
        paradox::WriteTable(dir.path(), "SECRET", written, generated.records, {});
        const fs::path db = dir / "SECRET.DB";
        const auto table = tutil::LocateTable(db.string());
        const auto expected = tutilfixture::RecordValues(db);
        const auto structure = tutil::ReadTableStructure(table); // as a descriptor keeps it
        for (const char* gone : {"SECRET.PX", "SECRET.X02", "SECRET.Y02"}) {
            ASSERT_TRUE(fs::remove(dir / gone));
        }
        const auto outcome = tutil::RebuildTable(table, structure, kNames);
        EXPECT_EQ(outcome.problems, 0u) << Describe(outcome.findings);
        IndexKeys rebuilt{{"PX", kTableKey}, {"X02", kTableKey}, {"Y02", kTableKey}};
        if (composite) {
            rebuilt.insert({{"XG0", 0}, {"YG0", 0}});
        }
        ExpectIndexKeys(dir.path(), rebuilt);
        EXPECT_EQ(tutilfixture::RecordValues(db), expected);
        ExpectHealthyProtected(table);
    }
}

} // namespace
