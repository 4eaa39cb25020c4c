#pragma once

#include "paradox/ByteView.h"

#include <cstddef>
#include <cstdint>

// The layout of a .MB file's blocks, shared by the structure walk and the blob reader.
namespace paradox::blob_layout {

enum BlockType : std::uint8_t { kHeader = 0, kSingle = 2, kSuballocated = 3, kFree = 4 };

inline constexpr std::size_t kSlotTable = 12;
inline constexpr std::size_t kSlotSize = 5;
inline constexpr std::size_t kSlots = 64;
inline constexpr std::size_t kFirstDataUnit = 0x150 / 16;
inline constexpr std::size_t kSingleHeader = 9;
inline constexpr std::size_t kGraphicPrefix = 8;

struct Slot {
    std::uint8_t offsetUnits;
    std::uint8_t units;
    std::uint16_t modNumber;
    std::uint8_t lastUnitLength;
    std::size_t Offset() const { return static_cast<std::size_t>(offsetUnits) * 16; }
    std::size_t Length() const {
        return units == 0 ? 0 : (static_cast<std::size_t>(units) - 1) * 16 + lastUnitLength;
    }
};

inline Slot ReadSlot(ByteView block, std::size_t index) {
    const std::size_t at = kSlotTable + index * kSlotSize;
    return {block.U8(at).value_or(0), block.U8(at + 1).value_or(0), block.U16LE(at + 2).value_or(0),
            block.U8(at + 4).value_or(0)};
}

} // namespace paradox::blob_layout
