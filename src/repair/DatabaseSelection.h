#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class TSession;
class TDatabase;
} // namespace platform

namespace repair {

// The session-scope alias through which the repair window and the batch program name a
// directory.
inline constexpr const char* kDirectoryAlias = "Mendrix";

// What the operator chose to run on: a configured alias, or (no alias) a directory; with
// every table of the database, or only the given ones.
struct DatabaseChoice {
    bool byDirectory = false;
    std::string aliasName;           // by alias (may be empty: none chosen)
    std::filesystem::path directory; // by directory; absolute
    std::optional<std::vector<std::string>> onlyTables;
};

// A database made current for a run.
struct SelectedDatabase {
    std::string aliasName;
    std::filesystem::path directory; // as the engine reports it
    std::vector<std::string> tables; // the run's table list
    std::string selectionLine;       // "Alias set to: ..." or "DB path set to: ..."
};

// Points `database` at the choice (its alias, or the directory through kDirectoryAlias, put in
// the session's own scope in place of an earlier one) and connects it, and lists the tables to
// visit: the chosen ones, or the engine's list of the database's tables ("*.*", with
// extensions, no system tables). Failures raise EDBEngineError.
SelectedDatabase SelectDatabase(platform::TSession& session, platform::TDatabase& database,
                                const DatabaseChoice& choice);

} // namespace repair
