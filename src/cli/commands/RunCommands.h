#pragma once

#include "cli/ExitCodes.h"
#include "cli/commands/Command.h"

namespace cli {

// The run commands (check, verify, rebuild), each made in its own file over the run code in
// run/.
Command CheckCommand();
Command VerifyCommand();
Command RebuildCommand();

} // namespace cli
