#pragma once

#include "cli/export/ExportTable.h"
#include "cli/export/SqlSchema.h"
#include "cli/export/SqliteDatabase.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace cli {

// Tables written into one new SQLite database, under a temporary name beside the target
// file, renamed over it only when every table is in and the database checks whole.
class SqliteExport {
public:
    // Throws std::runtime_error (SqliteError) when the file cannot be created.
    explicit SqliteExport(std::filesystem::path target);
    ~SqliteExport(); // removes the temporary file unless committed
    SqliteExport(const SqliteExport&) = delete;
    SqliteExport& operator=(const SqliteExport&) = delete;

    struct TableResult {
        ExportCounts counts;
        bool keyHeld = true; // false: the key values repeat, the table has a plain index instead
    };
    // Creates the table and its indexes and loads every record readable in one transaction;
    // `progress(records)` is called every few thousand records. Throws SqliteError.
    TableResult Add(ExportTable& table, const SqlTableNames& names,
                    const paradox::TableSchema& schema,
                    const std::function<void(std::uint64_t)>& progress);

    // Runs PRAGMA integrity_check and returns its answer; "ok" commits: the file is closed,
    // flushed to disk and renamed to the target. Throws on failure.
    std::string Commit();

private:
    // Moves the rows loaded so far into a copy of the table without its primary key.
    void DropPrimaryKey(const SqlTableNames& names, const paradox::TableSchema& schema);

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::optional<SqliteDatabase> db_;
    bool committed_ = false;
};

} // namespace cli
