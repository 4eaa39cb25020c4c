#include "paradox/BlockChainWriter.h"

#include "paradox/ByteView.h"

#include <algorithm>
#include <stdexcept>

namespace paradox {
namespace {
constexpr std::uint32_t kMaxBlocks = 0xFFFF;
}

void PutIndexNumber(std::uint8_t* out, std::uint32_t value) {
    const auto v = static_cast<std::uint16_t>((value & 0xFFFF) ^ 0x8000);
    out[0] = static_cast<std::uint8_t>(v >> 8);
    out[1] = static_cast<std::uint8_t>(v);
}

BlockChainWriter::BlockChainWriter(WriterFile& file, std::uint32_t headerSize,
                                   std::uint32_t blockSize, std::uint16_t recordSize,
                                   std::uint16_t keyLength)
    : file_(file), headerSize_(headerSize), blockSize_(blockSize), recordSize_(recordSize),
      capacity_(Capacity(blockSize, recordSize)), block_(blockSize, 0) {
    entries_.keyLength = keyLength;
}

RecordPlace BlockChainWriter::Add(std::span<const std::uint8_t> record) {
    if (inBlock_ == capacity_) {
        if (entries_.Size() >= kMaxBlocks) {
            throw std::runtime_error(file_.Path().string() +
                                     ": table needs more than 65535 blocks");
        }
        WriteBlock(static_cast<std::uint16_t>(entries_.Size() + 1));
    }
    if (inBlock_ == 0) {
        entries_.keys.insert(entries_.keys.end(), record.begin(),
                             record.begin() + entries_.keyLength);
        entries_.blocks.push_back(static_cast<std::uint16_t>(entries_.Size() + 1));
        entries_.counts.push_back(0);
    }
    std::copy(record.begin(), record.begin() + recordSize_,
              block_.begin() + 6 + static_cast<std::ptrdiff_t>(inBlock_) * recordSize_);
    ++entries_.counts.back();
    ++records_;
    return {entries_.blocks.back(), static_cast<std::uint16_t>(inBlock_++)};
}

void BlockChainWriter::Finish() {
    if (inBlock_ > 0) {
        WriteBlock(0);
    }
}

void BlockChainWriter::WriteBlock(std::uint16_t next) {
    const std::uint16_t number = entries_.blocks.back();
    PutU16LE(block_.data(), next);
    PutU16LE(block_.data() + 2, static_cast<std::uint16_t>(number - 1));
    PutU16LE(block_.data() + 4, static_cast<std::uint16_t>((inBlock_ - 1) * recordSize_));
    file_.WriteAt(headerSize_ + std::uint64_t{number - 1u} * blockSize_, block_);
    std::fill(block_.begin(), block_.end(), std::uint8_t{0});
    inBlock_ = 0;
}

} // namespace paradox
