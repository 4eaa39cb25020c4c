#include "paradox/BlockRules.h"

#include "paradox/BlockHeader.h"
#include "paradox/Codec.h"

#include <algorithm>

namespace paradox {

std::uint32_t BlocksPresent(const TableHeader& header, std::uint64_t fileSize) {
    if (!IsValidBlockSizeCode(header.blockSizeCode) ||
        fileSize < std::uint64_t{header.headerSize} + kBlockHeaderSize) {
        return 0;
    }
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(
        kMaxBlockCount,
        (fileSize - header.headerSize - kBlockHeaderSize) / header.BlockSize() + 1));
}

BlockJudgement JudgeBlock(const TableHeader& header, std::uint32_t block, ByteView bytes) {
    BlockJudgement judged;
    const std::uint32_t recordSize = header.recordSize;
    const std::uint32_t blockSize = header.BlockSize();
    const auto head = ReadBlockHeader(bytes);
    if (!head || recordSize == 0 || blockSize < kBlockHeaderSize ||
        recordSize > blockSize - kBlockHeaderSize) {
        return judged; // the header check reports the record size
    }
    const auto fault = [&](FindingCode code, FindingDetail detail, bool lost = false) {
        judged.faults.push_back({code, static_cast<std::int64_t>(block), std::move(detail), lost});
    };
    const auto capacity = static_cast<std::uint16_t>((blockSize - kBlockHeaderSize) / recordSize);
    const std::int32_t offset = head->lastRecordOffset;
    const auto size = static_cast<std::int32_t>(recordSize);
    if (offset < 0) {
        if (offset != -size) {
            judged.basis = CountBasis::OffsetBogus;
            fault(FindingCode::BadLastRecordOffset,
                  Detail(DetailKind::LastRecordOffset).Found(offset), true);
        }
        return judged;
    }
    if (offset % size != 0) {
        judged.basis = CountBasis::OffsetBogus;
        fault(FindingCode::BadLastRecordOffset,
              Detail(DetailKind::LastRecordOffsetNotMultiple).Found(offset).Extra(size));
    }
    const auto named = static_cast<std::uint32_t>(offset / size + 1);
    const bool pastEnd = named > capacity;
    judged.declared = static_cast<std::uint16_t>(std::min<std::uint32_t>(named, capacity));
    if (pastEnd) {
        judged.basis = CountBasis::OffsetBogus;
    }
    const auto present = static_cast<std::uint16_t>(
        bytes.size() >= kBlockHeaderSize ? (bytes.size() - kBlockHeaderSize) / recordSize : 0);
    std::uint16_t readable = std::min(judged.declared, present);
    bool reachesEnd = true; // no blank slot ended a bogus block's records before the file did
    if (judged.basis == CountBasis::OffsetBogus) {
        const std::uint8_t* slots = bytes.data() + kBlockHeaderSize;
        std::uint16_t count = 0;
        while (count < readable &&
               !IsAllZero(slots + std::size_t{count} * recordSize, recordSize)) {
            ++count;
        }
        reachesEnd = count == readable;
        readable = count;
    }
    judged.count = readable;
    if (pastEnd) {
        fault(FindingCode::BadLastRecordOffset,
              Detail(DetailKind::LastRecordOffsetPastEnd).Found(offset).Extra(judged.count));
    }
    if (reachesEnd && judged.declared > present) {
        fault(FindingCode::FileTruncated,
              Detail(DetailKind::FileEndsInBlock).Found(present).Expected(judged.declared), true);
        judged.missing = static_cast<std::uint16_t>(judged.declared - present);
    }
    return judged;
}

std::optional<BlockFault> JudgeLink(const TableHeader& header, std::uint32_t previous,
                                    std::uint32_t next, std::uint32_t present, bool seen,
                                    std::size_t walked) {
    if (next > present) {
        return BlockFault{FindingCode::ChainPointerOutOfRange, BlockOrNone(previous),
                          Detail(DetailKind::NextBlockPastFile).Block(next).Extra(present), true};
    }
    if (seen) {
        return BlockFault{FindingCode::ChainCycle, BlockOrNone(previous),
                          Detail(DetailKind::NextBlockInChain).Block(next),
                          walked < header.blocksInUse};
    }
    return std::nullopt;
}

std::optional<BlockFault> JudgeBackLink(std::uint32_t block, std::uint16_t prev,
                                        std::uint32_t previous) {
    if (prev == previous) {
        return std::nullopt;
    }
    return BlockFault{FindingCode::ChainPrevMismatch, static_cast<std::int64_t>(block),
                      Detail(DetailKind::BackLink).Found(prev).Expected(previous)};
}

std::optional<BlockFault> TailFault(const TableHeader& header, std::uint32_t tail) {
    if (tail == header.lastBlock) {
        return std::nullopt;
    }
    return BlockFault{FindingCode::ChainTailMismatch, -1,
                      Detail(DetailKind::ChainEnd).Found(tail).Expected(header.lastBlock)};
}

std::optional<BlockFault> LengthFault(const TableHeader& header, std::size_t blocks) {
    if (blocks == header.blocksInUse) {
        return std::nullopt;
    }
    return BlockFault{FindingCode::ChainLengthMismatch, -1,
                      Detail(DetailKind::ChainBlocks).Found(blocks).Expected(header.blocksInUse)};
}

std::optional<BlockFault> RecordCountFault(const TableHeader& header, std::uint64_t records) {
    const std::uint32_t recordSize = header.recordSize;
    const bool readable = IsValidBlockSizeCode(header.blockSizeCode) && recordSize > 0 &&
                          recordSize <= header.BlockSize() - kBlockHeaderSize;
    if (!readable || records == header.numRecords) {
        return std::nullopt;
    }
    return BlockFault{
        FindingCode::RecordCountMismatch, -1,
        Detail(DetailKind::BlocksHoldRecords).Found(records).Expected(header.numRecords)};
}

BlockFault FileShortFault(const TableHeader& header, std::uint32_t present, bool cutPiece) {
    return {FindingCode::FileTruncated, -1,
            Detail(cutPiece ? DetailKind::FileHoldsBlocksCutPiece : DetailKind::FileHoldsBlocks)
                .Found(present)
                .Expected(header.fileBlocks),
            cutPiece};
}

} // namespace paradox
