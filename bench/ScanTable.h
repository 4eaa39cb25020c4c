#pragma once

// The table the scan benchmark reads: a keyed level-7 table of 129-byte records holding the
// usual mix of a business table (key, two texts, small and large integers, money, dates,
// times, timestamps, flags), with some NULLs.

#include "paradox/Codec.h"
#include "paradox/Schema.h"
#include "paradox/TableWriter.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

inline paradox::TableSchema ScanSchema(std::uint8_t blockSizeCode) {
    using paradox::FieldType;
    const auto field = [](const char* name, FieldType type, std::uint8_t size) {
        return paradox::FieldSpec{name, static_cast<std::uint8_t>(type), size};
    };
    paradox::TableSchema schema;
    schema.fileVersion = paradox::level::V7;
    schema.blockSizeCode = blockSizeCode;
    schema.indexBlockSizeCode = 4;
    schema.tableName = "SCAN.DB";
    schema.fields = {
        field("Id", FieldType::Long, 4),         field("Name", FieldType::Alpha, 60),
        field("City", FieldType::Alpha, 30),     field("Qty", FieldType::Short, 2),
        field("Ratio", FieldType::Number, 8),    field("Price", FieldType::Currency, 8),
        field("Born", FieldType::Date, 4),       field("At", FieldType::Time, 4),
        field("Stamp", FieldType::Timestamp, 8), field("Paid", FieldType::Logical, 1)};
    schema.keyFieldCount = 1;
    return schema;
}

// Writes `records` records (no fsync: the benchmark reads them from the page cache).
inline void WriteScanTable(const std::filesystem::path& dir, const std::string& stem,
                           std::uint64_t records, std::uint8_t blockSizeCode) {
    const paradox::TableSchema schema = ScanSchema(blockSizeCode);
    std::vector<std::uint32_t> offset;
    std::uint32_t at = 0;
    for (const auto& f : schema.fields) {
        offset.push_back(at);
        at += f.ByteLength();
    }
    std::vector<std::uint8_t> record(schema.RecordSize());
    paradox::WriteOptions options;
    options.sync = false;
    paradox::TableWriter writer(dir, stem, schema, options);
    static const char* const names[] = {"Anders Holm", "Brigitte Vasquez-Lindqvist", "Chen Wei",
                                        "Dmitri Alexandrovich Sokolov", "Eve"};
    static const char* const cities[] = {"Oslo", "San Francisco", "Ulaanbaatar", "Lyon"};
    for (std::uint64_t i = 0; i < records; ++i) {
        std::memset(record.data(), 0, record.size());
        const auto n = static_cast<std::int64_t>(i);
        paradox::EncodeKbeInt(n + 1, &record[offset[0]], 4);
        const char* name = names[i % 5];
        std::memcpy(&record[offset[1]], name, std::strlen(name));
        if (i % 11 != 0) {
            const char* city = cities[i % 4];
            std::memcpy(&record[offset[2]], city, std::strlen(city));
        }
        paradox::EncodeKbeInt(n % 20000 - 10000, &record[offset[3]], 2);
        paradox::EncodeKbeDouble(static_cast<double>(n) / 7.0, &record[offset[4]]);
        if (i % 13 != 0) {
            paradox::EncodeKbeDouble(static_cast<double>(n % 100000) / 100.0, &record[offset[5]]);
        }
        paradox::EncodeKbeInt(700000 + n % 30000, &record[offset[6]], 4);
        paradox::EncodeKbeInt(n * 1000 % 86400000, &record[offset[7]], 4);
        paradox::EncodeKbeDouble(6.3e13 + static_cast<double>(n) * 1000.0, &record[offset[8]]);
        record[offset[9]] = static_cast<std::uint8_t>(i % 2 == 0 ? 0x81 : 0x80);
        writer.Append(record);
    }
    writer.Finish();
}

} // namespace bench
