// mendrix-cli check TARGET... [--dry-run] [--details] [--json]: the repair window's Check &
// Repair run, or with --dry-run what it would do.

#include "cli/ExitCodes.h"
#include "cli/commands/CommandHelp.h"
#include "cli/commands/RunCommands.h"
#include "cli/commands/RunSyntax.h"

namespace cli {

Command CheckCommand() {
    return {
        .name = "check",
        .summary =
            "Check & Repair: rebuild only the tables that fail to open with one of their indexes",
        .syntax = RunSyntax(repair::roCheckAndRepair),
        .run =
            [](const ParsedArguments& args, std::ostream& out, std::ostream& err) {
                return ExecuteRunRequest(RunRequestFrom("check", repair::roCheckAndRepair, args),
                                         out, err);
            },
        .help = RunCommandNotes(),
        .exitCodes = RunExitCodes({kExitHealthy, kExitRepaired, kExitProblemsLeft, kExitOperational,
                                   kExitUsage, kExitCancelled})};
}

} // namespace cli
