#pragma once

#include "cli/commands/ArgumentParser.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace app {

// The window program's own options. They are answered before any window or display is opened;
// every other word of the command line is left to Qt (-platform NAME, -style NAME, ...).
const cli::CommandSyntax& WindowSyntax();

// What the window program does, one paragraph: the help's and the manual page's.
std::string WindowDescription();

// `mendrix --help`.
std::string WindowHelp();

// Answers --help and --version: the exit code when the program ends here, nullopt when it goes
// on to open its window. `args` are the words after the program's name.
std::optional<int> AnswerWindowOptions(const std::vector<std::string>& args, std::ostream& out);

} // namespace app
