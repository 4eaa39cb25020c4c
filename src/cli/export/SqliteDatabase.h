#pragma once

#include "cli/export/ExportValue.h"

#include <filesystem>
#include <memory>
#include <sqlite3.h>
#include <stdexcept>
#include <string>

namespace cli {

// A call into SQLite failed; what() gives SQLite's message.
class SqliteError : public std::runtime_error {
public:
    SqliteError(const std::string& message, int code) : std::runtime_error(message), code_(code) {}
    // A constraint of the schema refused a row (a primary key value that repeats).
    bool ConstraintFailed() const { return (code_ & 0xFF) == SQLITE_CONSTRAINT; }

private:
    int code_;
};

// A prepared statement of an open database, finalized when it goes away.
class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, const std::string& sql);

    // Binds parameter `index` (from 1): text as UTF-8 TEXT, binary as BLOB, NULL as NULL.
    void Bind(int index, const ExportValue& value);
    // Runs the statement to its end and resets it for the next binding.
    void Run();

private:
    struct Finalize {
        void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
    };

    sqlite3* db_;
    std::unique_ptr<sqlite3_stmt, Finalize> statement_;
};

// An SQLite database file opened for writing (created when missing), closed when it goes away.
class SqliteDatabase {
public:
    // Throws SqliteError when the file cannot be opened.
    explicit SqliteDatabase(const std::filesystem::path& file);

    // Runs statements that return no rows; throws SqliteError.
    void Execute(const std::string& sql);
    SqliteStatement Prepare(const std::string& sql) { return {db_.get(), sql}; }
    // What PRAGMA integrity_check answers: "ok", or its lines of problems.
    std::string IntegrityCheck();
    // Closes the file; throws SqliteError when that fails.
    void Close();

private:
    struct CloseHandle {
        void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
    };

    std::unique_ptr<sqlite3, CloseHandle> db_;
};

} // namespace cli
