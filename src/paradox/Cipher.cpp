#include "paradox/Cipher.h"

#include <algorithm>
#include <array>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace paradox {
namespace {

using Table = std::array<std::uint8_t, 256>;

// The three constant tables of the cipher. B and C are permutations of 0..255; A is not.
constexpr Table kTableA = {
    0xB2, 0xA5, 0x0C, 0xDD, 0x38, 0xFE, 0xCB, 0x5B, 0x0C, 0x23, 0xEC, 0x6A, 0x95, 0x3E, 0xD5, 0x2D,
    0x2C, 0xF7, 0x2D, 0x30, 0xEA, 0x15, 0x98, 0xB4, 0x5F, 0x82, 0xD3, 0xAF, 0xF4, 0x4C, 0x84, 0x16,
    0x74, 0x17, 0x05, 0x11, 0xAC, 0xDB, 0x43, 0x91, 0x9C, 0x77, 0xA0, 0x38, 0xBE, 0xD6, 0x8F, 0x25,
    0xB1, 0xEE, 0x6D, 0x80, 0x37, 0x14, 0xA9, 0x7A, 0x57, 0x38, 0x6C, 0x2F, 0xA6, 0x4F, 0x7C, 0x38,
    0x71, 0xD4, 0x0B, 0x51, 0xF6, 0xB9, 0x45, 0x21, 0x1D, 0x6C, 0x4D, 0x87, 0x6E, 0xA7, 0xE7, 0x21,
    0x0D, 0x85, 0xF4, 0xCE, 0x3A, 0x81, 0x6A, 0x3E, 0xD7, 0x32, 0xA4, 0x23, 0xAC, 0xE9, 0x01, 0x91,
    0xB0, 0xED, 0xC7, 0x46, 0x12, 0xAC, 0x15, 0x3D, 0xFF, 0x1B, 0x7B, 0x3B, 0xBA, 0xEE, 0x2C, 0x2C,
    0x68, 0xA6, 0x62, 0x60, 0xED, 0x5B, 0x84, 0x33, 0x61, 0x62, 0x39, 0x79, 0xD4, 0xD2, 0xEB, 0x60,
    0xB8, 0x25, 0x1D, 0xDB, 0xFF, 0x3A, 0x21, 0x9A, 0xB0, 0xC3, 0xF7, 0x63, 0x52, 0xF5, 0x22, 0x94,
    0xF9, 0xB4, 0xB7, 0xBE, 0x9F, 0x54, 0x3B, 0xCE, 0xE1, 0x3C, 0x73, 0xCB, 0xEA, 0x2D, 0x45, 0x00,
    0x9D, 0xC2, 0x78, 0xE7, 0x96, 0x0F, 0x14, 0x3A, 0xA4, 0xDC, 0x01, 0x64, 0x8D, 0xD6, 0x59, 0x4E,
    0x39, 0x0F, 0x15, 0x7D, 0xF0, 0x8C, 0x8A, 0xC5, 0x78, 0x03, 0x4A, 0xE8, 0xFB, 0xEF, 0x18, 0xB4,
    0x52, 0x31, 0x79, 0xD0, 0x8E, 0xAA, 0xC3, 0xC6, 0xCE, 0xED, 0xE9, 0x42, 0x5A, 0xD6, 0x2D, 0x06,
    0xC7, 0x9A, 0xB1, 0x38, 0x62, 0xD9, 0x7E, 0x61, 0x74, 0xD2, 0x46, 0xDE, 0xCB, 0x2B, 0x0C, 0x59,
    0x0B, 0x64, 0x9D, 0x1C, 0x4F, 0xB2, 0x06, 0x91, 0x9B, 0x63, 0xB5, 0xB2, 0xA9, 0xFD, 0xAD, 0x5A,
    0x38, 0xF9, 0x13, 0x6E, 0x9D, 0x2D, 0x4B, 0x02, 0xF9, 0x13, 0x6F, 0x50, 0xCB, 0x21, 0x09, 0xFA,
};
constexpr Table kTableB = {
    0x61, 0xA7, 0x79, 0x02, 0x37, 0x34, 0x6F, 0x81, 0x01, 0xC2, 0xB2, 0xB3, 0xD6, 0x4D, 0x3E, 0x03,
    0x06, 0x60, 0x98, 0x44, 0x46, 0x68, 0x1C, 0xEB, 0x10, 0x4A, 0x5B, 0xAE, 0x22, 0x48, 0x24, 0x42,
    0x9F, 0x55, 0x90, 0xC1, 0x7D, 0x2F, 0x6C, 0x41, 0x4E, 0x82, 0x56, 0xD8, 0x1E, 0x32, 0x28, 0xC6,
    0xED, 0xBC, 0x3C, 0x3A, 0xE9, 0x87, 0x3B, 0x8F, 0x86, 0x08, 0xA3, 0xFB, 0xA4, 0x62, 0x99, 0xFF,
    0x59, 0xB9, 0xDE, 0x2D, 0x58, 0x93, 0x1B, 0xB1, 0x76, 0x2B, 0xAA, 0xD9, 0x2A, 0xAC, 0xCA, 0xF9,
    0xE0, 0xB7, 0x05, 0x11, 0x77, 0xA9, 0x8E, 0xEF, 0xB5, 0xBB, 0x26, 0xEA, 0x8D, 0x18, 0x9B, 0xFE,
    0xC7, 0xF8, 0x5A, 0x83, 0xFD, 0x2E, 0x6B, 0x84, 0x33, 0xFA, 0x69, 0xD4, 0x74, 0xBF, 0xCB, 0xC4,
    0x19, 0x96, 0x3F, 0xE5, 0x25, 0xF2, 0xA5, 0xD5, 0x95, 0xF3, 0xA0, 0x39, 0xDC, 0xE4, 0xA1, 0x7F,
    0x7B, 0x49, 0x7A, 0xF1, 0xEE, 0xF7, 0x75, 0x09, 0x91, 0x67, 0x97, 0x38, 0xD3, 0x89, 0x47, 0x31,
    0x1F, 0x2C, 0x0E, 0xCE, 0x20, 0xCC, 0x9C, 0x23, 0x17, 0x92, 0x0F, 0xF4, 0x13, 0x64, 0x71, 0xC8,
    0xCD, 0x3D, 0xB4, 0xCF, 0xE1, 0x50, 0x52, 0xAF, 0x6D, 0x27, 0xB6, 0x94, 0x30, 0x04, 0x8C, 0x53,
    0x4B, 0xD2, 0x4F, 0x21, 0x29, 0x6A, 0x1A, 0xEC, 0x5C, 0x7E, 0x51, 0x9A, 0x0D, 0x85, 0xE6, 0x1D,
    0xC5, 0x88, 0xA8, 0xDD, 0x9E, 0xF6, 0x5F, 0xDA, 0xBD, 0x6E, 0x9D, 0x54, 0xDB, 0x5E, 0xC0, 0x80,
    0x5D, 0xB8, 0x40, 0x63, 0x15, 0x12, 0xA2, 0x0C, 0x07, 0xAD, 0x70, 0x14, 0x72, 0x16, 0xD0, 0xA6,
    0x65, 0x35, 0xBA, 0xE7, 0xAB, 0xFC, 0xC3, 0xC9, 0xBE, 0x0B, 0xB0, 0xF5, 0x45, 0xE2, 0x4C, 0x73,
    0x0A, 0x36, 0x78, 0x43, 0x8B, 0x8A, 0xF0, 0x66, 0xD1, 0x00, 0xDF, 0x7C, 0xE3, 0xE8, 0x57, 0xD7,
};
constexpr Table kTableC = {
    0xF9, 0x08, 0x03, 0x0F, 0xAD, 0x52, 0x10, 0xD8, 0x39, 0x87, 0xF0, 0xE9, 0xD7, 0xBC, 0x92, 0x9A,
    0x18, 0x53, 0xD5, 0x9C, 0xDB, 0xD4, 0xDD, 0x98, 0x5D, 0x70, 0xB6, 0x46, 0x16, 0xBF, 0x2C, 0x90,
    0x94, 0xB3, 0x1C, 0x97, 0x1E, 0x74, 0x5A, 0xA9, 0x2E, 0xB4, 0x4C, 0x49, 0x91, 0x43, 0x65, 0x25,
    0xAC, 0x8F, 0x2D, 0x68, 0x05, 0xE1, 0xF1, 0x04, 0x8B, 0x7B, 0x33, 0x36, 0x32, 0xA1, 0x0E, 0x72,
    0xD2, 0x27, 0x1F, 0xF3, 0x13, 0xEC, 0x14, 0x8E, 0x1D, 0x81, 0x19, 0xB0, 0xEE, 0x0D, 0x28, 0xB2,
    0xA5, 0xBA, 0xA6, 0xAF, 0xCB, 0x21, 0x2A, 0xFE, 0x44, 0x40, 0x62, 0x1A, 0xB8, 0xD0, 0xCD, 0xC6,
    0x11, 0x00, 0x3D, 0xD3, 0x9D, 0xE0, 0xF7, 0x89, 0x15, 0x6A, 0xB5, 0x66, 0x26, 0xA8, 0xC9, 0x06,
    0xDA, 0x9E, 0xDC, 0xEF, 0x6C, 0x86, 0x48, 0x54, 0xF2, 0x02, 0x82, 0x80, 0xFB, 0x24, 0xB9, 0x7F,
    0xCF, 0x07, 0x29, 0x63, 0x67, 0xBD, 0x38, 0x35, 0xC1, 0x8D, 0xF5, 0xF4, 0xAE, 0x5C, 0x56, 0x37,
    0x22, 0x88, 0x99, 0x45, 0xAB, 0x78, 0x71, 0x8A, 0x12, 0x3E, 0xBB, 0x5E, 0x96, 0xCA, 0xC4, 0x20,
    0x7A, 0x7E, 0xD6, 0x3A, 0x3C, 0x76, 0xDF, 0x01, 0xC2, 0x55, 0x4A, 0xE4, 0x4D, 0xD9, 0x1B, 0xA7,
    0xEA, 0x47, 0x0A, 0x0B, 0xA2, 0x58, 0xAA, 0x51, 0xD1, 0x41, 0xE2, 0x59, 0x31, 0xC8, 0xE8, 0x6D,
    0xCE, 0x23, 0x09, 0xE6, 0x6F, 0xC0, 0x2F, 0x60, 0x9F, 0xE7, 0x4E, 0x6E, 0x95, 0xA0, 0x93, 0xA3,
    0xDE, 0xF8, 0xB1, 0x8C, 0x6B, 0x77, 0x0C, 0xFF, 0x2B, 0x4B, 0xC7, 0xCC, 0x7C, 0xC3, 0x42, 0xFA,
    0x50, 0xA4, 0xED, 0xFC, 0x7D, 0x73, 0xBE, 0xE3, 0xFD, 0x34, 0x5B, 0x17, 0xB7, 0x30, 0x84, 0x57,
    0xF6, 0x83, 0x75, 0x79, 0x9B, 0xEB, 0xC5, 0x85, 0x61, 0x4F, 0x69, 0x3B, 0xE5, 0x64, 0x5F, 0x3F,
};

thread_local std::uint64_t bytesDecrypted = 0;

constexpr std::uint8_t Byte(unsigned value) {
    return static_cast<std::uint8_t>(value);
}

// Position of each value in table B.
constexpr Table InverseOf(const Table& table) {
    Table inverse{};
    for (unsigned i = 0; i < 256; ++i) {
        inverse[table[i]] = Byte(i);
    }
    return inverse;
}
constexpr Table kInverseB = InverseOf(kTableB);

// Plain byte i sits at cipher offset C[i] - t and is masked with
// A[i + k0] ^ B[j + k1] ^ C[j + s] (all byte arithmetic).
template <bool Decrypt>
void TransformPiece(CipherKey key, std::uint8_t s, std::uint8_t t, const std::uint8_t* in,
                    std::uint8_t* out) {
    for (unsigned i = 0; i < kCipherPieceSize; ++i) {
        const std::uint8_t j = Byte(kTableC[i] - t);
        const std::uint8_t mask =
            kTableA[Byte(i + key.k0)] ^ kTableB[Byte(j + key.k1)] ^ kTableC[Byte(j + s)];
        if constexpr (Decrypt) {
            out[i] = in[j] ^ mask;
        } else {
            out[j] = in[i] ^ mask;
        }
    }
    if constexpr (Decrypt) {
        bytesDecrypted += kCipherPieceSize;
    }
}

// Transforms `bytes` in place piece by piece; tweaks(p) gives (s, t) for piece p. A short
// last piece is padded with zeros and cut back.
template <bool Decrypt, class Tweaks>
void TransformInPlace(CipherKey key, std::span<std::uint8_t> bytes, Tweaks tweaks) {
    std::array<std::uint8_t, kCipherPieceSize> in{};
    std::array<std::uint8_t, kCipherPieceSize> out{};
    std::size_t piece = 0;
    for (std::size_t offset = 0; offset < bytes.size(); offset += kCipherPieceSize, ++piece) {
        const std::size_t length = std::min(kCipherPieceSize, bytes.size() - offset);
        std::uint8_t* const at = bytes.data() + offset;
        in.fill(0);
        std::copy_n(at, length, in.begin());
        const auto [s, t] = tweaks(piece);
        TransformPiece<Decrypt>(key, s, t, in.data(), out.data());
        std::copy_n(out.begin(), length, at);
    }
}

struct Tweak {
    std::uint8_t s;
    std::uint8_t t;
};

Tweak BlockTweak(std::size_t piece, std::uint32_t blockNumber) {
    return {Byte(static_cast<unsigned>(piece)), Byte(blockNumber)};
}

Tweak BlobTweak(CipherKey key) {
    return {Byte(key.k0 + 1u), Byte(key.k1 + 1u)};
}

using CipherOffsetTable = std::array<std::array<std::uint8_t, 256>, 256>;

// Cipher offset of plain offset i for position tweak t, C[i] - t, by (t, i); made once, at
// first use (64 KB is past what some compilers evaluate at compile time).
const CipherOffsetTable& CipherOffsets() {
    static const CipherOffsetTable offsets = [] {
        CipherOffsetTable table{};
        for (unsigned t = 0; t < 256; ++t) {
            for (unsigned i = 0; i < 256; ++i) {
                table[t][i] = Byte(kTableC[i] - t);
            }
        }
        return table;
    }();
    return offsets;
}

} // namespace

