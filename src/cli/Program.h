#pragma once

#include "cli/commands/ArgumentParser.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

// The program's own options, before the command (--help, --version), and what it does: its help's
// and its manual page's.
const CommandSyntax& ProgramSyntax();
std::string ProgramDescription();

// mendrix-cli [--help | --version] COMMAND ARGUMENTS, given the words after the program's
// name: the program's own options, then the command. Returns the exit code (ExitCodes.h).
int RunProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// RunProgram on the process's standard output and error. Output that cannot be written (a full
// disk, a reader gone) is an operational error, with the system's reason on standard error.
int RunProgramOnStandardStreams(const std::vector<std::string>& args);

} // namespace cli
