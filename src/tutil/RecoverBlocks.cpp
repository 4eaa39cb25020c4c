#include "tutil/RecoverBlocks.h"

#include "paradox/Codec.h"
#include "paradox/IndexTree.h"

#include <map>
#include <string>

namespace tutil {

using paradox::FindingCode;
using paradox::Severity;

namespace {

struct Head {
    std::uint16_t next = 0;
    std::uint16_t prev = 0;
    std::int32_t lastRecordOffset = -1;
};

Head ReadHead(const paradox::ByteView& block) {
    Head head;
    head.next = block.U16LE(0).value_or(0);
    head.prev = block.U16LE(2).value_or(0);
    head.lastRecordOffset = block.S16LE(4).value_or(-1);
    return head;
}

bool Wiped(const paradox::ByteView& block) {
    return paradox::IsAllZero(block.data(), block.size());
}

// Records a stray block plausibly holds: 0 when its header does not describe records.
std::uint16_t PlausibleCount(const paradox::ByteView& block, std::uint32_t recordSize,
                             std::uint32_t blockSize) {
    if (block.size() < 6 || recordSize == 0 || Wiped(block)) {
        return 0;
    }
    const Head head = ReadHead(block);
    if (head.lastRecordOffset < 0 ||
        static_cast<std::uint32_t>(head.lastRecordOffset) % recordSize != 0) {
        return 0;
    }
    const std::uint32_t count = static_cast<std::uint32_t>(head.lastRecordOffset) / recordSize + 1;
    const std::uint32_t capacity = (blockSize - 6) / recordSize;
    const std::uint32_t present = static_cast<std::uint32_t>((block.size() - 6) / recordSize);
    if (count > capacity) {
        return 0;
    }
    return static_cast<std::uint16_t>(std::min(count, present));
}

// Records per data block as a one-level primary index states them; empty when the index is
// deeper (its entries then point at index blocks too) or does not fit the table.
std::map<std::uint16_t, std::uint16_t> IndexedCounts(const paradox::TableReader& table,
                                                     const paradox::TableReader* px) {
    std::map<std::uint16_t, std::uint16_t> counts;
    if (px == nullptr || px->Header().indexLevels != 1) {
        return counts;
    }
    const std::size_t entrySize = px->Header().recordSize;
    const std::size_t keyLength = table.Schema().KeyLength();
    if (entrySize != keyLength + 6) {
        return counts;
    }
    px->ForEachRecord([&](const paradox::RecordRef& r) {
        counts[paradox::IndexWord(r.bytes + keyLength)] =
            paradox::IndexWord(r.bytes + keyLength + 2);
    });
    return counts;
}

// Whether a chain block's last-record offset describes records of this table: an empty
// block stores minus the record size, any other value is a multiple of it inside the block.
// Decided from the block's own bytes, as the reader counted them.
bool OffsetTrusted(const paradox::ByteView& block, std::uint32_t recordSize,
                   std::uint32_t blockSize) {
    const std::int32_t offset = ReadHead(block).lastRecordOffset;
    const auto size = static_cast<std::int32_t>(recordSize);
    if (size <= 0 || blockSize < 6 + recordSize) {
        return false;
    }
    if (offset < 0) {
        return offset == -size;
    }
    return offset % size == 0 &&
           static_cast<std::uint32_t>(offset) / recordSize + 1 <= (blockSize - 6) / recordSize;
}

// Records of a block with a bogus last-record offset: those before its first all-zero slot,
// never more than a one-level primary index counts for the block.
std::uint16_t TrustedCount(const paradox::TableReader& reader, std::uint16_t block,
                           std::uint16_t read,
                           const std::map<std::uint16_t, std::uint16_t>& indexed) {
    if (const auto it = indexed.find(block); it != indexed.end()) {
        read = std::min(read, it->second);
    }
    const std::size_t size = reader.Header().recordSize;
    const paradox::ByteView bytes = reader.BlockBytes(block);
    std::uint16_t count = 0;
    while (count < read && 6 + (count + 1) * size <= bytes.size() &&
           !paradox::IsAllZero(bytes.data() + 6 + count * size, size)) {
        ++count;
    }
    return count;
}

} // namespace

std::vector<BlockRecords> BlocksToRecover(const paradox::TableReader& reader,
                                          const paradox::TableReader* px,
                                          paradox::FindingList& findings) {
    const auto indexed = IndexedCounts(reader, px);
    std::vector<BlockRecords> blocks;
    const auto& header = reader.Header();
    const std::uint32_t present = reader.BlocksPresent();
    std::vector<std::uint8_t> taken(present + 1, 0); // 1 chain, 2 free, 3 recovered
    std::uint64_t chainRecords = 0;
    const auto& chain = reader.ChainBlocks();
    const auto& counts = reader.ChainCounts();
    for (std::size_t i = 0; i < chain.size(); ++i) {
        if (chain[i] <= present) {
            taken[chain[i]] = 1;
        }
        if (Wiped(reader.BlockBytes(chain[i]))) {
            findings.Add(FindingCode::BlockLost, Severity::Damage, reader.FileName(), chain[i], -1,
                         "block holds only zeros; its records are lost", true);
            continue;
        }
        std::uint16_t count = counts[i];
        if (!OffsetTrusted(reader.BlockBytes(chain[i]), header.recordSize, header.BlockSize())) {
            count = TrustedCount(reader, chain[i], count, indexed);
            if (count != counts[i]) {
                findings.Add(FindingCode::BadLastRecordOffset, Severity::Damage, reader.FileName(),
                             chain[i], count,
                             std::to_string(counts[i] - count) +
                                 " slots after the last record are not taken over");
            }
        }
        blocks.push_back({chain[i], count});
        chainRecords += count;
    }
    for (const std::uint16_t block : reader.FreeBlocks()) {
        if (block <= present) {
            taken[block] = 2;
        }
    }
    if (chain.size() >= header.blocksInUse && chainRecords >= header.numRecords) {
        return blocks;
    }

    const std::uint32_t recordSize = header.recordSize;
    const std::uint32_t blockSize = header.BlockSize();
    std::vector<std::uint16_t> stray(present + 1, 0); // plausible record count per stray block
    for (std::uint32_t b = 1; b <= present; ++b) {
        if (taken[b] == 0) {
            stray[b] = PlausibleCount(reader.BlockBytes(b), recordSize, blockSize);
        }
    }
    auto take = [&](std::uint32_t b) {
        taken[b] = 3;
        blocks.push_back({static_cast<std::uint16_t>(b), stray[b]});
        findings.Add(FindingCode::OrphanBlock, Severity::Damage, reader.FileName(),
                     static_cast<std::int64_t>(b), -1,
                     "outside the chain; " + std::to_string(stray[b]) + " records recovered");
    };
    auto isStray = [&](std::uint32_t b) {
        return b >= 1 && b <= present && taken[b] == 0 && stray[b];
    };
    // Runs of stray blocks still linked to each other keep their order; a run starts at a
    // block whose back link does not lead to another stray block.
    for (std::uint32_t b = 1; b <= present; ++b) {
        if (!isStray(b) || isStray(ReadHead(reader.BlockBytes(b)).prev)) {
            continue;
        }
        for (std::uint32_t at = b; isStray(at); at = ReadHead(reader.BlockBytes(at)).next) {
            take(at);
        }
    }
    for (std::uint32_t b = 1; b <= present; ++b) {
        if (isStray(b)) {
            take(b);
        }
    }
    return blocks;
}

} // namespace tutil
