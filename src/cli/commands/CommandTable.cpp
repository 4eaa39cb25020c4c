#include "cli/commands/CommandTable.h"

#include "cli/commands/ReadCommands.h"
#include "cli/commands/RunCommands.h"

namespace cli {

const std::vector<Command>& AllCommands() {
    static const std::vector<Command> commands{CheckCommand(),  DumpCommand(),  ExportCommand(),
                                               InfoCommand(),   ListCommand(),  RebuildCommand(),
                                               SchemaCommand(), VerifyCommand()};
    return commands;
}

const Command* FindCommand(std::string_view name) {
    for (const auto& command : AllCommands()) {
        if (command.name == name) {
            return &command;
        }
    }
    return nullptr;
}

} // namespace cli
