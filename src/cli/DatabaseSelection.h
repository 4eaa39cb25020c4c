#pragma once

#include "cli/RunTargets.h"

#include <filesystem>
#include <string>
#include <vector>

namespace platform {
class TSession;
class TDatabase;
} // namespace platform

namespace cli {

// The session-scope alias through which the batch program names a directory, as the repair
// window does.
inline constexpr const char* kDirectoryAlias = "Mendrix";

// A database made current for a run.
struct SelectedDatabase {
    std::string aliasName;
    std::filesystem::path directory;
    std::vector<std::string> tables; // the run's table list
    std::string selectionLine;       // "Alias set to: ..." or "DB path set to: ..."
};

// Points `database` at the target (its alias, or the directory through kDirectoryAlias),
// connects it and lists the tables to visit: the target's own, or the engine's list of the
// database's tables ("*.*", with extensions, no system tables). Failures raise EDBEngineError.
SelectedDatabase SelectDatabase(platform::TSession& session, platform::TDatabase& database,
                                const RunTarget& target);

} // namespace cli
