#pragma once

#include "paradox/TableReader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace paradox {

// The quick proof that every record of a secondary index's X file agrees with the table: when
// each table block's keys rise strictly (one record per key and block), every X record names
// a chain block, and the X records, as (block, indexed values, key), are the same multiset as
// the table records, then each X record finds its own record in its block with the same bytes.
// The two multisets are compared through sums of keyed hashes, so the proof takes each file
// in one pass in file order, and its two sides may be taken in separate passes: the X file's
// when the index is checked, the table's along with the other checks of the table's records
// (on another thread, too, as long as each side is taken by one thread).
class SecondaryProof {
public:
    // `source`: the table field of each of the `secondary` indexed X fields; the X record holds
    // those fields, then
    // the table's key of `keyLength` bytes, then at `blockNumberOffset` the block number.
    SecondaryProof(const TableReader& table, const std::vector<std::size_t>& source,
                   std::size_t secondary, std::size_t keyLength, std::uint32_t blockNumberOffset);

    // Both compare the same fields at the same places.
    bool SameLayout(const SecondaryProof& other) const;

    // The X file's side; `position`: the chain position of each table block number, -1 for a
    // block outside the chain.
    void TakeX(const TableReader& x, const std::vector<std::int32_t>& position);
    // Whether the X side leaves the proof possible; the table's side is not needed otherwise.
    bool Possible() const { return xTaken_ && allInChain_; }
    // The table's side, record by record in chain order.
    void TakeTableRecord(const RecordRef& row) { TakeTableRecord(row, table_); }

    // The table's side of a stretch of the chain taken apart (on another thread), added with
    // AddTableSide once taken. A stretch starts from the record before it (`previous`, in
    // `previousBlock`), so that the order within each block is judged as in one pass.
    struct TableSide {
        std::uint64_t records = 0;
        std::uint64_t sum = 0;
        bool ascending = true;
        const std::uint8_t* previous = nullptr;
        std::uint16_t previousBlock = 0;
        std::uint32_t seedBlock = 0x10000; // the block `seed` is for; none at first
        std::uint64_t seed = 0;
    };
    void TakeTableRecord(const RecordRef& row, TableSide& side) const;
    void AddTableSide(const TableSide& side);

    // False means "look record by record".
    bool Agrees() const;

private:
    struct Segment {
        std::size_t inTable;
        std::size_t inX;
        std::size_t length;
        bool operator==(const Segment&) const = default;
    };
    // One 8-byte word of the hashed tuple: `bytes` (1 to 8; 0 for the zero word that pads
    // an odd count) at `offset`, shifted right by `shift` bits when 8 are read.
    struct Word {
        std::uint32_t offset;
        std::uint8_t bytes;
        std::uint8_t shift;
    };
    static constexpr std::size_t kKeys = 33;
    void PlanWords();
    std::uint64_t BlockSeed(std::uint16_t block) const;
    std::uint64_t Hash(std::uint64_t seed, const std::uint8_t* record,
                       const std::vector<Word>& words) const;

    std::vector<Segment> segments_; // the indexed fields, then the key
    std::size_t keyLength_;
    std::uint32_t blockNumberOffset_;
    std::array<std::uint64_t, kKeys + 1> keys_{};
    std::vector<Word> tableWords_; // an even number, read in pairs
    std::vector<Word> xWords_;     // the same words where the X record holds them
    std::vector<std::uint64_t> wordKeys_;
    bool xTaken_ = false;
    bool allInChain_ = true;
    std::uint64_t xRecords_ = 0;
    std::uint64_t xSum_ = 0;
    TableSide table_;
};

// Both sides of the proof in turn.
bool SecondaryAgreesAsAWhole(const TableReader& x, const TableReader& table,
                             const std::vector<std::size_t>& source, std::size_t secondary,
                             std::size_t keyLength, std::uint32_t blockNumberOffset,
                             const std::vector<std::int32_t>& position);

} // namespace paradox
