#pragma once

#include "paradox/Schema.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tutil {

// Where each field of a record starts.
std::vector<std::uint32_t> FieldOffsets(const paradox::TableSchema& schema);

// Checks that every value of one record can be decoded: logicals 00/80/81, dates up to the
// year 9999, times within a day, timestamps finite, BCD digits valid. On the first value
// that cannot, returns false and says which field and why in *problem.
bool CheckRecordValues(const paradox::TableSchema& schema,
                       const std::vector<std::uint32_t>& offsets, const std::uint8_t* record,
                       std::string* problem);

// The primary key of a keyed table: its leading fields, compared as bytes.
struct KeyLayout {
    std::size_t length = 0;   // bytes of the leading key fields
    bool byteOrdered = false; // whether byte order is the table's key order (no collation)
};
KeyLayout KeyLayoutOf(const paradox::TableSchema& schema);

} // namespace tutil
