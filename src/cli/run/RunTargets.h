#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace platform {
class TSession;
}

namespace cli {

// What one run works on: a configured alias, or a directory the program names through its
// own session alias; with all the database's tables, or only the named ones.
struct RunTarget {
    std::string given;               // the argument(s) as the operator wrote them
    std::string aliasName;           // the alias, empty for a directory
    std::filesystem::path directory; // the directory, for a directory or table files
    std::vector<std::string> tables; // only these tables; empty: every table of the database
    bool tableFiles = false;         // named by table files
    std::string problem;             // why the argument names nothing to run on; empty if fine
};

// Turns the command line's targets into runs: an engine alias (when no file of that name
// exists), a directory, or table files (a path to a .DB, or one without its extension);
// the table files of one directory make one run, at the place of the first of them.
// An argument that is none of these becomes a target with its problem set, so that the
// other targets still run. With `recursive`, a directory is walked into its subfolders
// (symbolic links not followed): each folder that holds a Paradox table is a target of its
// own; when none does, the directory alone is the target.
std::vector<RunTarget> ResolveTargets(const platform::TSession& session,
                                      const std::vector<std::string>& arguments,
                                      bool recursive = false);

// Whether the directory holds a Paradox table: a file its table list names that is not
// another program's file (paradox::IsForeignFile).
bool HoldsParadoxTable(const std::filesystem::path& directory,
                       const std::vector<std::string>& tables);

} // namespace cli
