#pragma once

#include "cli/ExitCodes.h"

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// A sub-command of mendrix-cli ("info", "dump", ...). `run` gets the arguments after the
// command name and returns the exit code. `-h`/`--help` never reach `run`: the program prints
// the usage, the summary and `help` (options, output, notes) instead.
struct Command {
    std::string name;
    std::string usage; // arguments, e.g. "TABLE"
    std::string summary;
    std::function<int(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)>
        run;
    std::string help{};
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

// The exit codes and what each means, one per line, for the help texts.
std::string ExitCodeLines();

// Whether the arguments of a command ask for its help (-h or --help before a "--").
bool AsksForHelp(const std::vector<std::string>& args);

// `mendrix-cli COMMAND --help`.
void PrintCommandHelp(const Command& command, std::ostream& out);

} // namespace cli
