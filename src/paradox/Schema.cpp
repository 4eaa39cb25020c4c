#include "paradox/Schema.h"

#include <algorithm>

namespace paradox {

std::vector<std::uint32_t> FieldOffsetsOf(const std::vector<FieldSpec>& fields) {
    std::vector<std::uint32_t> offsets;
    offsets.reserve(fields.size());
    std::uint32_t offset = 0;
    for (const auto& field : fields) {
        offsets.push_back(offset);
        offset += field.ByteLength();
    }
    return offsets;
}

std::uint32_t LeadingFieldsLength(const std::vector<FieldSpec>& fields, std::size_t count) {
    std::uint32_t length = 0;
    for (std::size_t i = 0; i < std::min(count, fields.size()); ++i) {
        length += fields[i].ByteLength();
    }
    return length;
}

std::uint32_t IndexKeyValue(const TableProtection& table, std::optional<std::uint32_t> replaced) {
    if (table.keyValue == 0) {
        return 0;
    }
    return replaced.value_or(table.keyValue);
}

} // namespace paradox
