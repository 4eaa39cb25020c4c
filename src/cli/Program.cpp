#include "cli/Program.h"

#include "cli/ExitCodes.h"
#include "cli/commands/CommandHelp.h"
#include "cli/commands/CommandTable.h"
#include "cli/export/DescriptorOutputBuffer.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <ostream>
#include <unistd.h>

namespace cli {
namespace {

class ProgramHelpFormatter : public CLI::Formatter {
public:
    std::string make_usage(const CLI::App*, std::string) const override {
        return "\nusage: mendrix-cli [OPTIONS] COMMAND ARGUMENTS\n";
    }
};

std::string CommandList() {
    std::string text = "Commands (mendrix-cli COMMAND --help for one of them):\n";
    for (const auto& command : AllCommands()) {
        text += "  " + command.name + ' ' + UsageOf(command) + "\n      " + command.summary + '\n';
    }
    return text;
}

// A command line refused before a command was found, in the commands' style.
int ProgramUsageError(std::ostream& err, const std::string& message) {
    err << "mendrix-cli: " << message << "\nTry 'mendrix-cli --help'.\n";
    return kExitUsage;
}

int RunCommand(const Command& command, const std::vector<std::string>& args, std::ostream& out,
               std::ostream& err) {
    if (AsksForHelp(args)) {
        PrintCommandHelp(command, out);
        return kExitOk;
    }
    try {
        std::optional<ParsedArguments> parsed;
        try {
            parsed.emplace(ParseArguments(command.syntax, args));
        } catch (const UsageError& e) {
            return PrintUsageError(err, command.name, e.what());
        }
        return command.run(*parsed, out, err);
    } catch (const std::exception& e) {
        err << "mendrix-cli " << command.name << ": " << e.what() << '\n';
        return kExitOperational;
    }
}

} // namespace

const CommandSyntax& ProgramSyntax() {
    static const CommandSyntax syntax{
        .options = {
            {.names = "-h,--help", .description = "print this help and exit"},
            {.names = "-V,--version", .description = "print the program's version and exit"}}};
    return syntax;
}

std::string ProgramDescription() {
    return "mendrix-cli checks, repairs and reads Paradox tables (.DB with their indexes and .MB "
           "blob files) without a window.";
}

int RunProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CLI::App app{ProgramDescription(), "mendrix-cli"};
    app.formatter(std::make_shared<ProgramHelpFormatter>());
    // The first word that is not one of the program's options is the command; it and every
    // argument after it are left for the command.
    app.prefix_command();
    const auto& help = ProgramSyntax().options.at(0);
    const auto& version = ProgramSyntax().options.at(1);
    app.set_help_flag(help.names, help.description);
    app.set_version_flag(version.names, std::string("mendrix-cli ") + MENDRIX_VERSION,
                         version.description);
    app.footer([] {
        std::string footer = CommandList() + "\nExit codes:\n" + ExitCodeLines();
        footer.pop_back(); // the help adds the last line end
        return footer;
    });
    try {
        std::vector<std::string> reversed(args.rbegin(),
                                          args.rend()); // CLI11 takes them last first
        app.parse(reversed);
    } catch (const CLI::Success& e) {
        return app.exit(e, out, err) == 0 ? kExitOk : kExitUsage;
    } catch (const CLI::ParseError& e) {
        return ProgramUsageError(err, e.what());
    }
    std::vector<std::string> rest = app.remaining();
    if (!rest.empty() && rest.front() == "--") {
        rest.erase(rest.begin());
    }
    if (rest.empty()) {
        PrintUsage(err);
        return kExitUsage;
    }
    const Command* command = FindCommand(rest.front());
    if (command == nullptr) {
        return ProgramUsageError(err, std::string("unknown ") +
                                          (rest.front().starts_with('-') ? "option" : "command") +
                                          " '" + rest.front() + "'");
    }
    return RunCommand(*command, std::vector<std::string>(rest.begin() + 1, rest.end()), out, err);
}

int RunProgramOnStandardStreams(const std::vector<std::string>& args) {
    // A buffer of its own keeps the reason of the first write that failed, which the stream
    // does not.
    DescriptorOutputBuffer buffer(STDOUT_FILENO);
    std::streambuf* const previous = std::cout.rdbuf(&buffer);
    int exitCode = RunProgram(args, std::cout, std::cerr);
    std::cout.flush();
    if (!std::cout) {
        const int error = buffer.WriteError() != 0 ? buffer.WriteError() : EIO;
        std::cerr << "mendrix-cli: the output could not be written: " << std::strerror(error)
                  << '\n';
        exitCode |= kExitOperational;
    }
    std::cout.rdbuf(previous);
    return exitCode;
}

} // namespace cli
