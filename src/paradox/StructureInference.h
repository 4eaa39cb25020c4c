#pragma once

#include "paradox/ByteView.h"
#include "paradox/Schema.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace paradox {

// Where the blocks of a table whose header cannot be trusted lie, found from the blocks.
struct BlockGeometry {
    std::uint16_t headerSize = 0;
    std::uint8_t blockSizeCode = 0;
    std::vector<std::uint16_t> chain;            // from block 1, as far as the links agree
    std::vector<std::int16_t> lastRecordOffsets; // of each chain block
    std::uint32_t blocksPresent = 0;
};

// The chain from block 1 under exactly this header size and block size code when every link
// agrees (back links, blocks inside the file, no cycle, last-record offsets inside the block);
// nullopt otherwise. With a non-zero `keyValue` block headers are decrypted first. The walk
// stops after `maxBlocks` blocks.
std::optional<BlockGeometry> WalkFromBlockOne(ByteView db, std::uint16_t headerSize,
                                              std::uint8_t code, std::uint32_t keyValue = 0,
                                              std::size_t maxBlocks = 65535);

// The header size and block size under which block 1 starts a chain whose next and previous
// links agree; the surviving values (0 = unknown) are tried first. nullopt when none fits.
// With a non-zero `keyValue` each block's header is decrypted for its number before it is read.
std::optional<BlockGeometry> FindBlockGeometry(ByteView db, std::uint16_t headerSizeHint,
                                               std::uint8_t blockSizeCodeHint,
                                               std::uint32_t keyValue = 0);

// The record sizes every chain block's last-record offset allows (the offset a multiple of
// it, the last record inside the block), largest first; only `hint` (0 = none) when it is one
// of them. Empty when the blocks hold no record that could tell.
std::vector<std::uint16_t> RecordSizesThatFit(const BlockGeometry& geometry, std::uint16_t hint);

// Fields that fill bytes [begin, end) of every record, each type read from the byte patterns
// of its columns (null = all zero; numbers key-sortable big-endian; text then zeros for
// Alpha). Names are left empty. nullopt when no split fits every record.
std::optional<std::vector<FieldSpec>> InferFields(const std::vector<const std::uint8_t*>& records,
                                                  std::uint32_t begin, std::uint32_t end);

} // namespace paradox
