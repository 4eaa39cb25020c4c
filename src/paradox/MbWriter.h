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
    // A non-zero `keyValue` (the protected table's stored key) encrypts the whole file.
    explicit MbWriter(std::filesystem::path path, std::uint32_t keyValue = 0);

    // Stores prefix + data as one blob; returns the tail to put in the record (the leader
    // pointer is not set).
    BlobRef Store(std::span<const std::uint8_t> prefix, std::span<const std::uint8_t> data);
    void Finish(bool sync);
    const std::filesystem::path& Path() const { return file_.Path(); }
    // See WriterFile::Replaces.
    void Replaces(const std::filesystem::path& previous) { file_.Replaces(previous); }

    static constexpr std::uint32_t kSuballocationThreshold = 0x800;

private:
    void FlushSuballocated();
    void WriteSingleBlock(std::uint64_t offset, std::span<const std::uint8_t> head,
                          std::span<const std::uint8_t> prefix, std::span<const std::uint8_t> data,
                          std::uint64_t chunks);

    WriterFile file_;
    std::uint64_t end_ = 0; // bytes allocated so far
    std::vector<std::uint8_t> sub_;
    std::vector<std::uint8_t> chunk_; // one chunk of a blob in blocks of its own
    std::uint64_t subOffset_ = 0;
    int nextSlot_ = -1; // -1: no suballocated block open
    std::uint32_t nextUnit_ = 0;
};

} // namespace paradox
