#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// One row of a verify's error table: a finding about one of the table's files.
struct ErrorTableRow {
    std::string table; // the table's file name (ORDERS.DB)
    std::string file;  // the file of the family the finding is about
    std::optional<std::int64_t> block;
    std::optional<std::int64_t> record;
    std::optional<std::int64_t> code;
    std::string text;
};

// The rows of the error table `errorTable` that are about `tableName` (compared without regard
// to case), in table order. The file is read as any table from disk: a damaged or missing one
// gives no rows and `problem` says why.
std::vector<ErrorTableRow> ReadErrorTableRows(const std::filesystem::path& errorTable,
                                              const std::string& tableName, std::string& problem);

// Where the utility left the error table `name` of its last verify of a table in
// `tableDirectory`: the session's private directory or the table's own folder, whichever holds
// the newer one. Empty when neither holds one.
std::filesystem::path LatestErrorTable(const std::string& privateDirectory,
                                       const std::filesystem::path& tableDirectory,
                                       const std::string& name);

} // namespace cli
