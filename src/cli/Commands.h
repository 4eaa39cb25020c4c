#pragma once

#include "cli/ExitCodes.h"
#include "cli/commands/Command.h"

namespace cli {

// The run commands, each made in its file beside the run code.
Command CheckCommand();
Command VerifyCommand();
Command RebuildCommand();

} // namespace cli
