#include "tutil/RecordCeiling.h"

#include "paradox/ByteView.h"
#include "paradox/Cipher.h"
#include "paradox/IndexTree.h"
#include "paradox/MappedFile.h"

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <vector>

namespace tutil {
namespace {

constexpr std::array<std::uint32_t, 6> kBlockSizes = {1024, 2048, 4096, 8192, 16384, 32768};
constexpr std::uint32_t kBlockHeaderSize = 6;
constexpr std::uint32_t kFixedHeaderSize = 0x58;
constexpr unsigned kMaxIndexLevels = 8;

bool IsBlockSize(std::uint32_t size) {
    return std::find(kBlockSizes.begin(), kBlockSizes.end(), size) != kBlockSizes.end();
}

// Records a block holds by its last-record offset; nullopt when the offset cannot be one.
std::optional<std::uint64_t> BlockCount(std::int16_t lastRecordOffset, std::uint32_t recordSize,
                                        std::uint32_t blockSize) {
    if (lastRecordOffset < 0) {
        return 0; // an empty block
    }
    const auto last = static_cast<std::uint32_t>(lastRecordOffset);
    if (last % recordSize != 0 || kBlockHeaderSize + last + recordSize > blockSize) {
        return std::nullopt;
    }
    return last / recordSize + 1;
}

// The blocks of a .DB or .PX under one layout, as plain bytes: the blocks of a protected file
// are decrypted with the key its header stores.
class Blocks {
public:
    Blocks(const paradox::ByteView& file, std::uint64_t headerSize, std::uint32_t blockSize,
           std::optional<paradox::CipherKey> key)
        : file_(file), headerSize_(headerSize), blockSize_(blockSize), key_(key) {}

    // Blocks that begin inside the file.
    std::uint64_t Count() const {
        return headerSize_ >= file_.size()
                   ? 0
                   : (file_.size() - headerSize_ + blockSize_ - 1) / blockSize_;
    }

    // The bytes of block `number` (1-based) that are inside the file.
    std::vector<std::uint8_t> Block(std::uint64_t number) const {
        return Bytes(number, blockSize_);
    }

    // The block's 6-byte header (fewer bytes where the file ends first) and how many of the
    // block's bytes are inside the file. Only the first cipher piece is decrypted: it is
    // transformed on its own, so its bytes are those of the whole block decrypted.
    struct Head {
        std::vector<std::uint8_t> bytes;
        std::uint64_t present = 0;
    };
    Head HeadOf(std::uint64_t number) const {
        const std::uint64_t present = Part(number, blockSize_).size();
        std::vector<std::uint8_t> bytes =
            Bytes(number, key_ ? std::uint32_t{paradox::kCipherPieceSize} : kBlockHeaderSize);
        bytes.resize(std::min<std::size_t>(bytes.size(), kBlockHeaderSize));
        return {std::move(bytes), present};
    }

private:
    paradox::ByteView Part(std::uint64_t number, std::uint32_t length) const {
        return file_.SubClipped(headerSize_ + (number - 1) * blockSize_,
                                std::min(length, blockSize_));
    }
    std::vector<std::uint8_t> Bytes(std::uint64_t number, std::uint32_t length) const {
        const paradox::ByteView part = Part(number, length);
        std::vector<std::uint8_t> bytes(part.data(), part.data() + part.size());
        if (key_) {
            paradox::DecryptBlock(*key_, static_cast<std::uint32_t>(number), bytes);
        }
        return bytes;
    }

