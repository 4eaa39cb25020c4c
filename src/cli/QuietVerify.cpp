#include "cli/QuietVerify.h"

#include "platform/DBErrors.h"
#include "platform/TUtil32.h"
#include "repair/BDEUtil.h"
#include "repair/DBRepair.h"

#include <unistd.h>

namespace cli {

std::string VerifyWithoutErrorTable(const std::string& tablePath) {
    repair::TBDEUtil utility;
    utility.RegisterProgressCallback();
    std::uint32_t status = 0;
    // No error table name: the utility keeps its findings to itself.
    const auto result = platform::TUtilEntries().verifyTable(
        utility.SessionHandle(), tablePath.c_str(), "PARADOX", nullptr, nullptr, 0, &status);
    try {
        utility.UnregisterProgressCallback();
    } catch (const platform::EDBEngineError&) { // the verdict is what was asked for
    }
    if (result == 0) {
        return repair::VerifyVerdict(status);
    }
    const std::string reason = platform::ResultMessage(result);
    return reason.empty() ? std::string(repair::verdict::kVerifyUnsuccessful)
                          : std::string(repair::verdict::kVerifyUnsuccessful) + " " + reason;
}

bool DirectoryWritable(const std::string& directory) {
    return ::access(directory.c_str(), W_OK) == 0;
}

} // namespace cli
