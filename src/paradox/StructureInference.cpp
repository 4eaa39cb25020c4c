#include "paradox/StructureInference.h"

#include "paradox/BlockHeader.h"
#include "paradox/Cipher.h"
#include "paradox/Codec.h"
#include "paradox/Header.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace paradox {
namespace {

constexpr std::array<std::uint16_t, 5> kHeaderSizes = {0x800, 0x1000, 0x1800, 0x2000, 0x2800};
constexpr std::array<std::uint8_t, 7> kBlockCodes = {2, 1, 4, 16, 8, 32, 3};

// The 6-byte header of the block at `offset`, decrypted with `keyValue` (0: stored plain). A
// protected block whose first piece the end of the file cuts has no readable header.
std::optional<BlockHeader> BlockHeaderAt(ByteView db, std::size_t offset, std::uint32_t block,
                                         std::uint32_t keyValue) {
    if (keyValue == 0) {
        return ReadBlockHeader(db, offset);
    }
    const ByteView stored = db.Sub(offset, kCipherPieceSize);
    if (stored.size() != kCipherPieceSize) {
        return std::nullopt;
    }
    std::array<std::uint8_t, kBlockHeaderSize> plain{};
    DecryptPieceBytes(
        CipherKey::FromStoredValue(keyValue), 0, static_cast<std::uint8_t>(block),
        std::span<const std::uint8_t, kCipherPieceSize>(stored.data(), kCipherPieceSize), 0, plain);
    return ReadBlockHeader(ByteView(plain.data(), plain.size()));
}

} // namespace

std::optional<BlockGeometry> WalkFromBlockOne(ByteView db, std::uint16_t headerSize,
                                              std::uint8_t code, std::uint32_t keyValue,
                                              std::size_t maxBlocks) {
    const std::uint32_t blockSize = code * 0x400u;
    if (db.size() < std::size_t{headerSize} + kBlockHeaderSize) {
        return std::nullopt;
    }
    BlockGeometry g;
    g.headerSize = headerSize;
    g.blockSizeCode = code;
    g.blocksPresent = static_cast<std::uint32_t>(std::min<std::size_t>(
        kMaxBlockCount, (db.size() - headerSize - kBlockHeaderSize) / blockSize + 1));
    std::vector<bool> seen(g.blocksPresent + 1, false);
    std::uint32_t block = 1;
    std::uint16_t prev = 0;
    const auto limit = static_cast<std::int32_t>(blockSize - kBlockHeaderSize);
    while (block != 0 && g.chain.size() < maxBlocks) {
        if (block > g.blocksPresent || seen[block]) {
            return std::nullopt;
        }
        seen[block] = true;
        const auto header =
            BlockHeaderAt(db, headerSize + std::size_t{block - 1} * blockSize, block, keyValue);
        if (!header || header->prev != prev || header->lastRecordOffset >= limit ||
            header->lastRecordOffset < -limit) {
            return std::nullopt;
        }
        g.chain.push_back(static_cast<std::uint16_t>(block));
        g.lastRecordOffsets.push_back(header->lastRecordOffset);
        prev = static_cast<std::uint16_t>(block);
        block = header->next;
    }
    return g;
}

namespace {

bool ExactFit(const BlockGeometry& g, std::size_t fileSize) {
    return (fileSize - g.headerSize) % (g.blockSizeCode * 0x400u) == 0;
}

bool AllZero(const std::uint8_t* p, std::size_t n) {
    return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; });
}

// Column checks over every record for a field at [p, p + width).
class Columns {
public:
    Columns(const std::vector<const std::uint8_t*>& records, std::uint32_t end)
        : records_(records), end_(end) {}