    paradox::ByteView file_;
    std::uint64_t headerSize_;
    std::uint32_t blockSize_;
    std::optional<paradox::CipherKey> key_;
};

std::optional<paradox::CipherKey> KeyOf(std::uint32_t storedValue) {
    if (storedValue == 0) {
        return std::nullopt;
    }
    return paradox::CipherKey::FromStoredValue(storedValue);
}

// The key a .DB's header stores: at 0x25, or at 0x5C when 0x25 holds the marker of the
// level-4+ header extension.
std::optional<paradox::CipherKey> TableKey(const paradox::ByteView& file) {
    const bool extended = file.U32LE(0x25).value_or(0) == 0xFF00FF00u;
    return KeyOf(file.U32LE(extended ? 0x5C : 0x25).value_or(0));
}

struct Chain {
    std::uint64_t records = 0;
    std::uint64_t blocks = 0;    // blocks walked
    std::uint64_t lastBlock = 0; // the block the walk ended on
    bool ended = false;          // at a block whose next link is 0
};

// The records of the chain from block 1 under one layout. The walk stops at the first block
// whose header is not a chain block's (wrong back link, impossible last-record offset), so a
// layout that is not the file's finds little; records past the end of the file do not count.
Chain WalkChain(const paradox::ByteView& file, std::uint64_t headerSize, std::uint32_t blockSize,
                std::uint32_t recordSize) {
    Chain chain;
    if (headerSize < kFixedHeaderSize || headerSize >= file.size() || recordSize == 0 ||
        recordSize > blockSize - kBlockHeaderSize) {
        return chain;
    }
    const Blocks blocks(file, headerSize, blockSize, TableKey(file));
    std::vector<bool> seen(blocks.Count() + 1, false);
    std::uint64_t number = 1;
    std::uint16_t expectedPrev = 0;
    while (number != 0 && number <= blocks.Count() && !seen[number]) {
        seen[number] = true;
        // The walk judges headers only: a whole block is never read.
        const Blocks::Head head = blocks.HeadOf(number);
        const paradox::ByteView block(head.bytes.data(), head.bytes.size());
        const auto next = block.U16LE(0);
        const auto prev = block.U16LE(2);
        const auto last = block.S16LE(4);
        if (!next || !prev || !last || *prev != expectedPrev) {
            break;
        }
        const auto count = BlockCount(*last, recordSize, blockSize);
        if (!count) {
            break;
        }
        const std::uint64_t present = (head.present - kBlockHeaderSize) / recordSize;
        chain.records += std::min(*count, present);
        ++chain.blocks;
        chain.lastBlock = number;
        chain.ended = *next == 0 && *count <= present;
        expectedPrev = static_cast<std::uint16_t>(number);
        number = *next;
    }
    return chain;
}

// The sum of the level-1 statistics of a primary index, or nullopt when any block of its tree
// cannot be read as one: a partly read tree says nothing certain, and garbage must not make a
// healthy table look short. Higher-level statistics are 16-bit sums that wrap; only level-1
// ones (records of one data block) are added.
std::optional<std::uint64_t> IndexLeafCount(const paradox::ByteView& px,
                                            std::uint32_t maxPerBlock) {
    const auto recordSize = px.U16LE(0);
    const auto headerSize = px.U16LE(2);
    const auto code = px.U8(5);
    const auto root = px.U16LE(0x1E);
    const auto levels = px.U8(0x20);
    if (!recordSize || !headerSize || !code || !root || !levels) {
        return std::nullopt;
    }
    if (*levels == 0) {
        return 0;
    }
    const std::uint32_t blockSize = std::uint32_t{*code} * 1024;
    if (!IsBlockSize(blockSize) || *levels > kMaxIndexLevels || *recordSize <= 6 ||
        *recordSize > blockSize - kBlockHeaderSize || *headerSize < kFixedHeaderSize ||
        *headerSize >= px.size()) {
        return std::nullopt;
    }
    const Blocks blocks(px, *headerSize, blockSize, KeyOf(px.U32LE(0x25).value_or(0)));
    std::vector<bool> seen(blocks.Count() + 1, false);
    std::uint64_t sum = 0;
    std::function<bool(std::uint64_t, unsigned)> visit = [&](std::uint64_t number, unsigned level) {
        if (number == 0 || number > blocks.Count() || seen[number]) {
            return false;
        }
        seen[number] = true;
        const std::vector<std::uint8_t> bytes = blocks.Block(number);
        const paradox::ByteView block(bytes.data(), bytes.size());
        const auto last = block.S16LE(4);
        const auto count = last ? BlockCount(*last, *recordSize, blockSize) : std::nullopt;
        if (!count) {
            return false;
        }
        for (std::uint64_t i = 0; i < *count; ++i) {
            const std::uint64_t words = kBlockHeaderSize + (i + 1) * *recordSize - 6;
            if (!block.Has(words, 4)) {
                return false;
            }
            const std::uint16_t child = paradox::IndexWord(block.data() + words);
            const std::uint16_t statistic = paradox::IndexWord(block.data() + words + 2);
            if (level == 1) {
                if (statistic > maxPerBlock) {
                    return false;
                }
                sum += statistic;
            } else if (!visit(child, level - 1)) {
                return false;
            }
        }
        return true;
    };
    if (!visit(*root, *levels)) {
        return std::nullopt;
    }
    return sum;
}

std::string BlockSizeText(std::uint32_t blockSize) {
    return std::to_string(blockSize / 1024) + " KB blocks";
}

} // namespace

std::string RecordCeiling::Describe() const {
    std::string text = "the header counts " + std::to_string(headerCount);
    if (indexCount) {
        text += ", the primary index counts " + std::to_string(*indexCount);
    }
    text += ", the blocks hold " + std::to_string(storedLayoutCount);
    text += storedBlockSize != 0 ? " under " + BlockSizeText(storedBlockSize)
                                 : " under the stored block size";
    if (bestLayoutCount > storedLayoutCount) {
        text += ", " + std::to_string(bestLayoutCount) + " under " + BlockSizeText(bestBlockSize) +
                " after a " + std::to_string(bestHeaderSize) + "-byte header";
    }
    return text;
}

RecordCeiling EstimateRecordCeiling(const std::filesystem::path& db,
                                    const std::filesystem::path& px) {
    RecordCeiling ceiling;
    std::string error;
    const auto dbFile = paradox::MappedFile::Open(db, &error);
    if (!dbFile) {
        return ceiling;
    }
    const paradox::ByteView file = dbFile->View();
    const std::uint32_t recordSize = file.U16LE(0).value_or(0);
    const std::uint32_t storedHeaderSize = file.U16LE(2).value_or(0);
    const std::uint32_t storedBlockSize = std::uint32_t{file.U8(5).value_or(0)} * 1024;
    if (recordSize == 0) {
        return ceiling;
    }
    // A count larger than the file's bytes can hold records is no evidence of records.
    ceiling.headerCount =
        std::min<std::uint64_t>(file.U32LE(6).value_or(0), file.size() / recordSize);
    ceiling.storedBlockSize = IsBlockSize(storedBlockSize) ? storedBlockSize : 0;
    Chain stored;
    if (ceiling.storedBlockSize != 0) {
        stored = WalkChain(file, storedHeaderSize, ceiling.storedBlockSize, recordSize);
        ceiling.storedLayoutCount = stored.records;
    }
    // Header sizes: the stored one, the ones later levels write, and the one that makes the
    // blocks fill the file exactly (level 3.0 headers end wherever their fields do).
    // A layout is walked once: the same layout finds the same chain.
    std::map<std::pair<std::uint64_t, std::uint32_t>, std::uint64_t> walked;
    if (ceiling.storedBlockSize != 0) {
        walked[{storedHeaderSize, ceiling.storedBlockSize}] = stored.records;
    }
    for (const std::uint32_t blockSize : kBlockSizes) {
        const std::array<std::uint64_t, 4> headerSizes = {storedHeaderSize, 0x800, 0x1000,
                                                          file.size() % blockSize};
        for (const std::uint64_t headerSize : headerSizes) {
            const auto [at, first] = walked.try_emplace({headerSize, blockSize}, 0);
            if (first) {
                at->second = WalkChain(file, headerSize, blockSize, recordSize).records;
            }
            const std::uint64_t count = at->second;
            if (count > ceiling.bestLayoutCount) {
                ceiling.bestLayoutCount = count;
                ceiling.bestBlockSize = blockSize;
                ceiling.bestHeaderSize = static_cast<std::uint32_t>(headerSize);
            }
        }
    }
    if (!px.empty()) {
        if (const auto pxFile = paradox::MappedFile::Open(px, &error)) {
            const std::uint32_t maxPerBlock = (kBlockSizes.back() - kBlockHeaderSize) / recordSize;
            ceiling.indexCount = IndexLeafCount(pxFile->View(), maxPerBlock);
        }
    }
    // A count above a whole chain (from block 1 to the last block the header names, with as
    // many blocks as it names, every last-record offset valid) is stale, not a sign of lost
    // records, unless another witness confirms it: records do not leave a block whose header
    // stays consistent, while a count written apart from the blocks is what an interrupted
    // update leaves behind. So the header's count gives way to such a chain unless the primary
    // index (when it reads whole) counts more too, and an index out of date gives way when the
    // header's count agrees with the chain. When both count more, both stand.
    const bool chainWhole = stored.ended && stored.lastBlock == file.U16LE(0x10).value_or(0) &&
                            stored.blocks == file.U16LE(0x0A).value_or(0);
    if (chainWhole) {
        const std::uint64_t chain = stored.records;
        const bool headerMore = ceiling.headerCount > chain;
        const bool indexMore = ceiling.indexCount.value_or(0) > chain;
        if (headerMore && !indexMore) {
            ceiling.staleHeaderCount = ceiling.headerCount;
            ceiling.headerCount = chain;
        }
        if (indexMore && !headerMore) {
            ceiling.staleIndexCount = *ceiling.indexCount;
            ceiling.indexCount = chain;
        }
    }
    ceiling.most = std::max({ceiling.headerCount, ceiling.storedLayoutCount,
                             ceiling.bestLayoutCount, ceiling.indexCount.value_or(0)});
    return ceiling;
}

} // namespace tutil
