#include "cli/export/ExportTargets.h"

#include "cli/run/RunTargets.h"
#include "paradox/ForeignFile.h"
#include "platform/DBErrors.h"
#include "platform/DatabaseDesc.h"
#include "platform/Session.h"

#include <algorithm>

namespace cli {

ExportTargets ResolveExportTargets(const std::vector<std::string>& arguments, bool recursive) {
    ExportTargets result;
    auto add = [&](const std::filesystem::path& table) {
        if (std::find(result.tables.begin(), result.tables.end(), table) == result.tables.end()) {
            result.tables.push_back(table);
        }
    };
    try {
        platform::TSession session("ExportSession");
        session.SetActive(true);
        for (const RunTarget& target : ResolveTargets(session, arguments, recursive)) {
            if (!target.problem.empty()) {
                result.problems.push_back(target.problem);
                continue;
            }
            std::vector<std::string> tables = target.tables;
            std::filesystem::path directory = target.directory;
            if (!target.aliasName.empty()) {
                directory =
                    platform::DatabaseDirectory(platform::GetDatabaseDesc(target.aliasName));
            }
            if (!target.tableFiles) {
                session.GetTableNames(target.aliasName.empty() ? directory.string()
                                                               : target.aliasName,
                                      "*.*", true, false, tables);
            }
            std::size_t found = 0;
            for (const auto& name : tables) {
                if (!paradox::IsForeignFile(directory / name)) {
                    add(directory / name);
                    ++found;
                }
            }
            if (found == 0) {
                result.problems.push_back(target.given + " holds no Paradox table");
            }
        }
    } catch (const platform::EDBEngineError& e) {
        result.problems.push_back(e.what());
    }
    return result;
}

} // namespace cli
