#include "paradox/Header.h"

#include "paradox/HeaderOffsets.h"

#include <algorithm>

namespace paradox {
namespace {
constexpr std::size_t kAuxPasswordsEnd =
    header_at::kAuxPasswords + std::tuple_size_v<decltype(TableProtection::bytes3D)>;
}

bool IsValidBlockSizeCode(std::uint8_t code) {
    return code == 1 || code == 2 || code == 3 || code == 4 || code == 8 || code == 16 ||
           code == 32;
}

std::uint32_t TableHeader::FieldBytes() const {
    return LeadingFieldsLength(fields, fields.size());
}

TableProtection TableHeader::Protection() const {
    TableProtection protection;
    protection.keyValue = CipherKeyValue();
    if (protection.keyValue != 0 && raw.size() >= kAuxPasswordsEnd) {
        std::copy(raw.begin() + header_at::kAuxPasswords, raw.begin() + kAuxPasswordsEnd,
                  protection.bytes3D.begin());
    }
    return protection;
}

TableSchema TableHeader::ToSchema() const {
    TableSchema schema;
    schema.fileVersion = fileVersion;
    schema.blockSizeCode = blockSizeCode;
    schema.indexBlockSizeCode = blockSizeCode;
    schema.fields = fields;
    schema.keyFieldCount =
        IsTable() && primaryKeyFields > 0 ? static_cast<std::uint16_t>(primaryKeyFields) : 0;
    schema.sortOrder = sortOrder;
    if (!sortOrderName.empty()) {
        schema.sortOrderName = sortOrderName;
    }
    if (hasExtension) {
        schema.codePage = codePage;
    }
    schema.tableName = tableName;
    schema.autoIncrement = autoIncrement;
    schema.protection = Protection();
    return schema;
}

} // namespace paradox
