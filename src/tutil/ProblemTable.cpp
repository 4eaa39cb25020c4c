#include "tutil/ProblemTable.h"

#include "paradox/RecordBuilder.h"
#include "paradox/TableWriter.h"
#include "tutil/DurableFile.h"

namespace tutil {

using paradox::FieldSpec;
using paradox::FieldType;

namespace {
enum Column : std::size_t { kFile, kBlock, kPosition, kCode, kReason, kRaw };

std::string Clip(const std::string& text, std::size_t length) {
    return text.substr(0, std::min(length, text.find('\0')));
}

std::string Hex(std::span<const std::uint8_t> bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}
} // namespace

class ProblemWriter {
public:
    ProblemWriter(const std::filesystem::path& dir, const std::string& stem, std::uint32_t keyValue)
        : schema_(SchemaWithKey(keyValue)), writer_(dir, stem, schema_, paradox::WriteOptions{}),
          row_(schema_) {}
    static paradox::TableSchema SchemaWithKey(std::uint32_t keyValue) {
        paradox::TableSchema schema = ProblemTable::Schema();
        schema.protection.keyValue = keyValue;
        return schema;
    }
    paradox::TableSchema schema_;
    paradox::TableWriter writer_;
    paradox::RecordBuilder row_;
};

ProblemTable::ProblemTable(std::filesystem::path dir, std::string stem, std::uint32_t keyValue)
    : dir_(std::move(dir)), stem_(std::move(stem)), keyValue_(keyValue) {}

ProblemTable::~ProblemTable() = default;

paradox::TableSchema ProblemTable::Schema() {
    paradox::TableSchema schema;
    schema.fileVersion = paradox::level::V5;
    schema.tableName = "PROBLEM";
    schema.fields = {FieldSpec{"File", static_cast<std::uint8_t>(FieldType::Alpha), 64},
                     FieldSpec{"Block", static_cast<std::uint8_t>(FieldType::Long), 4},
                     FieldSpec{"Position", static_cast<std::uint8_t>(FieldType::Long), 4},
                     FieldSpec{"Code", static_cast<std::uint8_t>(FieldType::Short), 2},
                     FieldSpec{"Reason", static_cast<std::uint8_t>(FieldType::Alpha), 255},
                     FieldSpec{"Raw", static_cast<std::uint8_t>(FieldType::Memo), 11}};
    return schema;
}

void ProblemTable::Add(const std::string& file, std::int64_t block, std::int64_t position,
                       paradox::FindingCode code, const std::string& reason,
                       std::span<const std::uint8_t> raw) {
    if (!writer_) {
        writer_ = std::make_unique<ProblemWriter>(dir_, stem_, keyValue_);
    }
    auto& row = writer_->row_;
    row.Clear();
    row.SetText(kFile, Clip(file, 64));
    if (block >= 0 && block <= INT32_MAX) {
        row.SetInt(kBlock, block);
    }
    if (position >= 0 && position <= INT32_MAX) {
        row.SetInt(kPosition, position);
    }
    row.SetInt(kCode, static_cast<int>(code));
    row.SetText(kReason, Clip(reason, 255));
    if (!raw.empty()) {
        row.SetBlobText(kRaw, Hex(raw));
    }
    writer_->writer_.Append(row.Bytes(), row.Blobs());
    ++rows_;
}

void ProblemTable::Finish() {
    if (writer_) {
        writer_->writer_.Finish();
    }
}

} // namespace tutil
