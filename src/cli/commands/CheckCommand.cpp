// mendrix-cli check [--dry-run] [--details] [--json] TARGET...: the repair window's Check &
// Repair run, or with --dry-run what it would do.

#include "cli/commands/RunCommands.h"
#include "cli/run/RunCommand.h"

namespace cli {
namespace {

int RunCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return RunCommandMain("check", repair::roCheckAndRepair, args, out, err);
}

} // namespace

Command CheckCommand() {
    return {
        .name = "check",
        .summary =
            "Check & Repair: rebuild only the tables that fail to open with one of their indexes",
        .syntax = {},
        .run = [](const ParsedArguments& args, std::ostream& out,
                  std::ostream& err) { return RunCheck(args.Words(), out, err); },
        .help = RunCommandHelp(repair::roCheckAndRepair),
        .ownUsage = "[--dry-run] [--details] [--json] TARGET..."};
}

} // namespace cli
