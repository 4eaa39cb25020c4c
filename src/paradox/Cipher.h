#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace paradox {

// The block cipher of password-protected tables. It works on 256-byte pieces: each piece is a
// fixed byte shuffle plus a fixed XOR pad, chosen by the two low bytes of the key value stored
// in the header and by two tweaks (the piece's place in its block, the block's number). No
// password is needed: the stored value is the key.
inline constexpr std::size_t kCipherPieceSize = 256;

struct CipherKey {
    std::uint8_t k0 = 0; // bits 0..7 of the stored value
    std::uint8_t k1 = 0; // bits 8..15; bits 16..31 do not enter the cipher

    static CipherKey FromStoredValue(std::uint32_t value) {
        return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
    }
};

// One piece in each direction, with the mask tweak s and the position tweak t. `in` and
// `out` must not overlap.
void DecryptPiece(CipherKey key, std::uint8_t s, std::uint8_t t,
                  std::span<const std::uint8_t, kCipherPieceSize> in,
                  std::span<std::uint8_t, kCipherPieceSize> out);
void EncryptPiece(CipherKey key, std::uint8_t s, std::uint8_t t,
                  std::span<const std::uint8_t, kCipherPieceSize> in,
                  std::span<std::uint8_t, kCipherPieceSize> out);
// Only plain bytes first .. first + out.size() - 1 of a piece (cut at the piece's end): each
// plain byte depends on one cipher byte, so a key search can test a candidate on the few bytes
// of a block header it judges.
void DecryptPieceBytes(CipherKey key, std::uint8_t s, std::uint8_t t,
                       std::span<const std::uint8_t, kCipherPieceSize> in, std::size_t first,
                       std::span<std::uint8_t> out);

// Every key under which plain byte `offset` of a piece decrypts to `plain`, by k0: for each k0
// exactly one k1 does, because table B is a permutation. A key search judges these 256 on its
// further bytes instead of trying all 65,536.
std::array<CipherKey, 256> KeysDecryptingByteTo(std::uint8_t s, std::uint8_t t,
                                                std::span<const std::uint8_t, kCipherPieceSize> in,
                                                std::size_t offset, std::uint8_t plain);

// A whole block of a .DB/.PX/.Xnn/.Ynn file (1-based physical block number), decrypted or
// encrypted in place. A trailing part shorter than a piece (a block cut off by the end of the
// file) is decrypted as if padded with zeros: bytes whose cipher text is missing come out as
// garbage, but nothing is read or written outside `block`.
void DecryptBlock(CipherKey key, std::uint32_t blockNumber, std::span<std::uint8_t> block);
void EncryptBlock(CipherKey key, std::uint32_t blockNumber, std::span<std::uint8_t> block);

// Bytes of a .MB file starting at a 256-aligned file offset, decrypted in place (the .MB uses
// one tweak for every piece, so any aligned range can be decrypted alone).
void DecryptBlobBytes(CipherKey key, std::span<std::uint8_t> bytes);
void EncryptBlobBytes(CipherKey key, std::span<std::uint8_t> bytes);

// The 32-bit value a table protected with `password` stores in its header (0 for no password).
// Its low half is the cipher key; the high half only lets a typed password be checked.
std::uint32_t PasswordChecksum(std::string_view password);

// Decrypts many blocks under one key fast: the key's part of every mask is worked out once,
// so each piece costs an XOR pass and one byte shuffle. Gives the same bytes as DecryptBlock.
class BlockDecrypter {
public:
    // `wideShuffles`: use the processor's 64-byte byte shuffles when it has them (false forces
    // the portable path, so both can be compared).
    explicit BlockDecrypter(CipherKey key, bool wideShuffles = true);

    // `length` bytes of block `blockNumber` (1-based) from `in` to `out` (no overlap). A
    // trailing part shorter than a piece is decrypted as if padded with zeros.
    void Decrypt(std::uint32_t blockNumber, const std::uint8_t* in, std::uint8_t* out,
                 std::size_t length) const;
    // One piece with the .MB's tweak.
    void DecryptBlobPiece(const std::uint8_t* in, std::uint8_t* out) const;

private:
    void DecryptPieceFast(std::uint8_t s, std::uint8_t t, const std::uint8_t* in,
                          std::uint8_t* out) const;

    CipherKey key_;
    bool wideShuffles_;
    std::vector<std::uint8_t> keyA_;  // A[i + k0] by plain offset i
    std::vector<std::uint8_t> keyBC_; // B[j + k1] ^ C[j + s] by (s, cipher offset j)
};

namespace testing {
// Plain bytes this thread has had decrypted so far, by every function above: lets a test bound
// what a hostile file costs by a count rather than a time.
std::uint64_t BytesDecryptedOnThisThread();
} // namespace testing

} // namespace paradox
