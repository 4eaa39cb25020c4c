#include "cli/export/RecordDecoder.h"

#include "cli/export/ByteScan.h"
#include "paradox/BlobFile.h"
#include "paradox/Codec.h"
#include "paradox/FieldType.h"
#include "paradox/Finding.h"
#include "paradox/TableReader.h"
#include "paradox/ValueText.h"

#include <cstring>

namespace cli {
namespace {

using paradox::FieldType;
using Kind = ExportValue::Kind;

constexpr std::uint8_t Code(FieldType type) {
    return static_cast<std::uint8_t>(type);
}

void SetTemporal(ExportValue& value, std::optional<std::int64_t> number,
                 void (*append)(std::string&, std::int64_t)) {
    if (number) {
        value.kind = Kind::Temporal;
        append(value.text, *number);
    }
}

} // namespace

bool IsBinaryField(std::uint8_t typeCode) {
    return typeCode == Code(FieldType::Blob) || typeCode == Code(FieldType::Graphic) ||
           typeCode == Code(FieldType::Ole) || typeCode == Code(FieldType::Bytes);
}

RecordDecoder::RecordDecoder(const paradox::TableReader& table, const paradox::BlobFile* blobs,
                             TextConverter& text, paradox::FindingList& findings)
    : table_(table), blobs_(blobs), text_(text), findings_(findings) {
    const auto& fields = table_.Schema().fields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        lengths_.push_back(table_.FieldInRecord(i) ? fields[i].ByteLength() : 0);
    }
}

std::vector<std::string> RecordDecoder::FieldNames() {
    std::vector<std::string> names;
    for (const auto& field : table_.Schema().fields) {
        std::string name;
        AppendText(name, reinterpret_cast<const std::uint8_t*>(field.name.data()),
                   field.name.size());
        names.push_back(std::move(name));
    }
    return names;
}

void RecordDecoder::Decode(const paradox::RecordRef& record, std::vector<ExportValue>& values) {
    const auto& fields = table_.Schema().fields;
    values.resize(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        ExportValue& value = values[i];
        value.kind = Kind::Null;
        value.text.clear();
        value.bytes.clear();
        if (lengths_[i] == 0) {
            Unreadable(value);
            continue;
        }
        DecodeField(i, record, record.bytes + table_.FieldOffsets()[i], value);
    }
}

void RecordDecoder::DecodeField(std::size_t index, const paradox::RecordRef& record,
                                const std::uint8_t* field, ExportValue& value) {
    const paradox::FieldSpec& spec = table_.Schema().fields[index];
    const std::size_t length = lengths_[index];
    switch (spec.typeCode) {
    case Code(FieldType::Alpha):
        if (field[0] != 0) {
            const void* end = std::memchr(field, 0, length);
            SetText(value, field,
                    end ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - field)
                        : length);
        }
        return;
    case Code(FieldType::Short):
    case Code(FieldType::Long):
    case Code(FieldType::AutoInc):
        if (const auto number = paradox::DecodeKbeInt(field, length)) {
            value.kind = Kind::Integer;
            value.integer = *number;
        }
        return;
    case Code(FieldType::Number):
    case Code(FieldType::Currency):
        if (const auto number = paradox::DecodeKbeDouble(field)) {
            value.kind = Kind::Real;
            value.real = *number;
        }
        return;
    case Code(FieldType::Date):
        SetTemporal(value, paradox::DecodeKbeInt(field, 4), &paradox::AppendDateText);
        return;
    case Code(FieldType::Time):
        SetTemporal(value, paradox::DecodeKbeInt(field, 4), &paradox::AppendTimeText);
        return;
    case Code(FieldType::Timestamp):
        if (const auto milliseconds = paradox::DecodeKbeDouble(field)) {
            value.kind = Kind::Temporal;
            paradox::AppendTimestampText(value.text, *milliseconds);
        }
        return;
    case Code(FieldType::Logical):
        if (field[0] != 0) {
            value.kind = Kind::Boolean;
            value.boolean = field[0] != 0x80;
        }
        return;
    case Code(FieldType::Bcd):
        if (auto digits = paradox::DecodeBcd(field, spec.sizeByte)) {
            value.kind = Kind::Decimal;
            value.text = std::move(*digits);
        }
        return;
    case Code(FieldType::Bytes):
        if (!paradox::IsAllZero(field, length)) {
            value.kind = Kind::Binary;
            value.bytes.assign(field, field + length);
        }
        return;
    case Code(FieldType::Memo):
    case Code(FieldType::FmtMemo):
    case Code(FieldType::Blob):
    case Code(FieldType::Ole):
    case Code(FieldType::Graphic):
        DecodeBlob(index, record, field, value);
        return;
    default:
        Unreadable(value);
        return;
    }
}

void RecordDecoder::DecodeBlob(std::size_t index, const paradox::RecordRef& record,
                               const std::uint8_t* field, ExportValue& value) {
    const paradox::FieldSpec& spec = table_.Schema().fields[index];
    const std::uint16_t length = lengths_[index];
    if (!paradox::DecodeBlobRef(field, length)) {
        Unreadable(value);
        return;
    }
    // The place that names the record in findings is put together only for a blob that has
    // some: the read is repeated with it, and gives the same answer.
    paradox::FindingList blobFindings;
    bool read = paradox::ReadBlobField(field, length, spec.typeCode, blobs_, blobData_,
                                       blobFindings, std::string());
    if (!read || !blobFindings.Empty()) {
        read = paradox::ReadBlobField(
            field, length, spec.typeCode, blobs_, blobData_, findings_,
            paradox::FindingPlace(table_.FileName(), record.block, record.slot) + " field " +
                spec.name);
    }
    if (!read) {
        Unreadable(value);
        return;
    }
    if (blobData_.empty()) {
        return; // NULL
    }
    if (IsBinaryField(spec.typeCode)) {
        value.kind = Kind::Binary;
        value.bytes = blobData_;
    } else {
        SetText(value, blobData_.data(), blobData_.size());
    }
}

void RecordDecoder::SetText(ExportValue& value, const std::uint8_t* bytes, std::size_t size) {
    value.kind = Kind::Text;
    AppendText(value.text, bytes, size);
}

void RecordDecoder::AppendText(std::string& out, const std::uint8_t* bytes, std::size_t size) {
    const std::size_t replaced = text_.AppendUtf8(out, bytes, size);
    replaced_ += replaced;
    textsWithReplaced_ += replaced != 0;
    sawNonAscii_ = sawNonAscii_ || !IsAscii(bytes, size);
}

void RecordDecoder::Unreadable(ExportValue& value) {
    value.kind = Kind::Null;
    ++unreadable_;
}

} // namespace cli
