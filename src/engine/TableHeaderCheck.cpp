#include "engine/TableHeaderCheck.h"

#include "engine/ErrorCodes.h"
#include "engine/Failure.h"

#include <system_error>

namespace engine {

std::string FirstDamage(const paradox::FindingList& findings) {
    for (const auto& finding : findings.All()) {
        if (finding.severity == paradox::Severity::Damage) {
            return finding.Describe();
        }
    }
    return {};
}

std::uint16_t ReadCheckedHeader(const std::filesystem::path& path, std::uint16_t missingCode,
                                std::uint16_t damageCode, std::optional<paradox::MappedFile>& file,
                                std::optional<paradox::TableHeader>& header) {
    file.reset();
    header.reset();
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec)) {
        return Fail(missingCode, path.string());
    }
    std::string error;
    file = paradox::MappedFile::Open(path, &error);
    if (!file) {
        return Fail(err::IoError, path.string() + ": " + error);
    }
    paradox::FindingList findings;
    header = paradox::ParseHeader(file->View(), path.string(), findings);
    if (!header) {
        return Fail(damageCode, FirstDamage(findings));
    }
    if (findings.HasDamage()) {
        return Fail(damageCode, FirstDamage(findings));
    }
    return err::Ok;
}

std::uint16_t ReadTableHeader(const std::filesystem::path& db,
                              std::optional<paradox::MappedFile>& file,
                              std::optional<paradox::TableHeader>& header) {
    if (auto result = ReadCheckedHeader(db, err::TableMissing, err::HeaderCorrupt, file, header);
        result != err::Ok) {
        return result;
    }
    if (!header->IsTable()) {
        return Fail(err::NotATable,
                    db.string() + " has file type " + std::to_string(header->fileType));
    }
    return err::Ok;
}

} // namespace engine
