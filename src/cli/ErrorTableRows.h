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

// The error table `name` the utility left in the private directory; empty when there is none
// (a verify that found nothing writes none).
std::filesystem::path ErrorTableIn(const std::string& privateDirectory, const std::string& name);

} // namespace cli
