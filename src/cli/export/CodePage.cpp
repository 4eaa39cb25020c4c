#include "cli/export/CodePage.h"

#include "cli/export/ByteScan.h"

#include <array>
#include <cerrno>
#include <stdexcept>

namespace cli {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

} // namespace

std::string CodePageName(std::uint16_t codePage, std::string_view sortOrderName) {
    if (codePage != 0) {
        return "CP" + std::to_string(codePage);
    }
    if (sortOrderName.starts_with("BLROM8")) {
        return "HP-ROMAN8";
    }
    return "CP437";
}

void TextConverter::Close::operator()(std::remove_pointer_t<iconv_t>* handle) const {
    iconv_close(handle);
}

TextConverter::TextConverter(const std::string& codePageName) : name_(codePageName) {
    iconv_t handle = iconv_open("UTF-8", codePageName.c_str());
    if (handle == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error("code page " + codePageName + " is not known to iconv");
    }
    handle_.reset(handle);
    // Each ASCII byte alone and all of them in one text must come out unchanged: a code page
    // that is not ASCII-based (EBCDIC), wide (UTF-16) or shifts state on some byte is converted
    // by iconv whole.
    std::array<std::uint8_t, 0x80> ascii{};
    std::string converted;
    bool asIs = true;
    for (std::size_t byte = 0; byte < ascii.size() && asIs; ++byte) {
        ascii[byte] = static_cast<std::uint8_t>(byte);
        converted.clear();
        asIs = AppendThroughIconv(converted, &ascii[byte], 1) == 0 &&
               converted == std::string(1, static_cast<char>(byte));
    }
    converted.clear();
    asciiAsIs_ = asIs && AppendThroughIconv(converted, ascii.data(), ascii.size()) == 0 &&
                 converted == std::string(ascii.begin(), ascii.end());
}

std::size_t TextConverter::AppendUtf8(std::string& out, const std::uint8_t* text,
                                      std::size_t size) {
    if (asciiAsIs_ && IsAscii(text, size)) {
        out.append(reinterpret_cast<const char*>(text), size);
        return 0;
    }
    return AppendThroughIconv(out, text, size);
}

std::size_t TextConverter::AppendThroughIconv(std::string& out, const std::uint8_t* text,
                                              std::size_t size) {
    iconv_t handle = handle_.get();
    iconv(handle, nullptr, nullptr, nullptr, nullptr); // back to the initial state
    // iconv's interface takes non-const input; it does not write through it.
    char* in = const_cast<char*>(reinterpret_cast<const char*>(text));
    std::size_t inLeft = size;
    std::size_t replaced = 0;
    std::array<char, 1024> buffer;
    while (inLeft > 0) {
        char* next = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t result = iconv(handle, &in, &inLeft, &next, &outLeft);
        const int error = errno;
        out.append(buffer.data(), static_cast<std::size_t>(next - buffer.data()));
        if (result == static_cast<std::size_t>(-1) && error != E2BIG) {
            // EILSEQ, or EINVAL for a multi-byte character cut off at the end: skip one byte.
            out += kReplacementCharacter;
            ++in;
            --inLeft;
            ++replaced;
        }
    }
    // iconv's contract: a call without input ends any shift sequence of the output.
    char* next = buffer.data();
    std::size_t outLeft = buffer.size();
    iconv(handle, nullptr, nullptr, &next, &outLeft);
    out.append(buffer.data(), static_cast<std::size_t>(next - buffer.data()));
    return replaced;
}

} // namespace cli
