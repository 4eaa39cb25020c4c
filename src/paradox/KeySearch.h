#pragma once

#include "paradox/ByteView.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace paradox {

struct TableHeader;

// Whether the key a protected file's header stores fits its data, judged by block 1: decrypted,
// its 6-byte header must be plausible (no back link, a next block inside the file and not
// block 1 itself, a last-record offset that is a whole number of records inside the block, or
// the empty block's minus one record).
enum class KeyFit : std::uint8_t {
    Fits, // the stored key decrypts block 1 to a plausible header (or there is no block)
    // It does not, but it gives one of the next blocks a plausible header: block 1 is damaged,
    // not the key.
    BlockOneDamaged,
    Recovered, // neither, but exactly one other low half fits block 1
    NoKey,     // no low half fits (or several do): the key is damaged
};

struct KeyCheck {
    KeyFit fit = KeyFit::Fits;
    std::uint32_t keyValue = 0; // the value to decrypt with (the stored one unless recovered)
};

// Only the low 16 bits key the cipher, so all 65 536 are tried when the stored ones fail.
// `file` is the whole file as stored.
KeyCheck CheckStoredKey(const TableHeader& header, ByteView file);

// For a header too damaged to give a record size or a key: the low halves under which the
// piece at `blockOffset`, taken as block 1, decrypts to a chain start (no back link, a next
// block that is neither block 1 nor past `blocksPresent`). At most `limit`, lowest first.
std::vector<std::uint16_t> LowHalvesOpeningBlockOne(ByteView file, std::size_t blockOffset,
                                                    std::uint32_t blocksPresent, std::size_t limit);

} // namespace paradox
