#pragma once

// An index checker of the writer's tests, written from the format's consistency rules and
// independent of the library's own index checks: walks an index file (.PX, or the Y file of
// an X file) from its root and compares it with the data file's chain.

#include "paradox/Codec.h"
#include "paradox/TableReader.h"

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace writertest {

struct IndexWalk {
    std::vector<std::string> problems;
    std::vector<std::uint16_t> leafTargets; // level-1 entries' data blocks, in tree order
    std::uint32_t entries = 0;
};

inline std::uint32_t IndexNumber(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(((p[0] << 8) | p[1]) ^ 0x8000);
}

class IndexWalker {
public:
    IndexWalker(const paradox::TableReader& data, const paradox::TableReader& index,
                std::uint16_t keyLength)
        : data_(data), index_(index), keyLength_(keyLength) {}

    IndexWalk Walk() {
        const auto& h = index_.Header();
        if (h.recordSize != keyLength_ + 6) {
            Problem("index record size " + std::to_string(h.recordSize));
        }
        if (h.indexLevels > 0) {
            Visit(h.indexRoot, h.indexLevels, nullptr);
        }
        if (walk_.entries != h.numRecords) {
            Problem("header says " + std::to_string(h.numRecords) + " entries, tree has " +
                    std::to_string(walk_.entries));
        }
        if (walk_.leafTargets != data_.ChainBlocks()) {
            Problem("level-1 entries do not list the data chain in order");
        }
        std::uint64_t sum = 0;
        for (auto c : leafCounts_) {
            sum += c;
        }
        if (sum != data_.Header().numRecords) {
            Problem("level-1 statistics add up to " + std::to_string(sum));
        }
        return walk_;
    }

private:
    void Problem(std::string text) { walk_.problems.push_back(std::move(text)); }

    // Returns the records below `block`; `firstKey` receives the key of its first entry.
    std::uint32_t Visit(std::uint16_t block, int level, std::vector<std::uint8_t>* firstKey) {
        if (!visited_.insert(block).second) {
            Problem("index block " + std::to_string(block) + " reached twice");
            return 0;
        }
        const paradox::ByteView bytes = index_.BlockBytes(block);
        const auto last = bytes.S16LE(4).value_or(-1);
        const std::uint16_t recordSize = keyLength_ + 6;
        if (last < 0 || last % recordSize != 0) {
            Problem("index block " + std::to_string(block) + " is empty or misaligned");
            return 0;
        }
        std::uint32_t total = 0;
        for (int offset = 0; offset <= last; offset += recordSize) {
            const std::uint8_t* entry = bytes.data() + 6 + offset;
            ++walk_.entries;
            const std::uint32_t child = IndexNumber(entry + keyLength_);
            const std::uint32_t stat = IndexNumber(entry + keyLength_ + 2);
            if (IndexNumber(entry + keyLength_ + 4) != 0) {
                Problem("third index number not 0");
            }
            std::vector<std::uint8_t> childKey;
            std::uint32_t below = 0;
            if (level == 1) {
                walk_.leafTargets.push_back(static_cast<std::uint16_t>(child));
                leafCounts_.push_back(stat);
                const paradox::ByteView target = data_.BlockBytes(child);
                const auto targetLast = target.S16LE(4).value_or(-1);
                below = targetLast < 0 ? 0 : targetLast / data_.Header().recordSize + 1;
                if (target.size() >= 6u + keyLength_) {
                    childKey.assign(target.data() + 6, target.data() + 6 + keyLength_);
                }
            } else {
                below = Visit(static_cast<std::uint16_t>(child), level - 1, &childKey);
            }
            if ((below & 0xFFFF) != stat) {
                Problem("statistic " + std::to_string(stat) + " for " + std::to_string(below) +
                        " records below block " + std::to_string(child));
            }
            if (childKey.size() != keyLength_ ||
                std::memcmp(childKey.data(), entry, keyLength_) != 0) {
                Problem("key of entry for block " + std::to_string(child) +
                        " differs from its first key");
            }
            if (offset == 0 && firstKey != nullptr) {
                firstKey->assign(entry, entry + keyLength_);
            }
            total += below;
        }
        return total;
    }

    const paradox::TableReader& data_;
    const paradox::TableReader& index_;
    std::uint16_t keyLength_;
    IndexWalk walk_;
    std::vector<std::uint32_t> leafCounts_;
    std::set<std::uint16_t> visited_;
};

} // namespace writertest
