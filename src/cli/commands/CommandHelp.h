#pragma once

#include "cli/commands/Command.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

// "TABLE [--check-password PASSWORD]": the command's usage after its name.
std::string UsageOf(const Command& command);

// Writes the usage of every command.
void PrintUsage(std::ostream& err);

// The exit codes and what each means, one per line, for the help texts.
std::string ExitCodeLines();

// Whether the arguments of a command ask for its help (-h or --help before a "--").
bool AsksForHelp(const std::vector<std::string>& args);

// `mendrix-cli COMMAND --help`.
void PrintCommandHelp(const Command& command, std::ostream& out);

} // namespace cli
