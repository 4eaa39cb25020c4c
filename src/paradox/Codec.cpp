#include "paradox/Codec.h"

#include <bit>
#include <cstring>

namespace paradox {

void EncodeKbeInt(std::int64_t value, std::uint8_t* p, std::size_t n) {
    auto raw = static_cast<std::uint64_t>(value);
    raw ^= std::uint64_t{1} << (n * 8 - 1);
    for (std::size_t i = 0; i < n; ++i) {
        p[n - 1 - i] = static_cast<std::uint8_t>(raw >> (8 * i));
    }
}

void EncodeKbeDouble(double value, std::uint8_t* p) {
    auto raw = std::bit_cast<std::uint64_t>(value);
    if ((raw & (std::uint64_t{1} << 63)) == 0) {
        raw |= std::uint64_t{1} << 63;
    } else {
        raw = ~raw;
    }
    for (int i = 0; i < 8; ++i) {
        p[7 - i] = static_cast<std::uint8_t>(raw >> (8 * i));
    }
}

// Days-from-civil arithmetic on 400-year eras; day 1 is 0001-01-01, which is 719162 days
// before 1970-01-01.
namespace {
constexpr std::int64_t kDay1ToEpoch = 719162;
}

CivilDate CivilFromDayNumber(std::int64_t dayNumber) {
    std::int64_t z = dayNumber - 1 - kDay1ToEpoch + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t y = yoe + era * 400;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const auto d = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
    const auto m = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
    if (m <= 2) {
        ++y;
    }
    return {y, m, d};
}

std::int64_t DayNumberFromCivil(std::int64_t year, unsigned month, unsigned day) {
    const std::int64_t y = month <= 2 ? year - 1 : year;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = month > 2 ? month - 3 : month + 9;
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + kDay1ToEpoch + 1;
}

std::optional<std::string> DecodeBcd(const std::uint8_t* p, std::uint8_t scale) {
    if (p[0] == 0) {
        return std::nullopt;
    }
    const bool negative = (p[0] & 0x80) == 0;
    if (scale > 32) {
        scale = 32;
    }
    // 32 digit nibbles in bytes 1..16; the last `scale` of them are decimals.
    std::string digits;
    digits.reserve(32);
    for (int i = 0; i < 32; ++i) {
        std::uint8_t byte = p[1 + i / 2];
        std::uint8_t nibble = (i % 2 == 0) ? (byte >> 4) : (byte & 0x0F);
        if (negative) {
            nibble = static_cast<std::uint8_t>(15 - nibble);
        }
        digits.push_back(nibble <= 9 ? static_cast<char>('0' + nibble) : '?');
    }
    // Nibbles that are not decimal digits (seen far past the real precision) read as 0.
    for (char& c : digits) {
        if (c == '?') {
            c = '0';
        }
    }
    std::string integer = digits.substr(0, 32 - scale);
    std::string fraction = digits.substr(32 - scale);
    std::size_t first = integer.find_first_not_of('0');
    integer = first == std::string::npos ? "0" : integer.substr(first);
    std::string out = negative ? "-" : "";
    out += integer;
    out += '.';
    out += fraction;
    return out;
}

bool EncodeBcd(std::string_view decimal, std::uint8_t scale, std::uint8_t* p) {
    if (scale > 32) {
        return false;
    }
    bool negative = false;
    if (!decimal.empty() && (decimal[0] == '-' || decimal[0] == '+')) {
        negative = decimal[0] == '-';
        decimal.remove_prefix(1);
    }
    std::string_view integer = decimal;
    std::string_view fraction;
    if (auto dot = decimal.find('.'); dot != std::string_view::npos) {
        integer = decimal.substr(0, dot);
        fraction = decimal.substr(dot + 1);
    }
    for (char c : integer) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    for (char c : fraction) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    while (!integer.empty() && integer.front() == '0') {
        integer.remove_prefix(1);
    }
    if (integer.size() > static_cast<std::size_t>(32 - scale) || fraction.size() > scale) {
        return false;
    }
    std::string digits(32, '0');
    digits.replace(32 - scale - integer.size(), integer.size(), integer);
    digits.replace(32 - scale, fraction.size(), fraction);
    std::memset(p, 0, 17);
    p[0] = static_cast<std::uint8_t>((negative ? 0x00 : 0x80) | 0x40 | scale);
    for (int i = 0; i < 32; ++i) {
        auto nibble = static_cast<std::uint8_t>(digits[static_cast<std::size_t>(i)] - '0');
        if (negative) {
            nibble = static_cast<std::uint8_t>(15 - nibble);
        }
        p[1 + i / 2] |= static_cast<std::uint8_t>(i % 2 == 0 ? nibble << 4 : nibble);
    }
    return true;
}

std::optional<BlobRef> DecodeBlobRef(const std::uint8_t* field, std::size_t fieldLength) {
    if (fieldLength < 10) {
        return std::nullopt;
    }
    const std::uint8_t* tail = field + fieldLength - 10;
    auto u32 = [](const std::uint8_t* q) {
        return static_cast<std::uint32_t>(q[0]) | (static_cast<std::uint32_t>(q[1]) << 8) |
               (static_cast<std::uint32_t>(q[2]) << 16) | (static_cast<std::uint32_t>(q[3]) << 24);
    };
    BlobRef ref;
    std::uint32_t offsetIndex = u32(tail);
    ref.index = static_cast<std::uint8_t>(offsetIndex & 0xFF);
    ref.offset = offsetIndex & 0xFFFFFF00u;
    ref.length = u32(tail + 4);
    ref.modNumber = static_cast<std::uint16_t>(tail[8] | (tail[9] << 8));
    ref.leader = field;
    ref.leaderSize = fieldLength - 10;
    return ref;
}

void EncodeBlobTail(const BlobRef& ref, std::uint8_t* tail10) {
    std::uint32_t offsetIndex = (ref.offset & 0xFFFFFF00u) | ref.index;
    for (int i = 0; i < 4; ++i) {
        tail10[i] = static_cast<std::uint8_t>(offsetIndex >> (8 * i));
        tail10[4 + i] = static_cast<std::uint8_t>(ref.length >> (8 * i));
    }
    tail10[8] = static_cast<std::uint8_t>(ref.modNumber);
    tail10[9] = static_cast<std::uint8_t>(ref.modNumber >> 8);
}

} // namespace paradox
