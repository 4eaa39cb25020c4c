#include "cli/commands/RunSyntax.h"

#include "cli/run/DefaultJobs.h"

#include <string>

namespace cli {

CommandSyntax RunSyntax(repair::TRepairOperation operation) {
    CommandSyntax syntax;
    syntax.arguments = {{.name = "TARGET", .required = true, .many = true}};
    if (operation == repair::roCheckAndRepair) {
        syntax.options.push_back(
            {.names = "--dry-run",
             .description = "only the open test and a verify of each table: say which tables "
                            "would be rebuilt and change nothing on disk"});
    }
    if (operation == repair::roRebuild) {
        syntax.options.push_back(
            {.names = "--accept-loss",
             .description = "recover all possible rows: rebuild a table even when records, a "
                            "blob file or an index cannot be kept (the backup keeps them; the "
                            "verdict says what was lost). Without it such a rebuild changes "
                            "nothing"});
    }
    syntax.options.push_back({.names = "--allow-empty",
                              .description = "a target that holds no Paradox table is no error"});
    syntax.options.push_back(
        {.names = "--recursive",
         .description = "walk each directory target into its subfolders: every folder that "
                        "holds a Paradox table is a run of its own"});
    syntax.options.push_back(
        {.names = "-j,--jobs",
         .valueName = "N",
         .description = "work on N tables at once (the default: the number of cores, but one "
                        "for a verify of small tables); the "
                        "lines and the run log are the same as with -j 1, in the order of the "
                        "table list, each table's once it and those before it have ended",
         .range = std::pair<std::int64_t, std::int64_t>{1, kMaxJobs}});
    syntax.options.push_back(
        {.names = "--log",
         .valueName = "FILE",
         .description = "add the lines to FILE instead of the program's run log (priv/ beside "
                        "the program, or $XDG_STATE_HOME/mendrix/priv when that cannot be "
                        "written)"});
    syntax.options.push_back({.names = "--no-log", .description = "write no run log"});
    syntax.options.push_back({.names = "--details",
                              .description = "under each verdict, every finding of the verify "
                                             "(code, file, block, record, text) and where a "
                                             "rebuild left its work tables"});
    syntax.options.push_back({.names = "-v,--verbose", .description = "the same as --details"});
    syntax.options.push_back(
        {.names = "-q,--quiet",
         .description = "print only the lines of the tables that are not healthy, and each "
                        "run's first line and summary line"});
    syntax.options.push_back(
        {.names = "--json",
         .description = "a machine-readable report (JSON) instead of the run's lines"});
    syntax.options.push_back(
        {.names = "--progress",
         .description = "progress on standard error: auto (a line per table, redrawn in place, "
                        "when standard error is a terminal), json (one JSON object a line per "
                        "step: table, index, count, phase, percent) or none",
         .choices = {"auto", "json", "none"}});
    return syntax;
}

RunRequest RunRequestFrom(std::string command, repair::TRepairOperation operation,
                          const ParsedArguments& args) {
    RunRequest request;
    request.command = std::move(command);
    request.operation = operation;
    request.targets = args.Values("TARGET");
    request.json = args.Has("--json");
    request.details = args.Has("--details") || args.Has("--verbose");
    request.quiet = args.Has("--quiet");
    request.progress = args.Value("--progress", "auto");
    request.dryRun = args.Has("--dry-run");
    request.acceptLoss = args.Has("--accept-loss");
    request.allowEmpty = args.Has("--allow-empty");
    request.recursive = args.Has("--recursive");
    request.noLog = args.Has("--no-log");
    request.logFile = args.Has("--log") ? args.Value("--log") : std::string();
    request.jobs = args.Has("--jobs") ? static_cast<unsigned>(std::stoul(args.Value("--jobs"))) : 0;
    return request;
}

} // namespace cli
