#pragma once

#include "paradox/FindingDetail.h"
#include "paradox/Schema.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tutil {

// Checks that every value of a record can be decoded: logicals 00/80/81, dates up to the
// year 9999, times within a day, timestamps finite. Only the fields of those types are looked
// at, so a record of other types costs nothing.
class ValueChecker {
public:
    explicit ValueChecker(const paradox::TableSchema& schema);
    // On the first value that cannot be decoded, false, with the field and why in *problem.
    bool Check(const std::uint8_t* record, paradox::FindingDetail* problem) const;

private:
    struct Field {
        std::size_t number; // 0-based
        std::uint32_t offset;
        paradox::FieldType type;
    };
    const paradox::TableSchema& schema_;
    std::vector<Field> fields_;
};

} // namespace tutil
