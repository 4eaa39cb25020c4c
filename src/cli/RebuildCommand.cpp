// mendrix-cli rebuild TABLE...: rebuilds each table with the repair engine, as a Rebuild All
// run of the window does, and says where the work tables are.

#include "cli/Commands.h"
#include "cli/PrivateDir.h"
#include "platform/DBErrors.h"
#include "platform/Session.h"
#include "repair/BDEUtil.h"
#include "repair/DBRepair.h"

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <set>
#include <system_error>
#include <vector>

namespace cli {
namespace {

namespace fs = std::filesystem;

// The session-scope alias through which the batch program names a table's directory.
constexpr const char* kDirectoryAlias = "Mendrix";

void PointAliasAt(platform::TSession& session, const fs::path& directory) {
    session.SetConfigMode(platform::cfmSession);
    if (session.IsAlias(kDirectoryAlias)) {
        session.DeleteAlias(kDirectoryAlias);
    }
    session.AddStandardAlias(kDirectoryAlias, directory.string(), "PARADOX");
    session.SetConfigMode(platform::cmAll);
}

// The files of the folder, to tell afterwards which work tables a rebuild added (an earlier
// backup is never replaced, so the new one may carry a number).
std::set<std::string> FileNames(const fs::path& directory) {
    std::set<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        names.insert(it->path().filename().string());
    }
    return names;
}

void PrintWorkTables(const fs::path& directory, const std::string& tableName,
                     const std::set<std::string>& before, std::ostream& out) {
    const std::string stem = repair::StripFileExtension(tableName);
    const std::pair<const char*, std::string> work[] = {{"backup: ", stem + "-BACKUP"},
                                                        {"key violations: ", stem + "-KEYVIOL"},
                                                        {"problems: ", stem + "-PROBLEM"}};
    for (const std::string& name : FileNames(directory)) {
        if (before.count(name) != 0 || name.size() < 3 ||
            name.compare(name.size() - 3, 3, ".DB") != 0) {
            continue;
        }
        for (const auto& [label, prefix] : work) {
            if (name.rfind(prefix, 0) == 0) {
                out << "  " << label << (directory / name).string() << '\n';
            }
        }
    }
}

// Rebuild, then verify the result; the verdict lines, or the failure.
bool RebuildOne(platform::TSession& session, repair::TqzDBRepair& engine, const std::string& path,
                std::ostream& out) {
    const fs::path table = fs::absolute(path);
    const fs::path directory = table.parent_path();
    const std::string tableName = table.filename().string();
    try {
        PointAliasAt(session, directory);
        std::string verdict;
        const std::set<std::string> before = FileNames(directory);
        engine.RebuildTable(kDirectoryAlias, tableName, verdict);
        out << path << ": " << verdict << '\n';
        if (verdict != repair::verdict::kRebuildSuccessful) {
            return false;
        }
        PrintWorkTables(directory, tableName, before, out);
        engine.VerifyTable(kDirectoryAlias, tableName, verdict);
        if (verdict != repair::verdict::kNoErrors) {
            out << "  the rebuilt table does not verify clean: " << verdict << '\n';
            return false;
        }
        return true;
    } catch (const platform::EDBEngineError& e) {
        out << path << ": " << repair::verdict::kRebuildUnsuccessful << " (" << e.what() << ")\n";
        return false;
    }
}

int RunRebuild(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << "usage: mendrix-cli rebuild TABLE...\n";
        return kExitUsage;
    }
    int exitCode = kExitOk;
    try {
        platform::TSession session("RebuildSession");
        // The library's scratch tables (VERIFY.DB, Rebuild.DB) go into the batch program's own
        // private directory, never into the user's data folder.
        const std::string privateDirectory = BatchPrivateDir();
        if (!privateDirectory.empty()) {
            session.SetPrivateDir(privateDirectory);
        }
        session.SetActive(true);
        repair::TqzDBRepair engine;
        for (const std::string& path : args) {
            if (!RebuildOne(session, engine, path, out)) {
                exitCode = kExitFailed;
            }
        }
    } catch (const platform::EDBEngineError& e) {
        err << e.what() << '\n';
        return kExitFailed;
    }
    return exitCode;
}

const CommandRegistration kRebuild{
    {"rebuild", "TABLE...", "rebuild Paradox tables, keeping a backup of each", &RunRebuild}};

} // namespace
} // namespace cli
