#include "paradox/Finding.h"

#include <algorithm>

namespace paradox {

std::string HexNumber(std::uint64_t value) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + out;
}

std::string FindingPlace(std::string_view file, std::int64_t block, std::int64_t record) {
    std::string out(file);
    if (block >= 0) {
        out += " block " + std::to_string(block);
    }
    if (record >= 0) {
        out += " record " + std::to_string(record);
    }
    return out;
}

std::string FindingLine(std::string_view file, std::int64_t block, std::int64_t record,
                        std::string_view text) {
    std::string out = FindingPlace(file, block, record);
    if (!out.empty()) {
        out += ": ";
    }
    out += text;
    return out;
}

std::string Finding::Text() const {
    std::string out(FindingText(code));
    if (std::string words = detail.Render(); !words.empty()) {
        out += " (" + words + ")";
    }
    return out;
}

std::string Finding::Describe() const {
    std::string out = FindingLine(file, block, record, Text());
    if (dataLost) {
        out += " [data lost]";
    }
    return out;
}

bool FindingList::HasDamage() const {
    return std::any_of(findings_.begin(), findings_.end(),
                       [](const Finding& f) { return f.severity == Severity::Damage; });
}

bool FindingList::HasDataLoss() const {
    return std::any_of(findings_.begin(), findings_.end(),
                       [](const Finding& f) { return f.dataLost; });
}

bool FindingList::Has(FindingCode code) const {
    return std::any_of(findings_.begin(), findings_.end(),
                       [code](const Finding& f) { return f.code == code; });
}

} // namespace paradox
