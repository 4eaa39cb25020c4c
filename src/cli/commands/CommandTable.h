#pragma once

#include "cli/commands/Command.h"

#include <string_view>
#include <vector>

namespace cli {

// Every command of mendrix-cli, sorted by name.
const std::vector<Command>& AllCommands();
const Command* FindCommand(std::string_view name);

} // namespace cli
