#include "paradox/Collation.h"

#include "paradox/CollationData.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <iconv.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace paradox {
namespace {

int Cmp(const Collation& c, const std::string& a, const std::string& b) {
    return c.Compare(reinterpret_cast<const std::uint8_t*>(a.data()), a.size(),
                     reinterpret_cast<const std::uint8_t*>(b.data()), b.size());
}

std::vector<std::string> Sorted(const Collation& c, std::vector<std::string> values) {
    std::sort(values.begin(), values.end(),
              [&](const std::string& a, const std::string& b) { return Cmp(c, a, b) < 0; });
    return values;
}

TEST(CollationTest, HeaderCodesAndNamesFindTheirTables) {
    EXPECT_TRUE(Collation::ForSortOrder(0x00, "").IsBinary());
    EXPECT_TRUE(Collation::ForSortOrder(0x00, "ascii").IsBinary());
    EXPECT_EQ(Collation::ForSortOrder(0xB7, "").Name(), "intl");
    EXPECT_EQ(Collation::ForSortOrder(0xB7, "intl").GetKind(), Collation::Kind::Weighted);
    EXPECT_EQ(Collation::ForSortOrder(0x62, "ANSIINTL").GetKind(), Collation::Kind::Weighted);
    // Every table in the data file parses (each byte exactly once) and is reachable.
    for (const CollationSource& s : CollationSources()) {
        EXPECT_EQ(Collation::ForSortOrder(s.code, s.name).Name(), s.name);
    }
    const Collation& unknown = Collation::ForSortOrder(0x4C, "DBWINUS0");
    EXPECT_FALSE(unknown.Known());
    EXPECT_EQ(unknown.Name(), "DBWINUS0");
    EXPECT_EQ(&unknown, &Collation::ForSortOrder(0x4C, "DBWINUS0"));
    EXPECT_EQ(Collation::ForSortOrder(0xC0, "").Name(), "cyrr");
    EXPECT_EQ(Collation::ForSortOrder(0x4C, "").Name(), "0x4c");
}

// The documented behaviour of the international orders, in both code pages: a letter's cases
// and accents sort together before the next letter, lower case wins a tie, 'ä' sorts as "ae"
// (after it), 'ß' as "ss", 'å' after Z; and 'ascii' is plain byte order.
TEST(CollationTest, InternationalOrdersFollowTheirDocumentedRules) {
    struct Case {
        const char* name;
        std::string aUmlaut, sharpS, aRing, eAcute;
        std::uint8_t eAcuteUpper; // the accent stays only in the Latin-1 order
    };
    for (const Case& k : {Case{"intl", "\x84", "\xE1", "\x86", "\x82", 'E'},
                          Case{"ANSIINTL", "\xE4", "\xDF", "\xE5", "\xE9", 'E'},
                          Case{"ANSII850", "\xE4", "\xDF", "", "\xE9", 0xC9},
                          Case{"intl850", "\x84", "\xE1", "", "\x82", 0x90}}) {
        SCOPED_TRACE(k.name);
        const Collation& c = Collation::ForSortOrder(0, k.name);
        EXPECT_EQ(Sorted(c, {"b", "B", "A", "a", "Ab", "ab"}),
                  (std::vector<std::string>{"a", "A", "ab", "Ab", "b", "B"}));
        EXPECT_LT(Cmp(c, "ad", k.aUmlaut), 0);
        EXPECT_LT(Cmp(c, "ae", k.aUmlaut), 0);
        EXPECT_LT(Cmp(c, k.aUmlaut, "af"), 0);
        EXPECT_LT(Cmp(c, "sr", k.sharpS), 0);
        EXPECT_LT(Cmp(c, k.sharpS, "st"), 0);
        EXPECT_LT(Cmp(c, "e", k.eAcute), 0);
        EXPECT_LT(Cmp(c, k.eAcute, "f"), 0);
        if (!k.aRing.empty()) {
            EXPECT_GT(Cmp(c, k.aRing, "z"), 0);
        }
        EXPECT_EQ(c.Upper(static_cast<std::uint8_t>(k.eAcute[0])), k.eAcuteUpper);
        EXPECT_EQ(c.Upper('q'), 'Q');
        EXPECT_EQ(Cmp(c, std::string("ab\0x", 4), "ab"), 0); // a value ends at its NUL
    }
    const Collation& ascii = Collation::Binary();
    EXPECT_EQ(Sorted(ascii, {"b", "a", "B", "A"}), (std::vector<std::string>{"A", "B", "a", "b"}));
    EXPECT_EQ(ascii.Upper(0xE9), 0xE9);
}

// One byte of code page `from` as the one byte holding the same character in code page `to`,
// by the C library's converter; nothing when `to` lacks the character.
class ByteConverter {
public:
    ByteConverter(const char* from, const char* to)
        : handle_(iconv_open(to, from), [](iconv_t h) { iconv_close(h); }) {}
    bool Ready() const { return handle_.get() != reinterpret_cast<iconv_t>(-1); }

