#pragma once

#include "paradox/Schema.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tutil {

// Tallies, field by field over a table's records, the values the field's declared type cannot
// plausibly hold: Alpha bytes that go on after the text ended or that look like a stored
// number, numbers, dates and times far outside what a table keeps, logicals that are neither
// true nor false. One odd value is damage to a record; a field whose values are nearly all
// odd is read under a type or size it does not have.
class FieldPlausibility {
public:
    explicit FieldPlausibility(const paradox::TableSchema& schema);

    void Add(const std::uint8_t* record);

    // The first field whose non-empty values are nearly all implausible, as "field 2
    // (LastName): 30 of 31 values ..."; empty when the data bears every field out.
    std::string Contradiction() const;

private:
    struct Tally {
        std::size_t number; // 0-based
        std::uint32_t offset;
        std::uint16_t length;
        paradox::FieldType type;
        std::uint64_t values = 0;      // non-empty
        std::uint64_t implausible = 0; // of them
    };
    static bool Implausible(const Tally& field, const std::uint8_t* p);

    const paradox::TableSchema& schema_;
    std::vector<Tally> tallies_;
};

} // namespace tutil
