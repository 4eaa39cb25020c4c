#include "cli/Commands.h"

#include <algorithm>
#include <ostream>
#include <string>

namespace cli {
namespace {

std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

} // namespace

CommandRegistration::CommandRegistration(Command command) {
    auto& commands = Registry();
    commands.push_back(std::move(command));
    std::sort(commands.begin(), commands.end(),
              [](const Command& a, const Command& b) { return a.name < b.name; });
}

const std::vector<Command>& AllCommands() {
    return Registry();
}

const Command* FindCommand(std::string_view name) {
    for (const auto& command : Registry()) {
        if (command.name == name) {
            return &command;
        }
    }
    return nullptr;
}

void PrintUsage(std::ostream& err) {
    err << "usage: mendrix-cli COMMAND ARGUMENTS\n";
    for (const auto& command : Registry()) {
        err << "  mendrix-cli " << command.name << ' ' << command.usage << "\n      "
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
    out << "usage: mendrix-cli " << command.name << ' ' << command.usage << "\n\n"
        << command.summary << '\n';
    if (!command.help.empty()) {
        out << '\n' << command.help;
        if (command.help.back() != '\n') {
            out << '\n';
        }
    }
    out << "\nExit codes (see mendrix-cli --help):\n" << ExitCodeLines();
}

} // namespace cli
