#pragma once

#include "cli/RunReport.h"

#include <iosfwd>

namespace platform {
class TTable;
}

namespace cli {

class TerminalProgress;

// Check & Repair without the repair: each table of the selected database gets the open test
// of a Check & Repair (opened once with each index, as the run does) and a verify that writes
// no error table; a table that fails the open test is one the run would rebuild. Nothing is
// written: no work table, no error table, no log line. Stops between tables at a Ctrl-C.
// Lines go to `out` when `printLines`; the outcomes and lines land in `record`.
void DryCheck(platform::TTable& table, const SelectedDatabase& database, RunRecord& record,
              std::ostream& out, TerminalProgress& progress, bool printLines);

// The closing line of a dry check: which tables a Check & Repair would rebuild.
std::string WouldRebuildLine(const std::vector<RunRecord>& runs);

} // namespace cli
