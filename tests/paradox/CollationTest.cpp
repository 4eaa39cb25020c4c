#include "paradox/Collation.h"

#include "paradox/CollationData.h"

#include <algorithm>
#include <gtest/gtest.h>
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
                          Case{"ANSII850", "\xE4", "\xDF", "", "\xE9", 0xC9}}) {
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
