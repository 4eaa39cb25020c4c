#include "EngineTestSupport.h"

#include "engine/Config.h"
#include "paradox/Family.h"
#include "paradox/RecordBuilder.h"
#include "paradox/TableWriter.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace enginetest {

ScopedConfig::ScopedConfig(const std::filesystem::path& file,
                           const std::optional<std::string>& text) {
    if (const char* old = std::getenv(engine::kConfigEnvVar)) {
        previous_ = old;
    }
    std::error_code ec;
    std::filesystem::remove(file, ec);
    if (text) {
        testsupport::WriteFileBytes(file, *text);
    }
    ::setenv(engine::kConfigEnvVar, file.c_str(), 1);
}

ScopedConfig::~ScopedConfig() {
    if (previous_) {
        ::setenv(engine::kConfigEnvVar, previous_->c_str(), 1);
    } else {
        ::unsetenv(engine::kConfigEnvVar);
    }
}

std::filesystem::path CopyFamily(const std::filesystem::path& db,
                                 const std::filesystem::path& dir) {
    for (const auto& file : paradox::AllFamilyFiles(paradox::FindFamily(db))) {
        std::filesystem::copy_file(file, dir / file.filename(),
                                   std::filesystem::copy_options::overwrite_existing);
    }
    return dir / db.filename();
}

namespace {

paradox::FieldSpec Field(std::string name, paradox::FieldType type, std::uint8_t size = 0) {
    paradox::FieldSpec field;
    field.name = std::move(name);
    field.typeCode = static_cast<std::uint8_t>(type);
    field.sizeByte = size;
    if (size == 0) {
        field.sizeByte = static_cast<std::uint8_t>(paradox::FieldByteLength(field.typeCode, 0));
    }
    return field;
}

} // namespace

std::filesystem::path WriteKeyedTable(const std::filesystem::path& dir, const std::string& stem,
                                      int records) {
    paradox::TableSchema schema;
    schema.tableName = stem + ".DB";
    schema.fields = {
        Field("Code", paradox::FieldType::Alpha, 12), Field("Amount", paradox::FieldType::Long, 4),
        Field("City", paradox::FieldType::Alpha, 20), Field("Notes", paradox::FieldType::Memo, 20)};
    schema.keyFieldCount = 1;
    paradox::SecondaryIndexSpec city;
    city.extension = "X03";
    city.name = "City";
    city.fieldNumbers = {3};
    schema.secondaryIndexes.push_back(city);
    paradox::TableWriter writer(dir, stem, schema, paradox::WriteOptions{.sync = false});
    paradox::RecordBuilder builder(schema);
    for (int i = 0; i < records; ++i) {
        char code[16];
        std::snprintf(code, sizeof code, "K%06d", i);
        builder.Clear().SetText(0, code).SetInt(1, i * 7).SetText(2, i % 3 ? "Lyon" : "Bergen");
        if (i % 4 == 0) {
            builder.SetBlobText(3, std::string(40 + i % 100, static_cast<char>('a' + i % 26)));
        }
        writer.Append(builder.Bytes(), builder.Blobs());
    }
    writer.Finish();
    return dir / (stem + ".DB");
}

std::filesystem::path WritePlainTable(const std::filesystem::path& dir, const std::string& stem,
                                      int records) {
    paradox::TableSchema schema;
    schema.tableName = stem + ".DB";
    schema.fields = {Field("Name", paradox::FieldType::Alpha, 30),
                     Field("Count", paradox::FieldType::Long, 4)};
    paradox::TableWriter writer(dir, stem, schema, paradox::WriteOptions{.sync = false});
    paradox::RecordBuilder builder(schema);
    for (int i = 0; i < records; ++i) {
        builder.Clear().SetText(0, "row " + std::to_string(i)).SetInt(1, i);
        writer.Append(builder.Bytes());
    }
    writer.Finish();
    return dir / (stem + ".DB");
}

void PatchBytes(const std::filesystem::path& file, std::uint64_t offset,
                const std::vector<std::uint8_t>& bytes) {
    std::fstream io(file, std::ios::in | std::ios::out | std::ios::binary);
    io.seekp(static_cast<std::streamoff>(offset));
    io.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
    if (!io) {
        throw std::runtime_error("cannot patch " + file.string());
    }
}

void PatchU16(const std::filesystem::path& file, std::uint64_t offset, std::uint16_t value) {
    PatchBytes(file, offset,
               {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)});
}

std::uint8_t ReadU8(const std::filesystem::path& file, std::uint64_t offset) {
    const std::string bytes = testsupport::ReadFileBytes(file);
    return static_cast<std::uint8_t>(bytes.at(offset));
}

std::uint16_t ReadU16(const std::filesystem::path& file, std::uint64_t offset) {
    const std::string bytes = testsupport::ReadFileBytes(file);
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes.at(offset)) |
                                      (static_cast<std::uint8_t>(bytes.at(offset + 1)) << 8));
}

} // namespace enginetest
