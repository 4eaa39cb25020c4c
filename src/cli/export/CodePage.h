#pragma once

#include <cstddef>
#include <cstdint>
#include <iconv.h>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace cli {

// The iconv name of the code page a table's text is stored in: "CP" and the number the header
// gives ("CP866"). Tables that give none (0, and every level 3 table) are taken as CP437, the
// DOS default, except those sorted by the HP Roman-8 order ("BLROM800"), which are HP-ROMAN8.
std::string CodePageName(std::uint16_t codePage, std::string_view sortOrderName);

// Converts text from one code page to UTF-8 through iconv.
class TextConverter {
public:
    // Throws std::runtime_error when iconv does not know the code page.
    explicit TextConverter(const std::string& codePageName);

    const std::string& CodePageName() const { return name_; }

    // Appends the UTF-8 form of `size` bytes of text. A byte the code page does not define (or
    // a multi-byte character cut short) becomes U+FFFD; returns how many bytes were replaced.
    std::size_t AppendUtf8(std::string& out, const std::uint8_t* text, std::size_t size);

private:
    struct Close {
        void operator()(std::remove_pointer_t<iconv_t>* handle) const;
    };

    std::size_t AppendThroughIconv(std::string& out, const std::uint8_t* text, std::size_t size);

    std::string name_;
    std::unique_ptr<std::remove_pointer_t<iconv_t>, Close> handle_;
    // The code page writes bytes 0x00-0x7F as the same ASCII characters, so text of only those
    // bytes is copied as it is, without a call into iconv.
    bool asciiAsIs_ = false;
};

} // namespace cli
