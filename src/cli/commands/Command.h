#pragma once

#include "cli/commands/ArgumentParser.h"

#include <functional>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace cli {

// A sub-command of mendrix-cli ("info", "dump", ...). The program parses its words against
// `syntax` and hands `run` what they gave; `run` returns the exit code. `-h`/`--help` never
// reach `run`: the program prints the usage, the summary, the options and `help` instead.
struct Command {
    using Run =
        std::function<int(const ParsedArguments& args, std::ostream& out, std::ostream& err)>;

    std::string name;
    std::string summary;
    CommandSyntax syntax;
    Run run;
    std::string help{}; // after the options: what the output holds, notes
    // Every exit code the command can return, with what it means there.
    std::vector<std::pair<int, std::string>> exitCodes{};
};

} // namespace cli
