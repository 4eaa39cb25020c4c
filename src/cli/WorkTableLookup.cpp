#include "cli/WorkTableLookup.h"

#include "paradox/DirectoryListing.h"
#include "paradox/NameCase.h"
#include "repair/BDEUtil.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace cli {
namespace {

namespace fs = std::filesystem;

// Whether `name` is prefix + digits (possibly none) + ".DB", compared in upper case.
bool IsNumberedVariant(const std::string& upperName, const std::string& upperPrefix) {
    if (upperName.size() < upperPrefix.size() + 3 ||
        upperName.compare(0, upperPrefix.size(), upperPrefix) != 0 ||
        upperName.compare(upperName.size() - 3, 3, ".DB") != 0) {
        return false;
    }
    return std::all_of(upperName.begin() + static_cast<std::ptrdiff_t>(upperPrefix.size()),
                       upperName.end() - 3, [](unsigned char c) { return std::isdigit(c) != 0; });
}

fs::path FindOne(const fs::path& directory, const std::set<std::string>& now,
                 const std::set<std::string>& before, const std::string& upperPrefix) {
    fs::path plain;
    for (const std::string& name : now) {
        const std::string upper = paradox::UpperAscii(name);
        if (!IsNumberedVariant(upper, upperPrefix)) {
            continue;
        }
        if (before.count(name) == 0) {
            return directory / name;
        }
        if (upper == upperPrefix + ".DB") {
            plain = directory / name;
        }
    }
    return plain;
}

} // namespace

std::set<std::string> TableFileNames(const fs::path& directory) {
    std::set<std::string> names;
    for (const auto& entry : paradox::ListDirectory(directory)->Entries()) {
        const std::string& name = entry.name;
        if (name.size() > 3 && paradox::UpperAscii(name.substr(name.size() - 3)) == ".DB") {
            names.insert(name);
        }
    }
    return names;
}

WorkTablePaths FindWorkTables(const fs::path& directory, const std::string& tableName,
                              const std::set<std::string>& before) {
    const std::set<std::string> now = TableFileNames(directory);
    const std::string stem = paradox::UpperAscii(repair::StripFileExtension(tableName));
    WorkTablePaths paths;
    paths.backup = FindOne(directory, now, before, stem + "-BACKUP");
    paths.keyViolations = FindOne(directory, now, before, stem + "-KEYVIOL");
    paths.problems = FindOne(directory, now, before, stem + "-PROBLEM");
    return paths;
}

} // namespace cli
