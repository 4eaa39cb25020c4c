#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// What a rebuild with a chosen structure source did.
struct StructureRebuildResult {
    bool rebuilt = false;     // replaced, with everything kept
    bool replaced = false;    // the table was replaced (also with losses, under acceptLoss)
    std::uint16_t result = 0; // engine code of the failure, 0 when rebuilt
    std::string message;      // why it failed (every source's reason when none fitted)
    std::string source;       // where the fields came from; empty for the table's own header
    std::vector<std::string> findingLines; // what the rebuild met, one line each
};

// Rebuilds a table (work tables named as the repair window names them) whose header may not
// describe its fields: they are then taken from the family's files, earlier backups, the
// template table `templateTable` (empty: none) and, only with `inferFromData`, read from the
// data blocks; the first of these the data bears out is used. A named template or inference is
// the only source tried, even where the table's own header can be read. Nothing is changed
// when none is borne out. With `acceptLoss`, a rebuild that cannot keep everything replaces the
// table all the same (see tutil::RebuildPolicy); `message` then says what was lost.
StructureRebuildResult RebuildWithStructureSource(const std::string& tablePath,
                                                  const std::string& templateTable,
                                                  bool inferFromData, bool acceptLoss = false);

// For a table whose header does not describe its fields: one line per structure source,
// whether it fits the data and which a rebuild would use. Empty for a table whose header is
// whole, or that cannot be read. Reads only.
std::vector<std::string> StructureSourceLines(const std::string& tablePath);

} // namespace platform
