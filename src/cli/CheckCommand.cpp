// mendrix-cli check [--dry-run] [--details] [--json] TARGET...: the repair window's Check &
// Repair run, or with --dry-run what it would do.

#include "cli/Commands.h"
#include "cli/RunCommand.h"

namespace cli {
namespace {

int RunCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return RunCommandMain("check", repair::roCheckAndRepair, args, out, err);
}

const CommandRegistration kCheck{
    {"check", "[--dry-run] [--details] [--json] TARGET...",
     "Check & Repair: rebuild only the tables that fail to open with one of their indexes",
     &RunCheck, RunCommandHelp(repair::roCheckAndRepair)}};

} // namespace
} // namespace cli
