// mendrix-cli rebuild [--details] [--json] TARGET...: the repair window's Rebuild All run.

#include "cli/Commands.h"
#include "cli/RunCommand.h"

namespace cli {
namespace {

int RunRebuild(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return RunCommandMain("rebuild", repair::roRebuild, args, out, err);
}

const CommandRegistration kRebuild{{"rebuild", "[--details] [--json] TARGET...",
                                    "rebuild every table of each target, keeping a backup of each",
                                    &RunRebuild, RunCommandHelp(repair::roRebuild)}};

} // namespace
} // namespace cli