    // Every value is null or starts with a non-zero byte, as all key-sortable numbers,
    // logicals and BCD values do.
    bool StartsNonZero(std::uint32_t p, std::uint32_t width, bool* anyValue) const {
        *anyValue = false;
        for (const std::uint8_t* r : records_) {
            if (AllZero(r + p, width)) {
                continue;
            }
            if (r[p] == 0) {
                return false;
            }
            *anyValue = true;
        }
        return true;
    }
    bool ColumnZero(std::uint32_t p) const {
        return std::all_of(records_.begin(), records_.end(),
                           [p](const std::uint8_t* r) { return r[p] == 0; });
    }
    // Longest width from p under which every value is text followed by zeros.
    std::uint32_t AlphaWidth(std::uint32_t p) const {
        std::uint32_t width = std::min<std::uint32_t>(255, end_ - p);
        bool any = false;
        for (const std::uint8_t* r : records_) {
            if (r[p] == 0) {
                std::uint32_t w = 0;
                while (w < width && r[p + w] == 0) {
                    ++w;
                }
                width = w;
                continue;
            }
            if (r[p] < 0x20 || r[p] > 0x7E) {
                return 0;
            }
            any = true;
            std::uint32_t w = 1;
            while (w < width && r[p + w] != 0) {
                if (r[p + w] < 0x20 || r[p + w] == 0x7F) {
                    break;
                }
                ++w;
            }
            if (w < width && r[p + w] != 0) {
                width = w; // the text ends at a byte that is not text: the field ends there
                continue;
            }
            while (w < width && r[p + w] == 0) {
                ++w;
            }
            width = w;
        }
        return any ? width : 0;
    }
    bool Logical(std::uint32_t p) const {
        bool any = false;
        for (const std::uint8_t* r : records_) {
            if (r[p] != 0 && r[p] != 0x80 && r[p] != 0x81) {
                return false;
            }
            any = any || r[p] != 0;
        }
        return any;
    }
    bool Number(std::uint32_t p) const {
        bool any = false;
        if (!StartsNonZero(p, 8, &any) || !any) {
            return false;
        }
        for (const std::uint8_t* r : records_) {
            if (AllZero(r + p, 8)) {
                continue;
            }
            std::uint8_t b0 = r[p];
            std::uint8_t b1 = r[p + 1];
            if (b0 & 0x80) {
                b0 &= 0x7F;
            } else {
                b0 = static_cast<std::uint8_t>(~b0 & 0x7F);
                b1 = static_cast<std::uint8_t>(~b1);
            }
            const unsigned exponent = (unsigned{b0} << 4) | (b1 >> 4);
            const bool zero = r[p] == 0x80 && AllZero(r + p + 1, 7);
            if (!zero && (exponent < 0x300 || exponent > 0x4FF)) {
                return false;
            }
        }
        return true;
    }
    bool Date(std::uint32_t p) const {
        static const std::int64_t first = DayNumberFromCivil(1800, 1, 1);
        static const std::int64_t last = DayNumberFromCivil(9999, 12, 31);
        bool any = false;
        if (!StartsNonZero(p, 4, &any) || !any) {
            return false;
        }
        for (const std::uint8_t* r : records_) {
            if (AllZero(r + p, 4)) {
                continue;
            }
            const auto day = DecodeKbeInt(r + p, 4);
            if (!day || *day < first || *day > last) {
                return false;
            }
        }
        return true;
    }
    bool Bcd(std::uint32_t p, std::uint8_t* scale) const {
        bool any = false;
        if (!StartsNonZero(p, 17, &any) || !any) {
            return false;
        }
        int seen = -1;
        for (const std::uint8_t* r : records_) {
            if (AllZero(r + p, 17)) {
                continue;
            }
            const int s = r[p] & 0x3F;
            if ((r[p] & 0x40) == 0 || s > 32 || (seen >= 0 && s != seen)) {
                return false;
            }
            seen = s;
        }
        *scale = static_cast<std::uint8_t>(seen);
        return true;
    }
    bool Integer(std::uint32_t p, std::uint32_t width) const {
        bool any = false;
        return StartsNonZero(p, width, &any);
    }

private:
    const std::vector<const std::uint8_t*>& records_;
    std::uint32_t end_;
};

} // namespace

std::optional<BlockGeometry> FindBlockGeometry(ByteView db, std::uint16_t headerSizeHint,
                                               std::uint8_t blockSizeCodeHint,
                                               std::uint32_t keyValue) {
    std::vector<std::uint16_t> sizes;
    if (headerSizeHint != 0) {
        sizes.push_back(headerSizeHint);
    }
    sizes.insert(sizes.end(), kHeaderSizes.begin(), kHeaderSizes.end());
    std::vector<std::uint8_t> codes;
    if (blockSizeCodeHint != 0) {
        codes.push_back(blockSizeCodeHint);
    }
    codes.insert(codes.end(), kBlockCodes.begin(), kBlockCodes.end());
    std::optional<BlockGeometry> best;
    for (const std::uint16_t size : sizes) {
        for (const std::uint8_t code : codes) {
            auto g = WalkFromBlockOne(db, size, code, keyValue);
            if (!g) {
                continue;
            }
            const bool better = !best || g->chain.size() > best->chain.size() ||
                                (g->chain.size() == best->chain.size() && ExactFit(*g, db.size()) &&
                                 !ExactFit(*best, db.size()));
            if (better) {
                best = std::move(g);
            }
        }
    }
    if (!best && db.size() == sizes.front()) {
        best.emplace(); // header only: a table without blocks
        best->headerSize = sizes.front();
        best->blockSizeCode = codes.front();
    }
    return best;
}

