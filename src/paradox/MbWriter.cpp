#include "paradox/MbWriter.h"

#include "paradox/ByteView.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

namespace paradox {
namespace {

constexpr std::uint32_t kChunk = 4096;
constexpr std::uint32_t kUnit = 16;
constexpr std::uint32_t kFirstDataUnit = 0x150 / kUnit;
constexpr std::uint32_t kUnitsPerBlock = kChunk / kUnit;
constexpr std::uint16_t kModNumber = 1;
constexpr std::uint32_t kSingleBlockHeader = 9;
// Record tails address blocks with a 32-bit offset.
constexpr std::uint64_t kMaxFileSize = 0x100000000ull;

std::array<std::uint8_t, kChunk> HeaderBlock() {
    std::array<std::uint8_t, kChunk> h{};
    h[0x00] = 0;
    PutU16LE(h.data() + 0x01, 1);
    PutU16LE(h.data() + 0x03, kModNumber);
    const std::uint8_t constant[] = {0x82, 0x73, 0x02, 0x00, 0x29};
    std::memcpy(h.data() + 0x05, constant, sizeof constant);
    PutU16LE(h.data() + 0x0B, 0x1000);
    PutU16LE(h.data() + 0x0D, 0x1000);
    h[0x10] = 0x10;
    PutU16LE(h.data() + 0x11, 0x0040);
    PutU16LE(h.data() + 0x13, 0x0800);
    PutU16LE(h.data() + 0x29, 0x02A1);
    return h;
}

} // namespace

MbWriter::MbWriter(std::filesystem::path path, std::uint32_t keyValue)
    : file_(std::move(path)), sub_(kChunk, 0) {
    file_.Encrypt(WriterCipher::ForBlobFile(keyValue));
    file_.WriteAt(0, HeaderBlock());
    end_ = kChunk;
}

BlobRef MbWriter::Store(std::span<const std::uint8_t> prefix, std::span<const std::uint8_t> data) {
    const std::uint64_t length = prefix.size() + data.size();
    BlobRef ref;
    ref.modNumber = kModNumber;
    if (length <= kSuballocationThreshold) {
        const auto units = static_cast<std::uint32_t>((length + kUnit - 1) / kUnit);
        if (nextSlot_ < 0 || nextUnit_ + units > kUnitsPerBlock) {
            FlushSuballocated();
            if (end_ + kChunk > kMaxFileSize) {
                throw std::runtime_error(Path().string() + ": blob file would exceed 4 GB");
            }
            subOffset_ = end_;
            end_ += kChunk;
            sub_[0] = 3;
            PutU16LE(sub_.data() + 1, 1);
            nextSlot_ = 63;
            nextUnit_ = kFirstDataUnit;
        }
        std::uint8_t* at = sub_.data() + nextUnit_ * kUnit;
        // std::copy, not memcpy: an empty span may have no data pointer.
        std::copy(prefix.begin(), prefix.end(), at);
        std::copy(data.begin(), data.end(), at + prefix.size());
        std::uint8_t* slot = sub_.data() + 12 + 5 * nextSlot_;
        slot[0] = static_cast<std::uint8_t>(nextUnit_);
        slot[1] = static_cast<std::uint8_t>(units);
        PutU16LE(slot + 2, kModNumber);
        slot[4] = static_cast<std::uint8_t>(length - (units - 1) * kUnit);
        ref.offset = static_cast<std::uint32_t>(subOffset_);
        ref.index = static_cast<std::uint8_t>(nextSlot_);
        ref.length = static_cast<std::uint32_t>(length);
        nextUnit_ += units;
        --nextSlot_;
        return ref;
    }
    const std::uint64_t chunks = (kSingleBlockHeader + length + kChunk - 1) / kChunk;
    if (chunks > 0xFFFF || end_ + chunks * kChunk > kMaxFileSize) {
        throw std::runtime_error(Path().string() + ": blob of " + std::to_string(length) +
                                 " bytes does not fit the blob file");
    }
    std::uint8_t head[kSingleBlockHeader] = {2};
    PutU16LE(head + 1, static_cast<std::uint16_t>(chunks));
    PutU32LE(head + 3, static_cast<std::uint32_t>(length));
    PutU16LE(head + 7, kModNumber);
    const std::uint64_t offset = end_;
    WriteSingleBlock(offset, head, prefix, data, chunks);
    end_ += chunks * kChunk;
    ref.offset = static_cast<std::uint32_t>(offset);
    ref.index = 0xFF;
    ref.length = static_cast<std::uint32_t>(length);
    return ref;
}

// Written chunk by chunk, each one whole, so that an encrypted file gets whole pieces.
void MbWriter::WriteSingleBlock(std::uint64_t offset, std::span<const std::uint8_t> head,
                                std::span<const std::uint8_t> prefix,
                                std::span<const std::uint8_t> data, std::uint64_t chunks) {
    const std::span<const std::uint8_t> parts[] = {head, prefix, data};
    std::size_t part = 0;
    std::size_t used = 0; // bytes of parts[part] already copied
    std::vector<std::uint8_t>& chunk = chunk_;
    chunk.resize(kChunk);
    for (std::uint64_t c = 0; c < chunks; ++c) {
        std::fill(chunk.begin(), chunk.end(), std::uint8_t{0});
        std::size_t filled = 0;
        while (filled < kChunk && part < std::size(parts)) {
            const std::size_t n = std::min(kChunk - filled, parts[part].size() - used);
            std::copy_n(parts[part].begin() + static_cast<std::ptrdiff_t>(used), n,
                        chunk.begin() + static_cast<std::ptrdiff_t>(filled));
            filled += n;
            used += n;
            if (used == parts[part].size()) {
                ++part;
                used = 0;
            }
        }
        file_.WriteAt(offset + c * kChunk, chunk);
    }
}

void MbWriter::FlushSuballocated() {
    if (nextSlot_ < 0 && nextUnit_ == 0) {
        return;
    }
    file_.WriteAt(subOffset_, sub_);
    std::fill(sub_.begin(), sub_.end(), std::uint8_t{0});
    nextSlot_ = -1;
    nextUnit_ = 0;
}

void MbWriter::Finish(bool sync) {
    FlushSuballocated();
    file_.Flush(sync);
}

} // namespace paradox
