#include "repair/DBRepair.h"

#include "platform/DBErrors.h"
#include "platform/DatabaseDesc.h"
#include "platform/TUtil32.h"
#include "platform/TblDescBuffers.h"
#include "platform/Toolkit.h"

namespace repair {
namespace {

constexpr const char* kDriverType = "PARADOX";
constexpr const char* kVerifyErrorTable = "VERIFY.DB";
constexpr const char* kRebuildErrorTable = "Rebuild.DB";

// A verdict for a failure the library explained: the verdict text, then its reason.
std::string WithReason(const char* verdictText, std::uint16_t result) {
    const std::string reason = platform::ResultMessage(result);
    return reason.empty() ? verdictText : std::string(verdictText) + " " + reason;
}

} // namespace

std::string VerifyVerdict(std::uint32_t status) {
    switch (status) {
    case 0:
        return verdict::kNoErrors;
    case 1:
        return verdict::kCompleted;
    case 2:
        return verdict::kNotCompleted;
    case 3:
        return verdict::kRebuildManually;
    case 4:
        return verdict::kCannotRebuild;
    default:
        return verdict::kVerifyUnsuccessful;
    }
}

std::string JoinTablePath(const std::string& directory, const std::string& tableName) {
    return directory + "/" + tableName;
}

template <class Work>
void TqzDBRepair::RunOperation(const std::string& aliasName, const std::string& tableName,
                               Work&& work) {
    const platform::HourglassScope hourglass;
    const std::string tablePath =
        JoinTablePath(platform::DatabaseDirectory(platform::GetDatabaseDesc(aliasName)), tableName);
    platform::CheckTablePathFits(tablePath);
    bdeUtil_.ReopenSession();
    bdeUtil_.RegisterProgressCallback();
    try {
        work(tablePath);
    } catch (...) {
        try {
            bdeUtil_.UnregisterProgressCallback();
        } catch (...) { // the first failure is the one to report
        }
        throw;
    }
    bdeUtil_.UnregisterProgressCallback();
}

void TqzDBRepair::VerifyTable(const std::string& aliasName, const std::string& tableName,
                              std::string& verdict) {
    verdict.clear();
    RunOperation(aliasName, tableName, [&](const std::string& tablePath) {
        std::uint32_t status = 0;
        const auto result = platform::TUtilEntries().verifyTable(
            bdeUtil_.SessionHandle(), tablePath.c_str(), kDriverType, kVerifyErrorTable, nullptr, 0,
            &status);
        verdict =
            result == 0 ? VerifyVerdict(status) : WithReason(verdict::kVerifyUnsuccessful, result);
    });
}

void TqzDBRepair::RebuildTable(const std::string& aliasName, const std::string& tableName,
                               std::string& verdict) {
    verdict.clear();
    RunOperation(aliasName, tableName, [&](const std::string& tablePath) {
        RebuildWithCallback(tablePath, tableName, verdict);
    });
}

void TqzDBRepair::RebuildWithCallback(const std::string& tablePath, const std::string& tableName,
                                      std::string& verdict) {
    const auto& entries = platform::TUtilEntries();
    const std::uint16_t session = bdeUtil_.SessionHandle();
    std::uint32_t status = 0;
    platform::Check(entries.verifyTable(session, tablePath.c_str(), kDriverType, kVerifyErrorTable,
                                        nullptr, 0, &status));

    platform::TblDescCounts counts;
    if (const auto result = entries.getCRTblDescCount(
            session, tablePath.c_str(), &counts.fields, &counts.indexes, &counts.security,
            &counts.validityChecks, &counts.refIntegrity, &counts.optionalParams,
            &counts.optionalDataUnits);
        result != 0) {
        verdict = WithReason(verdict::kRebuildUnsuccessful, result);
        return;
    }

    CRTblDesc desc;
    platform::PrepareTblDesc(desc, tablePath, kRebuildErrorTable);
    const platform::TblDescBuffers buffers(counts);
    buffers.AttachTo(desc);
    if (const auto result = entries.fillCRTblDesc(session, &desc, tablePath.c_str(), nullptr);
        result != 0) {
        const std::string failure = WithReason(verdict::kRebuildUnsuccessful, result);
        platform::CurrentToolkit().ShowMessageBox(
            platform::BoxIcon::Error, platform::kApplicationTitle, kErrorFillingTableStructure);
        verdict = failure;
        return;
    }

    const std::string stem = StripFileExtension(tableName);
    const std::string backupName = stem + "-BACKUP.DB";
    const std::string keyViolName = stem + "-KEYVIOL.DB";
    const std::string problemName = stem + "-PROBLEM.DB";
    if (acceptLoss_) {
        platform::Check(entries.setRebuildPolicy(session, 1));
    }
    const auto result =
        entries.rebuildTable(session, tablePath.c_str(), kDriverType, backupName.c_str(),
                             keyViolName.c_str(), problemName.c_str(), &desc);
    verdict = result == 0 ? verdict::kRebuildSuccessful
                          : WithReason(verdict::kRebuildUnsuccessful, result);
}

} // namespace repair
