#pragma once

#include "paradox/Finding.h"
#include "paradox/Schema.h"
#include "paradox/TableWriter.h"
#include "tutil/Verify.h"

#include <filesystem>
#include <string>
#include <vector>

namespace tutil {

// The structure of an error table: one row per finding with the table, the file, the phase,
// the block, the record, the finding's code and its text.
paradox::TableSchema ErrorTableSchema();

// Writes the findings as the new table `stem` into `dir`, one row each.
void WriteFindingTable(const std::filesystem::path& dir, const std::string& stem,
                       const std::string& tableName, const paradox::FindingList& findings,
                       const std::vector<Phase>& phases, const paradox::WriteOptions& options);

// The folder error tables go to: the private directory of the engine's current session;
// empty when it has none.
std::filesystem::path ErrorTableDir();

// Writes findings about `tableName` as the error table `name` (a file name without a folder)
// into ErrorTableDir(), replacing an earlier error table of that name. The error tables are
// the utility's scratch, so nothing is written when the session has no private directory,
// and a file of that name that is not an error table is left alone (nothing written either).
// Without findings no table is written and an earlier error table of that name is removed.
// Returns the .DB written, or an empty path. UtilityError(InvalidArgument) for a name with a
// folder.
std::filesystem::path WriteErrorTable(const std::string& name, const std::string& tableName,
                                      const paradox::FindingList& findings,
                                      const std::vector<Phase>& phases);

// A verify's findings as the error table named by the caller (see WriteErrorTable).
std::filesystem::path WriteVerifyErrorTable(const TableLocation& table, const std::string& name,
                                            const VerifyOutcome& outcome);

} // namespace tutil
