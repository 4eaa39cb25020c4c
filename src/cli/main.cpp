// mendrix-cli [--help | --version] COMMAND ARGUMENTS: the program's own options, then the
// command, which parses the rest itself.

#include "cli/Commands.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const kDescription =
    "mendrix-cli checks, repairs and reads Paradox tables (.DB with their indexes and .MB blob "
    "files) without a window.";

class ProgramHelpFormatter : public CLI::Formatter {
public:
    std::string make_usage(const CLI::App*, std::string) const override {
        return "\nusage: mendrix-cli [OPTIONS] COMMAND ARGUMENTS\n";
    }
};

std::string CommandList() {
    std::string text = "Commands (mendrix-cli COMMAND --help for one of them):\n";
    for (const auto& command : cli::AllCommands()) {
        text += "  " + command.name + ' ' + command.usage + "\n      " + command.summary + '\n';
    }
    return text;
}

int RunCommand(const cli::Command& command, const std::vector<std::string>& args) {
    if (cli::AsksForHelp(args)) {
        cli::PrintCommandHelp(command, std::cout);
        return cli::kExitOk;
    }
    try {
        return command.run(args, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "mendrix-cli " << command.name << ": " << e.what() << '\n';
        return cli::kExitOperational;
    }
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    CLI::App app{kDescription, "mendrix-cli"};
    app.formatter(std::make_shared<ProgramHelpFormatter>());
    // The first word that is not one of the program's options is the command; it and every
    // argument after it are left for the command.
    app.prefix_command();
    app.set_help_flag("-h,--help", "print this help and exit");
    app.set_version_flag("--version", std::string("mendrix-cli ") + MENDRIX_VERSION,
                         "print the program's version and exit");
    app.footer([] {
        std::string footer = CommandList() + "\nExit codes:\n" + cli::ExitCodeLines();
        footer.pop_back(); // the help adds the last line end
        return footer;
    });
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e, std::cout, std::cerr) == 0 ? cli::kExitOk : cli::kExitUsage;
    } catch (const CLI::ParseError& e) {
        std::cerr << "mendrix-cli: " << e.what() << '\n';
        cli::PrintUsage(std::cerr);
        return cli::kExitUsage;
    }
    std::vector<std::string> rest = app.remaining();
    if (!rest.empty() && rest.front() == "--") {
        rest.erase(rest.begin());
    }
    if (rest.empty()) {
        cli::PrintUsage(std::cerr);
        return cli::kExitUsage;
    }
    const cli::Command* command = cli::FindCommand(rest.front());
    if (command == nullptr) {
        std::cerr << "mendrix-cli: unknown "
                  << (rest.front().starts_with('-') ? "option" : "command") << " '" << rest.front()
                  << "'\n";
        cli::PrintUsage(std::cerr);
        return cli::kExitUsage;
    }
    return RunCommand(*command, std::vector<std::string>(rest.begin() + 1, rest.end()));
}
