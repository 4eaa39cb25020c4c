#pragma once

#include "cli/commands/ArgumentParser.h"
#include "cli/run/RunCommand.h"

#include <string>

namespace cli {

// The options and targets of a run command (check, verify, rebuild), for the one parser.
CommandSyntax RunSyntax(repair::TRepairOperation operation);

// The request the parsed words of a run command make.
RunRequest RunRequestFrom(std::string command, repair::TRepairOperation operation,
                          const ParsedArguments& args);

} // namespace cli
