#include "cli/commands/CommandHelp.h"

#include "cli/ExitCodes.h"
#include "cli/commands/CommandTable.h"

#include <ostream>

namespace cli {

std::string UsageOf(const Command& command) {
    return UsageText(command.syntax);
}

void PrintUsage(std::ostream& err) {
    err << "usage: mendrix-cli COMMAND ARGUMENTS\n";
    for (const auto& command : AllCommands()) {
        err << "  mendrix-cli " << command.name << ' ' << UsageOf(command) << "\n      "
            << command.summary << '\n';
    }
}

std::string ExitCodeLines() {
    return "  " + std::to_string(kExitOk) + "   every table healthy\n  " +
           std::to_string(kExitRepaired) + "   problems found, and all of them repaired\n  " +
           std::to_string(kExitProblemsLeft) +
           "   problems found and left (or data lost while reading)\n  " +
           std::to_string(kExitOperational) +
           "   operational error (a table or file could not "
           "be handled)\n  " +
           std::to_string(kExitUsage) + "  usage error\n  " + std::to_string(kExitCancelled) +
           "  cancelled\n"
           "The codes add up when a run meets several of these.\n";
}

bool AsksForHelp(const std::vector<std::string>& args) {
    for (const auto& arg : args) {
        if (arg == "--") {
            return false;
        }
        if (arg == "-h" || arg == "--help") {
            return true;
        }
    }
    return false;
}

void PrintCommandHelp(const Command& command, std::ostream& out) {
    out << "usage: mendrix-cli " << command.name << ' ' << UsageOf(command) << "\n\n"
        << command.summary << '\n';
    if (const std::string options = OptionsHelp(command.syntax); !options.empty()) {
        out << '\n' << options;
    }
    if (!command.help.empty()) {
        out << '\n' << command.help;
        if (command.help.back() != '\n') {
            out << '\n';
        }
    }
    out << "\nExit codes (see mendrix-cli --help):\n" << ExitCodeLines();
}

} // namespace cli
