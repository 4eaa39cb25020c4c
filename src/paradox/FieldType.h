#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace paradox {

// Field type codes as stored in the header's field-info pairs.
enum class FieldType : std::uint8_t {
    Alpha = 0x01,
    Date = 0x02,
    Short = 0x03,
    Long = 0x04,
    Currency = 0x05,
    Number = 0x06,
    Logical = 0x09,
    Memo = 0x0C,
    Blob = 0x0D,
    FmtMemo = 0x0E,
    Ole = 0x0F,
    Graphic = 0x10,
    Time = 0x14,
    Timestamp = 0x15,
    AutoInc = 0x16,
    Bcd = 0x17,
    Bytes = 0x18,
};

// File version byte (header 0x39) of each table level.
namespace level {
inline constexpr std::uint8_t V3_0 = 0x03;
inline constexpr std::uint8_t V3_5 = 0x04;
inline constexpr std::uint8_t V4 = 0x09;
inline constexpr std::uint8_t V5 = 0x0B;
inline constexpr std::uint8_t V7 = 0x0C;
} // namespace level

// File type byte (header 0x04).
enum class FileType : std::uint8_t {
    KeyedTable = 0,
    PrimaryIndex = 1,
    UnkeyedTable = 2,
    SecondaryData = 3,      // .Xnn, not maintained
    SecondaryIndex = 4,     // .Ynn
    SecondaryDataMaint = 5, // .Xnn, maintained
    CompositeData = 6,      // .XGn, not maintained
    CompositeIndex = 7,     // .YGn
    CompositeDataMaint = 8, // .XGn, maintained
};

struct FieldTypeInfo {
    FieldType type;
    char letter; // the one-letter name used in listings
    std::string_view name;
    std::uint8_t minLevel;  // lowest file version byte that defines the type
    bool isBlob;            // value lives (partly) in the .MB
    bool sizeIsLength;      // size byte is the byte length (Alpha, Bytes, blobs)
    std::uint8_t fixedSize; // bytes in the record for fixed-size types, 0 otherwise
};

// Facts about a type code, or nullopt for a code no Paradox level defines.
std::optional<FieldTypeInfo> LookupFieldType(std::uint8_t code);

// Bytes a field occupies in a record: the size byte for Alpha, Bytes and blobs, 17 for BCD
// (whose size byte is the scale), the fixed size otherwise. 0 for an unknown code.
std::uint16_t FieldByteLength(std::uint8_t code, std::uint8_t sizeByte);

// Whether the size byte is legal for the type (Alpha 1..255, BCD scale 0..32, blobs 10..250...).
bool IsValidFieldSize(std::uint8_t code, std::uint8_t sizeByte);

// "Alpha 20", "Long", "BCD 2", "type 0x33": a field's type and, where it varies, its size, as
// finding details name them.
std::string FieldTypeText(std::uint8_t code, std::uint8_t sizeByte);

inline bool IsBlobType(std::uint8_t code) {
    return code == 0x0C || code == 0x0D || code == 0x0E || code == 0x0F || code == 0x10;
}

} // namespace paradox
