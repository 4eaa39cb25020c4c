#include "PartsTable.h"

#include "paradox/RecordBuilder.h"
#include "paradox/TableWriter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platformtest {

std::filesystem::path WriteParts(const std::filesystem::path& dir, int count) {
    paradox::TableSchema schema;
    schema.fileVersion = paradox::level::V7;
    schema.tableName = "PARTS.DB";
    schema.fields = {{"No", 0x04, 4}, {"Title", 0x01, 30}, {"Price", 0x05, 8}};
    schema.keyFieldCount = 1;
    paradox::SecondaryIndexSpec byTitle;
    byTitle.extension = "X02";
    byTitle.name = "Title";
    byTitle.fieldNumbers = {2};
    schema.secondaryIndexes.push_back(byTitle);
    std::vector<std::vector<std::uint8_t>> records;
    paradox::RecordBuilder row(schema);
    for (int i = 1; i <= count; ++i) {
        row.Clear().SetInt(0, i).SetText(1, "part " + std::to_string(i)).SetDouble(2, i * 0.5);
        records.push_back(row.Bytes());
    }
    paradox::WriteTable(dir, "PARTS", schema, records);
    return dir / "PARTS.DB";
}

} // namespace platformtest
