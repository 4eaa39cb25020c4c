// mendrix-cli verify TABLE...: each table's verify status, verdict and findings.

#include "cli/Commands.h"
#include "engine/ErrorCodes.h"
#include "paradox/Finding.h"
#include "tutil/TableLocation.h"
#include "tutil/UtilityError.h"
#include "tutil/Verify.h"

#include <ostream>

namespace cli {
namespace {

const char* VerdictOf(tutil::VerifyStatus status) {
    switch (status) {
    case tutil::VerifyStatus::Healthy:
        return "Verification Successful. Table has no errors.";
    case tutil::VerifyStatus::Repairable:
        return "Verification Successful. Verification completed.";
    case tutil::VerifyStatus::Incomplete:
        return "Verification Successful. Verification could not be completed.";
    case tutil::VerifyStatus::ManualRebuild:
        return "Verification Successful. Table must be rebuilt manually.";
    case tutil::VerifyStatus::CannotRebuild:
        return "Verification Successful. Table cannot be rebuilt.";
    }
    return "Verification unsuccessful.";
}

void PrintFinding(const paradox::Finding& f, std::ostream& out) {
    out << "  " << static_cast<int>(f.code) << ' ' << f.file;
    if (f.block >= 0) {
        out << " block " << f.block;
    }
    if (f.record >= 0) {
        out << " record " << f.record;
    }
    out << ": " << paradox::FindingText(f.code);
    if (!f.detail.empty()) {
        out << " (" << f.detail << ')';
    }
    out << '\n';
}

int RunVerify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << "usage: mendrix-cli verify TABLE...\n";
        return kExitUsage;
    }
    int exitCode = kExitOk;
    for (const std::string& path : args) {
        try {
            const auto outcome = tutil::VerifyTable(tutil::LocateTable(path));
            out << path << ": status " << static_cast<int>(outcome.status) << ": "
                << VerdictOf(outcome.status) << '\n';
            for (const auto& finding : outcome.findings.All()) {
                PrintFinding(finding, out);
            }
            if (outcome.status != tutil::VerifyStatus::Healthy) {
                exitCode = kExitFailed;
            }
        } catch (const tutil::UtilityError& e) {
            out << path << ": Verification unsuccessful.\n";
            err << path << ": " << engine::DescribeError(e.Code()) << ": " << e.what() << '\n';
            exitCode = kExitFailed;
        }
    }
    return exitCode;
}

const CommandRegistration kVerify{
    {"verify", "TABLE...", "verify Paradox tables and list what is wrong", &RunVerify}};

} // namespace
} // namespace cli
