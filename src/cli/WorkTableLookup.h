#pragma once

#include <filesystem>
#include <set>
#include <string>

namespace cli {

// Where a rebuild left its work tables; an empty path for one it did not write.
struct WorkTablePaths {
    std::filesystem::path backup, keyViolations, problems;
};

// The names of the .DB files of a directory (any case of the extension).
std::set<std::string> TableFileNames(const std::filesystem::path& directory);

// The work tables of a rebuild of table `tableName` in `directory`, given the .DB names that
// were there before it: of each kind (STEM-BACKUP, STEM-KEYVIOL, STEM-PROBLEM, possibly with a
// number after it) the table that is new, else the one of the plain name.
WorkTablePaths FindWorkTables(const std::filesystem::path& directory, const std::string& tableName,
                              const std::set<std::string>& before);

} // namespace cli
