#include "tutil/StructureKey.h"

#include "paradox/Finding.h"
#include "paradox/Header.h"
#include "paradox/HeaderOffsets.h"
#include "paradox/KeySearch.h"

#include <algorithm>
#include <array>
#include <vector>

namespace tutil {
namespace {
namespace header_at = paradox::header_at;

constexpr std::array<std::uint16_t, 5> kHeaderSizes = {0x800, 0x1000, 0x1800, 0x2000, 0x2800};
// Under a wrong key block 1 looks like a chain start only by rare chance; a few are enough to
// pick the true one from by the chain each walks, and few keep a hostile file's walks short.
constexpr std::size_t kKeysPerHeaderSize = 4;
constexpr std::uint32_t kSmallestBlock = 0x400;

// Where the header keeps its key: 0x25, or 0x5C behind the marker of level 4 and later (the
// marker decides when the level byte is lost).
std::uint32_t StoredKeyValue(paradox::ByteView db, const paradox::SurvivingHeader& own) {
    const std::uint32_t first = db.U32LE(header_at::kEncryption1).value_or(0);
    const bool extension =
        own.fileVersion != 0 ? own.fileVersion >= 5 : first == header_at::kPlainMarker;
    return extension ? db.U32LE(header_at::kEncryption2).value_or(0) : first;
}

struct SearchResult {
    std::uint32_t keyValue = 0;
    paradox::BlockGeometry geometry;
    bool ambiguous = false;
};

std::optional<SearchResult> SearchKey(paradox::ByteView db, const paradox::SurvivingHeader& own,
                                      std::uint32_t highHalf) {
    std::vector<std::uint16_t> sizes;
    if (own.headerSize != 0) {
        sizes.push_back(own.headerSize);
    }
    for (const std::uint16_t size : kHeaderSizes) {
        if (std::find(sizes.begin(), sizes.end(), size) == sizes.end()) {
            sizes.push_back(size);
        }
    }
    std::optional<SearchResult> best;
    for (const std::uint16_t size : sizes) {
        if (db.size() <= size) {
            continue;
        }
        const auto blocksPresent = static_cast<std::uint32_t>(std::min<std::size_t>(
            paradox::kMaxBlockCount, (db.size() - size) / kSmallestBlock + 1));
        for (const std::uint16_t low :
             paradox::LowHalvesOpeningBlockOne(db, size, blocksPresent, kKeysPerHeaderSize)) {
            // A zero value would read as "not protected"; bit 16, which the cipher does not use,
            // keeps it a key.
            const std::uint32_t value = (highHalf | low) != 0 ? highHalf | low : 0x10000u;
            auto g = paradox::FindBlockGeometry(db, size, own.blockSizeCode, value);
            if (!g || g->chain.empty() || g->headerSize != size) {
                continue;
            }
            if (best && best->keyValue == value) {
                continue;
            }
            if (!best || g->chain.size() > best->geometry.chain.size()) {
                best = SearchResult{value, std::move(*g), false};
            } else if (g->chain.size() == best->geometry.chain.size()) {
                best->ambiguous = true;
            }
        }
    }
    return best;
}

} // namespace

StructureKey FindStructureKey(paradox::ByteView db, const paradox::SurvivingHeader& own) {
    StructureKey key;
    const std::uint32_t stored = StoredKeyValue(db, own);
    if (stored != 0) {
        if (auto g = paradox::FindBlockGeometry(db, own.headerSize, own.blockSizeCode, stored)) {
            key.keyValue = stored;
            key.geometry = std::move(g);
            return key;
        }
    }
    key.geometry = paradox::FindBlockGeometry(db, own.headerSize, own.blockSizeCode);
    if (key.geometry) {
        if (stored != 0) {
            key.finding = "stored key " + paradox::HexNumber(stored) +
                          " decrypts no block chain while the blocks read as stored: the table "
                          "is read as not protected";
        }
        return key;
    }
    const std::uint32_t highHalf = stored & 0xFFFF0000u;
    const auto found = SearchKey(db, own, highHalf);
    if (!found || found->ambiguous) {
        // Without a stored key nothing says the blocks are encrypted: they are read as stored
        // and the candidates' proofs say what fails.
        key.lost = stored != 0;
        if (key.lost) {
            key.finding = "stored key " + paradox::HexNumber(stored) +
                          " does not decrypt the blocks and " +
                          (found ? "several keys" : "no other key") +
                          " decrypts block 1 to a chain: the blocks cannot be read";
        }
        return key;
    }
    key.keyValue = found->keyValue;
    key.geometry = found->geometry;
    const std::string low = paradox::HexNumber(found->keyValue & 0xFFFFu);
    if (highHalf != 0) {
        key.finding = "stored key " + paradox::HexNumber(stored) +
                      " does not decrypt the blocks; read with low half " + low +
                      ", found by search over block 1; the stored high half is kept";
    } else {
        key.finding =
            std::string(stored != 0 ? "stored key " + paradox::HexNumber(stored) +
                                          " does not decrypt the blocks"
                                    : "the header keeps no key but the blocks are encrypted") +
            "; read with low half " + low +
            ", found by search over block 1; the high half of the password checksum cannot be "
            "restored without the password, so the rebuilt table is keyed with the low half "
            "only";
    }
    return key;
}

} // namespace tutil
