#include "paradox/Collation.h"

#include "paradox/CollationData.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace paradox {
namespace {

std::array<std::uint8_t, 256> AsciiUpper() {
    std::array<std::uint8_t, 256> upper{};
    for (int c = 0; c < 256; ++c) {
        upper[c] = static_cast<std::uint8_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    return upper;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    throw std::logic_error(std::string("collation table: bad hex digit '") + c + "'");
}

// Reads two hex digits at `text[at]`, advancing `at`.
std::uint8_t HexByte(std::string_view text, std::size_t& at) {
    if (at + 2 > text.size()) {
        throw std::logic_error("collation table: byte cut short");
    }
    const int value = HexDigit(text[at]) * 16 + HexDigit(text[at + 1]);
    at += 2;
    return static_cast<std::uint8_t>(value);
}

Collation::Weights ParseLadder(std::string_view ladder) {
    Collation::Weights w;
    std::array<bool, 256> seen{};
    w.expandsTo.fill(-1);
    std::uint16_t primary = 0;
    std::size_t at = 0;
    auto place = [&](std::uint8_t byte, std::uint8_t secondary) {
        if (seen[byte]) {
            throw std::logic_error("collation table: a byte appears twice");
        }
        seen[byte] = true;
        w.primary[byte] = primary;
        w.secondary[byte] = secondary;
    };
    auto placePair = [&](std::uint8_t first, std::uint8_t second, std::uint8_t secondary) {
        if (w.pairCount == Collation::kMaxPairs) {
            throw std::logic_error("collation table: too many letter pairs");
        }
        const std::size_t unit = 256 + w.pairCount;
        w.pairs[w.pairCount++] = {first, second};
        w.startsPair[first] = true;
        w.primary[unit] = primary;
        w.secondary[unit] = secondary;
    };
    // A member is one byte (two hex digits) or a letter pair (four).
    auto member = [&](std::uint8_t secondary) {
        const std::uint8_t first = HexByte(ladder, at);
        if (at + 1 < ladder.size() && std::isxdigit(static_cast<unsigned char>(ladder[at])) &&
            std::isxdigit(static_cast<unsigned char>(ladder[at + 1]))) {
            placePair(first, HexByte(ladder, at), secondary);
            return;
        }
        place(first, secondary);
        if (at < ladder.size() && ladder[at] == '+') {
            ++at;
            w.expandsTo[first] = HexByte(ladder, at);
        }
    };
    while (at < ladder.size()) {
        if (ladder[at] == ' ') {
            ++at;
            continue;
        }
        if (at + 5 <= ladder.size() && ladder[at + 2] == '-') {
            const std::uint8_t first = HexByte(ladder, at);
            ++at;
            const std::uint8_t last = HexByte(ladder, at);
            for (int b = first; b <= last; ++b) {
                place(static_cast<std::uint8_t>(b), 0);
                ++primary;
            }
            continue;
        }
        std::uint8_t secondary = 0;
        while (true) {
            member(secondary);
            if (at >= ladder.size() || ladder[at] == ' ') {
                break;
            }
            if (ladder[at] == ',') {
                ++secondary;
            } else if (ladder[at] != '=') {
                throw std::logic_error("collation table: unexpected separator");
            }
            ++at;
        }
        ++primary;
    }
    if (std::find(seen.begin(), seen.end(), false) != seen.end()) {
        throw std::logic_error("collation table: a byte is missing");
    }
    return w;
}

std::array<std::uint8_t, 256> ParseUpper(std::string_view pairs) {
    std::array<std::uint8_t, 256> upper = AsciiUpper();
    std::size_t at = 0;
    while (at < pairs.size()) {
        if (pairs[at] == ' ') {
            ++at;
            continue;
        }
        const std::uint8_t from = HexByte(pairs, at);
        if (at >= pairs.size() || pairs[at] != ':') {
            throw std::logic_error("collation table: upper-case pair without ':'");
        }
        ++at;
        upper[from] = HexByte(pairs, at);
    }
    return upper;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

struct Registry {
    std::vector<std::unique_ptr<Collation::Weights>> weights;
    std::vector<std::unique_ptr<Collation>> collations; // parallel to CollationSources()
    Collation binary{Collation::Kind::Binary, "ascii", nullptr, AsciiUpper()};

    Registry() {
        for (const CollationSource& source : CollationSources()) {
            weights.push_back(std::make_unique<Collation::Weights>(ParseLadder(source.ladder)));
            collations.push_back(
                std::make_unique<Collation>(Collation::Kind::Weighted, std::string(source.name),
                                            weights.back().get(), ParseUpper(source.upper)));
        }
    }
};

const Registry& TheRegistry() {
    static const Registry registry;
    return registry;
}

// What an unknown order is called in findings: the header's name, else its code.
std::string UnknownName(std::uint8_t code, std::string_view name) {
    if (!name.empty()) {
        return std::string(name);
    }
    static const char* const kHex = "0123456789abcdef";
    return std::string("0x") + kHex[code >> 4] + kHex[code & 15];
}

} // namespace

Collation::Collation(Kind kind, std::string name, const Weights* weights,
                     const std::array<std::uint8_t, 256>& upper)
    : kind_(kind), name_(std::move(name)), weights_(weights), upper_(upper) {}

const Collation& Collation::Binary() {
    return TheRegistry().binary;
}

const Collation& Collation::ForSortOrder(std::uint8_t code, std::string_view name) {
    const Registry& registry = TheRegistry();
    if (name.empty() ? code == 0 : SameName(name, "ascii")) {
        return registry.binary;
    }
    const auto sources = CollationSources();
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (name.empty() ? sources[i].code == code : SameName(name, sources[i].name)) {
            return *registry.collations[i];
        }
    }
    // Kept for the life of the program: one per distinct unknown order met.
    static std::vector<std::unique_ptr<Collation>> unknown;
    static std::mutex guard;
    const std::string label = UnknownName(code, name);
    std::lock_guard lock(guard);
    for (const auto& c : unknown) {
        if (c->Name() == label) {
            return *c;
        }
    }
    unknown.push_back(std::make_unique<Collation>(Kind::Unknown, label, nullptr, AsciiUpper()));
    return *unknown.back();
}

int Collation::Compare(const std::uint8_t* a, std::size_t la, const std::uint8_t* b,
                       std::size_t lb) const {
    la = AlphaLength(a, la);
    lb = AlphaLength(b, lb);
    if (kind_ == Kind::Weighted) {
        const int order = CompareWeighted(a, la, b, lb);
        if (order != 0) {
            return order;
        }
    }
    const int order = std::memcmp(a, b, std::min(la, lb));
    if (order != 0) {
        return order < 0 ? -1 : 1;
    }
    return la < lb ? -1 : (la > lb ? 1 : 0);
}

namespace {

// Walks a value as the sequence of weight units it sorts as: one per byte, two for a byte
// that expands, one for a letter pair. `waiting` >= 0 while the second unit of an expansion is
// still to come.
struct UnitCursor {
    const std::uint8_t* p;
    const std::uint8_t* end;
    int waiting = -1;

