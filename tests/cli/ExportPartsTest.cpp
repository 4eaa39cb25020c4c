// The pieces of the export: the code page a table's text is read in, the CSV rows and the JSON
// values.

#include "cli/export/CodePage.h"
#include "cli/export/CsvWriter.h"
#include "cli/export/JsonText.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string Utf8(cli::TextConverter& converter, const std::vector<std::uint8_t>& bytes,
                 std::size_t* replaced = nullptr) {
    std::string text;
    const std::size_t count = converter.AppendUtf8(text, bytes.data(), bytes.size());
    if (replaced != nullptr) {
        *replaced = count;
    }
    return text;
}

TEST(CliExportParts, CodePageComesFromTheHeaderOrTheSortOrder) {
    EXPECT_EQ(cli::CodePageName(866, "cyrr"), "CP866");
    EXPECT_EQ(cli::CodePageName(1252, "BLROM800"), "CP1252");
    EXPECT_EQ(cli::CodePageName(0, "BLROM800"), "HP-ROMAN8");
    EXPECT_EQ(cli::CodePageName(0, "ascii"), "CP437");
    EXPECT_EQ(cli::CodePageName(0, ""), "CP437");

    cli::TextConverter cp866("CP866");
    EXPECT_EQ(cp866.CodePageName(), "CP866");
    std::size_t replaced = 99;
    EXPECT_EQ(Utf8(cp866, {0x8F, 0xE0, 0xA8, 0xA2, 0xA5, 0xE2}, &replaced),
              "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"); // Привет
    EXPECT_EQ(replaced, 0u);
    cli::TextConverter cp437("CP437");
    EXPECT_EQ(Utf8(cp437, {'a', 0x81}), "a\xC3\xBC"); // aü
    // 0x81 is no character of code page 1252; a lead byte at the end of Shift-JIS text is cut
    // short: each becomes U+FFFD and is counted, the rest is kept.
    cli::TextConverter cp1252("CP1252");
    EXPECT_EQ(Utf8(cp1252, {'x', 0x81, 'y'}, &replaced), "x\xEF\xBF\xBDy");
    EXPECT_EQ(replaced, 1u);
    cli::TextConverter cp932("CP932");
    EXPECT_EQ(Utf8(cp932, {'z', 0x82}, &replaced), "z\xEF\xBF\xBD");
    EXPECT_EQ(replaced, 1u);
    EXPECT_THROW(cli::TextConverter("CP99999"), std::runtime_error);
}

TEST(CliExportParts, CsvRowsQuoteWhatNeedsItAndEndInCrlf) {
    std::ostringstream out;
    cli::CsvWriter csv(out);
    for (const char* field : {"plain", "a,b", "say \"hi\"", "two\nlines", "cr\r", ""}) {
        csv.Field(field);
    }
    csv.EndRow();
    csv.Field(""); // a row of one NULL
    csv.EndRow();
    csv.Field("");
    csv.Field("");
    csv.EndRow();
    csv.Field(" spaced ");
    csv.Field("semi;colon");
    csv.EndRow();
    EXPECT_EQ(out.str(), "plain,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\"cr\r\",\r\n"
                         "\"\"\r\n"
                         ",\r\n"
                         " spaced ,semi;colon\r\n");

    std::ostringstream failing;
    failing.setstate(std::ios::badbit);
    cli::CsvWriter broken(failing);
    broken.Field("x");
    EXPECT_THROW(broken.EndRow(), std::runtime_error);
}

// The export writes JSON values itself; they must stay byte for byte what the JSON library
// writes: escapes, code points outside ASCII, malformed UTF-8 replaced, numbers' shortest forms.
TEST(CliExportParts, JsonValuesAreWrittenAsTheJsonLibraryWritesThem) {
    std::vector<std::string> texts = {"",
                                      "plain",
                                      "say \"hi\" \\ back",
                                      "tab\tcr\rlf\n\b\f",
                                      "\x7f del",
                                      "Gr\xC3\xBC\xC3\x9F\xE2\x82\xAC",
                                      "\xF0\x9F\x98\x80 four",
                                      "cut \xC3",
                                      "overlong \xC0\xAF",
                                      "surrogate \xED\xA0\x80",
                                      "above \xF4\x90\x80\x80",
                                      "stray \x80\xFF byte",
                                      std::string("nul\0in", 6)};
    for (char c = 1; c < 0x20; ++c) {
        texts.push_back(std::string("control ") + c);
    }
    for (const std::string& text : texts) {
        std::string written;
        cli::AppendJsonString(written, text);
        EXPECT_EQ(written, nlohmann::json(text).dump(-1, ' ', false,
                                                     nlohmann::json::error_handler_t::replace))
            << text;
    }
    for (const double number : {0.25, 100.0, -0.0, 0.1, 1e300, 5e-324, 1e15, 1e16, 1.5e-7,
                                123456789012345680.0, -2.5e-5, 1.7976931348623157e308}) {
        std::string written;
        cli::AppendJsonNumber(written, number);
        EXPECT_EQ(written, nlohmann::json(number).dump()) << number;
    }
}

} // namespace
