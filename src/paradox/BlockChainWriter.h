#pragma once

#include "paradox/WriterFile.h"

#include <cstdint>
#include <span>
#include <vector>

namespace paradox {

// One entry per child block, as the level-1 entries of a primary index need them.
struct BlockEntries {
    std::uint16_t keyLength = 0;
    std::vector<std::uint8_t> keys; // keyLength bytes per entry: key of the block's first record
    std::vector<std::uint16_t> blocks;
    std::vector<std::uint32_t> counts;

    std::size_t Size() const { return blocks.size(); }
    const std::uint8_t* Key(std::size_t i) const { return keys.data() + i * keyLength; }
};

// Where a record went.
struct RecordPlace {
    std::uint16_t block = 0;
    std::uint16_t slot = 0; // 0-based position in the block
};

// Writes records into packed, chained data blocks (block n is the n-th of the chain) after
// a header area that is written later. Only the block being filled is held in memory.
class BlockChainWriter {
public:
    BlockChainWriter(WriterFile& file, std::uint32_t headerSize, std::uint32_t blockSize,
                     std::uint16_t recordSize, std::uint16_t keyLength);

    RecordPlace Add(std::span<const std::uint8_t> record);
    // Writes the last block. No Add afterwards.
    void Finish();

    std::uint32_t RecordCount() const { return records_; }
    std::uint16_t BlockCount() const { return static_cast<std::uint16_t>(entries_.Size()); }
    const BlockEntries& Entries() const { return entries_; }
    static std::uint32_t Capacity(std::uint32_t blockSize, std::uint16_t recordSize) {
        return (blockSize - 8) / recordSize;
    }

private:
    void WriteBlock(std::uint16_t next);

    WriterFile& file_;
    std::uint32_t headerSize_;
    std::uint32_t blockSize_;
    std::uint16_t recordSize_;
    std::uint32_t capacity_;
    std::vector<std::uint8_t> block_;
    std::uint32_t inBlock_ = 0;
    std::uint32_t records_ = 0;
    BlockEntries entries_;
};

// Stores the low 16 bits of `value` as a key-sortable index number (top bit inverted).
void PutIndexNumber(std::uint8_t* out, std::uint32_t value);

} // namespace paradox
