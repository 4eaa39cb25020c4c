#include "paradox/RecordBuilder.h"

#include "paradox/Codec.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

namespace paradox {

RecordBuilder::RecordBuilder(const TableSchema& schema)
    : fields_(schema.fields), offsets_(schema.FieldOffsets()) {
    for (const auto& field : fields_) {
        if (IsBlobType(field.typeCode)) {
            blobSlot_.push_back(static_cast<int>(blobs_.size()));
            blobs_.emplace_back();
        } else {
            blobSlot_.push_back(-1);
        }
    }
    record_.assign(schema.RecordSize(), 0);
}

std::uint8_t* RecordBuilder::FieldBytes(std::size_t field,
                                        std::initializer_list<FieldType> allowed) {
    if (field >= fields_.size()) {
        throw std::invalid_argument("field " + std::to_string(field) + " out of range");
    }
    const FieldType type = fields_[field].Type();
    if (allowed.size() != 0 && std::find(allowed.begin(), allowed.end(), type) == allowed.end()) {
        throw std::invalid_argument("field " + fields_[field].name +
                                    " cannot take a value of this kind");
    }
    return record_.data() + offsets_[field];
}

void RecordBuilder::RefuseNullPattern(std::int32_t value, std::size_t field) const {
    if (value == std::numeric_limits<std::int32_t>::min()) {
        throw std::invalid_argument("value of field " + fields_[field].name +
                                    " would be stored as NULL");
    }
}

RecordBuilder& RecordBuilder::Null(std::size_t field) {
    std::uint8_t* p = FieldBytes(field, {});
    std::memset(p, 0, fields_[field].ByteLength());
    if (blobSlot_[field] >= 0) {
        blobs_[static_cast<std::size_t>(blobSlot_[field])].reset();
    }
    return *this;
}

RecordBuilder& RecordBuilder::SetText(std::size_t field, std::string_view text) {
    std::uint8_t* p = FieldBytes(field, {FieldType::Alpha});
    const std::size_t length = fields_[field].ByteLength();
    if (text.size() > length) {
        throw std::invalid_argument("text longer than field " + fields_[field].name);
    }
    std::memset(p, 0, length);
    std::copy(text.begin(), text.end(), p);
    return *this;
}

RecordBuilder& RecordBuilder::SetInt(std::size_t field, std::int64_t value) {
    std::uint8_t* p = FieldBytes(field, {FieldType::Short, FieldType::Long, FieldType::AutoInc});
    const std::size_t length = fields_[field].ByteLength();
    const std::int64_t limit = length == 2 ? 32767 : 2147483647;
    // The smallest value of the width encodes as all zero bytes, which is NULL.
    if (value > limit || value < -limit) {
        throw std::invalid_argument("integer out of range for field " + fields_[field].name);
    }
    EncodeKbeInt(value, p, length);
    return *this;
}

RecordBuilder& RecordBuilder::SetDouble(std::size_t field, double value) {
    EncodeKbeDouble(value, FieldBytes(field, {FieldType::Number, FieldType::Currency}));
    return *this;
}

RecordBuilder& RecordBuilder::SetDate(std::size_t field, int year, unsigned month, unsigned day) {
    return SetDayNumber(field, static_cast<std::int32_t>(DayNumberFromCivil(year, month, day)));
}

RecordBuilder& RecordBuilder::SetDayNumber(std::size_t field, std::int32_t day) {
    std::uint8_t* p = FieldBytes(field, {FieldType::Date});
    RefuseNullPattern(day, field);
    EncodeKbeInt(day, p, 4);
    return *this;
}

RecordBuilder& RecordBuilder::SetTime(std::size_t field, std::int32_t msSinceMidnight) {
    std::uint8_t* p = FieldBytes(field, {FieldType::Time});
    RefuseNullPattern(msSinceMidnight, field);
    EncodeKbeInt(msSinceMidnight, p, 4);
    return *this;
}

RecordBuilder& RecordBuilder::SetTimestamp(std::size_t field, double ms) {
    EncodeKbeDouble(ms, FieldBytes(field, {FieldType::Timestamp}));
    return *this;
}

RecordBuilder& RecordBuilder::SetLogical(std::size_t field, bool value) {
    *FieldBytes(field, {FieldType::Logical}) = value ? 0x81 : 0x80;
    return *this;
}

RecordBuilder& RecordBuilder::SetBcd(std::size_t field, std::string_view decimal) {
    std::uint8_t* p = FieldBytes(field, {FieldType::Bcd});
    if (!EncodeBcd(decimal, fields_[field].sizeByte, p)) {
        throw std::invalid_argument("BCD value '" + std::string(decimal) + "' does not fit field " +
                                    fields_[field].name);
    }
    return *this;
}

RecordBuilder& RecordBuilder::SetBytes(std::size_t field, std::span<const std::uint8_t> bytes) {
    std::uint8_t* p = FieldBytes(field, {FieldType::Bytes});
    const std::size_t length = fields_[field].ByteLength();
    if (bytes.size() > length) {
        throw std::invalid_argument("bytes longer than field " + fields_[field].name);
    }
    std::memset(p, 0, length);
    std::copy(bytes.begin(), bytes.end(), p);
    return *this;
}

RecordBuilder& RecordBuilder::SetBlob(std::size_t field, std::span<const std::uint8_t> data) {
    FieldBytes(field, {FieldType::Memo, FieldType::Blob, FieldType::FmtMemo, FieldType::Ole,
                       FieldType::Graphic});
    blobs_[static_cast<std::size_t>(blobSlot_[field])] =
        std::vector<std::uint8_t>(data.begin(), data.end());
    return *this;
}

RecordBuilder& RecordBuilder::SetBlobText(std::size_t field, std::string_view text) {
    const auto* begin = reinterpret_cast<const std::uint8_t*>(text.data());
    return SetBlob(field, std::span<const std::uint8_t>(begin, text.size()));
}

RecordBuilder& RecordBuilder::Clear() {
    std::fill(record_.begin(), record_.end(), std::uint8_t{0});
    for (auto& blob : blobs_) {
        blob.reset();
    }
    return *this;
}

} // namespace paradox
