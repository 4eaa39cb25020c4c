#include "cli/run/QuietVerify.h"

#include "platform/DBErrors.h"
#include "platform/TUtil32.h"
#include "repair/BDEUtil.h"
#include "repair/DBRepair.h"

#include <unistd.h>

namespace cli {

platform::VerifyResult VerifyWithoutErrorTable(const std::string& tablePath) {
    repair::TBDEUtil utility;
    utility.RegisterProgressCallback();
    platform::VerifyResult verify;
    // No error table name: the utility keeps its findings to itself.
    const auto result = platform::TUtilEntries().verifyTableWithResult(
        utility.SessionHandle(), tablePath.c_str(), nullptr, verify);
    try {
        utility.UnregisterProgressCallback();
    } catch (const platform::EDBEngineError&) { // the verdict is what was asked for
    }
    if (result == 0) {
        verify.verdict = repair::VerifyVerdict(verify.status.value_or(0));
        return verify;
    }
    const std::string reason = platform::ResultMessage(result);
    verify.verdict = reason.empty()
                         ? std::string(repair::verdict::kVerifyUnsuccessful)
                         : std::string(repair::verdict::kVerifyUnsuccessful) + " " + reason;
    return verify;
}

bool DirectoryWritable(const std::string& directory) {
    return ::access(directory.c_str(), W_OK) == 0;
}

} // namespace cli
