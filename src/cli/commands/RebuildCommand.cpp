// mendrix-cli rebuild [--details] [--json] TARGET...: the repair window's Rebuild All run.
// mendrix-cli rebuild --structure-from OTHER.DB TABLE.DB / --infer-structure TABLE.DB: one
// table whose header lost its field descriptors, with a structure source the operator chose.

#include "cli/ExitCodes.h"
#include "cli/commands/CommandHelp.h"
#include "cli/commands/RunCommands.h"
#include "cli/commands/RunSyntax.h"
#include "platform/StructureRebuild.h"
#include "repair/DBRepair.h"

#include <ostream>

namespace cli {
namespace {

// The one-table form: --structure-from OTHER.DB or --infer-structure, with one TABLE.DB and
// no option but --accept-loss.
int RunStructureRebuild(const ParsedArguments& args, std::ostream& out, std::ostream& err) {
    const auto& targets = args.Values("TARGET");
    if (targets.size() != 1 || args.Has("--details") || args.Has("--verbose") ||
        args.Has("--quiet") || args.Has("--json") || args.Has("--progress") ||
        (args.Has("--structure-from") && args.Has("--infer-structure"))) {
        return PrintUsageError(err, "rebuild",
                               "--structure-from OTHER.DB and --infer-structure take exactly one "
                               "TABLE and no other option but --accept-loss");
    }
    const auto result = platform::RebuildWithStructureSource(
        targets.front(), args.Value("--structure-from"), args.Has("--infer-structure"),
        args.Has("--accept-loss"));
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

int RunRebuild(const ParsedArguments& args, std::ostream& out, std::ostream& err) {
    if (args.Has("--structure-from") || args.Has("--infer-structure")) {
        return RunStructureRebuild(args, out, err);
    }
    return ExecuteRunRequest(RunRequestFrom("rebuild", repair::roRebuild, args), out, err);
}

CommandSyntax RebuildSyntax() {
    CommandSyntax syntax = RunSyntax(repair::roRebuild);
    syntax.options.push_back(
        {.names = "--structure-from",
         .valueName = "OTHER.DB",
         .description = "one TABLE.DB whose header lost its field descriptors: take the fields "
                        "from a table of the same structure (used only if the data bears it "
                        "out)"});
    syntax.options.push_back({.names = "--infer-structure",
                              .description =
                                  "one TABLE.DB: read the fields from the data blocks when no file "
                                  "describes them (names made up as Field1...)"});
    return syntax;
}

std::string RebuildHelp() {
    return RunCommandNotes() +
           "\nA table whose header lost its field descriptors (verify status 3) is rebuilt with\n"
           "the structure found in its index files or an earlier backup (TABLE-BACKUP.DB).\n"
           "For one table, the operator may name the source with --structure-from or\n"
           "--infer-structure; it is used or refused, never passed over for the table's own\n"
           "header.\n";
}

// Every table of a run counts as repaired once rebuilt: 0 only for targets without tables.
std::vector<std::pair<int, std::string>> RebuildExitCodes() {
    auto codes = RunExitCodes(
        {kExitOk, kExitRepaired, kExitProblemsLeft, kExitOperational, kExitUsage, kExitCancelled});
    codes.front().second = "no table to rebuild";
    codes.at(1).second = "every table rebuilt, nothing lost";
    return codes;
}

} // namespace

Command RebuildCommand() {
    return {.name = "rebuild",
            .summary = "rebuild every table of each target, keeping a backup of each",
            .syntax = RebuildSyntax(),
            .run = RunRebuild,
            .help = RebuildHelp(),
            .exitCodes = RebuildExitCodes()};
}

} // namespace cli
