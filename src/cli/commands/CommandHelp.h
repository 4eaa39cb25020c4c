#pragma once

#include "cli/commands/Command.h"

#include <initializer_list>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace cli {

// "TABLE [--check-password PASSWORD]": the command's usage after its name.
std::string UsageOf(const Command& command);

// Writes the usage of every command.
void PrintUsage(std::ostream& err);

// The exit codes and what each means, one per line, for the program's help.
std::string ExitCodeLines();

// The exit codes a run command (check, verify, rebuild) can return: `codes` among the
// program's, with their meanings there.
std::vector<std::pair<int, std::string>> RunExitCodes(std::initializer_list<int> codes);

// The exit codes of a command that reads: 0, 4 when `partly` (something could not be read),
// 8 and 16.
std::vector<std::pair<int, std::string>> ReadExitCodes(bool partly);

// The one way a command line is refused: "mendrix-cli CMD: MESSAGE", then where the help is.
// Returns kExitUsage.
int PrintUsageError(std::ostream& err, const std::string& command, const std::string& message);

// Whether the arguments of a command ask for its help (-h or --help before a "--").
bool AsksForHelp(const std::vector<std::string>& args);

// `mendrix-cli COMMAND --help`.
void PrintCommandHelp(const Command& command, std::ostream& out);

} // namespace cli
