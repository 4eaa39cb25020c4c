#include "paradox/KeySearch.h"

#include "paradox/Cipher.h"
#include "paradox/Header.h"

#include <array>

namespace paradox {
namespace {

constexpr std::size_t kBlockHeaderSize = 6;

bool PlausibleFirstBlock(const std::array<std::uint8_t, kCipherPieceSize>& plain,
                         const TableHeader& header) {
    const auto next = static_cast<std::uint16_t>(plain[0] | (plain[1] << 8));
    const auto prev = static_cast<std::uint16_t>(plain[2] | (plain[3] << 8));
    const auto last = static_cast<std::int16_t>(plain[4] | (plain[5] << 8));
    const std::int32_t recordSize = header.recordSize;
    const auto room = static_cast<std::int32_t>(header.BlockSize() - kBlockHeaderSize);
    if (prev != 0 || next == 1 || next > header.fileBlocks || recordSize <= 0) {
        return false;
    }
    if (last < 0) {
        return last == -recordSize;
    }
    return last % recordSize == 0 && last + recordSize <= room;
}

bool FitsFirstBlock(std::uint32_t keyValue, const std::array<std::uint8_t, kCipherPieceSize>& piece,
                    const TableHeader& header) {
    std::array<std::uint8_t, kCipherPieceSize> plain{};
    DecryptPiece(CipherKey::FromStoredValue(keyValue), 0, 1, piece, plain);
    return PlausibleFirstBlock(plain, header);
}

} // namespace

KeyCheck CheckStoredKey(const TableHeader& header, ByteView file) {
    KeyCheck check;
    check.keyValue = header.CipherKeyValue();
    const ByteView stored = file.Sub(header.headerSize, kCipherPieceSize);
    if (!header.encrypted || header.fileBlocks == 0 ||
        !IsValidBlockSizeCode(header.blockSizeCode) || stored.size() != kCipherPieceSize) {
        return check;
    }
    std::array<std::uint8_t, kCipherPieceSize> piece{};
    std::copy(stored.data(), stored.data() + kCipherPieceSize, piece.begin());
    if (FitsFirstBlock(check.keyValue, piece, header)) {
        return check;
    }
    std::optional<std::uint32_t> found;
    for (std::uint32_t low = 0; low <= 0xFFFF; ++low) {
        if (!FitsFirstBlock(low, piece, header)) {
            continue;
        }
        if (found) {
            check.fit = KeyFit::NoKey; // more than one fits: none can be trusted
            return check;
        }
        found = low;
    }
    if (!found) {
        check.fit = KeyFit::NoKey;
        return check;
    }
    check.fit = KeyFit::Recovered;
    check.keyValue = (check.keyValue & 0xFFFF0000u) | *found;
    if (check.keyValue == 0) {
        check.keyValue = 0x10000u; // keeps the table marked as protected; the cipher sees 0
    }
    return check;
}

} // namespace paradox
