#include "cli/run/RunTargets.h"

#include "paradox/NameCase.h"
#include "platform/Session.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <system_error>

namespace cli {
namespace {

namespace fs = std::filesystem;

bool HasTableExtension(const fs::path& path) {
    return paradox::SameName(path.extension().string(), ".DB");
}

// The table file a path names (as given, or with ".DB" added), or an empty path.
fs::path TableFile(const std::string& argument) {
    std::error_code ec;
    const fs::path given(argument);
    if (fs::is_regular_file(given, ec) && HasTableExtension(given)) {
        return given;
    }
    if (!given.has_extension()) {
        for (const char* extension : {".DB", ".db"}) {
            fs::path withExtension = given;
            withExtension += extension;
            if (fs::is_regular_file(withExtension, ec)) {
                return withExtension;
            }
        }
    }
    return {};
}

fs::path Absolute(const fs::path& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return (ec ? path : absolute).lexically_normal();
}

} // namespace

std::vector<RunTarget> ResolveTargets(const platform::TSession& session,
                                      const std::vector<std::string>& arguments) {
    std::vector<RunTarget> targets;
    for (const std::string& argument : arguments) {
        std::error_code ec;
        const bool exists = fs::exists(argument, ec);
        if (!exists && session.IsAlias(argument)) {
            RunTarget target;
            target.given = argument;
            target.aliasName = argument;
            targets.push_back(std::move(target));
            continue;
        }
        if (fs::is_directory(argument, ec)) {
            RunTarget target;
            target.given = argument;
            target.directory = Absolute(argument);
            targets.push_back(std::move(target));
            continue;
        }
        const fs::path file = TableFile(argument);
        if (file.empty()) {
            RunTarget target;
            target.given = argument;
            target.problem = "no alias, directory or table named " + argument;
            targets.push_back(std::move(target));
            continue;
        }
        const fs::path directory = Absolute(file).parent_path();
        const std::string name = file.filename().string();
        auto same = std::find_if(targets.begin(), targets.end(), [&](const RunTarget& t) {
            return t.tableFiles && t.problem.empty() && t.directory == directory;
        });
        if (same == targets.end()) {
            RunTarget target;
            target.given = argument;
            target.directory = directory;
            target.tableFiles = true;
            targets.push_back(std::move(target));
            same = targets.end() - 1;
        } else {
            same->given += " " + argument;
        }
        if (std::find(same->tables.begin(), same->tables.end(), name) == same->tables.end()) {
            same->tables.push_back(name);
        }
    }
    return targets;
}

} // namespace cli