BlockDecrypter::BlockDecrypter(CipherKey key, bool wideShuffles)
    : key_(key), wideShuffles_(wideShuffles), keyA_(kCipherPieceSize),
      keyBC_(256 * kCipherPieceSize) {
    for (unsigned i = 0; i < 256; ++i) {
        keyA_[i] = kTableA[Byte(i + key.k0)];
    }
    for (unsigned s = 0; s < 256; ++s) {
        for (unsigned j = 0; j < 256; ++j) {
            keyBC_[s * 256 + j] = kTableB[Byte(j + key.k1)] ^ kTableC[Byte(j + s)];
        }
    }
}

namespace {

// plain[i] = cipher[j] ^ A[i + k0] ^ B[j + k1] ^ C[j + s] with j = C[i] - t: the terms on j
// are taken off in cipher order first (a straight XOR pass), then one shuffle.
void UnmaskAndShuffle(const std::uint8_t* in, const std::uint8_t* bc, const std::uint8_t* offsets,
                      const std::uint8_t* a, std::uint8_t* out) {
    std::array<std::uint8_t, kCipherPieceSize> unmasked;
    for (std::size_t j = 0; j < kCipherPieceSize; ++j) {
        unmasked[j] = in[j] ^ bc[j];
    }
    for (std::size_t i = 0; i < kCipherPieceSize; ++i) {
        out[i] = unmasked[offsets[i]] ^ a[i];
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same with 64-byte byte shuffles: the 256-byte piece sits in four registers and each
// 64 output bytes are two two-register lookups and a blend on bit 7 of the offset.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void
UnmaskAndShuffleVbmi(const std::uint8_t* in, const std::uint8_t* bc, const std::uint8_t* offsets,
                     const std::uint8_t* a, std::uint8_t* out) {
    __m512i piece[4];
    for (int k = 0; k < 4; ++k) {
        piece[k] =
            _mm512_xor_si512(_mm512_loadu_si512(in + 64 * k), _mm512_loadu_si512(bc + 64 * k));
    }
    for (int k = 0; k < 4; ++k) {
        const __m512i index = _mm512_loadu_si512(offsets + 64 * k);
        const __m512i low = _mm512_permutex2var_epi8(piece[0], index, piece[1]);
        const __m512i high = _mm512_permutex2var_epi8(piece[2], index, piece[3]);
        const __m512i picked = _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
        _mm512_storeu_si512(out + 64 * k, _mm512_xor_si512(picked, _mm512_loadu_si512(a + 64 * k)));
    }
}

bool HasByteShuffles() {
    static const bool has =
        __builtin_cpu_supports("avx512vbmi") != 0 && __builtin_cpu_supports("avx512bw") != 0;
    return has;
}
#endif

} // namespace

void BlockDecrypter::DecryptPieceFast(std::uint8_t s, std::uint8_t t, const std::uint8_t* in,
                                      std::uint8_t* out) const {
    bytesDecrypted += kCipherPieceSize;
    const std::uint8_t* bc = keyBC_.data() + std::size_t{s} * 256;
    const std::uint8_t* offsets = CipherOffsets()[t].data();
#if defined(__x86_64__) && defined(__GNUC__)
    if (wideShuffles_ && HasByteShuffles()) {
        UnmaskAndShuffleVbmi(in, bc, offsets, keyA_.data(), out);
        return;
    }
#endif
    UnmaskAndShuffle(in, bc, offsets, keyA_.data(), out);
}

void BlockDecrypter::Decrypt(std::uint32_t blockNumber, const std::uint8_t* in, std::uint8_t* out,
                             std::size_t length) const {
    const std::uint8_t t = Byte(blockNumber);
    std::size_t offset = 0;
    unsigned piece = 0;
    for (; offset + kCipherPieceSize <= length; offset += kCipherPieceSize, ++piece) {
        DecryptPieceFast(Byte(piece), t, in + offset, out + offset);
    }
    if (offset < length) {
        std::array<std::uint8_t, kCipherPieceSize> padded{};
        std::array<std::uint8_t, kCipherPieceSize> plain{};
        std::copy(in + offset, in + length, padded.begin());
        DecryptPieceFast(Byte(piece), t, padded.data(), plain.data());
        std::copy_n(plain.begin(), length - offset, out + offset);
    }
}

void BlockDecrypter::DecryptBlobPiece(const std::uint8_t* in, std::uint8_t* out) const {
    const Tweak tweak = BlobTweak(key_);
    DecryptPieceFast(tweak.s, tweak.t, in, out);
}

void DecryptPiece(CipherKey key, std::uint8_t s, std::uint8_t t,
                  std::span<const std::uint8_t, kCipherPieceSize> in,
                  std::span<std::uint8_t, kCipherPieceSize> out) {
    TransformPiece<true>(key, s, t, in.data(), out.data());
}

void DecryptPieceBytes(CipherKey key, std::uint8_t s, std::uint8_t t,
                       std::span<const std::uint8_t, kCipherPieceSize> in, std::size_t first,
                       std::span<std::uint8_t> out) {
    // Plain pointers: a key search calls this for every candidate key.
    const std::uint8_t* const a = kTableA.data();
    const std::uint8_t* const b = kTableB.data();
    const std::uint8_t* const c = kTableC.data();
    const std::uint8_t* const cipher = in.data();
    const std::size_t end = std::min(kCipherPieceSize, first + out.size());
    bytesDecrypted += end > first ? end - first : 0;
    for (std::size_t i = first; i < end; ++i) {
        const std::uint8_t j = Byte(c[i] - t);
        out[i - first] = cipher[j] ^ a[Byte(static_cast<unsigned>(i) + key.k0)] ^
                         b[Byte(j + key.k1)] ^ c[Byte(j + s)];
    }
}

std::array<CipherKey, 256> KeysDecryptingByteTo(std::uint8_t s, std::uint8_t t,
                                                std::span<const std::uint8_t, kCipherPieceSize> in,
                                                std::size_t offset, std::uint8_t plain) {
    // plain = cipher[j] ^ A[i + k0] ^ B[j + k1] ^ C[j + s] with j = C[i] - t, solved for k1.
    const auto i = static_cast<std::uint8_t>(offset);
    const std::uint8_t j = Byte(kTableC[i] - t);
    const auto fixed = static_cast<std::uint8_t>(plain ^ in[j] ^ kTableC[Byte(j + s)]);
    std::array<CipherKey, 256> keys{};
    for (unsigned k0 = 0; k0 < 256; ++k0) {
        const std::uint8_t b = kInverseB[fixed ^ kTableA[Byte(i + k0)]];
        keys[k0] = {Byte(k0), Byte(b - j)};
    }
    bytesDecrypted += keys.size(); // one byte judged per key, as decrypting it would
    return keys;
}

void EncryptPiece(CipherKey key, std::uint8_t s, std::uint8_t t,
                  std::span<const std::uint8_t, kCipherPieceSize> in,
                  std::span<std::uint8_t, kCipherPieceSize> out) {
    TransformPiece<false>(key, s, t, in.data(), out.data());
}

void DecryptBlock(CipherKey key, std::uint32_t blockNumber, std::span<std::uint8_t> block) {
    TransformInPlace<true>(key, block,
                           [&](std::size_t piece) { return BlockTweak(piece, blockNumber); });
}

void EncryptBlock(CipherKey key, std::uint32_t blockNumber, std::span<std::uint8_t> block) {
    TransformInPlace<false>(key, block,
                            [&](std::size_t piece) { return BlockTweak(piece, blockNumber); });
}

void DecryptBlobBytes(CipherKey key, std::span<std::uint8_t> bytes) {
    TransformInPlace<true>(key, bytes, [&](std::size_t) { return BlobTweak(key); });
}

void EncryptBlobBytes(CipherKey key, std::span<std::uint8_t> bytes) {
    TransformInPlace<false>(key, bytes, [&](std::size_t) { return BlobTweak(key); });
}

std::uint64_t testing::BytesDecryptedOnThisThread() {
    return bytesDecrypted;
}

std::uint32_t PasswordChecksum(std::string_view password) {
    if (password.empty()) {
        return 0;
    }
    const std::size_t n = std::min(password.size(), kCipherPieceSize);
    const auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(password[i]); };

    // Low half: the password repeated over a piece, encrypted under its own first bytes.
    std::array<std::uint8_t, kCipherPieceSize> repeated{};
    for (std::size_t i = 0; i < kCipherPieceSize; ++i) {
        repeated[i] = at(i % n);
    }
    std::array<std::uint8_t, kCipherPieceSize> encrypted{};
    EncryptPiece({repeated[0], repeated[1]}, repeated[2], repeated[3], repeated, encrypted);
    const auto low = static_cast<std::uint32_t>(encrypted[0] | (encrypted[1] << 8));

    // High half: the password extended through table A, encrypted, folded by parity.
    std::array<std::uint8_t, kCipherPieceSize> extended{};
    for (std::size_t i = 0; i < kCipherPieceSize; ++i) {
        extended[i] = i < n ? at(i) : Byte(kTableA[extended[i - n]] ^ i);
    }
    EncryptPiece({extended[0], extended[20]}, extended[40], extended[255], extended, encrypted);
    std::uint8_t even = 0;
    std::uint8_t odd = 0;
    for (std::size_t i = 0; i < kCipherPieceSize; i += 2) {
        even ^= encrypted[i];
        odd ^= encrypted[i + 1];
    }
    std::uint32_t high = even | (odd << 8);
    if (high == 0) {
        high = 1;
    }
    return (high << 16) | low;
}

} // namespace paradox
