#pragma once

#include <filesystem>
#include <string>

namespace tutil {

// Where a table named by the caller lives.
struct TableLocation {
    std::filesystem::path db;  // the .DB file as it exists on disk
    std::filesystem::path dir; // its folder
    std::string stem;          // file name without the extension, in its stored case
};

// Finds the .DB a caller's path names by the engine's rule (engine::FindTableFile: ".DB" added
// when the name has no extension, the same name in another case when no file has it exactly).
// UtilityError(TableMissing) when there is no such table.
TableLocation LocateTable(const std::string& tablePath);

// Where a work table named by the caller goes: names without a folder land in the table's
// folder. Returns the stem (name without extension). UtilityError(InvalidArgument) when the
// name points into another folder or is empty.
std::string WorkTableStem(const TableLocation& table, const std::string& name);

} // namespace tutil
