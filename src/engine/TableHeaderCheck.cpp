#include "engine/TableHeaderCheck.h"

#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/OpenErrors.h"
#include "paradox/OpenChecks.h"

#include <system_error>

namespace engine {
namespace {

constexpr std::size_t kWholeChainBlocks = 64;
constexpr std::size_t kLargeTableBlocks = 8;

} // namespace

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
    header = paradox::ParseHeader(file->View(), path.filename().string(), findings);
    if (!header) {
        const paradox::Finding* stop = FirstStop(findings);
        return Fail(damageCode, stop != nullptr ? stop->Describe() : std::string());
    }
    return FailOnFindings(findings, damageCode);
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

std::uint16_t CheckTableFile(const std::filesystem::path& db, const paradox::MappedFile& file,
                             const paradox::TableHeader& header) {
    paradox::FindingList findings;
    paradox::CheckTableExtent(header, file.View(), db.filename().string(), findings);
    if (!findings.HasDamage()) {
        // Small tables are walked whole; of a large one, whose chain no bounded walk covers,
        // the first blocks and the tail are enough (each block read may be a page fault).
        const std::size_t walk =
            header.blocksInUse <= kWholeChainBlocks ? kWholeChainBlocks : kLargeTableBlocks;
        paradox::CheckChainStart(header, file.View(), db.filename().string(), findings, walk);
    }
    const paradox::Finding* stop = FirstStop(findings);
    if (stop == nullptr) {
        return err::Ok;
    }
    // A file cut short is what the operator must hear, whatever else its header claims.
    paradox::FindingCode code = stop->code;
    for (const auto& finding : findings.All()) {
        if (paradox::FindingInfo(finding.code).openError == paradox::OpenErrorKind::Truncation) {
            code = finding.code;
            break;
        }
    }
    return Fail(OpenError(code, err::TableCorrupt), stop->Describe());
}

} // namespace engine
