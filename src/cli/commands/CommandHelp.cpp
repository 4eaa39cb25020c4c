#include "cli/commands/CommandHelp.h"

#include "cli/ExitCodes.h"
#include "cli/commands/CommandTable.h"

#include <algorithm>
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

namespace {

// The program's exit codes and what each means.
const std::vector<std::pair<int, std::string>>& ProgramExitCodes() {
    static const std::vector<std::pair<int, std::string>> codes{
        {kExitOk, "every table healthy"},
        {kExitRepaired, "problems found, and all of them repaired"},
        {kExitProblemsLeft, "problems found and left (or data lost while reading)"},
        {kExitOperational, "operational error (a table or file could not be handled)"},
        {kExitUsage, "usage error"},
        {kExitCancelled, "cancelled"}};
    return codes;
}

std::string CodeLines(const std::vector<std::pair<int, std::string>>& codes) {
    std::string lines;
    for (const auto& [code, meaning] : codes) {
        const std::string number = std::to_string(code);
        lines += "  " + number + std::string(4 - number.size(), ' ') + meaning + '\n';
    }
    return lines;
}

} // namespace

std::string ExitCodeLines() {
    return CodeLines(ProgramExitCodes()) + "The codes add up when a run meets several of these.\n";
}

std::vector<std::pair<int, std::string>> RunExitCodes(std::initializer_list<int> codes) {
    std::vector<std::pair<int, std::string>> chosen;
    for (const auto& entry : ProgramExitCodes()) {
        if (std::find(codes.begin(), codes.end(), entry.first) != codes.end()) {
            chosen.push_back(entry);
        }
    }
    return chosen;
}

std::vector<std::pair<int, std::string>> ReadExitCodes(bool partly) {
    std::vector<std::pair<int, std::string>> codes{{kExitOk, "done"}};
    if (partly) {
        codes.emplace_back(kExitProblemsLeft,
                           "something could not be read (what could was written)");
    }
    codes.emplace_back(kExitOperational,
                       "operational error (the table could not be opened or the output written)");
    codes.emplace_back(kExitUsage, "usage error");
    return codes;
}

int PrintUsageError(std::ostream& err, const std::string& command, const std::string& message) {
    err << "mendrix-cli " << command << ": " << message << "\nTry 'mendrix-cli " << command
        << " --help'.\n";
    return kExitUsage;
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
    out << "\nExit codes:\n" << CodeLines(command.exitCodes);
    if (command.exitCodes.size() > 1 && command.exitCodes.back().first == kExitCancelled) {
        out << "The codes add up when a run meets several of these.\n";
    }
}

} // namespace cli
