#include "cli/run/RunTargets.h"

#include "engine/RebuildFiles.h"
#include "engine/TableList.h"
#include "paradox/ForeignFile.h"
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

RunTarget DirectoryTarget(const std::string& given, const fs::path& directory) {
    RunTarget target;
    target.given = given;
    target.directory = directory;
    return target;
}

// The folder and those below it that hold a Paradox table, in name order, each its own target.
std::vector<RunTarget> FoldersWithTables(const fs::path& top) {
    std::vector<fs::path> folders{top};
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(top, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError) && !it->is_symlink(typeError) &&
            !engine::IsRebuildFileName(it->path().filename().string())) {
            folders.push_back(it->path());
        }
    }
    std::sort(folders.begin() + 1, folders.end());
    std::vector<RunTarget> targets;
    for (const fs::path& folder : folders) {
        std::vector<std::string> tables;
        if (engine::ListTables(folder.string(), "*.*", true, false, tables) == 0 &&
            HoldsParadoxTable(folder, tables)) {
            targets.push_back(DirectoryTarget(folder.string(), folder));
        }
    }
    return targets;
}

} // namespace

bool HoldsParadoxTable(const fs::path& directory, const std::vector<std::string>& tables) {
    return std::any_of(tables.begin(), tables.end(), [&](const std::string& table) {
        return !paradox::IsForeignFile(directory / table);
    });
}

std::vector<RunTarget> ResolveTargets(const platform::TSession& session,
                                      const std::vector<std::string>& arguments, bool recursive) {
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
            std::vector<RunTarget> walked;
            if (recursive) {
                walked = FoldersWithTables(Absolute(argument));
            }
            if (walked.empty()) {
                walked.push_back(DirectoryTarget(argument, Absolute(argument)));
            }
            targets.insert(targets.end(), walked.begin(), walked.end());
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
