#pragma once

#include "cli/export/ExportValue.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

// Records as a JSON array of objects, one member per field under its name, in field order:
// text, exact decimals (BCD) and ISO 8601 dates and times as strings, numbers as numbers
// (a Number that is not finite as the string "nan", "inf" or "-inf"), logicals as true/false,
// binary values as base64 strings, NULL as null. The array has each object on a line of its
// own. As JSON Lines: the same objects, one a line, with no array around them. Either way a
// table of any size needs the memory of one record.
class JsonExport {
public:
    enum class Layout : std::uint8_t { Array, Lines };

    // A name that repeats one before it (only a damaged header has that) gets "#2", "#3"...
    JsonExport(std::ostream& out, const std::vector<std::string>& fieldNames,
               Layout layout = Layout::Array);

    // Both throw std::runtime_error when the stream fails.
    void Record(const std::vector<ExportValue>& values);
    void Finish();

private:
    void Write();

    std::ostream& out_;
    Layout layout_;
    bool empty_ = true;
    std::vector<std::string> members_; // each key as JSON text, with its colon
    std::string text_;                 // the record being written
};

} // namespace cli
