#include "engine/IndexCatalog.h"

#include "engine/Config.h"
#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/FaultHook.h"
#include "engine/TableHeaderCheck.h"
#include "paradox/MappedFile.h"
#include "paradox/SecondaryIndex.h"

#include <algorithm>

namespace engine {
namespace {

std::string FieldName(const paradox::TableHeader& table, std::uint32_t number) {
    number &= 0x7FFF; // bit 15 marks a descending field
    if (number == 0 || number > table.fields.size()) {
        return {};
    }
    return table.fields[number - 1].name;
}

IndexDefinition SecondaryDefinition(const paradox::TableHeader& table,
                                    const std::filesystem::path& xFile, const std::string& ext) {
    IndexDefinition def;
    def.extension = ext;
    def.file = xFile;
    std::string error;
    paradox::FindingList ignored;
    std::optional<paradox::TableHeader> x;
    if (auto mapped = paradox::MappedFile::Open(xFile, &error)) {
        x = paradox::ParseHeader(mapped->View(), xFile.filename().string(), ignored);
    }
    if (x) {
        const auto spec = paradox::ReadSecondaryIndexSpec(*x, ext, table.ToSchema());
        for (const std::uint16_t number : spec.fieldNumbers) {
            const std::string field = FieldName(table, number);
            if (!field.empty()) {
                def.fields += (def.fields.empty() ? "" : ";") + field;
            }
        }
        def.name = spec.name;
    }
    if (def.name.empty()) {
        def.name = ext;
    }
    return def;
}

} // namespace

IndexDefinition PrimaryIndexDefinition(const paradox::TableHeader& table,
                                       const paradox::TableFamily& family) {
    IndexDefinition primary;
    primary.name = std::string(kPrimaryIndexName);
    primary.primary = true;
    primary.extension = "PX";
    primary.file = family.px;
    for (std::int16_t i = 0;
         i < table.primaryKeyFields && static_cast<std::size_t>(i) < table.fields.size(); ++i) {
        primary.fields += (i == 0 ? "" : ";") + table.fields[static_cast<std::size_t>(i)].name;
    }
    return primary;
}

std::vector<IndexDefinition> ListIndexes(const paradox::TableHeader& table,
                                         const paradox::TableFamily& family) {
    std::vector<IndexDefinition> indexes;
    if (table.Keyed()) {
        indexes.push_back(PrimaryIndexDefinition(table, family));
    }
    for (const auto& path : family.secondaries) {
        const std::string ext = paradox::UpperExtension(path);
        if (ext.empty() || ext[0] != 'X') {
            continue;
        }
        IndexDefinition def = SecondaryDefinition(table, path, ext);
        def.treeFile = paradox::PairedTreeFile(family, path);
        for (const auto& earlier : indexes) {
            if (SameName(earlier.name, def.name)) {
                def.name += " (" + ext + ")";
                break;
            }
        }
        indexes.push_back(std::move(def));
    }
    return indexes;
}

std::uint16_t ReadIndexDefinitions(const std::filesystem::path& db,
                                   std::vector<IndexDefinition>& out) {
    out.clear();
    if (auto fault = TakeFault(op::ReadIndexDefs); fault != err::Ok) {
        return fault;
    }
    std::optional<paradox::MappedFile> file;
    std::optional<paradox::TableHeader> header;
    if (auto result = ReadTableHeader(db, file, header); result != err::Ok) {
        return result;
    }
    // Reading a table's structure includes that its file holds what the header describes:
    // a table without indexes is otherwise never checked by anyone testing its indexes.
    if (auto result = CheckTableFile(db, *file, *header); result != err::Ok) {
        return result;
    }
    out = ListIndexes(*header, paradox::FindFamily(db));
    return err::Ok;
}

const IndexDefinition* FindIndex(const std::vector<IndexDefinition>& indexes,
                                 std::string_view name) {
    for (const auto& def : indexes) {
        if (SameName(def.name, name)) {
            return &def;
        }
    }
    for (const auto& def : indexes) {
        if (SameName(def.extension, name)) {
            return &def;
        }
    }
    return nullptr;
}

} // namespace engine
