#include "paradox/SecondaryIndex.h"

#include "paradox/BlockHeader.h"
#include "paradox/Codec.h"
#include "paradox/Collation.h"
#include "paradox/Family.h"
#include "paradox/FindingLimiter.h"
#include "paradox/IndexTree.h"
#include "paradox/MappedFile.h"
#include "paradox/NameCase.h"
#include "paradox/SecondaryIndexProof.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace paradox {
namespace {

// ASCII letters folded to upper case, every other byte as it is.
constexpr std::array<std::uint8_t, 256> kUpper = [] {
    std::array<std::uint8_t, 256> table{};
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = static_cast<std::uint8_t>(i >= 'a' && i <= 'z' ? i - ('a' - 'A') : i);
    }
    return table;
}();

// Alpha values of a case-insensitive index are stored upper-cased through the sort order's
// map (`upper`: 'é' may become 'E'); where the map is not known, a byte outside ASCII
// matches any byte outside ASCII. Bytes after the terminating NUL are not part of the value.
bool SameAlpha(const std::uint8_t* indexed, const std::uint8_t* stored, std::size_t length,
               const Collation& upper) {
    if (std::memcmp(indexed, stored, length) == 0) {
        return true;
    }
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t a = indexed[i];
        const std::uint8_t b = stored[i];
        if (a == 0 || b == 0) {
            return a == b;
        }
        if ((a >= 0x80 && b >= 0x80) || a == upper.Upper(b)) {
            continue;
        }
        if (kUpper[a] != kUpper[b]) {
            return false;
        }
    }
    return true;
}

bool SameValue(const FieldSpec& field, const std::uint8_t* indexed, const std::uint8_t* stored,
               const Collation& upper) {
    if (field.typeCode == static_cast<std::uint8_t>(FieldType::Alpha)) {
        return SameAlpha(indexed, stored, field.ByteLength(), upper);
    }
    return std::memcmp(indexed, stored, field.ByteLength()) == 0;
}

// The records of one table block, searched for a key. A block whose keys rise strictly (every
// healthy block) is searched by halving; any other block row by row, so that the first record
// with the key is the one found, as in a damaged block with repeated keys.
class BlockSearch {
public:
    BlockSearch(const std::uint8_t* rows, std::uint16_t count, std::uint32_t recordSize,
                std::size_t keyLength)
        : rows_(rows), count_(count), recordSize_(recordSize), keyLength_(keyLength) {
        for (std::uint16_t slot = 1; slot < count && ascending_; ++slot) {
            ascending_ = CompareKeyBytes(Row(slot - 1u), Row(slot), keyLength) < 0;
        }
    }

