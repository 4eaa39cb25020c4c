#pragma once

#include "paradox/Codec.h"
#include "paradox/WriterFile.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace paradox {

// Writes a blob file (.MB): the header block, then small blobs packed into suballocated
// blocks (64 slots, filled from slot 63 down) and large ones in blocks of their own.
// Only the suballocated block being filled is held in memory.
class MbWriter {
public:
    explicit MbWriter(std::filesystem::path path);

    // Stores prefix + data as one blob; returns the tail to put in the record (the leader
    // pointer is not set).
    BlobRef Store(std::span<const std::uint8_t> prefix, std::span<const std::uint8_t> data);
    void Finish(bool sync);
    const std::filesystem::path& Path() const { return file_.Path(); }

    static constexpr std::uint32_t kSuballocationThreshold = 0x800;

private:
    void FlushSuballocated();

    WriterFile file_;
    std::uint64_t end_ = 0; // bytes allocated so far
    std::vector<std::uint8_t> sub_;
    std::uint64_t subOffset_ = 0;
    int nextSlot_ = -1; // -1: no suballocated block open
    std::uint32_t nextUnit_ = 0;
};

} // namespace paradox
