#pragma once

#include "paradox/Finding.h"
#include "paradox/Schema.h"
#include "tutil/Verify.h"

#include <filesystem>
#include <string>
#include <vector>

namespace tutil {

// The structure of an error table: one row per finding with the table, the file, the phase,
// the block, the record, the finding's code and its text.
paradox::TableSchema ErrorTableSchema();

// Writes the findings as table `stem` into `dir` (a staging folder), one row each.
void WriteFindingTable(const std::filesystem::path& dir, const std::string& stem,
                       const std::string& tableName, const paradox::FindingList& findings,
                       const std::vector<Phase>& phases);

// Writes a verify's findings into the error table named by the caller (in the table's
// folder), replacing an earlier one. An empty name writes nothing.
void WriteVerifyErrorTable(const TableLocation& table, const std::string& name,
                           const VerifyOutcome& outcome);

} // namespace tutil