    const std::uint8_t* Find(const std::uint8_t* key) const {
        if (!ascending_) {
            for (std::uint16_t slot = 0; slot < count_; ++slot) {
                if (std::memcmp(Row(slot), key, keyLength_) == 0) {
                    return Row(slot);
                }
            }
            return nullptr;
        }
        std::size_t low = 0;
        std::size_t high = count_;
        while (low < high) {
            const std::size_t middle = (low + high) / 2;
            const int order = CompareKeyBytes(Row(middle), key, keyLength_);
            if (order == 0) {
                return Row(middle);
            }
            if (order < 0) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        return nullptr;
    }

private:
    const std::uint8_t* Row(std::size_t slot) const { return rows_ + slot * recordSize_; }

    const std::uint8_t* rows_;
    std::uint16_t count_;
    std::uint32_t recordSize_;
    std::size_t keyLength_;
    bool ascending_ = true;
};

// Where each X field comes from in a table record: the indexed fields, then (keyed tables)
// the key fields, which ForeignFieldProblem found to be the table's. Returns false when one of
// them lies outside the table's record.
bool MapFields(const TableReader& table, const std::vector<std::uint16_t>& indexed,
               std::vector<std::size_t>& source, FindingDetail& problem) {
    const std::size_t secondary = indexed.size();
    const TableHeader& t = table.Header();
    const std::size_t keys = KeyFieldsPresent(t);
    for (std::size_t i = 0; i < secondary + keys; ++i) {
        const std::size_t field = i < secondary ? (indexed[i] & ~kDescending) - 1u : i - secondary;
        if (!table.FieldInRecord(field)) {
            problem = Detail(DetailKind::TableFieldOutsideRecord).Field(field + 1);
            return false;
        }
        source.push_back(field);
    }
    return true;
}

// An X record that does not agree with the table record its block number leads to. Kept
// aside so that the findings come out in the X file's order, whatever order the X records
// were checked in.
struct Mismatch {
    enum class Kind : std::uint8_t { NotInChain, NotInBlock, ValueDiffers };
    std::uint32_t chainPosition; // of the X block, then the slot: the X file's order
    std::uint16_t block;
    std::uint16_t slot;
    const std::uint8_t* record;
    Kind kind;
    std::int64_t pointsAt = 0; // NotInChain: the block number the X record holds
    std::size_t field = 0;     // ValueDiffers: the first differing indexed field
};

// The X records taken block by block of the table they name: bucket n holds the records
// naming the n-th chain block, at byBlock[start[n]] up to byBlock[start[n + 1]].
struct Buckets {
    struct Entry {
        const std::uint8_t* record;
        std::uint16_t block;
        std::uint16_t slot;
    };
    std::vector<std::size_t> start;
    std::vector<Entry> byBlock;
};

// Every record of a maintained X file names the table block holding its record; that block
// must hold a record with the same key and the same indexed values. The X records are taken
// block by block of the table (bucketed by the block they name), so that each table block is
// searched while it is in the cache.
class RecordsAgainstTable {
public:
    RecordsAgainstTable(const TableReader& x, const TableReader& table,
                        const std::vector<std::size_t>& source, std::size_t secondary,
                        SecondaryProof* deferred)
        : x_(x), table_(table), t_(table.Header()), source_(source), secondary_(secondary),
          keys_(KeyFieldsPresent(t_)), keyLength_(LeadingFieldsLength(t_.fields, keys_)),
          xOffsets_(FieldOffsetsOf(x.Header().fields)), position_(ChainPositions(table)),
          xPosition_(ChainPositions(x)),
          collation_(Collation::ForSortOrder(t_.sortOrder, t_.sortOrderName)), deferred_(deferred) {
    }

    void Check(FindingList& findings) {
        const std::size_t blockNumberField = secondary_ + keys_;
        if (blockNumberField >= xOffsets_.size()) {
            return;
        }
        blockNumberOffset_ = xOffsets_[blockNumberField];
        if (deferred_ != nullptr &&
            deferred_->SameLayout(
                SecondaryProof(table_, source_, secondary_, keyLength_, blockNumberOffset_))) {
            // The caller takes the table's side with its own pass over the records.
            deferred_->TakeX(x_, position_);
            return;
        }
        if (SecondaryAgreesAsAWhole(x_, table_, source_, secondary_, keyLength_, blockNumberOffset_,
                                    position_)) {
            return;
        }
        std::vector<Mismatch> mismatches;
        const Buckets buckets = BucketByTableBlock(mismatches);
        SearchTableBlocks(buckets, mismatches);
        Report(mismatches, findings);
    }

private:
    // Each block's place in the file's chain, by block number; -1 for blocks off the chain.
    static std::vector<std::int32_t> ChainPositions(const TableReader& file) {
        std::vector<std::int32_t> position(file.BlocksPresent() + 1, -1);
        const auto& chain = file.ChainBlocks();
        for (std::size_t i = 0; i < chain.size(); ++i) {
            position[chain[i]] = static_cast<std::int32_t>(i);
        }
        return position;
    }

    std::int32_t ChainPositionOf(const std::uint8_t* xRecord, std::int64_t& number) const {
        // Blk Num is a block number, unsigned like every block number: the word of a Short
        // with its top bit inverted, so blocks above 32767 (big tables) read right and block
        // 32768 is stored as two zero bytes.
        number = IndexWord(xRecord + blockNumberOffset_);
        return number > 0 && static_cast<std::uint64_t>(number) < position_.size()
                   ? position_[static_cast<std::size_t>(number)]
                   : -1;
    }

    // The first indexed field whose value differs between the X record and the table row;
    // secondary_ when none does.
    std::size_t FirstDifference(const std::uint8_t* xRecord, const std::uint8_t* row) const {
        for (std::size_t i = 0; i < secondary_; ++i) {
            const std::size_t field = source_[i];
            if (!SameValue(t_.fields[field], xRecord + xOffsets_[i],
                           row + table_.FieldOffsets()[field], collation_)) {
                return i;
            }
        }
        return secondary_;
    }

