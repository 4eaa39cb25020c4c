#pragma once

#include "paradox/Schema.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace paradox {

// Builds one record in on-disk encoding from typed values, starting from an all-NULL
// record. Setters throw std::invalid_argument for a field number out of range or a value
// the field's type cannot hold (text longer than the field, BCD that does not fit, the
// smallest integer of a width, whose encoding is the NULL pattern...).
class RecordBuilder {
public:
    explicit RecordBuilder(const TableSchema& schema);

    RecordBuilder& Null(std::size_t field);
    RecordBuilder& SetText(std::size_t field, std::string_view text); // Alpha
    RecordBuilder& SetInt(std::size_t field, std::int64_t value);     // Short, Long, AutoInc
    RecordBuilder& SetDouble(std::size_t field, double value);        // Number, Currency
    RecordBuilder& SetDate(std::size_t field, int year, unsigned month, unsigned day);
    RecordBuilder& SetDayNumber(std::size_t field, std::int32_t day); // Date, raw day number
    RecordBuilder& SetTime(std::size_t field, std::int32_t msSinceMidnight);
    RecordBuilder& SetTimestamp(std::size_t field, double ms); // day number * 86400000 + ms
    RecordBuilder& SetLogical(std::size_t field, bool value);
    RecordBuilder& SetBcd(std::size_t field, std::string_view decimal);
    RecordBuilder& SetBytes(std::size_t field, std::span<const std::uint8_t> bytes); // Bytes
    // Blob fields (Memo, Blob, FmtMemo, OLE, Graphic): the value handed to TableWriter.
    RecordBuilder& SetBlob(std::size_t field, std::span<const std::uint8_t> data);
    RecordBuilder& SetBlobText(std::size_t field, std::string_view text);

    // Resets to an all-NULL record.
    RecordBuilder& Clear();

    std::vector<std::uint8_t> Bytes() const { return record_; }
    // One entry per blob field, in field order, for TableWriter::Append.
    const std::vector<std::optional<std::vector<std::uint8_t>>>& Blobs() const { return blobs_; }

private:
    void RefuseNullPattern(std::int32_t value, std::size_t field) const;
    std::uint8_t* FieldBytes(std::size_t field, std::initializer_list<FieldType> allowed);

    std::vector<FieldSpec> fields_;
    std::vector<std::uint32_t> offsets_;
    std::vector<int> blobSlot_; // per field: index into blobs_, or -1
    std::vector<std::uint8_t> record_;
    std::vector<std::optional<std::vector<std::uint8_t>>> blobs_;
};

} // namespace paradox
