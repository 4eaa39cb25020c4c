#pragma once

// The large table of the verify and rebuild benchmarks: keyed, level 7, 260-byte records with
// a secondary index and a memo field whose values are partly in the records' leaders and
// partly in the .MB file.

#include "paradox/RecordBuilder.h"
#include "paradox/TableWriter.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace bench {

inline paradox::TableSchema BigTableSchema() {
    paradox::TableSchema schema;
    schema.fileVersion = paradox::level::V7;
    schema.blockSizeCode = 16;
    schema.indexBlockSizeCode = 4;
    schema.tableName = "BIG.DB";
    schema.fields = {{"Id", 0x04, 4},  {"Customer", 0x01, 40}, {"Amount", 0x06, 8},
                     {"Day", 0x02, 4}, {"Text", 0x01, 120},    {"Notes", 0x0C, 40}};
    schema.keyFieldCount = 1;
    paradox::SecondaryIndexSpec byCustomer;
    byCustomer.extension = "X02";
    byCustomer.name = "Customer";
    byCustomer.fieldNumbers = {2};
    byCustomer.blockSizeCode = 4;
    schema.secondaryIndexes.push_back(byCustomer);
    return schema;
}

// Writes table `stem` of the large table's structure with `records` records into `dir` (no
// fsync: the benchmarks flush or evict what they need themselves); returns the table's path.
inline std::filesystem::path MakeTable(const std::filesystem::path& dir, const std::string& stem,
                                       std::uint64_t records) {
    paradox::TableSchema schema = BigTableSchema();
    schema.tableName = stem + ".DB";
    paradox::WriteOptions options;
    options.sync = false;
    paradox::TableWriter writer(dir, stem, schema, options);
    paradox::RecordBuilder row(schema);
    const std::string text(100, 't');
    const std::string longNote(300, 'n');
    for (std::uint64_t i = 1; i <= records; ++i) {
        row.Clear()
            .SetInt(0, static_cast<std::int64_t>(i))
            .SetText(1, "customer " + std::to_string((i * 7919) % 100000))
            .SetDouble(2, static_cast<double>(i) * 0.25)
            .SetDayNumber(3, static_cast<std::int32_t>(730000 + i % 5000))
            .SetText(4, text);
        if (i % 50 == 0) {
            row.SetBlobText(5, longNote + std::to_string(i)); // in the .MB
        } else if (i % 3 == 0) {
            row.SetBlobText(5, "short " + std::to_string(i)); // in the leader
        }
        writer.Append(row.Bytes(), row.Blobs());
    }
    writer.Finish();
    return dir / (stem + ".DB");
}

// The records of about `megabytes` MB of the large table.
inline std::uint64_t RecordsIn(std::uint64_t megabytes) {
    return megabytes * 1024 * 1024 / 260;
}

// Writes BIG.DB and its family into `dir`, about `megabytes` MB of records; returns its path.
inline std::filesystem::path MakeBigTable(const std::filesystem::path& dir, std::uint64_t megabytes,
                                          std::uint64_t& records) {
    records = RecordsIn(megabytes);
    return MakeTable(dir, "BIG", records);
}

} // namespace bench
