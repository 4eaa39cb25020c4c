#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace paradox {

// Field values in records are "key-sortable big-endian": integers big-endian with the top
// bit inverted, doubles big-endian with the top bit set (positive) or every bit inverted
// (negative), so that bytes compare like values. All-zero bytes are NULL for every type.

inline bool IsAllZero(const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] != 0) {
            return false;
        }
    }
    return true;
}

// Byte order of two encoded keys of `length` bytes (the order of their values, since the
// encodings sort like values); short keys, the common case, without a library call.
inline int CompareKeyBytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t length) {
    if (length <= 8) {
        std::uint64_t x = 0;
        std::uint64_t y = 0;
        for (std::size_t i = 0; i < length; ++i) {
            x = (x << 8) | a[i];
            y = (y << 8) | b[i];
        }
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    return std::memcmp(a, b, length);
}

// Signed integer of n bytes (2 or 4, up to 8); nullopt when all bytes are zero (NULL).
// Defined here so that record scans decode without a call per value.
inline std::optional<std::int64_t> DecodeKbeInt(const std::uint8_t* p, std::size_t n) {
    if (n == 4) {
        const std::uint32_t raw = (static_cast<std::uint32_t>(p[0]) << 24) |
                                  (static_cast<std::uint32_t>(p[1]) << 16) |
                                  (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
        if (raw == 0) {
            return std::nullopt;
        }
        return static_cast<std::int32_t>(raw ^ 0x80000000u);
    }
    if (n == 2) {
        const auto raw = static_cast<std::uint16_t>((p[0] << 8) | p[1]);
        if (raw == 0) {
            return std::nullopt;
        }
        return static_cast<std::int16_t>(raw ^ 0x8000u);
    }
    if (n == 0 || n > 8 || IsAllZero(p, n)) {
        return std::nullopt;
    }
    std::uint64_t raw = 0;
    for (std::size_t i = 0; i < n; ++i) {
        raw = (raw << 8) | p[i];
    }
    const auto bits = static_cast<unsigned>(n * 8);
    raw ^= std::uint64_t{1} << (bits - 1);
    if (bits < 64 && (raw & (std::uint64_t{1} << (bits - 1))) != 0) {
        raw |= ~std::uint64_t{0} << bits; // sign-extend
    }
    return static_cast<std::int64_t>(raw);
}
void EncodeKbeInt(std::int64_t value, std::uint8_t* p, std::size_t n);

// 8-byte double; nullopt when all bytes are zero (NULL).
inline std::optional<double> DecodeKbeDouble(const std::uint8_t* p) {
    std::uint64_t raw = 0;
    for (int i = 0; i < 8; ++i) {
        raw = (raw << 8) | p[i];
    }
    if (raw == 0) {
        return std::nullopt;
    }
    constexpr std::uint64_t kTop = std::uint64_t{1} << 63;
    raw = (raw & kTop) != 0 ? raw & ~kTop : ~raw;
    return std::bit_cast<double>(raw);
}
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
    std::uint32_t offset = 0; // byte offset of the .MB block (0 = not in the .MB)
    std::uint8_t index = 0;   // 0xFF single block, 0..63 slot of a suballocated block
    std::uint32_t length = 0; // total blob length
    std::uint16_t modNumber = 0;
    const std::uint8_t* leader = nullptr;
    std::size_t leaderSize = 0;
    bool InBlobFile() const { return offset != 0 || index != 0; }
};
// fieldLength >= 10 is required; returns nullopt otherwise.
std::optional<BlobRef> DecodeBlobRef(const std::uint8_t* field, std::size_t fieldLength);
void EncodeBlobTail(const BlobRef& ref, std::uint8_t* tail10);

} // namespace paradox
