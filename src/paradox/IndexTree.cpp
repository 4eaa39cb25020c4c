#include "paradox/IndexTree.h"

#include "paradox/FieldType.h"
#include "paradox/FindingLimiter.h"
#include "paradox/IndexStatistic.h"

#include <cstring>
#include <vector>

namespace paradox {
namespace {

// A tree of 65535 blocks holding at least two entries each is at most 16 levels deep.
constexpr unsigned kMaxLevels = 16;

// The bookkeeping byte an index copies from its data file (index 0x2C against data 0x2D).
// Measured on tables written by the original software: equal under the plain collation, and
// 2 or 3 above the collation byte under any other collation.
bool BookkeepingMatches(std::uint8_t dataCount, std::uint8_t indexCount, std::uint8_t sortOrder) {
    const auto diff = static_cast<std::uint8_t>(indexCount - dataCount);
    if (diff == 0) {
        return true;
    }
    return sortOrder != 0 && (diff == static_cast<std::uint8_t>(sortOrder + 2) ||
                              diff == static_cast<std::uint8_t>(sortOrder + 3));
}

class TreeWalk {
public:
    TreeWalk(const TableReader& data, const TableReader& index, FindingList& findings)
        : data_(data), index_(index), report_(findings, index.FileName()),
          keyLength_(index.Header().recordSize - 6u), entrySize_(index.Header().recordSize),
          visited_(index.BlocksPresent() + 1, false) {}

    void Run();

private:
    struct Leaf {
        std::uint16_t child;
        std::uint16_t statistic;
        const std::uint8_t* key;
        std::uint16_t fromBlock;
        std::uint16_t slot;
    };
    // Entries of an index block, as its header says, bounded by the block and the file.
    std::uint16_t EntryCount(std::uint16_t block, ByteView bytes);
    // Visits a block at `level` (1 = leaves); returns the sum of its statistics.
    std::uint64_t Visit(std::uint16_t block, unsigned level, std::uint16_t parent,
                        const std::uint8_t* parentKey);
    void CompareLeaves();

