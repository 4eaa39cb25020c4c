#include "tutil/RecoverBlocks.h"

#include "paradox/BlockRules.h"
#include "paradox/Codec.h"
#include "paradox/IndexTree.h"

#include <algorithm>
#include <map>
#include <string>

namespace tutil {

using paradox::FindingCode;
using paradox::Severity;

namespace {

struct Head {
    std::uint16_t next = 0;
    std::uint16_t prev = 0;
};

Head ReadHead(const paradox::ByteView& block) {
    Head head;
    head.next = block.U16LE(0).value_or(0);
    head.prev = block.U16LE(2).value_or(0);
    return head;
}

bool Wiped(const paradox::ByteView& block) {
    return paradox::IsAllZero(block.data(), block.size());
}

// Records a stray block plausibly holds: 0 when its header does not describe records.
std::uint16_t PlausibleCount(const paradox::TableHeader& header, std::uint32_t block,
                             const paradox::ByteView& bytes) {
    if (bytes.size() < 6 || Wiped(bytes)) {
        return 0;
    }
    const auto judged = paradox::JudgeBlock(header, block, bytes);
    return judged.basis == paradox::CountBasis::OffsetTrusted ? judged.count : 0;
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
    for (const paradox::BlockFact& fact : reader.ChainFacts()) {
        if (fact.block <= present) {
            taken[fact.block] = 1;
        }
        if (Wiped(reader.BlockBytes(fact.block))) {
            findings.Add(FindingCode::BlockLost, Severity::Damage, reader.FileName(), fact.block,
                         -1, paradox::Detail(paradox::DetailKind::BlockOnlyZeros), true);
            continue;
        }
        std::uint16_t count = fact.count;
        if (fact.basis == paradox::CountBasis::OffsetBogus) {
            // The reader stopped at the first blank slot; a one-level index may know the
            // block held fewer.
            if (const auto it = indexed.find(fact.block); it != indexed.end()) {
                count = std::min(count, it->second);
            }
            if (count < fact.declared) {
                findings.Add(FindingCode::BadLastRecordOffset, Severity::Damage, reader.FileName(),
                             fact.block, count,
                             paradox::Detail(paradox::DetailKind::SlotsNotTakenOver)
                                 .Found(fact.declared - count));
            }
        }
        blocks.push_back({fact.block, count});
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

    std::vector<std::uint16_t> stray(present + 1, 0); // plausible record count per stray block
    for (std::uint32_t b = 1; b <= present; ++b) {
        if (taken[b] == 0) {
            stray[b] = PlausibleCount(header, b, reader.BlockBytes(b));
        }
    }
    auto take = [&](std::uint32_t b) {
        taken[b] = 3;
        blocks.push_back({static_cast<std::uint16_t>(b), stray[b]});
        findings.Add(FindingCode::OrphanBlock, Severity::Damage, reader.FileName(),
                     static_cast<std::int64_t>(b), -1,
                     paradox::Detail(paradox::DetailKind::RecordsRecovered).Found(stray[b]));
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
