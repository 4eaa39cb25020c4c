#include "paradox/KeySearch.h"

#include "paradox/Cipher.h"
#include "paradox/Header.h"

#include <algorithm>
#include <array>

namespace paradox {
namespace {

constexpr std::size_t kBlockHeaderSize = 6;

// How many of the three words of block 1's header are plausible: no back link; a next block
// inside the file and not block 1 itself; a last-record offset that is a whole number of
// records inside the block, or the empty block's minus one record.
// The plain block header: the only bytes a key candidate is judged by.
using PlainHead = std::array<std::uint8_t, kBlockHeaderSize>;

PlainHead DecryptHead(std::uint32_t keyValue, std::uint8_t block,
                      const std::array<std::uint8_t, kCipherPieceSize>& piece) {
    PlainHead plain{};
    DecryptPieceBytes(CipherKey::FromStoredValue(keyValue), 0, block, piece, 0, plain);
    return plain;
}

// The low halves, lowest first, under which block 1 decrypts to no back link, as a chain's
// first block must: byte 2 leaves one key per k0 and byte 3 all but about one of those, so
// only the survivors have the whole header decrypted.
std::vector<std::uint16_t>
LowHalvesWithNoBackLink(const std::array<std::uint8_t, kCipherPieceSize>& piece) {
    std::vector<std::uint16_t> lows;
    for (const CipherKey key : KeysDecryptingByteTo(0, 1, piece, 2, 0)) {
        std::array<std::uint8_t, 1> prevHigh{};
        DecryptPieceBytes(key, 0, 1, piece, 3, prevHigh);
        if (prevHigh[0] == 0) {
            lows.push_back(static_cast<std::uint16_t>(key.k0 | (key.k1 << 8)));
        }
    }
    std::sort(lows.begin(), lows.end());
    return lows;
}

int PlausibleFirstBlockWords(const PlainHead& plain, const TableHeader& header) {
    const auto next = static_cast<std::uint16_t>(plain[0] | (plain[1] << 8));
    const auto prev = static_cast<std::uint16_t>(plain[2] | (plain[3] << 8));
    const auto last = static_cast<std::int16_t>(plain[4] | (plain[5] << 8));
    const std::int32_t recordSize = header.recordSize;
    const auto room = static_cast<std::int32_t>(header.BlockSize() - kBlockHeaderSize);
    if (recordSize <= 0) {
        return 0;
    }
    const bool lastFits =
        last < 0 ? last == -recordSize : last % recordSize == 0 && last + recordSize <= room;
    return (prev == 0 ? 1 : 0) + (next != 1 && next <= header.fileBlocks ? 1 : 0) +
           (lastFits ? 1 : 0);
}

// A block other than the first: links inside the file and not to itself, and a last-record
// offset as for block 1.
bool PlausibleLaterBlock(const PlainHead& plain, std::uint32_t number, const TableHeader& header) {
    const auto next = static_cast<std::uint16_t>(plain[0] | (plain[1] << 8));
    const auto prev = static_cast<std::uint16_t>(plain[2] | (plain[3] << 8));
    const auto last = static_cast<std::int16_t>(plain[4] | (plain[5] << 8));
    const std::int32_t recordSize = header.recordSize;
    const auto room = static_cast<std::int32_t>(header.BlockSize() - kBlockHeaderSize);
    if (next > header.fileBlocks || prev > header.fileBlocks || next == number || prev == number ||
        recordSize <= 0 || (next == 0 && prev == 0)) {
        return false;
    }
    if (last < 0) {
        return last == -recordSize;
    }
    return last % recordSize == 0 && last + recordSize <= room;
}

// Whether the stored key decrypts one of the next few blocks to a plausible header.
bool StoredKeyFitsLaterBlocks(const TableHeader& header, ByteView file) {
    constexpr std::uint32_t kBlocksTried = 8;
    for (std::uint32_t number = 2;
         number <= std::min<std::uint32_t>(header.fileBlocks, kBlocksTried); ++number) {
        const ByteView stored = file.Sub(
            header.headerSize + std::size_t{number - 1} * header.BlockSize(), kCipherPieceSize);
        if (stored.size() != kCipherPieceSize) {
            return false;
        }
        std::array<std::uint8_t, kCipherPieceSize> piece{};
        std::copy(stored.data(), stored.data() + kCipherPieceSize, piece.begin());
        const PlainHead plain =
            DecryptHead(header.CipherKeyValue(), static_cast<std::uint8_t>(number), piece);
        if (PlausibleLaterBlock(plain, number, header)) {
            return true;
        }
    }
    return false;
}

int FirstBlockWordsFitting(std::uint32_t keyValue,
                           const std::array<std::uint8_t, kCipherPieceSize>& piece,
                           const TableHeader& header) {
    return PlausibleFirstBlockWords(DecryptHead(keyValue, 1, piece), header);
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
    const int storedFit = FirstBlockWordsFitting(check.keyValue, piece, header);
    if (storedFit == 3) {
        return check;
    }
    // Under a wrong key each word is plausible only by a rare chance: two of them, or another
    // block that decrypts well, mean the key is right and block 1 is damaged.
    if (storedFit == 2 || StoredKeyFitsLaterBlocks(header, file)) {
        check.fit = KeyFit::BlockOneDamaged;
        return check;
    }
    std::optional<std::uint32_t> found;
    for (const std::uint16_t low : LowHalvesWithNoBackLink(piece)) {
        if (FirstBlockWordsFitting(low, piece, header) != 3) {
            continue;
        }
        if (found) {
            found.reset(); // more than one fits: none can be trusted
            break;
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

std::vector<std::uint16_t> LowHalvesOpeningBlockOne(ByteView file, std::size_t blockOffset,
                                                    std::uint32_t blocksPresent,
                                                    std::size_t limit) {
    std::vector<std::uint16_t> found;
    const ByteView stored = file.Sub(blockOffset, kCipherPieceSize);
    if (stored.size() != kCipherPieceSize) {
        return found;
    }
    std::array<std::uint8_t, kCipherPieceSize> piece{};
    std::copy(stored.data(), stored.data() + kCipherPieceSize, piece.begin());
    for (const std::uint16_t low : LowHalvesWithNoBackLink(piece)) {
        if (found.size() >= limit) {
            break;
        }
        const PlainHead plain = DecryptHead(low, 1, piece);
        const auto next = static_cast<std::uint16_t>(plain[0] | (plain[1] << 8));
        const auto prev = static_cast<std::uint16_t>(plain[2] | (plain[3] << 8));
        if (prev == 0 && next != 1 && next <= blocksPresent) {
            found.push_back(low);
        }
    }
    return found;
}

} // namespace paradox
