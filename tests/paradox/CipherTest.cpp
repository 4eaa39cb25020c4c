#include "paradox/Cipher.h"

#include "support/Corpus.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <vector>

namespace {

using paradox::CipherKey;
using paradox::kCipherPieceSize;
using Bytes = std::vector<std::uint8_t>;

// The key value of the three encrypted sample tables.
const CipherKey kSampleKey = CipherKey::FromStoredValue(0x0A25E09A);

Bytes Prefix(const Bytes& bytes, std::size_t count) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
}

TEST(Cipher, EncryptingZerosGivesTheKnownPiecesForEachTweak) {
    EXPECT_EQ(kSampleKey.k0, 0x9A);
    EXPECT_EQ(kSampleKey.k1, 0xE0);

    // Block 1: piece 0 and piece 1; block 2: piece 0; block 258 shares block 2's tweak.
    Bytes block(2 * kCipherPieceSize, 0);
    paradox::EncryptBlock(kSampleKey, 1, block);
    EXPECT_EQ(Prefix(block, 16), (Bytes{0x48, 0x0D, 0x53, 0x72, 0x2B, 0x8D, 0x7C, 0xDA, 0x2B, 0xE2,
                                        0xE7, 0x74, 0x03, 0x2A, 0xF3, 0x74}));
    // With zero plain text the mask byte m(i) lands at the cipher offset j(i).
    const std::array<std::uint8_t, 8> offsets{0xF8, 0x07, 0x02, 0x0E, 0xAC, 0x51, 0x0F, 0xD7};
    const std::array<std::uint8_t, 8> masks{0x15, 0xDA, 0x53, 0xF3, 0xDB, 0x06, 0x74, 0xD1};
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        EXPECT_EQ(block[offsets[i]], masks[i]) << "plain offset " << i;
    }
    EXPECT_EQ(Bytes(block.begin() + kCipherPieceSize, block.begin() + kCipherPieceSize + 8),
              (Bytes{0xB9, 0x06, 0x5F, 0xD0, 0xD4, 0xCF, 0xB4, 0x3B}));

    for (std::uint32_t number : {2u, 258u}) {
        Bytes second(kCipherPieceSize, 0);
        paradox::EncryptBlock(kSampleKey, number, second);
        EXPECT_EQ(Prefix(second, 8), (Bytes{0xAC, 0xD7, 0x23, 0xC5, 0x25, 0x01, 0x18, 0xBD}))
            << "block " << number;
    }

    // Every .MB piece uses one tweak, wherever it lies.
    Bytes blob(3 * kCipherPieceSize, 0);
    paradox::EncryptBlobBytes(kSampleKey, blob);
    const Bytes blobPiece{0x3D, 0x99, 0x55, 0x9A, 0xB0, 0x6F, 0xFB, 0xC8,
                          0x8B, 0x7A, 0x52, 0x73, 0x90, 0x26, 0x27, 0xAF};
    for (std::size_t piece = 0; piece < 3; ++piece) {
        const auto begin = blob.begin() + static_cast<std::ptrdiff_t>(piece * kCipherPieceSize);
        EXPECT_EQ(Bytes(begin, begin + 16), blobPiece) << "piece " << piece;
    }
}

TEST(Cipher, DecryptsTheSampleTablesFirstBlockWithTheLowSixteenBitsOfItsKey) {
    MENDRIX_NEEDS_CORPUS();
    std::ifstream in(testsupport::CorpusDir() / "leonhad-paradoxdriver/encrypt/encrypted.db",
                     std::ios::binary);
    ASSERT_TRUE(in);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(file.size(), 6u);
    const std::size_t headerSize = file[2] | (file[3] << 8);
    const std::size_t blockSize = file[5] * 1024u;
    ASSERT_GE(file.size(), headerSize + blockSize);
    const auto start = file.begin() + static_cast<std::ptrdiff_t>(headerSize);
    Bytes block(start, start + static_cast<std::ptrdiff_t>(blockSize));
    EXPECT_EQ(Prefix(block, 16), (Bytes{0x48, 0x0D, 0x53, 0x72, 0x2B, 0x89, 0x7C, 0xDA, 0x2B, 0xE2,
                                        0xE7, 0x74, 0x00, 0x2A, 0xF3, 0xF4}));
    Bytes masked = block;
    paradox::DecryptBlock(kSampleKey, 1, block);
    paradox::DecryptBlock(CipherKey::FromStoredValue(0xE09A), 1, masked);
    EXPECT_EQ(block, masked);
    // next 0, prev 0, last record offset 102 (4 records of 34), AutoInc 1, "Va..."
    EXPECT_EQ(Prefix(block, 12),
              (Bytes{0x00, 0x00, 0x00, 0x00, 0x66, 0x00, 0x80, 0x00, 0x00, 0x01, 0x56, 0x61}));
}

