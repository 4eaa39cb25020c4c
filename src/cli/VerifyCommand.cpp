// mendrix-cli verify [--details] [--json] TARGET...: the repair window's Verify run.

#include "cli/Commands.h"
#include "cli/RunCommand.h"

namespace cli {
namespace {

int RunVerify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return RunCommandMain("verify", repair::roVerify, args, out, err);
}

const CommandRegistration kVerify{{"verify", "[--details] [--json] TARGET...",
                                   "verify every table of each target and give its verdict",
                                   &RunVerify, RunCommandHelp(repair::roVerify)}};

} // namespace
} // namespace cli
