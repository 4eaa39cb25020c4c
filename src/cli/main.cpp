#include "cli/Commands.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    if (argc < 2) {
        cli::PrintUsage(std::cerr);
        return cli::kExitUsage;
    }
    const cli::Command* command = cli::FindCommand(argv[1]);
    if (command == nullptr) {
        std::cerr << "mendrix-cli: unknown command '" << argv[1] << "'\n";
        cli::PrintUsage(std::cerr);
        return cli::kExitUsage;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    try {
        return command->run(args, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "mendrix-cli " << command->name << ": " << e.what() << '\n';
        return cli::kExitFailed;
    }
}
