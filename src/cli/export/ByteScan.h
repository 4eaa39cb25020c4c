#pragma once

// Scans over the bytes of a value eight at a time, for the checks an export makes on every text
// it writes.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace cli {

namespace bytescan {

constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kHighBits = 0x8080808080808080u;

inline std::uint64_t Load(const char* bytes) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// A high bit set in each byte of `word` that is zero (and possibly above one that is).
inline std::uint64_t ZeroBytes(std::uint64_t word) {
    return (word - kOnes) & ~word & kHighBits;
}

} // namespace bytescan

// Whether every byte is below 0x80.
inline bool IsAscii(const char* bytes, std::size_t size) {
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        if ((bytescan::Load(bytes + i) & bytescan::kHighBits) != 0) {
            return false;
        }
    }
    for (; i < size; ++i) {
        if ((static_cast<unsigned char>(bytes[i]) & 0x80u) != 0) {
            return false;
        }
    }
    return true;
}

inline bool IsAscii(const std::uint8_t* bytes, std::size_t size) {
    return IsAscii(reinterpret_cast<const char*>(bytes), size);
}

// Whether any byte is one of the four given.
inline bool HasAnyOf(const char* bytes, std::size_t size, char a, char b, char c, char d) {
    using namespace bytescan;
    const std::uint64_t wa = kOnes * static_cast<unsigned char>(a);
    const std::uint64_t wb = kOnes * static_cast<unsigned char>(b);
    const std::uint64_t wc = kOnes * static_cast<unsigned char>(c);
    const std::uint64_t wd = kOnes * static_cast<unsigned char>(d);
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        const std::uint64_t word = Load(bytes + i);
        if ((ZeroBytes(word ^ wa) | ZeroBytes(word ^ wb) | ZeroBytes(word ^ wc) |
             ZeroBytes(word ^ wd)) != 0) {
            return true;
        }
    }
    for (; i < size; ++i) {
        if (bytes[i] == a || bytes[i] == b || bytes[i] == c || bytes[i] == d) {
            return true;
        }
    }
    return false;
}

// Whether any byte may need an escape in a JSON string: a control character, '"' or '\'. May
// answer true for some bytes above 0x7F; never false for one that needs it.
inline bool MayNeedJsonEscape(const char* bytes, std::size_t size) {
    using namespace bytescan;
    constexpr std::uint64_t kQuotes = kOnes * '"';
    constexpr std::uint64_t kBackslashes = kOnes * '\\';
    constexpr std::uint64_t kSpaces = kOnes * ' ';
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        const std::uint64_t word = Load(bytes + i);
        if ((ZeroBytes(word ^ kQuotes) | ZeroBytes(word ^ kBackslashes) |
             ((word - kSpaces) & ~word & kHighBits)) != 0) {
            return true;
        }
    }
    for (; i < size; ++i) {
        if (static_cast<unsigned char>(bytes[i]) < 0x20 || bytes[i] == '"' || bytes[i] == '\\') {
            return true;
        }
    }
    return false;
}

} // namespace cli