    // First pass: a counting sort of the X records by the table block they name; records
    // naming no chain block are mismatches already.
    Buckets BucketByTableBlock(std::vector<Mismatch>& mismatches) const {
        Buckets buckets;
        buckets.start.assign(table_.ChainBlocks().size() + 1, 0);
        x_.ForEachRecord([&](const RecordRef& record) {
            std::int64_t number = 0;
            const std::int32_t at = ChainPositionOf(record.bytes, number);
            if (at < 0) {
                mismatches.push_back({static_cast<std::uint32_t>(xPosition_[record.block]),
                                      record.block, record.slot, record.bytes,
                                      Mismatch::Kind::NotInChain, number});
            } else {
                ++buckets.start[static_cast<std::size_t>(at) + 1];
            }
        });
        for (std::size_t i = 1; i < buckets.start.size(); ++i) {
            buckets.start[i] += buckets.start[i - 1];
        }
        buckets.byBlock.resize(buckets.start.back());
        std::vector<std::size_t> next(buckets.start.begin(), buckets.start.end() - 1);
        x_.ForEachRecord([&](const RecordRef& record) {
            std::int64_t number = 0;
            const std::int32_t at = ChainPositionOf(record.bytes, number);
            if (at >= 0) {
                buckets.byBlock[next[static_cast<std::size_t>(at)]++] = {record.bytes, record.block,
                                                                         record.slot};
            }
        });
        return buckets;
    }

    // Second pass: each bucket's X records looked up in the one table block they name.
    void SearchTableBlocks(const Buckets& buckets, std::vector<Mismatch>& mismatches) const {
        const auto& chain = table_.ChainBlocks();
        const std::uint32_t recordSize = t_.recordSize;
        const std::size_t xRecordSize = x_.Header().recordSize;
        const auto& byBlock = buckets.byBlock;
        constexpr std::size_t kPrefetchAhead = 16;
        for (std::size_t at = 0; at < chain.size(); ++at) {
            if (buckets.start[at] == buckets.start[at + 1]) {
                continue;
            }
            const BlockSearch search(table_.BlockBytes(chain[at]).data() + kBlockHeaderSize,
                                     table_.ChainCounts()[at], recordSize, keyLength_);
            for (std::size_t n = buckets.start[at]; n < buckets.start[at + 1]; ++n) {
                // The X records of a bucket lie anywhere in the X file: ask for them early.
                if (n + kPrefetchAhead < byBlock.size()) {
                    const std::uint8_t* ahead = byBlock[n + kPrefetchAhead].record;
                    __builtin_prefetch(ahead);
                    __builtin_prefetch(ahead + xRecordSize - 1);
                }
                const Buckets::Entry& e = byBlock[n];
                const std::uint8_t* match = search.Find(e.record + xOffsets_[secondary_]);
                const auto xAt = static_cast<std::uint32_t>(xPosition_[e.block]);
                if (match == nullptr) {
                    mismatches.push_back(
                        {xAt, e.block, e.slot, e.record, Mismatch::Kind::NotInBlock, 0});
                } else if (const std::size_t i = FirstDifference(e.record, match); i < secondary_) {
                    mismatches.push_back(
                        {xAt, e.block, e.slot, e.record, Mismatch::Kind::ValueDiffers, 0, i});
                }
            }
        }
    }

