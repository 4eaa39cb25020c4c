#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace paradox {

// How Alpha values sort under a table's sort order (header byte 0x29 and the name beside it),
// and how the sort order upper-cases them for case-insensitive indexes.
//
// Three kinds:
//  - Binary: byte order ('ascii' sort orders).
//  - Weighted: a weight table (primary weight, secondary weight, two-letter expansions) and an
//    upper-case map, for the orders whose tables we have (CollationData.cpp).
//  - Unknown: no table here. Compare() then falls back to byte order and Known() is false;
//    callers check such keys with CompareFolded() only.
class Collation {
public:
    enum class Kind { Binary, Weighted, Unknown };

    // The collation of a table whose header holds `code` and `name` (name may be empty: level
    // 3 tables store none). Never fails: an order without a table comes back as Unknown.
    static const Collation& ForSortOrder(std::uint8_t code, std::string_view name);
    static const Collation& Binary();

    Kind GetKind() const { return kind_; }
    bool Known() const { return kind_ != Kind::Unknown; }
    bool IsBinary() const { return kind_ == Kind::Binary; }
    // "ascii", "intl", "ANSIINTL", or for an unknown order what the header said.
    const std::string& Name() const { return name_; }

    // -1, 0, 1 ordering two Alpha values of at most `la`/`lb` bytes; a value ends at its
    // first NUL. Distinct values never compare 0: where the weights tie, bytes decide.
    int Compare(const std::uint8_t* a, std::size_t la, const std::uint8_t* b, std::size_t lb) const;

    // The order any of the usual collations agrees on: ASCII letters without case, decided
    // only before the first byte >= 0x80 (0 when such a byte comes first). For checking keys
    // under an order we have no table for, where only a descent even here is a sure fault.
    static int CompareFolded(const std::uint8_t* a, std::size_t la, const std::uint8_t* b,
                             std::size_t lb);

    std::uint8_t Upper(std::uint8_t c) const { return upper_[c]; }
    // Upper-cases an Alpha value of `length` bytes in place (up to its NUL).
    void UpperInPlace(std::uint8_t* value, std::size_t length) const;

    // The data behind a Weighted collation (public for the table loader and its tests).
    // Units 0..255 are bytes; unit 256 + k is the k-th two-letter pair that sorts as one
    // letter (Spanish "ch", "ll").
    static constexpr std::size_t kMaxPairs = 16;
    struct Weights {
        std::array<std::uint16_t, 256 + kMaxPairs> primary{};
        std::array<std::uint8_t, 256 + kMaxPairs> secondary{};
        std::array<std::int16_t, 256> expandsTo{}; // second byte of an expansion, -1 = none
        std::array<bool, 256> startsPair{};
        std::array<std::array<std::uint8_t, 2>, kMaxPairs> pairs{};
        std::size_t pairCount = 0;
    };

    Collation(Kind kind, std::string name, const Weights* weights,
              const std::array<std::uint8_t, 256>& upper);

private:
    int CompareWeighted(const std::uint8_t* a, std::size_t la, const std::uint8_t* b,
                        std::size_t lb) const;

    Kind kind_;
    std::string name_;
    const Weights* weights_; // Weighted only
    std::array<std::uint8_t, 256> upper_;
};

// Length of an Alpha value stored in `length` bytes: up to its first NUL.
inline std::size_t AlphaLength(const std::uint8_t* value, std::size_t length) {
    std::size_t n = 0;
    while (n < length && value[n] != 0) {
        ++n;
    }
    return n;
}

} // namespace paradox
