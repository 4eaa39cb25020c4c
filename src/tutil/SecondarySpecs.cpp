#include "tutil/SecondarySpecs.h"

#include "paradox/DirectoryListing.h"
#include "paradox/Family.h"
#include "paradox/FieldType.h"
#include "paradox/Header.h"
#include "paradox/MappedFile.h"
#include "paradox/NameCase.h"
#include "paradox/SecondaryIndex.h"
#include "tutil/MemberHeader.h"

#include <algorithm>
#include <cctype>

namespace tutil {
namespace {

// The field a single-field index file names (.X06: field 6; the digits are hex), when the
// table has it; 0 otherwise (.XGn names no field).
std::uint16_t FieldOfName(const std::string& extension, const paradox::TableSchema& schema) {
    auto hex = [&](std::size_t i) {
        return std::isxdigit(static_cast<unsigned char>(extension[i])) != 0;
    };
    if (extension.size() != 3 || extension[0] != 'X' || !hex(1) || !hex(2)) {
        return 0;
    }
    const auto field = static_cast<std::uint16_t>(std::stoul(extension.substr(1), nullptr, 16));
    if (field < 1 || field > schema.fields.size() ||
        paradox::IsBlobType(schema.fields[field - 1].typeCode)) {
        return 0; // no such field, or one no index can order
    }
    return field;
}

// A single-field index as its name defines it, for an index file whose header cannot be read:
// its records follow from the table's, so it is rebuilt rather than dropped.
paradox::SecondaryIndexSpec SpecFromName(const std::string& extension, std::uint16_t field,
                                         const paradox::TableSchema& schema) {
    paradox::SecondaryIndexSpec spec;
    spec.extension = extension;
    spec.name = schema.fields[field - 1].name;
    spec.fieldNumbers = {field};
    spec.maintained = schema.Keyed();
    spec.blockSizeCode = schema.blockSizeCode;
    return spec;
}

} // namespace

std::vector<paradox::SecondaryIndexSpec>
ReadSecondaryIndexSpecs(const TableLocation& table, const paradox::TableSchema& schema,
                        std::vector<UnusableIndex>* unusable) {
    std::vector<paradox::SecondaryIndexSpec> specs;
    auto leaveOut = [&](const std::filesystem::path& path, std::string reason) {
        const std::string extension = paradox::UpperExtension(path);
        if (const std::uint16_t field = FieldOfName(extension, schema); field != 0) {
            specs.push_back(SpecFromName(extension, field, schema));
            return;
        }
        if (unusable != nullptr) {
            unusable->push_back({path.filename().string(), std::move(reason)});
        }
    };
    const paradox::TableFamily family = paradox::FindFamily(table.db);
    for (const auto& path : family.secondaries) {
        const std::string extension = paradox::UpperExtension(path);
        if (extension[0] != 'X') {
            continue;
        }
        std::string error;
        auto file = paradox::MappedFile::Open(path, &error);
        if (!file) {
            leaveOut(path, error);
            continue;
        }
        paradox::FindingList problems;
        const auto header = paradox::ParseHeader(file->View(), path.filename().string(), problems);
        if (!header || !header->IsSecondaryData()) {
            leaveOut(path, problems.Empty() ? "header is not a secondary index's"
                                            : problems.All().front().Describe());
            continue;
        }
        paradox::SecondaryIndexSpec spec =
            paradox::ReadSecondaryIndexSpec(*header, extension, schema);
        const bool usable =
            !spec.fieldNumbers.empty() &&
            std::all_of(spec.fieldNumbers.begin(), spec.fieldNumbers.end(), [&](std::uint16_t n) {
                const auto field = n & 0x7FFFu;
                return field >= 1 && field <= schema.fields.size();
            });
        if (!usable) {
            leaveOut(path, "header names no field of the table");
            continue;
        }
        if (auto code = MemberBlockSizeCode(paradox::PairedTreeFile(family, path));
            code && *code != spec.blockSizeCode) {
            spec.indexBlockSizeCode = *code;
        }
        specs.push_back(std::move(spec));
    }
    // A name of an index file that something other than a file took (a FIFO, a folder): the
    // index it named is reproduced as any unreadable one.
    const std::string prefix = paradox::UpperAscii(table.stem) + ".";
    // Held here: another thread's listing of the folder may replace the cached one meanwhile.
    const auto listing = paradox::ListDirectory(table.dir);
    for (const auto& entry : listing->Entries()) {
        const std::string upper = paradox::UpperAscii(entry.name);
        if (entry.regular || !upper.starts_with(prefix)) {
            continue;
        }
        const std::string extension = upper.substr(prefix.size());
        if (paradox::IsSecondaryIndexExtension(extension) && extension[0] == 'X') {
            leaveOut(table.dir / entry.name, "not a regular file");
        }
    }
    return specs;
}

} // namespace tutil
