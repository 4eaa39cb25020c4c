// mendrix-cli verify TARGET... [--details] [--json]: the repair window's Verify run.

#include "cli/ExitCodes.h"
#include "cli/commands/CommandHelp.h"
#include "cli/commands/RunCommands.h"
#include "cli/commands/RunSyntax.h"

namespace cli {

Command VerifyCommand() {
    return {.name = "verify",
            .summary = "verify every table of each target and give its verdict",
            .syntax = RunSyntax(repair::roVerify),
            .run =
                [](const ParsedArguments& args, std::ostream& out, std::ostream& err) {
                    return ExecuteRunRequest(RunRequestFrom("verify", repair::roVerify, args), out,
                                             err);
                },
            .help = RunCommandNotes(),
            .exitCodes = RunExitCodes(
                {kExitHealthy, kExitProblemsLeft, kExitOperational, kExitUsage, kExitCancelled})};
}

} // namespace cli
