#include "paradox/BlockHeader.h"

namespace paradox {

std::optional<BlockHeader> ReadBlockHeader(ByteView bytes, std::size_t offset) {
    const auto next = bytes.U16LE(offset);
    const auto prev = bytes.U16LE(offset + 2);
    const auto last = bytes.S16LE(offset + 4);
    if (!next || !prev || !last) {
        return std::nullopt;
    }
    return BlockHeader{*next, *prev, *last};
}

} // namespace paradox
