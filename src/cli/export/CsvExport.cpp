#include "cli/export/CsvExport.h"

#include <charconv>
#include <fstream>
#include <stdexcept>

namespace cli {

void AppendShortestDouble(std::string& out, double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

CsvExport::CsvExport(std::ostream& out, std::filesystem::path blobFolder,
                     std::string blobFolderName, CsvDialect dialect, std::string nullText)
    : csv_(out, dialect), blobFolder_(std::move(blobFolder)),
      blobFolderName_(std::move(blobFolderName)), nullText_(std::move(nullText)) {}

CsvExport::~CsvExport() {
    if (blobFolderCreated_ && !keep_) {
        std::error_code ignored;
        std::filesystem::remove_all(blobFolder_, ignored);
    }
}

void CsvExport::Header(const std::vector<std::string>& fieldNames) {
    for (const auto& name : fieldNames) {
        csv_.Field(name);
    }
    csv_.EndRow();
}

void CsvExport::Record(std::uint64_t number, const std::vector<ExportValue>& values) {
    using Kind = ExportValue::Kind;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const ExportValue& value = values[i];
        cell_.clear();
        switch (value.kind) {
        case Kind::Null:
            csv_.Field(nullText_);
            continue;
        case Kind::Text:
        case Kind::Decimal:
        case Kind::Temporal:
            csv_.Field(value.text, value.text == nullText_);
            continue;
        case Kind::Integer: {
            char text[24];
            cell_.assign(text, std::to_chars(text, text + sizeof text, value.integer).ptr);
            break;
        }
        case Kind::Real:
            AppendShortestDouble(cell_, value.real);
            break;
        case Kind::Boolean:
            cell_ = value.boolean ? "true" : "false";
            break;
        case Kind::Binary:
            cell_ = WriteBlobFile(number, i + 1, value.bytes);
            break;
        }
        csv_.Field(cell_, cell_ == nullText_);
    }
    csv_.EndRow();
}

std::string CsvExport::WriteBlobFile(std::uint64_t record, std::size_t field,
                                     const std::vector<std::uint8_t>& bytes) {
    if (blobFolder_.empty()) {
        throw std::logic_error("binary values need an output file beside which to go");
    }
    if (!blobFolderChecked_) {
        blobFolderCreated_ = std::filesystem::create_directories(blobFolder_);
        blobFolderChecked_ = true;
    }
    const std::string name = std::to_string(record) + '-' + std::to_string(field) + ".bin";
    const std::filesystem::path path = blobFolder_ / name;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        throw std::runtime_error("cannot write " + path.string());
    }
    return blobFolderName_ + '/' + name;
}

} // namespace cli
