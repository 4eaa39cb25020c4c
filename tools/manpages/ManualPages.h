#pragma once

#include "cli/commands/ArgumentParser.h"

#include <string>

namespace manpages {

// mendrix-cli(1) in troff (man macros), made from the command table: every command's usage,
// summary, options, notes and exit codes, as `mendrix-cli COMMAND --help` prints them.
std::string CliManualPage(const std::string& version);

// mendrix(1), made from the window program's description and options.
std::string WindowManualPage(const std::string& version, const std::string& description,
                             const cli::CommandSyntax& options);

} // namespace manpages
