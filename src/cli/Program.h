#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

// mendrix-cli [--help | --version] COMMAND ARGUMENTS, given the words after the program's
// name: the program's own options, then the command. Returns the exit code (ExitCodes.h).
int RunProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace cli
