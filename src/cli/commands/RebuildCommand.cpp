// mendrix-cli rebuild [--details] [--json] TARGET...: the repair window's Rebuild All run.
// mendrix-cli rebuild --structure-from OTHER.DB TABLE.DB / --infer-structure TABLE.DB: one
// table whose header lost its field descriptors, with a structure source the operator chose.

#include "cli/commands/RunCommands.h"
#include "cli/run/RunCommand.h"
#include "platform/StructureRebuild.h"
#include "repair/DBRepair.h"

#include <algorithm>
#include <ostream>

namespace cli {
namespace {

constexpr const char* kStructureFrom = "--structure-from";
constexpr const char* kInferStructure = "--infer-structure";
constexpr const char* kAcceptLoss = "--accept-loss";

bool AsksForStructureSource(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(), [](const std::string& arg) {
        return arg == kStructureFrom || arg == kInferStructure;
    });
}

int RunStructureRebuild(const std::vector<std::string>& args, std::ostream& out,
                        std::ostream& err) {
    std::string templateTable;
    std::string table;
    bool infer = false;
    bool acceptLoss = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == kStructureFrom && i + 1 < args.size() && templateTable.empty()) {
            templateTable = args[++i];
        } else if (args[i] == kInferStructure) {
            infer = true;
        } else if (args[i] == kAcceptLoss) {
            acceptLoss = true;
        } else if (table.empty() && !args[i].empty() && args[i][0] != '-') {
            table = args[i];
        } else {
            err << "rebuild: " << kStructureFrom << " OTHER.DB and " << kInferStructure
                << " take exactly one TABLE and no other option but " << kAcceptLoss << " (at '"
                << args[i] << "')\n";
            return kExitUsage;
        }
    }
    if (table.empty()) {
        err << "rebuild: which table? " << kStructureFrom << " OTHER.DB TABLE.DB\n";
        return kExitUsage;
    }
    const auto result =
        platform::RebuildWithStructureSource(table, templateTable, infer, acceptLoss);
    for (const std::string& line : result.findingLines) {
        out << line << '\n';
    }
    if (!result.rebuilt) {
        out << repair::verdict::kRebuildUnsuccessful << ' ' << result.message << '\n';
        return kExitProblemsLeft;
    }
    out << repair::verdict::kRebuildSuccessful << ' '
        << (result.source.empty() ? "Structure from the table's own header."
                                  : "Structure from " + result.source + ".")
        << '\n';
    return kExitRepaired;
}

int RunRebuild(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (AsksForStructureSource(args)) {
        return RunStructureRebuild(args, out, err);
    }
    return RunCommandMain("rebuild", repair::roRebuild, args, out, err);
}

std::string RebuildHelp() {
    return RunCommandHelp(repair::roRebuild) +
           "\nA table whose header lost its field descriptors (verify status 3) is rebuilt with\n"
           "the structure found in its index files or an earlier backup (TABLE-BACKUP.DB).\n"
           "For one table, the operator may name the source; it is used or refused, never\n"
           "passed over for the table's own header:\n"
           "  --structure-from OTHER.DB TABLE.DB  take the fields from a table of the same\n"
           "                                      structure (used only if the data bears it out)\n"
           "  --infer-structure TABLE.DB          read the fields from the data blocks when no\n"
           "                                      file describes them (names made up as "
           "Field1...)\n";
}

} // namespace

Command RebuildCommand() {
    return {.name = "rebuild",
            .summary = "rebuild every table of each target, keeping a backup of each",
            .syntax = {},
            .run = [](const ParsedArguments& args, std::ostream& out,
                      std::ostream& err) { return RunRebuild(args.Words(), out, err); },
            .help = RebuildHelp(),
            .ownUsage = "[--details] [--json] [--accept-loss] TARGET... | [--structure-from "
                        "OTHER.DB] [--infer-structure] [--accept-loss] TABLE.DB"};
}

} // namespace cli
