#include "repair/DBRepair.h"

#include "engine/FileNames.h"
#include "platform/DBErrors.h"
#include "platform/DatabaseDesc.h"
#include "platform/TUtil32.h"
#include "platform/TblDescBuffers.h"
#include "platform/Toolkit.h"

namespace repair {
namespace {

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
    const std::string tablePath = TablePath(aliasName, tableName);
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

std::string TqzDBRepair::TablePath(const std::string& aliasName, const std::string& tableName) {
    return JoinTablePath(platform::DatabaseDirectory(platform::GetDatabaseDesc(aliasName)),
                         tableName);
}

platform::VerifyResult TqzDBRepair::Verify(const std::string& aliasName,
                                           const std::string& tableName, bool writeErrorTable) {
    platform::VerifyResult verify;
    RunOperation(aliasName, tableName, [&](const std::string& tablePath) {
        const auto result = platform::TUtilEntries().verifyTableWithResult(
            bdeUtil_.SessionHandle(), tablePath.c_str(),
            writeErrorTable ? engine::kVerifyErrorTable : nullptr, verify);
        verify.verdict = result == 0 ? VerifyVerdict(verify.status.value_or(0))
                                     : WithReason(verdict::kVerifyUnsuccessful, result);
    });
    return verify;
}

void TqzDBRepair::Rebuild(const std::string& aliasName, const std::string& tableName,
                          platform::VerifyResult& verify, platform::RebuildResult& rebuild) {
    verify = {};
    rebuild = {};
    RunOperation(aliasName, tableName, [&](const std::string& tablePath) {
        RebuildWithCallback(tablePath, tableName, verify, rebuild);
    });
}

void TqzDBRepair::VerifyTable(const std::string& aliasName, const std::string& tableName,
                              std::string& verdict) {
    verdict.clear();
    verdict = Verify(aliasName, tableName).verdict;
}

void TqzDBRepair::RebuildTable(const std::string& aliasName, const std::string& tableName,
                               std::string& verdict) {
    verdict.clear();
    platform::VerifyResult verify;
    platform::RebuildResult rebuild;
    Rebuild(aliasName, tableName, verify, rebuild);
    verdict = rebuild.verdict;
}

void TqzDBRepair::RebuildWithCallback(const std::string& tablePath, const std::string& tableName,
                                      platform::VerifyResult& verify,
                                      platform::RebuildResult& rebuild) {
    const auto& entries = platform::TUtilEntries();
    const std::uint16_t session = bdeUtil_.SessionHandle();
    platform::Check(entries.verifyTableWithResult(session, tablePath.c_str(),
                                                  engine::kVerifyErrorTable, verify));
    verify.verdict = VerifyVerdict(verify.status.value_or(0));

    platform::TblDescCounts counts;
    if (const auto result = entries.getCRTblDescCount(
            session, tablePath.c_str(), &counts.fields, &counts.indexes, &counts.security,
            &counts.validityChecks, &counts.refIntegrity, &counts.optionalParams,
            &counts.optionalDataUnits);
        result != 0) {
        rebuild.result = result;
        rebuild.verdict = WithReason(verdict::kRebuildUnsuccessful, result);
        return;
    }

    CRTblDesc desc;
    platform::PrepareTblDesc(desc, tablePath, engine::kRebuildErrorTable);
    const platform::TblDescBuffers buffers(counts);
    buffers.AttachTo(desc);
    if (const auto result = entries.fillCRTblDesc(session, &desc, tablePath.c_str(), nullptr);
        result != 0) {
        const std::string failure = WithReason(verdict::kRebuildUnsuccessful, result);
        platform::CurrentToolkit().ShowMessageBox(
            platform::BoxIcon::Error, platform::kApplicationTitle, kErrorFillingTableStructure);
        rebuild.result = result;
        rebuild.verdict = failure;
        return;
    }

    const std::string stem = StripFileExtension(tableName);
    const std::string backupName = engine::WorkTableFileName(stem, engine::WorkTableKind::Backup);
    const std::string keyViolName =
        engine::WorkTableFileName(stem, engine::WorkTableKind::KeyViolations);
    const std::string problemName =
        engine::WorkTableFileName(stem, engine::WorkTableKind::Problems);
    if (acceptLoss_) {
        platform::Check(entries.setRebuildPolicy(session, 1));
    }
    const auto result =
        entries.rebuildTableWithResult(session, tablePath.c_str(), backupName.c_str(),
                                       keyViolName.c_str(), problemName.c_str(), &desc, rebuild);
    rebuild.result = result;
    rebuild.verdict = result == 0 ? verdict::kRebuildSuccessful
                                  : WithReason(verdict::kRebuildUnsuccessful, result);
}

} // namespace repair
