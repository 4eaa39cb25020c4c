#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// One field value of a record, decoded for an export.
struct ExportValue {
    enum class Kind : std::uint8_t {
        Null,     // no value; also stands for a value that could not be read
        Text,     // UTF-8 `text`: Alpha, Memo, formatted memo
        Integer,  // `integer`: Short, Long, Autoincrement
        Real,     // `real`: Number, Money
        Decimal,  // `text`, the exact digits of a BCD ("-12.50")
        Temporal, // `text` in ISO 8601: Date, Time, Timestamp
        Boolean,  // `boolean`: Logical
        Binary,   // `bytes`: Binary, Graphic and OLE blobs, Bytes
    };

    Kind kind = Kind::Null;
    std::string text;
    std::vector<std::uint8_t> bytes;
    std::int64_t integer = 0;
    double real = 0;
    bool boolean = false;
};

} // namespace cli