    const TableReader& data_;
    const TableReader& index_;
    FindingLimiter report_;
    const std::size_t keyLength_;
    const std::size_t entrySize_;
    std::vector<bool> visited_;
    std::vector<Leaf> leaves_;
    std::uint64_t entries_ = 0;
};

std::uint16_t TreeWalk::EntryCount(std::uint16_t block, ByteView bytes) {
    const auto offset = static_cast<std::int32_t>(bytes.S16LE(4).value_or(0));
    const auto size = static_cast<std::int32_t>(entrySize_);
    if (offset < 0) {
        return 0;
    }
    auto count = static_cast<std::size_t>(offset / size + 1);
    const std::size_t fits = bytes.size() >= 6 ? (bytes.size() - 6) / entrySize_ : 0;
    if (count > fits) {
        report_.Damage(FindingCode::IndexTreeBad, block,
                       Detail(DetailKind::IndexEntriesClaimed).Found(count).Expected(fits));
        count = fits;
    }
    return static_cast<std::uint16_t>(count);
}

std::uint64_t TreeWalk::Visit(std::uint16_t block, unsigned level, std::uint16_t parent,
                              const std::uint8_t* parentKey) {
    if (block == 0 || block > index_.BlocksPresent()) {
        report_.Damage(FindingCode::IndexTreeBad, parent,
                       Detail(DetailKind::IndexChildOutsideFile).Block(block));
        return 0;
    }
    if (visited_[block]) {
        report_.Damage(FindingCode::IndexTreeBad, parent,
                       Detail(DetailKind::IndexBlockTwice).Block(block));
        return 0;
    }
    visited_[block] = true;
    const ByteView bytes = index_.BlockBytes(block);
    const std::uint16_t count = EntryCount(block, bytes);
    entries_ += count;
    if (count == 0 && parent != 0) {
        report_.Damage(FindingCode::IndexTreeBad, block, Detail(DetailKind::IndexBlockEmpty));
    }
    const std::uint8_t* base = bytes.data() + 6;
    if (parentKey != nullptr && count > 0 && std::memcmp(parentKey, base, keyLength_) != 0) {
        report_.Damage(FindingCode::IndexKeyMismatch, parent,
                       Detail(DetailKind::IndexKeyDiffersFromBlock).Block(block));
    }
    std::uint64_t sum = 0;
    for (std::uint16_t slot = 0; slot < count; ++slot) {
        const std::uint8_t* entry = base + slot * entrySize_;
        const std::uint16_t child = IndexWord(entry + keyLength_);
        const std::uint16_t statistic = IndexWord(entry + keyLength_ + 2);
        if (level == 1) {
            leaves_.push_back({child, statistic, entry, block, slot});
        } else {
            const std::uint64_t below = Visit(child, level - 1, block, entry);
            // Large secondary indexes have subtrees of more than 65535 records.
            if (!StatisticFits(below, statistic)) {
                report_.Add(FindingCode::IndexStatisticMismatch, Severity::Damage, block, slot,
                            StatisticDetail(statistic, child, below));
            }
        }
        sum += statistic;
    }
    return sum;
}

void TreeWalk::CompareLeaves() {
    const auto& chain = data_.ChainBlocks();
    const auto& counts = data_.ChainCounts();
    std::vector<std::int32_t> position(data_.BlocksPresent() + 1, -1);
    for (std::size_t i = 0; i < chain.size(); ++i) {
        position[chain[i]] = static_cast<std::int32_t>(i);
    }
    bool orderReported = false;
    std::uint64_t statistics = 0;
    for (std::size_t i = 0; i < leaves_.size(); ++i) {
        const Leaf& leaf = leaves_[i];
        statistics += leaf.statistic;
        const std::int32_t at = leaf.child < position.size() ? position[leaf.child] : -1;
        if (at < 0) {
            report_.Add(FindingCode::IndexBlocksMismatch, Severity::Damage, leaf.fromBlock,
                        leaf.slot, Detail(DetailKind::IndexPointsOutsideChain).Block(leaf.child));
            continue;
        }
        if (!orderReported && static_cast<std::size_t>(at) != i) {
            orderReported = true;
            report_.Add(FindingCode::IndexBlocksMismatch, Severity::Damage, leaf.fromBlock,
                        leaf.slot,
                        Detail(DetailKind::IndexEntryChainPosition)
                            .Entry(i + 1)
                            .Block(leaf.child)
                            .Found(at + 1));
        }
        const std::uint16_t held = counts[static_cast<std::size_t>(at)];
        if (held != leaf.statistic) {
            report_.Add(FindingCode::IndexStatisticMismatch, Severity::Damage, leaf.fromBlock,
                        leaf.slot, StatisticDetail(leaf.statistic, leaf.child, held));
        }
        if (held > 0) {
            const std::uint8_t* first = data_.BlockBytes(leaf.child).data() + 6;
            if (std::memcmp(first, leaf.key, keyLength_) != 0) {
                report_.Add(FindingCode::IndexKeyMismatch, Severity::Damage, leaf.fromBlock,
                            leaf.slot,
                            Detail(DetailKind::IndexKeyDiffersFromRecord).Block(leaf.child));
            }
        }
    }
    if (leaves_.size() != chain.size()) {
        report_.Damage(
            FindingCode::IndexBlocksMismatch, -1,
            Detail(DetailKind::LeafEntriesForBlocks).Found(leaves_.size()).Expected(chain.size()));
    }
    if (statistics != data_.Header().numRecords) {
        report_.Damage(FindingCode::IndexCountMismatch, -1,
                       StatisticSumDetail(statistics, data_.Header().numRecords));
    }
}

void TreeWalk::Run() {
    const TableHeader& index = index_.Header();
    if (keyLength_ == 0 || keyLength_ > data_.Header().recordSize || entrySize_ < 7 ||
        entrySize_ > index.BlockSize() - 6) {
        return; // the header check has reported the key layout
    }
    if (index.indexLevels == 0) {
        if (data_.RecordCount() > 0) {
            report_.Damage(FindingCode::IndexTreeBad, -1,
                           Detail(DetailKind::IndexEmptyTableHolds).Expected(data_.RecordCount()));
        }
        return;
    }
    if (index.indexLevels > kMaxLevels) {
        return; // reported by the header check
    }
    Visit(index.indexRoot, index.indexLevels, 0, nullptr);
    CompareLeaves();
    if (entries_ != index.numRecords) {
        report_.Damage(
            FindingCode::IndexCountMismatch, -1,
            Detail(DetailKind::TreeEntriesHeaderSays).Found(entries_).Expected(index.numRecords));
    }
}

} // namespace

bool CheckIndexAgainstData(const TableHeader& data, const TableHeader& index,
                           const std::string& file, FindingList& findings) {
    auto damage = [&](FindingCode code, FindingDetail detail) {
        findings.Add(code, Severity::Damage, file, -1, -1, std::move(detail));
    };
    if (!index.IsPrimaryStyleIndex()) {
        damage(FindingCode::IndexHeaderBad,
               Detail(DetailKind::FileTypeNotIndex).Found(index.fileType));
        return false;
    }
    bool keysMatch = true;
    const auto keyCount = static_cast<std::size_t>(std::max<int>(0, data.primaryKeyFields));
    if (index.fields.size() != keyCount || keyCount > data.fields.size()) {
        keysMatch = false;
        damage(FindingCode::IndexKeyFieldsMismatch,
               Detail(DetailKind::KeyFieldCounts).Found(index.fields.size()).Expected(keyCount));
    } else {
        for (std::size_t i = 0; i < keyCount; ++i) {
            const FieldSpec& inIndex = index.fields[i];
            const FieldSpec& inTable = data.fields[i];
            if (inIndex.typeCode != inTable.typeCode || inIndex.sizeByte != inTable.sizeByte) {
                std::string indexType = FieldTypeText(inIndex.typeCode, inIndex.sizeByte);
                std::string tableType = FieldTypeText(inTable.typeCode, inTable.sizeByte);
                if (indexType == tableType) { // a fixed-size type with another size byte
                    indexType += " of size " + std::to_string(inIndex.sizeByte);
                    tableType += " of size " + std::to_string(inTable.sizeByte);
                }
                keysMatch = false;
                damage(FindingCode::IndexKeyFieldsMismatch, Detail(DetailKind::KeyFieldTypes)
                                                                .Field(i + 1)
                                                                .Found(indexType)
                                                                .Expected(tableType));
                break;
            }
        }
    }
    if (index.indexLevels > kMaxLevels) {
        damage(FindingCode::IndexHeaderBad,
               Detail(DetailKind::IndexLevels).Found(index.indexLevels));
    } else if (index.indexLevels > 0 &&
               (index.indexRoot == 0 || index.indexRoot > index.fileBlocks)) {
        damage(FindingCode::IndexHeaderBad,
               Detail(DetailKind::RootBlockOf).Block(index.indexRoot).Extra(index.fileBlocks));
    }
    if (index.indexLevels == 0 && data.numRecords > 0) {
        damage(FindingCode::IndexCountMismatch,
               Detail(DetailKind::IndexEmptyTableHas).Expected(data.numRecords));
    } else if (index.indexLevels > 0 && data.numRecords == 0) {
        damage(FindingCode::IndexCountMismatch, Detail(DetailKind::IndexEntriesTableEmpty));
    } else if (index.indexLevels == 1 && index.numRecords != data.blocksInUse) {
        damage(FindingCode::IndexCountMismatch, Detail(DetailKind::IndexEntriesForBlocks)
                                                    .Found(index.numRecords)
                                                    .Expected(data.blocksInUse));
    } else if (index.indexLevels > 1 && index.numRecords <= data.blocksInUse) {
        damage(FindingCode::IndexCountMismatch, Detail(DetailKind::IndexEntriesInLevels)
                                                    .Found(index.numRecords)
                                                    .Extra(index.indexLevels)
                                                    .Expected(data.blocksInUse));
    }
    if (index.sortOrder != data.sortOrder) {
        damage(FindingCode::IndexOfAnotherTable,
               Detail(DetailKind::Collation).Found(index.sortOrder).Expected(data.sortOrder));
    }
    if (!BookkeepingMatches(data.changeCount1, index.indexSyncCount, data.sortOrder)) {
        findings.Add(FindingCode::IndexOutOfDate, Severity::Suspicious, file, -1, -1,
                     Detail(DetailKind::IndexChangeByte)
                         .Found(index.indexSyncCount)
                         .Expected(data.changeCount1));
    }
    return keysMatch;
}

void CheckIndexTree(const TableReader& data, const TableReader& index, FindingList& findings) {
    TreeWalk(data, index, findings).Run();
}

} // namespace paradox
