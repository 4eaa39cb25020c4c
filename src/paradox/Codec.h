#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace paradox {

// Field values in records are "key-sortable big-endian": integers big-endian with the top
// bit inverted, doubles big-endian with the top bit set (positive) or every bit inverted
// (negative), so that bytes compare like values. All-zero bytes are NULL for every type.

bool IsAllZero(const std::uint8_t* p, std::size_t n);

// Signed integer of n bytes (2 or 4); nullopt when all bytes are zero (NULL).
std::optional<std::int64_t> DecodeKbeInt(const std::uint8_t* p, std::size_t n);
void EncodeKbeInt(std::int64_t value, std::uint8_t* p, std::size_t n);

// 8-byte double; nullopt when all bytes are zero (NULL).
std::optional<double> DecodeKbeDouble(const std::uint8_t* p);
void EncodeKbeDouble(double value, std::uint8_t* p);

// Proleptic Gregorian calendar with day 1 = 0001-01-01.
struct CivilDate {
    std::int64_t year;
    unsigned month; // 1..12
    unsigned day;   // 1..31
};
CivilDate CivilFromDayNumber(std::int64_t dayNumber);
std::int64_t DayNumberFromCivil(std::int64_t year, unsigned month, unsigned day);

// BCD (17 bytes): canonical decimal text with exactly `scale` decimals ("-5.50", "12."),
// nullopt when the first byte is 0 (NULL). Nibbles that are not decimal digits (garbage
// seen far past the real precision in files written from doubles) read as 0.
std::optional<std::string> DecodeBcd(const std::uint8_t* p, std::uint8_t scale);
// Encodes decimal text ("-12.5") with the field's scale; false when it does not fit 32 digits.
bool EncodeBcd(std::string_view decimal, std::uint8_t scale, std::uint8_t* p);

// The 10-byte little-endian tail at the end of a blob field and the leader before it.
struct BlobRef {
    std::uint32_t offset = 0;   // byte offset of the .MB block (0 = not in the .MB)
    std::uint8_t index = 0;     // 0xFF single block, 0..63 slot of a suballocated block
    std::uint32_t length = 0;   // total blob length
    std::uint16_t modNumber = 0;
    const std::uint8_t* leader = nullptr;
    std::size_t leaderSize = 0;
    bool InBlobFile() const { return offset != 0 || index != 0; }
};
// fieldLength >= 10 is required; returns nullopt otherwise.
std::optional<BlobRef> DecodeBlobRef(const std::uint8_t* field, std::size_t fieldLength);
void EncodeBlobTail(const BlobRef& ref, std::uint8_t* tail10);

} // namespace paradox
