#pragma once

#include "cli/export/ExportValue.h"
#include "cli/export/JsonArrayWriter.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// Records as a JSON array of objects, one member per field under its name, in field order:
// text, exact decimals (BCD) and ISO 8601 dates and times as strings, numbers as numbers
// (a Number that is not finite as the string "nan", "inf" or "-inf"), logicals as true/false,
// binary values as base64 strings, NULL as null. As JSON Lines: the same objects, one a line,
// with no array around them.
class JsonExport {
public:
    enum class Layout : std::uint8_t { Array, Lines };

    // A name that repeats one before it (only a damaged header has that) gets "#2", "#3"...
    JsonExport(std::ostream& out, const std::vector<std::string>& fieldNames,
               Layout layout = Layout::Array);

    void Record(const std::vector<ExportValue>& values);
    void Finish();

private:
    std::ostream& out_;
    std::optional<JsonArrayWriter> array_; // none for JSON Lines
    std::vector<std::string> keys_;
};

} // namespace cli