    bool Next(const Collation::Weights& w, std::uint16_t& unit) {
        if (waiting >= 0) {
            unit = static_cast<std::uint16_t>(waiting);
            waiting = -1;
            return true;
        }
        if (p == end) {
            return false;
        }
        const std::uint8_t byte = *p++;
        unit = byte;
        if (w.startsPair[byte] && p != end) {
            for (std::size_t k = 0; k < w.pairCount; ++k) {
                if (w.pairs[k][0] == byte && w.pairs[k][1] == *p) {
                    unit = static_cast<std::uint16_t>(256 + k);
                    ++p;
                    return true;
                }
            }
        }
        waiting = w.expandsTo[byte];
        return true;
    }
};

} // namespace

// Primary weights decide first; then the first differing secondary weight (accent, then
// case: lower case wins a tie); then, where one side is inside an expansion and the other is
// not, the expansion sorts after ("ä" after "ae").
int Collation::CompareWeighted(const std::uint8_t* a, std::size_t la, const std::uint8_t* b,
                               std::size_t lb) const {
    const Weights& w = *weights_;
    UnitCursor x{a, a + la};
    UnitCursor y{b, b + lb};
    int secondary = 0;
    int expansion = 0;
    while (true) {
        std::uint16_t ux = 0;
        std::uint16_t uy = 0;
        const bool hx = x.Next(w, ux);
        const bool hy = y.Next(w, uy);
        if (!hx || !hy) {
            if (hx != hy) {
                return hx ? 1 : -1;
            }
            break;
        }
        if (w.primary[ux] != w.primary[uy]) {
            return w.primary[ux] < w.primary[uy] ? -1 : 1;
        }
        if (w.secondary[ux] != w.secondary[uy]) {
            if (secondary == 0) {
                secondary = w.secondary[ux] < w.secondary[uy] ? -1 : 1;
            }
        } else if (expansion == 0 && (x.waiting >= 0) != (y.waiting >= 0)) {
            expansion = x.waiting >= 0 ? 1 : -1;
        }
    }
    return secondary != 0 ? secondary : expansion;
}

int Collation::CompareFolded(const std::uint8_t* a, std::size_t la, const std::uint8_t* b,
                             std::size_t lb) {
    la = AlphaLength(a, la);
    lb = AlphaLength(b, lb);
    const std::size_t n = std::min(la, lb);
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] >= 0x80 || b[i] >= 0x80) {
            return 0;
        }
        const int x = a[i] >= 'a' && a[i] <= 'z' ? a[i] - 32 : a[i];
        const int y = b[i] >= 'a' && b[i] <= 'z' ? b[i] - 32 : b[i];
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return la < lb ? -1 : (la > lb ? 1 : 0);
}

void Collation::UpperInPlace(std::uint8_t* value, std::size_t length) const {
    for (std::size_t i = 0; i < length && value[i] != 0; ++i) {
        value[i] = upper_[value[i]];
    }
}

} // namespace paradox
