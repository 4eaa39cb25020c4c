#pragma once

#include "paradox/Collation.h"
#include "paradox/Schema.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace paradox {

// Orders records (or X records) by their leading key fields as the table's software does:
// Alpha fields under the table's collation, every other field by its bytes (the encodings
// sort like their values). Where that is plain byte order (no Alpha key field, or a binary
// sort order) the whole key is compared as bytes.
class KeyComparator {
public:
    // `descending`: per key field, whether it sorts descending (empty = none does).
    KeyComparator(const std::vector<FieldSpec>& fields, std::size_t keyFields,
                  const Collation& collation, const std::vector<bool>& descending = {});
    // The primary key of `schema` under its sort order.
    explicit KeyComparator(const TableSchema& schema);

    std::size_t Length() const { return length_; }
    bool ByteOrder() const { return byteOrder_; }
    // Whether Compare is the table's own order; false under a sort order without a table.
    bool OrderKnown() const { return byteOrder_ || collation_->Known(); }
    const Collation& GetCollation() const { return *collation_; }

    // -1, 0, 1. Keys with different bytes never compare 0.
    int Compare(const std::uint8_t* a, const std::uint8_t* b) const;
    // 1 only where `a` is surely above `b` under any usual collation: fields compared in turn,
    // Alpha fields with Collation::CompareFolded; 0 as soon as a field is not decided that way
    // (an Alpha field whose bytes differ only by case or beyond a byte >= 0x80).
    int CompareFolded(const std::uint8_t* a, const std::uint8_t* b) const;

    struct Field {
        std::uint32_t offset;
        std::uint32_t length;
        bool alpha;
        bool descending;
    };
    const Field& FirstField() const { return fields_.front(); } // keys of at least one field

private:
    std::vector<Field> fields_;
    std::size_t length_ = 0;
    bool byteOrder_ = true;
    const Collation* collation_;
};

} // namespace paradox