    // Third pass: the mismatches reported in the X file's order. A record missing from the
    // block it names is looked up by key in the whole table first.
    void Report(std::vector<Mismatch>& mismatches, FindingList& findings) const {
        if (mismatches.empty()) {
            return;
        }
        std::sort(mismatches.begin(), mismatches.end(), [](const Mismatch& a, const Mismatch& b) {
            return a.chainPosition != b.chainPosition ? a.chainPosition < b.chainPosition
                                                      : a.slot < b.slot;
        });
        FindingLimiter report(findings, x_.FileName());
        std::unordered_map<std::string_view, const std::uint8_t*> byKey;
        auto valueDiffers = [&](const Mismatch& m, std::size_t i) {
            report.Add(FindingCode::SecondaryIndexBad, Severity::Damage, m.block, m.slot,
                       Detail(DetailKind::ValueDiffers).Field(t_.fields[source_[i]].name));
        };
        for (const Mismatch& m : mismatches) {
            switch (m.kind) {
            case Mismatch::Kind::NotInChain:
                report.Add(FindingCode::SecondaryIndexBad, Severity::Damage, m.block, m.slot,
                           Detail(DetailKind::IndexPointsOutsideChain).Block(m.pointsAt));
                break;
            case Mismatch::Kind::ValueDiffers:
                valueDiffers(m, m.field);
                break;
            case Mismatch::Kind::NotInBlock: {
                // The block number is a hint: tables written by the original software carry a
                // few that went stale when blocks split. Only a key missing from the table is
                // damage.
                if (byKey.empty()) {
                    table_.ForEachRecord([&](const RecordRef& row) {
                        byKey.emplace(
                            std::string_view(reinterpret_cast<const char*>(row.bytes), keyLength_),
                            row.bytes);
                    });
                }
                const std::uint8_t* keyInX = m.record + xOffsets_[secondary_];
                auto found =
                    byKey.find(std::string_view(reinterpret_cast<const char*>(keyInX), keyLength_));
                if (found == byKey.end()) {
                    report.Add(FindingCode::SecondaryIndexBad, Severity::Damage, m.block, m.slot,
                               Detail(DetailKind::NoRecordHasKey));
                } else if (const std::size_t i = FirstDifference(m.record, found->second);
                           i < secondary_) {
                    valueDiffers(m, i);
                }
                break;
            }
            }
        }
    }

    const TableReader& x_;
    const TableReader& table_;
    const TableHeader& t_;
    const std::vector<std::size_t>& source_;
    const std::size_t secondary_;
    const std::size_t keys_;
    const std::size_t keyLength_;
    const std::vector<std::uint32_t> xOffsets_;
    const std::vector<std::int32_t> position_;
    const std::vector<std::int32_t> xPosition_;
    const Collation& collation_; // the table's sort order, for case-insensitive values
    SecondaryProof* deferred_;
    std::uint32_t blockNumberOffset_ = 0;
};

void CheckRecordsAgainstTable(const TableReader& x, const TableReader& table,
                              const std::vector<std::size_t>& source, std::size_t secondary,
                              SecondaryProof* deferred, FindingList& findings) {
    RecordsAgainstTable(x, table, source, secondary, deferred).Check(findings);
}

// Whether the records of an X file with header `x` are compared with the table's.
bool RecordsCompared(const TableReader& table, const TableHeader& x, bool fieldsMatch) {
    return x.IsMaintainedData() && fieldsMatch && table.Header().Keyed() &&
           x.FieldBytes() <= x.recordSize;
}

// A maintained X file copies the change byte of the table's primary index (X 0x2F = PX 0x2C
// in every file written by the original software); a difference hints at a stale index.
void CheckPrimaryIndexLink(const TableReader& table, const TableHeader& x, const std::string& name,
                           FindingList& findings) {
    if (!x.IsMaintainedData() || !table.Header().Keyed()) {
        return;
    }
    const auto px = FindFamily(table.Path()).px;
    if (px.empty()) {
        return;
    }
    std::string error;
    const auto file = MappedFile::Open(px, &error);
    if (!file) {
        return;
    }
    FindingList ignored; // the primary index's own check reports its header
    const auto header = ParseHeader(file->View(), px.filename().string(), ignored);
    if (header && header->indexSyncCount != x.byte2F) {
        findings.Add(FindingCode::IndexOutOfDate, Severity::Suspicious, name, -1, -1,
                     Detail(DetailKind::PrimaryChangeByteCopied)
                         .Found(header->indexSyncCount)
                         .Expected(x.byte2F));
    }
}

} // namespace

