#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Whether a table file name is one of the engine's system tables: the table utility's work
// tables VERIFY.DB, Rebuild.DB and names ending in -BACKUP.DB, -KEYVIOL.DB, -PROBLEM.DB, or
// in one of those with a number before the ".DB" (-BACKUP1.DB...), all without regard to case.
bool IsSystemTableName(std::string_view fileName);

// The Paradox tables of a directory: regular files named *.DB (any case) that match
// `pattern` (wildcards * and ?, without regard to case; "*.*" matches every name), sorted
// by name without regard to case. `extensions` keeps the ".DB"; `systemTables` keeps the
// system tables. A rebuild's own files (its staging folder and what is in it, its journal)
// are never listed. `out` is replaced.
std::uint16_t ListTables(const std::string& directory, std::string_view pattern, bool extensions,
                         bool systemTables, std::vector<std::string>& out);

} // namespace engine
