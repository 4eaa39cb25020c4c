#include "paradox/NameCase.h"

#include <algorithm>
#include <cctype>

namespace paradox {
namespace {

char UpperChar(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

char LowerChar(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

} // namespace

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), UpperChar);
    return out;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return UpperChar(x) == UpperChar(y);
           });
}

std::string FamilyMemberName(std::string_view dbName, std::string_view upperExtension) {
    const std::size_t dot = dbName.rfind('.');
    const std::string_view stem = dbName.substr(0, dot);
    const std::string_view tableExtension =
        dot == std::string_view::npos ? std::string_view() : dbName.substr(dot + 1);
    const bool lower = std::none_of(tableExtension.begin(), tableExtension.end(), [](char c) {
        return std::isupper(static_cast<unsigned char>(c)) != 0;
    });
    std::string extension = UpperAscii(upperExtension);
    if (lower) {
        std::transform(extension.begin(), extension.end(), extension.begin(), LowerChar);
    }
    return std::string(stem) + "." + extension;
}

} // namespace paradox
