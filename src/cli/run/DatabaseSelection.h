#pragma once

#include "cli/run/RunTargets.h"
#include "repair/DatabaseSelection.h"

namespace platform {
class TSession;
class TDatabase;
} // namespace platform

namespace cli {

using repair::kDirectoryAlias;
using repair::SelectedDatabase;

// Makes the target the database of `database` through the repair layer's one selection: its
// alias, or its directory; the target's own tables, or every table of the database. Failures
// raise EDBEngineError.
SelectedDatabase SelectDatabase(platform::TSession& session, platform::TDatabase& database,
                                const RunTarget& target);

} // namespace cli
