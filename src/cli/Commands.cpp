#include "cli/Commands.h"

#include <algorithm>
#include <ostream>

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

} // namespace cli
