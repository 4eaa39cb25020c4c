// mendrix-cli rebuild TABLE...: rebuilds each table through the utility library's entry points,
// as the repair engine does, and says where the work tables are.

#include "cli/Commands.h"
#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "platform/TUtil32.h"

#include <filesystem>
#include <ostream>
#include <vector>

namespace cli {
namespace {

std::string StemOf(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// Verify, count, fill, rebuild, verify again; the verdict line, or the failing step.
bool RebuildOne(std::uint16_t session, const std::string& path, std::ostream& out) {
    std::uint32_t status = 0;
    auto fail = [&](const char* step, std::uint16_t code) {
        out << path << ": Rebuild was not successful. (" << step << ": "
            << engine::TakeFailureMessage(code) << ")\n";
        return false;
    };
    if (auto r = TUVerifyTable(session, path.c_str(), "PARADOX", "VERIFY.DB", nullptr, 0, &status);
        r != 0) {
        return fail("verify", r);
    }
    std::uint16_t counts[7] = {};
    if (auto r = TUGetCRTblDescCount(session, path.c_str(), &counts[0], &counts[1], &counts[2],
                                     &counts[3], &counts[4], &counts[5], &counts[6]);
        r != 0) {
        return fail("structure", r);
    }
    CRTblDesc desc{};
    std::vector<FLDDesc> fields(counts[0]);
    std::vector<IDXDesc> indexes(counts[1]);
    std::vector<SECDesc> security(counts[2]);
    std::vector<VCHKDesc> checks(counts[3]);
    std::vector<RINTDesc> links(counts[4]);
    std::vector<FLDDesc> params(counts[5]);
    std::vector<std::uint8_t> data(std::size_t{counts[6]} * 128);
    path.copy(desc.tableName, sizeof desc.tableName - 1);
    std::string("PARADOX").copy(desc.tableType, sizeof desc.tableType - 1);
    std::string("Rebuild.DB").copy(desc.errorTableName, sizeof desc.errorTableName - 1);
    desc.fieldCount = counts[0];
    desc.fields = counts[0] ? fields.data() : nullptr;
    desc.indexCount = counts[1];
    desc.indexes = counts[1] ? indexes.data() : nullptr;
    desc.securityCount = counts[2];
    desc.security = counts[2] ? security.data() : nullptr;
    desc.validityCount = counts[3];
    desc.validityChecks = counts[3] ? checks.data() : nullptr;
    desc.refIntegrityCount = counts[4];
    desc.refIntegrity = counts[4] ? links.data() : nullptr;
    desc.optionalParamCount = counts[5];
    desc.optionalParams = counts[5] ? params.data() : nullptr;
    desc.optionalData = counts[6] ? data.data() : nullptr;
    if (auto r = TUFillCRTblDesc(session, &desc, path.c_str(), nullptr); r != 0) {
        return fail("Error Filling table structure", r);
    }
    const std::string stem = StemOf(path);
    const std::string backup = stem + "-BACKUP.DB";
    const std::string keyViol = stem + "-KEYVIOL.DB";
    const std::string problem = stem + "-PROBLEM.DB";
    if (auto r = TURebuildTable(session, path.c_str(), "PARADOX", backup.c_str(), keyViol.c_str(),
                                problem.c_str(), &desc);
        r != 0) {
        return fail("rebuild", r);
    }
    const auto dir = std::filesystem::path(path).parent_path();
    out << path << ": Rebuild was successful.\n";
    out << "  backup: " << (dir / backup).string() << '\n';
    for (const std::string& work : {keyViol, problem}) {
        if (std::filesystem::exists(dir / work)) {
            out << "  " << (work == keyViol ? "key violations: " : "problems: ")
                << (dir / work).string() << '\n';
        }
    }
    if (TUVerifyTable(session, path.c_str(), "PARADOX", "VERIFY.DB", nullptr, 0, &status) != 0 ||
        status != 0) {
        out << "  the rebuilt table does not verify clean (status " << status << ")\n";
        return false;
    }
    return true;
}

int RunRebuild(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << "usage: mendrix-cli rebuild TABLE...\n";
        return kExitUsage;
    }
    std::uint16_t session = 0;
    if (auto r = TUInit(&session); r != 0) {
        err << engine::DescribeError(r) << '\n';
        return kExitFailed;
    }
    int exitCode = kExitOk;
    for (const std::string& path : args) {
        if (!RebuildOne(session, path, out)) {
            exitCode = kExitFailed;
        }
    }
    TUExit(session);
    return exitCode;
}

const CommandRegistration kRebuild{
    {"rebuild", "TABLE...", "rebuild Paradox tables, keeping a backup of each", &RunRebuild}};

} // namespace
} // namespace cli
