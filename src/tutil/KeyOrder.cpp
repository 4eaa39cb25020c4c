#include "tutil/KeyOrder.h"

namespace tutil {

std::string FoldedFirstField(const paradox::KeyComparator& keys, const std::uint8_t* record) {
    const auto& field = keys.FirstField();
    std::string folded;
    for (std::uint32_t i = 0; i < field.length; ++i) {
        const std::uint8_t c = record[field.offset + i];
        if (field.alpha && (c == 0 || c >= 0x80)) {
            break;
        }
        folded.push_back(static_cast<char>(field.alpha && c >= 'a' && c <= 'z' ? c - 32 : c));
    }
    return folded;
}

} // namespace tutil
