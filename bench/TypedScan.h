#pragma once

// A full scan as a program reading a table would do it: open, follow the chain, and decode
// every field of every record into a typed value (integers, doubles, day numbers, texts as
// views into the mapping), without allocating per record.

#include "paradox/Codec.h"
#include "paradox/FieldType.h"
#include "paradox/Finding.h"
#include "paradox/TableReader.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

namespace bench {

struct ScanTotals {
    std::uint64_t records = 0;
    std::uint64_t values = 0;
    std::uint64_t nulls = 0;
    std::uint64_t textBytes = 0;
    // Sums of the decoded values, which keep them alive past the optimiser.
    std::int64_t integers = 0;
    double reals = 0;
};

inline ScanTotals ScanTyped(const paradox::TableReader& reader) {
    using paradox::FieldType;
    struct Column {
        std::uint32_t offset;
        std::uint16_t length;
        FieldType type;
        std::uint8_t sizeByte; // BCD: the scale
    };
    std::vector<Column> columns;
    const auto& fields = reader.Schema().fields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (reader.FieldInRecord(i)) {
            columns.push_back({reader.FieldOffsets()[i], fields[i].ByteLength(), fields[i].Type(),
                               fields[i].sizeByte});
        }
    }
    ScanTotals totals;
    reader.ForEachRecord([&](const paradox::RecordRef& record) {
        // Per-record accumulators stay in registers; the totals are touched once per record.
        std::int64_t integers = 0;
        double reals = 0;
        std::uint64_t nulls = 0;
        std::uint64_t textBytes = 0;
        for (const Column& column : columns) {
            const std::uint8_t* p = record.bytes + column.offset;
            switch (column.type) {
            case FieldType::Alpha: {
                const auto* end =
                    static_cast<const std::uint8_t*>(std::memchr(p, 0, column.length));
                const std::string_view text(reinterpret_cast<const char*>(p),
                                            end == nullptr ? column.length
                                                           : static_cast<std::size_t>(end - p));
                textBytes += text.size();
                nulls += text.empty() ? 1 : 0;
                break;
            }
            case FieldType::Short:
            case FieldType::Long:
            case FieldType::AutoInc:
            case FieldType::Date:
            case FieldType::Time: {
                const auto value = paradox::DecodeKbeInt(p, column.length);
                integers += value.value_or(0);
                nulls += value ? 0 : 1;
                break;
            }
            case FieldType::Number:
            case FieldType::Currency:
            case FieldType::Timestamp: {
                const auto value = paradox::DecodeKbeDouble(p);
                reals += value.value_or(0.0);
                nulls += value ? 0 : 1;
                break;
            }
            case FieldType::Logical:
                integers += p[0] == 0x81 ? 1 : 0;
                nulls += p[0] == 0 ? 1 : 0;
                break;
            case FieldType::Bcd: {
                const auto value = paradox::DecodeBcd(p, column.sizeByte);
                textBytes += value ? value->size() : 0;
                break;
            }
            case FieldType::Bytes:
                textBytes += column.length;
                break;
            default: {
                const auto ref = paradox::DecodeBlobRef(p, column.length);
                integers += ref ? ref->length : 0;
                break;
            }
            }
        }
        ++totals.records;
        totals.values += columns.size();
        totals.nulls += nulls;
        totals.textBytes += textBytes;
        totals.integers += integers;
        totals.reals += reals;
    });
    return totals;
}

// Open + chain walk + typed decode of every record.
inline ScanTotals OpenAndScan(const std::filesystem::path& db) {
    paradox::FindingList findings;
    const auto reader = paradox::TableReader::Open(db, findings);
    if (!reader) {
        return {};
    }
    return ScanTyped(*reader);
}

} // namespace bench
