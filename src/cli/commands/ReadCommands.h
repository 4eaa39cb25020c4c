#pragma once

#include "cli/commands/Command.h"

namespace cli {

// The commands that only read: each is made in its own file.
Command DumpCommand();
Command ExportCommand();
Command InfoCommand();
Command ListCommand();
Command SchemaCommand();

} // namespace cli
