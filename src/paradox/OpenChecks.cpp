#include "paradox/OpenChecks.h"

#include "paradox/BlobFile.h"
#include "paradox/BlockHeader.h"
#include "paradox/BlockRules.h"
#include "paradox/Cipher.h"
#include "paradox/IndexStatistic.h"
#include "paradox/PlainBytes.h"
#include "paradox/SecondaryIndex.h"

#include <algorithm>
#include <array>
#include <vector>

namespace paradox {
namespace {

constexpr std::size_t kBlobBlockSize = 4096;

// Offset of block n (1-based) in the file.
std::uint64_t BlockOffset(const TableHeader& header, std::uint32_t block) {
    return header.headerSize + static_cast<std::uint64_t>(block - 1) * header.BlockSize();
}

std::optional<BlockHeader> BlockHeaderAt(const TableHeader& header, ByteView file,
                                         std::uint32_t block) {
    std::vector<std::uint8_t> copy;
    const ByteView bytes = PlainBytes::Block(header, file, block, kBlockHeaderSize, copy);
    return ReadBlockHeader(bytes, 0);
}

// Records of a block per its last-record offset; nullopt when the offset is impossible.
std::optional<std::uint32_t> RecordsInBlock(const TableHeader& header, std::int16_t last) {
    const std::int32_t size = header.recordSize;
    if (last < 0) {
        return last == -size ? std::optional<std::uint32_t>(0) : std::nullopt;
    }
    if (last % size != 0 || kBlockHeaderSize + last + size > header.BlockSize()) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(last / size + 1);
}

bool Usable(const TableHeader& header) {
    return IsValidBlockSizeCode(header.blockSizeCode) && header.recordSize > 0 &&
           header.recordSize <= header.BlockSize() - kBlockHeaderSize;
}

} // namespace

void CheckTableExtent(const TableHeader& header, ByteView file, const std::string& fileName,
                      FindingList& findings) {
    if (!Usable(header)) {
        return; // the header parser has reported why
    }
    auto damage = [&](FindingCode code, FindingDetail detail) {
        findings.Add(code, Severity::Damage, fileName, -1, -1, std::move(detail));
    };
    const std::uint32_t blockSize = header.BlockSize();
    if (header.blocksInUse > header.fileBlocks) {
        damage(FindingCode::BlockCountMismatch, Detail(DetailKind::BlocksInUseOverFile)
                                                    .Found(header.blocksInUse)
                                                    .Extra(header.fileBlocks));
    }
    if (header.lastBlock > header.fileBlocks || header.firstBlock > header.fileBlocks) {
        damage(FindingCode::ChainPointerOutOfRange, Detail(DetailKind::FirstLastBlockOverFile)
                                                        .Found(header.firstBlock)
                                                        .Block(header.lastBlock)
                                                        .Extra(header.fileBlocks));
    }
    if (header.blocksInUse > 0 && header.firstBlock != 1) {
        damage(FindingCode::ChainBadFirst, Detail(DetailKind::FirstBlock).Found(header.firstBlock));
    }
    if (header.blocksInUse == 0 && (header.numRecords != 0 || header.firstBlock != 0)) {
        damage(FindingCode::ChainBadFirst, Detail(DetailKind::NoBlocksButRecords)
                                               .Found(header.numRecords)
                                               .Block(header.firstBlock));
    }
    const std::uint64_t capacity =
        static_cast<std::uint64_t>(header.blocksInUse) * header.RecordsPerBlock();
    if (header.numRecords > capacity) {
        damage(FindingCode::RecordCountMismatch, Detail(DetailKind::RecordsOverCapacity)
                                                     .Found(header.numRecords)
                                                     .Extra(header.blocksInUse));
    }
    if (header.fileBlocks == 0) {
        return;
    }
    // Judged as the chain walk of verify judges it: blocks missing from the file, else the
    // records of a short last block.
    const std::uint32_t present = BlocksPresent(header, file.size());
    if (present < header.fileBlocks) {
        const BlockFault fault = FileShortFault(header, present, false);
        findings.Add(fault.code, Severity::Damage, fileName, fault.block, -1, fault.detail,
                     fault.dataLost);
        return;
    }
    if (file.size() >= BlockOffset(header, header.fileBlocks) + blockSize) {
        return;
    }
    std::vector<std::uint8_t> copy;
    const ByteView last = PlainBytes::Block(header, file, header.fileBlocks, blockSize, copy);
    for (const BlockFault& fault : JudgeBlock(header, header.fileBlocks, last).faults) {
        if (fault.code == FindingCode::FileTruncated) {
            findings.Add(fault.code, Severity::Damage, fileName, fault.block, -1, fault.detail,
                         fault.dataLost);
        }
    }
}

void CheckChainStart(const TableHeader& header, ByteView file, const std::string& fileName,
                     FindingList& findings, std::size_t maxBlocks) {
    if (!Usable(header) || header.blocksInUse == 0) {
        return;
    }
    auto report = [&](const BlockFault& fault) {
        findings.Add(fault.code, Severity::Damage, fileName, fault.block, -1, fault.detail,
                     fault.dataLost);
    };
    const std::uint32_t present = BlocksPresent(header, file.size());
    std::vector<std::uint16_t> visited;
    visited.reserve(std::min<std::size_t>(maxBlocks, header.blocksInUse));
    std::uint16_t current = header.firstBlock;
    std::uint16_t previous = 0;
    std::uint64_t records = 0;
    std::vector<std::uint8_t> copy;
    while (current != 0 && visited.size() < maxBlocks) {
        const bool seen = std::find(visited.begin(), visited.end(), current) != visited.end();
        if (auto fault = JudgeLink(header, previous, current, present, seen, visited.size())) {
            report(*fault);
            return;
        }
        const ByteView bytes = PlainBytes::Block(header, file, current, header.BlockSize(), copy);
        const auto block = ReadBlockHeader(bytes);
        if (!block) { // a protected file's block whose first piece the end of the file cuts
            report(*JudgeLink(header, previous, current, current - 1u, false, visited.size()));
            return;
        }
        if (auto fault = JudgeBackLink(current, block->prev, previous)) {
            report(*fault);
            return;
        }
        const BlockJudgement judged = JudgeBlock(header, current, bytes);
        if (!judged.faults.empty()) {
            report(judged.faults.front());
            return;
        }
        records += judged.count;
        visited.push_back(current);
        previous = current;
        current = block->next;
    }
    if (current == 0) {
        if (auto fault = TailFault(header, previous)) {
            report(*fault);
        } else if (auto length = LengthFault(header, visited.size())) {
            report(*length);
        } else if (auto count = RecordCountFault(header, records)) {
            report(*count);
        }
        return;
    }
    // Too long to follow here: the header's tail must at least end the chain.
    auto tail = BlockHeaderAt(header, file, header.lastBlock);
    if (header.lastBlock == 0 || !tail || tail->next != 0) {
        report({FindingCode::ChainTailMismatch, header.lastBlock,
                Detail(DetailKind::LastBlockNotChainEnd)});
    }
}

void CheckBlobFileHeader(ByteView blobFile, std::uint32_t tableKeyValue,
                         const std::string& fileName, FindingList& findings) {
    auto damage = [&](FindingDetail detail) {
        findings.Add(FindingCode::BlobFileBad, Severity::Damage, fileName, -1, -1,
                     std::move(detail));
    };
    if (blobFile.size() < kBlobBlockSize) {
        damage(BlobHeaderBlockProblem(blobFile, blobFile.size()));
        return;
    }
    if (blobFile.size() % kBlobBlockSize != 0) {
        damage(Detail(DetailKind::BlobFileNotWholeBlocks).Found(blobFile.size()));
    }
    std::array<std::uint8_t, kCipherPieceSize> first{};
    std::copy_n(blobFile.data(), kCipherPieceSize, first.begin());
    // A protected table's .MB is encrypted too, unless it was stored plain (read as stored).
    if (tableKeyValue != 0 && !BlobHeaderBlockProblem(blobFile, blobFile.size()).Empty()) {
        DecryptBlobBytes(CipherKey::FromStoredValue(tableKeyValue), first);
    }
    const ByteView header(first.data(), first.size());
    if (FindingDetail problem = BlobHeaderBlockProblem(header, blobFile.size()); !problem.Empty()) {
        damage(std::move(problem));
    }
}

namespace {

// Index entries end in three key-sortable 16-bit numbers (top bit inverted, big-endian).
std::uint16_t EntryWord(ByteView entry, std::size_t offset) {
    return static_cast<std::uint16_t>(((*entry.U8(offset) << 8) | *entry.U8(offset + 1)) ^ 0x8000);
}

} // namespace

void CheckIndexRoot(const TableHeader& data, ByteView dataFile, const TableHeader& index,
                    ByteView indexFile, const std::string& indexName, FindingList& findings) {
    if (!Usable(data) || !Usable(index) || index.indexLevels == 0 || index.recordSize < 6 ||
        index.indexRoot == 0 || index.indexRoot > index.fileBlocks) {
        return;
    }
    auto damage = [&](FindingCode code, std::int64_t block, FindingDetail detail) {
        findings.Add(code, Severity::Damage, indexName, block, -1, std::move(detail));
    };
    auto root = BlockHeaderAt(index, indexFile, index.indexRoot);
    if (!root) {
        damage(FindingCode::IndexTreeBad, index.indexRoot, Detail(DetailKind::RootPastFile));
        return;
    }
    auto entries = RecordsInBlock(index, root->lastRecordOffset);
    if (!entries) {
        damage(FindingCode::IndexTreeBad, index.indexRoot,
               Detail(DetailKind::LastRecordOffset).Found(root->lastRecordOffset));
        return;
    }
    std::vector<std::uint8_t> rootCopy;
    const ByteView block =
        PlainBytes::Block(index, indexFile, index.indexRoot,
                          kBlockHeaderSize + static_cast<std::size_t>(*entries) * index.recordSize,
                          rootCopy)
            .Sub(kBlockHeaderSize, static_cast<std::size_t>(*entries) * index.recordSize);
    if (block.size() != static_cast<std::size_t>(*entries) * index.recordSize) {
        damage(FindingCode::FileTruncated, index.indexRoot, Detail(DetailKind::RootEntriesPastEnd));
        return;
    }
    const std::size_t keyLength = index.recordSize - 6u;
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < *entries; ++i) {
        const ByteView entry = block.Sub(i * index.recordSize, index.recordSize);
        const std::uint16_t child = EntryWord(entry, keyLength);
        const std::uint16_t statistic = EntryWord(entry, keyLength + 2);
        total += statistic;
        if (index.indexLevels != 1) {
            continue;
        }
        if (child == 0 || child > data.fileBlocks) {
            damage(FindingCode::IndexTreeBad, index.indexRoot,
                   Detail(DetailKind::RootEntryDataBlock)
                       .Entry(i + 1)
                       .Block(child)
                       .Extra(data.fileBlocks));
            return;
        }
        // The block's count as verify's walk and a rebuild judge it.
        std::optional<std::uint64_t> held;
        if (BlockHeaderAt(data, dataFile, child)) {
            std::vector<std::uint8_t> copy;
            held = JudgeBlock(data, child,
                              PlainBytes::Block(data, dataFile, child, data.BlockSize(), copy))
                       .count;
        }
        if (held != statistic) {
            findings.Add(FindingCode::IndexStatisticMismatch, Severity::Damage, indexName,
                         index.indexRoot, i, StatisticDetail(statistic, child, held));
            return;
        }
    }
    // Entries of a one-level root count single data blocks and were each compared above;
    // deeper entries count subtrees whose words may have wrapped.
    const bool fits =
        index.indexLevels == 1 ? total == data.numRecords : StatisticFits(data.numRecords, total);
    if (!fits) {
        damage(FindingCode::IndexCountMismatch, index.indexRoot,
               StatisticSumDetail(total, data.numRecords));
    }
}

void CheckSecondaryHeader(const TableHeader& table, const TableHeader& x, const std::string& xName,
                          FindingList& findings) {
    for (SecondaryHeaderFault& fault : JudgeSecondaryHeader(x, table).faults) {
        findings.Add(fault.code, Severity::Damage, xName, -1, -1, std::move(fault.detail));
    }
}

} // namespace paradox