SecondaryIndexSpec ReadSecondaryIndexSpec(const TableHeader& x, const std::string& extension,
                                          const TableSchema& table) {
    SecondaryIndexSpec spec;
    spec.extension = UpperAscii(extension);
    spec.composite = x.IsCompositeData() || x.Is(FileType::CompositeIndex);
    spec.maintained = x.IsMaintainedData();
    spec.caseInsensitive = spec.composite && (x.byte55 & kXgCaseInsensitive) != 0;
    spec.blockSizeCode = x.blockSizeCode;
    const std::size_t trailing = table.Keyed() ? table.keyFieldCount + 1u : 3u;
    const std::size_t secondary = x.fields.size() > trailing ? x.fields.size() - trailing : 0;
    spec.fieldNumbers = IndexedTableFields(x, secondary);
    if (!x.indexName.empty()) {
        spec.name = x.indexName;
    } else if (!spec.fieldNumbers.empty()) {
        const std::size_t field = (spec.fieldNumbers.front() & ~kDescending) - 1u;
        if (field < table.fields.size()) {
            spec.name = table.fields[field].name;
        }
    }
    return spec;
}

std::unique_ptr<SecondaryProof> PlanSecondaryProof(const TableReader& table,
                                                   const std::filesystem::path& xFile) {
    std::string error;
    const auto file = MappedFile::Open(xFile, &error);
    if (!file) {
        return nullptr;
    }
    FindingList ignored; // the index check reports the header
    const auto x = ParseHeader(file->View(), xFile.filename().string(), ignored);
    if (!x) {
        return nullptr;
    }
    const SecondaryHeaderJudgement judged = JudgeSecondaryHeader(*x, table.Header());
    std::vector<std::size_t> source;
    FindingDetail problem;
    const bool fieldsMatch = judged.fieldsReadable && !judged.foreign &&
                             MapFields(table, judged.indexed, source, problem);
    const std::size_t secondary = judged.indexed.size();
    const std::size_t keys = KeyFieldsPresent(table.Header());
    const std::vector<std::uint32_t> xOffsets = FieldOffsetsOf(x->fields);
    if (!RecordsCompared(table, *x, fieldsMatch) || secondary + keys >= xOffsets.size()) {
        return nullptr;
    }
    return std::make_unique<SecondaryProof>(table, source, secondary,
                                            LeadingFieldsLength(table.Header().fields, keys),
                                            xOffsets[secondary + keys]);
}

std::unique_ptr<TableReader> CheckSecondaryIndex(const TableReader& table,
                                                 const std::filesystem::path& xFile,
                                                 const std::filesystem::path& yFile,
                                                 FindingList& findings, SecondaryProof* deferred) {
    auto x = TableReader::Open(xFile, findings);
    if (!x) {
        return nullptr;
    }
    const TableHeader& xh = x->Header();
    const std::string name = x->FileName();
    SecondaryHeaderJudgement judged = JudgeSecondaryHeader(xh, table.Header());
    for (SecondaryHeaderFault& fault : judged.faults) {
        findings.Add(fault.code, Severity::Damage, name, -1, -1, std::move(fault.detail));
    }
    if (!judged.fieldsReadable) {
        return x;
    }
    const std::size_t secondary = judged.indexed.size();
    const std::vector<std::uint16_t>& indexed = judged.indexed;
    const bool foreign = judged.foreign;
    std::vector<std::size_t> source;
    FindingDetail problem;
    const bool fieldsMatch = !foreign && MapFields(table, indexed, source, problem);
    if (!foreign && !fieldsMatch) {
        findings.Add(FindingCode::SecondaryIndexBad, Severity::Damage, name, -1, -1, problem);
    }
    CheckPrimaryIndexLink(table, xh, name, findings);
    if (yFile.empty()) {
        findings.Add(FindingCode::IndexMissing, Severity::Damage, name, -1, -1,
                     Detail(DetailKind::IndexFileMissing).Extra(name));
    } else if (auto y = TableReader::Open(yFile, findings)) {
        const FileType expectedType =
            xh.IsCompositeData() ? FileType::CompositeIndex : FileType::SecondaryIndex;
        if (!y->Header().Is(expectedType)) {
            findings.Add(FindingCode::IndexHeaderBad, Severity::Damage, y->FileName(), -1, -1,
                         Detail(DetailKind::FileType).Found(y->Header().fileType));
        } else {
            if (CheckIndexAgainstData(xh, y->Header(), y->FileName(), findings)) {
                CheckIndexTree(*x, *y, findings);
            }
        }
    }
    if (RecordsCompared(table, xh, fieldsMatch)) {
        CheckRecordsAgainstTable(*x, table, source, secondary, deferred, findings);
    }
    return x;
}

} // namespace paradox
