#include "paradox/LayoutEvidence.h"

#include "paradox/BlockHeader.h"
#include "paradox/KeySearch.h"
#include "paradox/StructureInference.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace paradox {
namespace {

// Enough of the chain to tell a layout that holds from one that does not, at a cost that does
// not grow with the table.
constexpr std::size_t kStartBlocks = 8;
constexpr std::size_t kKeysToTry = 4;
constexpr std::uint16_t kHeaderAlignment = 0x800;
constexpr std::uint32_t kSmallestBlock = 0x400;
constexpr std::array<std::uint16_t, 5> kHeaderSizes = {0x800, 0x1000, 0x1800, 0x2000, 0x2800};
constexpr std::array<std::uint8_t, 7> kBlockCodes = {2, 1, 4, 16, 8, 32, 3};

struct Layout {
    std::uint16_t headerSize = 0;
    std::uint8_t blockSizeCode = 0;
    std::uint32_t keyValue = 0;
    BlockGeometry chain;
};

bool HeaderSizePossible(const TableHeader& h, ByteView file) {
    return h.headerSize >= h.parsedEnd && h.headerSize <= file.size();
}

// Every last-record offset is a whole number of records inside the block, or an empty block's
// minus one record.
bool OffsetsFit(const BlockGeometry& g, std::uint32_t recordSize) {
    const auto size = static_cast<std::int32_t>(recordSize);
    const auto room = static_cast<std::int32_t>(g.blockSizeCode * 0x400u - kBlockHeaderSize);
    return size > 0 && std::all_of(g.lastRecordOffsets.begin(), g.lastRecordOffsets.end(),
                                   [&](std::int16_t offset) {
                                       return offset < 0
                                                  ? offset == -size
                                                  : offset % size == 0 && offset + size <= room;
                                   });
}

std::uint64_t RecordsOf(const BlockGeometry& g, std::uint32_t recordSize) {
    std::uint64_t records = 0;
    for (const std::int16_t offset : g.lastRecordOffsets) {
        records += offset < 0 ? 0 : static_cast<std::uint64_t>(offset) / recordSize + 1;
    }
    return records;
}

// The file holds at least the header of every block the header declares.
bool ExtentFits(const TableHeader& h, std::uint16_t headerSize, std::uint8_t code, ByteView file) {
    if (h.fileBlocks == 0) {
        return file.size() >= headerSize;
    }
    const std::uint64_t lastHeaderEnd =
        headerSize + std::uint64_t{h.fileBlocks - 1u} * code * 0x400u + kBlockHeaderSize;
    return file.size() >= lastHeaderEnd;
}

bool HasBlocks(const TableHeader& h) {
    return h.blocksInUse > 0 || h.firstBlock != 0;
}

// The stored layout shows no contradiction in what a bounded look can see.
bool StoredLayoutHolds(const TableHeader& h, ByteView file, std::uint32_t keyValue) {
    if (!HeaderSizePossible(h, file) || !IsValidBlockSizeCode(h.blockSizeCode)) {
        return false;
    }
    if (h.fileVersion == level::V3_0 && h.headerSize != h.parsedEnd) {
        return false;
    }
    if (!ExtentFits(h, h.headerSize, h.blockSizeCode, file)) {
        return false;
    }
    if (!HasBlocks(h)) {
        return true;
    }
    const auto start =
        WalkFromBlockOne(file, h.headerSize, h.blockSizeCode, keyValue, kStartBlocks);
    return start && OffsetsFit(*start, h.recordSize);
}

// The whole chain agrees with the header's own counts.
bool AgreesWithCounts(const TableHeader& h, const BlockGeometry& g, ByteView file) {
    const std::uint32_t tail = g.chain.empty() ? 0 : g.chain.back();
    return g.chain.size() == h.blocksInUse && tail == h.lastBlock &&
           RecordsOf(g, h.recordSize) == h.numRecords && OffsetsFit(g, h.recordSize) &&
           ExtentFits(h, g.headerSize, g.blockSizeCode, file);
}

// Header sizes to try, most likely first: the stored one when it can be right, the one the
// descriptors imply (level 3.0 ends right after the names; later levels round up to 0x800),
// then the usual ones; none before the end of the descriptors or past the file.
std::vector<std::uint16_t> HeaderSizesToTry(const TableHeader& h, ByteView file) {
    std::vector<std::uint16_t> sizes;
    auto add = [&](std::size_t size) {
        if (size >= h.parsedEnd && size + kBlockHeaderSize <= file.size() && size <= 0xFFFF &&
            std::find(sizes.begin(), sizes.end(), size) == sizes.end()) {
            sizes.push_back(static_cast<std::uint16_t>(size));
        }
    };
    if (HeaderSizePossible(h, file)) {
        add(h.headerSize);
    }
    if (h.fileVersion == level::V3_0) {
        add(h.parsedEnd);
    } else {
        add((h.parsedEnd + kHeaderAlignment - 1) / kHeaderAlignment * kHeaderAlignment);
    }
    for (const std::uint16_t size : kHeaderSizes) {
        add(size);
    }
    return sizes;
}

std::vector<std::uint8_t> BlockCodesToTry(const TableHeader& h) {
    std::vector<std::uint8_t> codes;
    if (IsValidBlockSizeCode(h.blockSizeCode)) {
        codes.push_back(h.blockSizeCode);
    }
    for (const std::uint8_t code : kBlockCodes) {
        if (std::find(codes.begin(), codes.end(), code) == codes.end()) {
            codes.push_back(code);
        }
    }
    return codes;
}

// The first layout under `keyValue` whose chain agrees with the header's counts; with
// `longest`, the longest consistent chain is kept for a header whose own layout cannot be used.
std::optional<Layout> AgreeingLayout(const TableHeader& h, ByteView file, std::uint32_t keyValue,
                                     const std::vector<std::uint16_t>& sizes,
                                     std::optional<Layout>* longest) {
    for (const std::uint16_t size : sizes) {
        for (const std::uint8_t code : BlockCodesToTry(h)) {
            auto g = WalkFromBlockOne(file, size, code, keyValue);
            if (!g || !OffsetsFit(*g, h.recordSize)) {
                continue;
            }
            if (AgreesWithCounts(h, *g, file)) {
                return Layout{size, code, keyValue, std::move(*g)};
            }
            if (longest != nullptr &&
                (!*longest || g->chain.size() > (*longest)->chain.chain.size())) {
                *longest = Layout{size, code, keyValue, std::move(*g)};
            }
        }
    }
    return std::nullopt;
}

// Everything but the key fits: the header's layout can be right and the file holds the blocks
// it declares, and its counts agree with each other. Only then is a search over every key
// worth its cost; a file cut short or a header damaged elsewhere is not encrypted for that.
bool OnlyTheKeyInDoubt(const TableHeader& h, ByteView file) {
    return HeaderSizePossible(h, file) && IsValidBlockSizeCode(h.blockSizeCode) &&
           ExtentFits(h, h.headerSize, h.blockSizeCode, file) && h.blocksInUse > 0 &&
           h.blocksInUse <= h.fileBlocks && h.firstBlock == 1 && h.lastBlock >= 1 &&
           h.lastBlock <= h.fileBlocks &&
           h.numRecords <= std::uint64_t{h.blocksInUse} * h.RecordsPerBlock();
}

// A header that keeps no key over encrypted blocks: the low half under which block 1 opens a
// chain that agrees with the header, searched under the most likely header size only (each
// search tries every low half).
std::optional<Layout> FoundKeyLayout(const TableHeader& h, ByteView file,
                                     const std::vector<std::uint16_t>& sizes) {
    if (sizes.empty()) {
        return std::nullopt;
    }
    const std::uint16_t size = sizes.front();
    const auto blocksPresent = static_cast<std::uint32_t>(std::min<std::size_t>(
        kMaxBlockCount, (file.size() - size - kBlockHeaderSize) / kSmallestBlock + 1));
    for (const std::uint16_t low :
         LowHalvesOpeningBlockOne(file, size, blocksPresent, kKeysToTry)) {
        // A zero value would read as "not protected"; bit 16, which the cipher does not use,
        // keeps it a key.
        const std::uint32_t value = low != 0 ? low : 0x10000u;
        if (auto layout = AgreeingLayout(h, file, value, {size}, nullptr)) {
            return layout;
        }
    }
    return std::nullopt;
}

void Adopt(TableHeader& h, const Layout& layout, ByteView file, const std::string& name,
           FindingList& findings) {
    const std::size_t chain = layout.chain.chain.size();
    if (layout.headerSize != h.headerSize) {
        findings.Add(FindingCode::BadHeaderSize, Severity::Damage, name, -1, -1,
                     Detail(DetailKind::HeaderSizeFromChain)
                         .Found(h.headerSize)
                         .Extra(chain)
                         .Expected(layout.headerSize));
        h.headerSize = layout.headerSize;
    }
    if (layout.blockSizeCode != h.blockSizeCode) {
        findings.Add(FindingCode::BadBlockSize, Severity::Damage, name, -1, -1,
                     Detail(DetailKind::BlockSizeFromChain)
                         .Found(h.blockSizeCode)
                         .Extra(chain)
                         .Expected(layout.blockSizeCode * 0x400u));
        h.blockSizeCode = layout.blockSizeCode;
    }
    if (layout.keyValue != 0 && !h.encrypted) {
        findings.Add(FindingCode::EncryptionKeyBad, Severity::Damage, name, 1, -1,
                     Detail(DetailKind::KeyFoundOverBlock1).Found(layout.keyValue & 0xFFFFu));
        h.encrypted = true;
        (h.hasExtension ? h.encryption2 : h.encryption1) = layout.keyValue;
    }
    h.raw.assign(file.data(), file.data() + h.headerSize);
}

} // namespace

void SettleBlockLayout(TableHeader& header, ByteView file, const std::string& fileName,
                       FindingList& findings) {
    if (!header.IsTable() || header.recordSize == 0) {
        return;
    }
    const std::uint32_t storedKey = header.encrypted ? header.CipherKeyValue() : 0;
    if (StoredLayoutHolds(header, file, storedKey)) {
        return;
    }
    const std::vector<std::uint16_t> sizes = HeaderSizesToTry(header, file);
    std::optional<Layout> longest;
    std::optional<Layout> layout = AgreeingLayout(header, file, storedKey, sizes, &longest);
    if (!layout && !header.encrypted && OnlyTheKeyInDoubt(header, file)) {
        layout = FoundKeyLayout(header, file, sizes);
    }
    const bool storedUnusable =
        !HeaderSizePossible(header, file) || !IsValidBlockSizeCode(header.blockSizeCode);
    if (!layout && storedUnusable && longest && HasBlocks(header)) {
        layout = std::move(longest);
    }
    if (layout) {
        Adopt(header, *layout, file, fileName, findings);
    }
}

} // namespace paradox
