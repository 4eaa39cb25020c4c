// mendrix-cli verify [--details] [--json] TARGET...: the repair window's Verify run.

#include "cli/commands/RunCommands.h"
#include "cli/run/RunCommand.h"

namespace cli {
namespace {

int RunVerify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return RunCommandMain("verify", repair::roVerify, args, out, err);
}

} // namespace

Command VerifyCommand() {
    return {.name = "verify",
            .summary = "verify every table of each target and give its verdict",
            .syntax = {},
            .run = [](const ParsedArguments& args, std::ostream& out,
                      std::ostream& err) { return RunVerify(args.Words(), out, err); },
            .help = RunCommandHelp(repair::roVerify),
            .ownUsage = "[--details] [--json] TARGET..."};
}

} // namespace cli
