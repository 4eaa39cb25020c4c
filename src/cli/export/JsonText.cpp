#include "cli/export/JsonText.h"

#include "cli/export/ByteScan.h"

#include <cstdint>
#include <nlohmann/json.hpp>

namespace cli {
namespace {

// Whether `text` is well-formed UTF-8: no stray or missing continuation bytes, no overlong
// form, no surrogate, nothing above U+10FFFF.
bool IsWellFormedUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<std::uint8_t>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t codePoint = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            codePoint = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            codePoint = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            codePoint = lead & 0x07u;
        } else {
            return false;
        }
        if (text.size() - i < length) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<std::uint8_t>(text[i + k]);
            if ((next & 0xC0u) != 0x80u) {
                return false;
            }
            codePoint = (codePoint << 6) | (next & 0x3Fu);
        }
        if ((length == 3 && (codePoint < 0x800 || (codePoint >= 0xD800 && codePoint <= 0xDFFF))) ||
            (length == 4 && (codePoint < 0x10000 || codePoint > 0x10FFFF))) {
            return false;
        }
        i += length;
    }
    return true;
}

bool IsPlain(char c) {
    return static_cast<unsigned char>(c) >= 0x20 && c != '"' && c != '\\';
}

} // namespace

void AppendJsonString(std::string& out, std::string_view text) {
    if (!IsAscii(text.data(), text.size()) && !IsWellFormedUtf8(text)) {
        // Only a fault in the conversion to UTF-8 gets here: nlohmann's own replacement.
        out += nlohmann::json(std::string(text))
                   .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        return;
    }
    out += '"';
    if (!MayNeedJsonEscape(text.data(), text.size())) {
        out += text;
        out += '"';
        return;
    }
    std::size_t plainFrom = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (IsPlain(c)) {
            continue;
        }
        out.append(text.data() + plainFrom, i - plainFrom);
        plainFrom = i + 1;
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\r':
            out += "\\r";
            break;
        default: {
            static constexpr char kHex[] = "0123456789abcdef";
            const auto byte = static_cast<unsigned char>(c);
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
            break;
        }
        }
    }
    out.append(text.data() + plainFrom, text.size() - plainFrom);
    out += '"';
}

void AppendJsonNumber(std::string& out, double value) {
    char text[64];
    // nlohmann's own shortest form ("0.25", "100.0", "1e+300"), which std::to_chars does not
    // always match.
    out.append(text, nlohmann::detail::to_chars(text, text + sizeof text, value));
}

} // namespace cli
