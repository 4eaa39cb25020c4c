#pragma once

#include "cli/ExitCodes.h"

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// A sub-command of mendrix-cli ("info", "dump", ...). `run` gets the arguments after the
// command name and returns the exit code.
struct Command {
    std::string name;
    std::string usage; // arguments, e.g. "TABLE"
    std::string summary;
    std::function<int(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)>
        run;
};

// Every registered command, sorted by name.
const std::vector<Command>& AllCommands();
const Command* FindCommand(std::string_view name);

// Registers a command from a file of its own, at program start:
//   static const cli::CommandRegistration kInfo{{"info", "TABLE", "...", &RunInfo}};
struct CommandRegistration {
    explicit CommandRegistration(Command command);
};

// Writes the usage of every command.
void PrintUsage(std::ostream& err);

} // namespace cli
