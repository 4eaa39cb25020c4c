#pragma once

#include "paradox/ByteView.h"
#include "paradox/Finding.h"
#include "paradox/Header.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace paradox {

// The one rule book for the blocks of a table's chain: how many records a block holds, and
// the code, wording and block of every fault a walk of the chain meets. The full walk of
// verify and the bounded walk of an open both judge through it, so the same damage reads
// the same in both.

// How a block's record count was decided.
enum class CountBasis : std::uint8_t {
    OffsetTrusted, // from its last-record offset
    OffsetBogus,   // the offset is impossible: the records before the first all-zero slot
};

// One fault of the chain, as a finding will show it.
struct BlockFault {
    FindingCode code{};
    std::int64_t block = -1; // the block the fault is charged to, -1 for none
    FindingDetail detail;
    bool dataLost = false;
};

// What a data block holds, judged from its bytes.
struct BlockJudgement {
    std::uint16_t count = 0;    // records that can be read
    std::uint16_t missing = 0;  // records the block holds but the end of the file cut off
    std::uint16_t declared = 0; // slots the offset names, at most the block's capacity
    CountBasis basis = CountBasis::OffsetTrusted;
    std::vector<BlockFault> faults;
};

// One chain block as the full walk read it.
struct BlockFact {
    std::uint16_t block = 0;
    std::uint16_t count = 0;    // records read
    std::uint16_t missing = 0;  // records cut off by the end of the file
    std::uint16_t declared = 0; // slots its last-record offset names (at most its capacity)
    CountBasis basis = CountBasis::OffsetTrusted;
};

// Number of blocks whose 6-byte header lies inside `fileSize` bytes of a file with this header.
std::uint32_t BlocksPresent(const TableHeader& header, std::uint64_t fileSize);

// Judges data block `block` from its decrypted bytes (clipped at the end of the file, at
// least its 6-byte header). An empty block stores minus the record size as its last-record
// offset; any other offset is a multiple of the record size inside the block. A block whose
// offset is impossible holds the records before its first all-zero slot.
BlockJudgement JudgeBlock(const TableHeader& header, std::uint32_t block, ByteView bytes);

// Following the chain from `previous` (0 at the start) to `next`: the fault that stops the
// walk there, if any. `seen`: `next` is already in the chain (or the free list); `walked`:
// chain blocks read so far. A cycle is charged to the block whose link closes it.
std::optional<BlockFault> JudgeLink(const TableHeader& header, std::uint32_t previous,
                                    std::uint32_t next, std::uint32_t present, bool seen,
                                    std::size_t walked);

// The back link of chain block `block`, reached from `previous`.
std::optional<BlockFault> JudgeBackLink(std::uint32_t block, std::uint16_t prev,
                                        std::uint32_t previous);

// The whole chain against the header: its tail, its length, its records.
std::optional<BlockFault> TailFault(const TableHeader& header, std::uint32_t tail);
std::optional<BlockFault> LengthFault(const TableHeader& header, std::size_t blocks);
std::optional<BlockFault> RecordCountFault(const TableHeader& header, std::uint64_t records);

// A file that holds fewer blocks than the header counts (`cutPiece`: with a part of the next
// one too short to decrypt).
BlockFault FileShortFault(const TableHeader& header, std::uint32_t present, bool cutPiece);

} // namespace paradox