    std::optional<std::uint8_t> Convert(std::uint8_t byte) const {
        char in[1] = {static_cast<char>(byte)};
        char out[8] = {};
        char* inAt = in;
        char* outAt = out;
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof out;
        iconv(handle_.get(), nullptr, nullptr, nullptr, nullptr);
        if (iconv(handle_.get(), &inAt, &inLeft, &outAt, &outLeft) ==
                static_cast<std::size_t>(-1) ||
            outAt - out != 1) {
            return std::nullopt;
        }
        return static_cast<std::uint8_t>(out[0]);
    }

private:
    std::unique_ptr<std::remove_pointer_t<iconv_t>, void (*)(iconv_t)> handle_;
};

int Sign(int v) {
    return (v > 0) - (v < 0);
}

// The code page 850 international order is the Windows 'ANSII850' order carried over byte by
// byte: two values whose characters code page 1252 has sort alike in both (checked for every
// byte pair, alone and before an 'e' or 'E' where expansions meet), and upper-case alike where
// code page 850 has the upper form. Bytes code page 1252 lacks (box drawing, 'ı', '‗') sort
// after every other byte, among themselves by byte, and stay as they are when upper-cased.
// The Windows order's 'Ø' keeps its place: after 'ø' and 'O', before 'ö' and 'p'.
TEST(CollationTest, Intl850FollowsTheWindowsOrderThroughTheCodePages) {
    const ByteConverter to1252("CP850", "CP1252");
    const ByteConverter to850("CP1252", "CP850");
    ASSERT_TRUE(to1252.Ready() && to850.Ready());
    const Collation& dos = Collation::ForSortOrder(0x54, "");
    const Collation& windows = Collation::ForSortOrder(0x11, "ANSII850");
    ASSERT_EQ(dos.Name(), "intl850");
    EXPECT_EQ(&Collation::ForSortOrder(0x54, "INTL850"), &dos);

    std::array<std::optional<std::uint8_t>, 256> mapped;
    std::vector<std::uint8_t> shared;
    std::vector<std::uint8_t> dosOnly;
    for (int b = 0; b < 256; ++b) {
        mapped[b] = to1252.Convert(static_cast<std::uint8_t>(b));
        (mapped[b] ? shared : dosOnly).push_back(static_cast<std::uint8_t>(b));
    }
    EXPECT_EQ(dosOnly.size(), 31u);

    for (const std::uint8_t x : shared) {
        const std::optional<std::uint8_t> upper = to850.Convert(windows.Upper(*mapped[x]));
        EXPECT_EQ(dos.Upper(x), upper.value_or(x)) << "byte " << int(x);
        for (const std::uint8_t y : shared) {
            for (const char* tail : {"", "e", "E"}) {
                const std::string a = std::string(1, char(x)) + tail;
                const std::string b = std::string(1, char(y)) + tail;
                const std::string wa = std::string(1, char(*mapped[x])) + tail;
                const std::string wb = std::string(1, char(*mapped[y])) + tail;
                ASSERT_EQ(Sign(Cmp(dos, a, b)), Sign(Cmp(windows, wa, wb)))
                    << "bytes " << int(x) << ", " << int(y) << " + '" << tail << "'";
            }
        }
    }
    for (const std::uint8_t u : dosOnly) {
        EXPECT_EQ(dos.Upper(u), u);
        for (const std::uint8_t x : shared) {
            ASSERT_GT(Cmp(dos, std::string(1, char(u)), std::string(1, char(x))), 0)
                << "bytes " << int(u) << ", " << int(x);
        }
    }
    std::vector<std::string> dosOnlyValues;
    for (const std::uint8_t u : dosOnly) {
        dosOnlyValues.emplace_back(1, char(u));
    }
    EXPECT_TRUE(std::is_sorted(
        dosOnlyValues.begin(), dosOnlyValues.end(),
        [&](const std::string& a, const std::string& b) { return Cmp(dos, a, b) < 0; }));
    EXPECT_TRUE(std::is_sorted(dosOnlyValues.begin(), dosOnlyValues.end()));

    EXPECT_EQ(Sorted(dos, {"p", "\x94", "\x9D", "O", "\x9B", "o"}),
              (std::vector<std::string>{"o", "\x9B", "O", "\x9D", "\x94", "p"}));
    EXPECT_EQ(dos.Upper(0x9B), 0x9D); // ø -> Ø
}

TEST(CollationTest, FoldedOrderDecidesOnlyBeforeTheFirstHighByte) {
    auto folded = [](const std::string& a, const std::string& b) {
        return Collation::CompareFolded(reinterpret_cast<const std::uint8_t*>(a.data()), a.size(),
                                        reinterpret_cast<const std::uint8_t*>(b.data()), b.size());
    };
    EXPECT_EQ(folded("abc", "ABC"), 0);
    EXPECT_LT(folded("abc", "ABD"), 0);
    EXPECT_GT(folded("b", "A"), 0);
    EXPECT_EQ(folded("a\xE9z", "A\xC9"), 0);
    EXPECT_LT(folded("ab", "abc"), 0);
}

// The Nordic orders put their extra letters after Z, in their alphabets' order: Norwegian and
// Danish Æ Ø Å (code page 865), Swedish and Finnish Å Ä Ö (code page 437).
TEST(CollationTest, NordicOrdersPutTheirLettersAfterZ) {
    const Collation& nordan = Collation::ForSortOrder(0xE6, "nordan40");
    EXPECT_EQ(Sorted(nordan, {"\x8F", "Z", "\x9D", "\x92", "A"}),
              (std::vector<std::string>{"A", "Z", "\x92", "\x9D", "\x8F"}));
    const Collation& swedfin = Collation::ForSortOrder(0xF0, "swedfin");
    EXPECT_EQ(Sorted(swedfin, {"\x99", "\x8E", "z", "\x8F", "a"}),
              (std::vector<std::string>{"a", "z", "\x8F", "\x8E", "\x99"}));
    EXPECT_EQ(swedfin.Upper(0x84), 0x8E); // ä -> Ä
}

// The Spanish order sorts "ch" as one letter between c and d, "ll" between l and m, and ñ
// after n; 'cH' is no pair.
TEST(CollationTest, SpanishOrderSortsLetterPairsAsOneLetter) {
    const Collation& span = Collation::ForSortOrder(0, "ANSISPAN");
    EXPECT_EQ(Sorted(span, {"d", "ch", "cz", "Ch", "m", "ll", "lz", "\xF1", "o", "nz", "cH"}),
              (std::vector<std::string>{"cH", "cz", "ch", "Ch", "d", "lz", "ll", "m", "nz", "\xF1",
                                        "o"}));
}

} // namespace
} // namespace paradox