std::vector<std::uint16_t> RecordSizesThatFit(const BlockGeometry& geometry, std::uint16_t hint) {
    const std::int32_t space = geometry.blockSizeCode * 0x400 - 6;
    std::int32_t common = 0;
    std::int32_t emptyMarker = 0;
    for (const std::int16_t offset : geometry.lastRecordOffsets) {
        if (offset > 0) {
            common = std::gcd(common, std::int32_t{offset});
        } else if (offset < 0) {
            emptyMarker = -offset; // an empty block stores minus the record size
        }
    }
    auto fits = [&](std::int32_t size) {
        if (size <= 0 || size > space) {
            return false;
        }
        if (emptyMarker != 0 && emptyMarker != size) {
            return false;
        }
        return std::all_of(geometry.lastRecordOffsets.begin(), geometry.lastRecordOffsets.end(),
                           [&](std::int16_t offset) {
                               return offset < 0 || (offset % size == 0 && offset + size <= space);
                           });
    };
    if (hint != 0 && fits(hint)) {
        return {hint};
    }
    std::vector<std::uint16_t> sizes;
    if (common == 0) {
        if (emptyMarker != 0 && fits(emptyMarker)) {
            sizes.push_back(static_cast<std::uint16_t>(emptyMarker));
        }
        return sizes;
    }
    for (std::int32_t d = std::min(common, space); d > 0; --d) {
        if (common % d == 0 && fits(d)) {
            sizes.push_back(static_cast<std::uint16_t>(d));
        }
    }
    return sizes;
}

std::optional<std::vector<FieldSpec>> InferFields(const std::vector<const std::uint8_t*>& records,
                                                  std::uint32_t begin, std::uint32_t end) {
    if (begin > end) {
        return std::nullopt;
    }
    const Columns columns(records, end);
    const std::uint32_t n = end - begin;
    // chosen[i]: the field that starts at begin + i when the rest of the bytes split well.
    std::vector<std::optional<FieldSpec>> chosen(n + 1);
    std::vector<bool> splits(n + 1, false);
    splits[n] = true;
    for (std::uint32_t i = n; i-- > 0;) {
        const std::uint32_t p = begin + i;
        const std::uint32_t left = end - p;
        auto take = [&](std::uint8_t type, std::uint8_t size, std::uint32_t width) {
            if (width > left || !splits[i + width]) {
                return false;
            }
            chosen[i] = FieldSpec{"", type, size};
            splits[i] = true;
            return true;
        };
        std::uint8_t scale = 0;
        if (left >= 17 && columns.Bcd(p, &scale) &&
            take(static_cast<std::uint8_t>(FieldType::Bcd), scale, 17)) {
            continue;
        }
        bool found = false;
        for (std::uint32_t w = columns.AlphaWidth(p); w > 0 && !found; --w) {
            found =
                take(static_cast<std::uint8_t>(FieldType::Alpha), static_cast<std::uint8_t>(w), w);
        }
        if (found) {
            continue;
        }
        if (left >= 8 && columns.Number(p) &&
            take(static_cast<std::uint8_t>(FieldType::Number), 8, 8)) {
            continue;
        }
        if (left >= 4 && columns.Date(p) &&
            take(static_cast<std::uint8_t>(FieldType::Date), 4, 4)) {
            continue;
        }
        if (left >= 4 && columns.Integer(p, 4) &&
            take(static_cast<std::uint8_t>(FieldType::Long), 4, 4)) {
            continue;
        }
        if (left >= 2 && columns.Integer(p, 2) &&
            take(static_cast<std::uint8_t>(FieldType::Short), 2, 2)) {
            continue;
        }
        if (columns.Logical(p) && take(static_cast<std::uint8_t>(FieldType::Logical), 1, 1)) {
            continue;
        }
        if (columns.ColumnZero(p)) {
            // Nothing but blanks: an Alpha as wide as the blank columns that the rest allows.
            std::uint32_t w = 1;
            while (w < left && w < 255 && columns.ColumnZero(p + w)) {
                ++w;
            }
            for (; w > 0 && !take(static_cast<std::uint8_t>(FieldType::Alpha),
                                  static_cast<std::uint8_t>(w), w);
                 --w) {
            }
        }
    }
    if (!splits[0]) {
        return std::nullopt;
    }
    std::vector<FieldSpec> fields;
    for (std::uint32_t i = 0; i < n; i += chosen[i]->ByteLength()) {
        fields.push_back(*chosen[i]);
    }
    return fields;
}

} // namespace paradox