TEST(Cipher, EncryptThenDecryptRestoresEveryBlockSizeAndShortTail) {
    std::mt19937 random(7);
    for (std::uint32_t key : {0x0A25E09Au, 0x12345678u, 0x0u, 0xFFFFu}) {
        for (std::size_t size : {1024u, 2048u, 4096u, 16384u, 32768u, 1000u, 300u}) {
            for (std::uint32_t number : {1u, 255u, 256u, 257u, 65535u}) {
                Bytes plain(size);
                for (auto& byte : plain) {
                    byte = static_cast<std::uint8_t>(random());
                }
                Bytes data = plain;
                paradox::EncryptBlock(CipherKey::FromStoredValue(key), number, data);
                if (size % kCipherPieceSize == 0) {
                    EXPECT_NE(data, plain);
                    paradox::DecryptBlock(CipherKey::FromStoredValue(key), number, data);
                    EXPECT_EQ(data, plain) << key << " " << size << " " << number;
                } else {
                    // A short tail cannot be restored, but only its own bytes may change.
                    paradox::DecryptBlock(CipherKey::FromStoredValue(key), number, data);
                    const std::size_t whole = size - size % kCipherPieceSize;
                    EXPECT_EQ(Prefix(data, whole), Prefix(plain, whole));
                    EXPECT_EQ(data.size(), size);
                }
            }
        }
        Bytes blob(4096);
        for (auto& byte : blob) {
            byte = static_cast<std::uint8_t>(random());
        }
        Bytes data = blob;
        paradox::EncryptBlobBytes(CipherKey::FromStoredValue(key), data);
        EXPECT_NE(data, blob);
        paradox::DecryptBlobBytes(CipherKey::FromStoredValue(key), data);
        EXPECT_EQ(data, blob);
    }
}

TEST(Cipher, FastDecrypterGivesTheReferenceBytesOnBothPaths) {
    std::mt19937 random(11);
    for (std::uint32_t value : {0x0A25E09Au, 0x00000001u, 0xFFFFFFFFu, 0x8F97D16Eu}) {
        const CipherKey key = CipherKey::FromStoredValue(value);
        for (bool wide : {true, false}) {
            const paradox::BlockDecrypter decrypter(key, wide);
            for (std::size_t size : {2048u, 32768u, 1300u}) {
                for (std::uint32_t number : {1u, 2u, 200u, 256u, 513u}) {
                    Bytes cipher(size);
                    for (auto& byte : cipher) {
                        byte = static_cast<std::uint8_t>(random());
                    }
                    Bytes expected = cipher;
                    paradox::DecryptBlock(key, number, expected);
                    Bytes fast(size);
                    decrypter.Decrypt(number, cipher.data(), fast.data(), size);
                    EXPECT_EQ(fast, expected)
                        << value << " " << wide << " " << size << " " << number;
                }
            }
            Bytes piece(kCipherPieceSize);
            for (auto& byte : piece) {
                byte = static_cast<std::uint8_t>(random());
            }
            Bytes expected = piece;
            paradox::DecryptBlobBytes(key, expected);
            Bytes fast(kCipherPieceSize);
            decrypter.DecryptBlobPiece(piece.data(), fast.data());
            EXPECT_EQ(fast, expected) << value << " " << wide;
        }
        // A piece's bytes alone, as a key search decrypts them.
        std::array<std::uint8_t, kCipherPieceSize> piece{};
        for (auto& byte : piece) {
            byte = static_cast<std::uint8_t>(random());
        }
        for (std::uint8_t t : {0, 1, 7, 255}) {
            std::array<std::uint8_t, kCipherPieceSize> whole{};
            paradox::DecryptPiece(key, 3, t, piece, whole);
            std::array<std::uint8_t, 6> head{};
            paradox::DecryptPieceBytes(key, 3, t, piece, 0, head);
            EXPECT_TRUE(std::equal(head.begin(), head.end(), whole.begin())) << value << " " << +t;
            std::array<std::uint8_t, 8> tail{};
            paradox::DecryptPieceBytes(key, 3, t, piece, 250, tail); // cut at the piece's end
            EXPECT_TRUE(std::equal(tail.begin(), tail.begin() + 6, whole.begin() + 250));
        }
    }
}

TEST(Cipher, PasswordChecksumsMatchTheStoredValuesOfKnownPasswords) {
    EXPECT_EQ(paradox::PasswordChecksum("123"), 0x0A25E09Au); // the three sample tables
    EXPECT_EQ(paradox::PasswordChecksum("secret"), 0x6E25449Au);
    EXPECT_EQ(paradox::PasswordChecksum("Ab3"), 0x8F97D16Eu);
    EXPECT_EQ(paradox::PasswordChecksum("x"), 0x3C81B221u);
    EXPECT_EQ(paradox::PasswordChecksum(""), 0u);
    EXPECT_NE(paradox::PasswordChecksum("ab3"), paradox::PasswordChecksum("Ab3"));
}

} // namespace
