#include "paradox/IndexTreeWriter.h"

#include "paradox/ByteView.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace paradox {
namespace {

// One index level: per entry the level-1 entry whose key it carries, the record count below
// it, and the child block number.
struct Level {
    std::vector<std::uint32_t> firstEntry;
    std::vector<std::uint32_t> counts;
    std::vector<std::uint16_t> children;
};

} // namespace

std::uint8_t WriteIndexTree(const std::filesystem::path& path, HeaderContent header,
                            const BlockEntries& level1, bool sync) {
    const std::uint16_t keyLength = level1.keyLength;
    const auto recordSize = static_cast<std::uint16_t>(keyLength + 6);
    const std::uint32_t blockSize = header.blockSizeCode * 1024u;
    const std::uint32_t capacity = BlockChainWriter::Capacity(blockSize, recordSize);
    if (capacity < 2) {
        throw std::invalid_argument(path.string() + ": index key too long for its block size");
    }

    // levels[0] = entries pointing at data blocks; each higher level has one entry per
    // block of the level below.
    std::vector<Level> levels(1);
    for (std::uint32_t i = 0; i < level1.Size(); ++i) {
        levels[0].firstEntry.push_back(i);
        levels[0].counts.push_back(level1.counts[i]);
        levels[0].children.push_back(level1.blocks[i]);
    }
    std::vector<std::uint32_t> blocksOf; // blocks needed by each level
    while (!levels.back().counts.empty()) {
        const Level& below = levels.back();
        const auto blocks =
            static_cast<std::uint32_t>((below.counts.size() + capacity - 1) / capacity);
        blocksOf.push_back(blocks);
        if (blocks == 1) {
            break;
        }
        Level above;
        for (std::uint32_t b = 0; b < blocks; ++b) {
            const std::uint32_t from = b * capacity;
            const auto to = static_cast<std::uint32_t>(
                std::min<std::size_t>(below.counts.size(), from + capacity));
            std::uint32_t sum = 0;
            for (std::uint32_t i = from; i < to; ++i) {
                sum += below.counts[i];
            }
            above.firstEntry.push_back(below.firstEntry[from]);
            above.counts.push_back(sum);
            above.children.push_back(0); // numbered below, once every level's size is known
        }
        levels.push_back(std::move(above));
    }
    const auto levelCount = static_cast<std::uint8_t>(blocksOf.size());

    // Block numbers: the root is 1, then each lower level in turn.
    std::vector<std::uint32_t> firstBlockOf(levelCount, 0);
    std::uint32_t next = 1;
    std::uint32_t totalEntries = 0;
    for (int l = levelCount - 1; l >= 0; --l) {
        firstBlockOf[static_cast<std::size_t>(l)] = next;
        next += blocksOf[static_cast<std::size_t>(l)];
        totalEntries +=
            static_cast<std::uint32_t>(levels[static_cast<std::size_t>(l)].counts.size());
    }
    const std::uint32_t totalBlocks = next - 1;
    if (totalBlocks > 0xFFFF) {
        throw std::runtime_error(path.string() + ": index needs more than 65535 blocks");
    }
    for (std::size_t l = 1; l < levelCount; ++l) {
        for (std::size_t i = 0; i < levels[l].children.size(); ++i) {
            levels[l].children[i] = static_cast<std::uint16_t>(firstBlockOf[l - 1] + i);
        }
    }

    header.numRecords = totalEntries;
    header.fileBlocks = static_cast<std::uint16_t>(totalBlocks);
    header.indexRoot = 1;
    header.indexLevels = levelCount;
    const std::uint32_t headerSize = HeaderSize(header);
    WriterFile file(path);
    file.Encrypt(WriterCipher::ForBlockFile(header));
    file.WriteAt(0, BuildHeader(header, recordSize));

    std::vector<std::uint8_t> block(blockSize);
    for (int l = levelCount - 1; l >= 0; --l) {
        const Level& level = levels[static_cast<std::size_t>(l)];
        for (std::uint32_t b = 0; b < blocksOf[static_cast<std::size_t>(l)]; ++b) {
            std::fill(block.begin(), block.end(), std::uint8_t{0});
            const std::uint32_t number = firstBlockOf[static_cast<std::size_t>(l)] + b;
            const std::uint32_t from = b * capacity;
            const auto to = static_cast<std::uint32_t>(
                std::min<std::size_t>(level.counts.size(), from + capacity));
            PutU16LE(block.data(),
                     static_cast<std::uint16_t>(number == totalBlocks ? 0 : number + 1));
            PutU16LE(block.data() + 2, static_cast<std::uint16_t>(number - 1));
            PutU16LE(block.data() + 4, static_cast<std::uint16_t>((to - from - 1) * recordSize));
            std::uint8_t* out = block.data() + 6;
            for (std::uint32_t i = from; i < to; ++i, out += recordSize) {
                std::memcpy(out, level1.Key(level.firstEntry[i]), keyLength);
                PutIndexNumber(out + keyLength, level.children[i]);
                PutIndexNumber(out + keyLength + 2, level.counts[i]);
                PutIndexNumber(out + keyLength + 4, 0);
            }
            file.WriteAt(headerSize + std::uint64_t{number - 1} * blockSize, block);
        }
    }
    file.Flush(sync);
    return levelCount;
}

} // namespace paradox
