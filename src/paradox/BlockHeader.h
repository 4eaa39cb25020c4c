#pragma once

#include "paradox/ByteView.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace paradox {

// Every block of a .DB, .PX or index file starts with these 6 bytes.
inline constexpr std::size_t kBlockHeaderSize = 6;

struct BlockHeader {
    std::uint16_t next = 0; // next block in the chain, 0 at the end
    std::uint16_t prev = 0; // previous block in the chain, 0 at the start
    std::int16_t lastRecordOffset =
        0; // of the last record after the block header; -size when empty
};

// The block header at `offset` of `bytes`; nullopt when fewer than kBlockHeaderSize bytes are
// there.
std::optional<BlockHeader> ReadBlockHeader(ByteView bytes, std::size_t offset = 0);

} // namespace paradox
