#include "paradox/Header.h"

namespace paradox {

bool IsValidBlockSizeCode(std::uint8_t code) {
    return code == 1 || code == 2 || code == 3 || code == 4 || code == 8 || code == 16 ||
           code == 32;
}

std::uint32_t TableHeader::FieldBytes() const {
    return LeadingFieldsLength(fields, fields.size());
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
    return schema;
}

} // namespace paradox
