// The batch program's command line answered in this process: the exit codes, the state a
// reading command gives its table, and the one argument parser of the commands.

#include "cli/ExitCodes.h"
#include "cli/Program.h"
#include "cli/commands/ArgumentParser.h"
#include "cli/commands/CommandHelp.h"
#include "cli/commands/RunSyntax.h"
#include "cli/commands/TableState.h"
#include "support/Corpus.h"
#include "support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

ProgramRun RunCli(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int exitCode = cli::RunProgram(args, out, err);
    return {exitCode, out.str(), err.str()};
}

// ORDERS.DB of the corpus in a folder of the test's own.
std::filesystem::path CopyOfOrders(const testsupport::TempDir& dir) {
    const auto source = testsupport::CorpusDir() / "leonhad-paradoxdriver/db/ORDERS.DB";
    testsupport::WriteFileBytes(dir / "ORDERS.DB", testsupport::ReadFileBytes(source));
    return dir / "ORDERS.DB";
}

TEST(CliCommandLine, ExitCodesOfTheProgramAndItsHelp) {
    for (const int code : {cli::kExitHealthy, cli::kExitRepaired, cli::kExitProblemsLeft,
                           cli::kExitOperational, cli::kExitUsage, cli::kExitCancelled}) {
        const std::string number = "  " + std::to_string(code) + ' ';
        EXPECT_NE(cli::ExitCodeLines().find(number), std::string::npos) << code;
    }
    const auto none = RunCli({});
    EXPECT_EQ(none.exitCode, cli::kExitUsage);
    EXPECT_EQ(none.err.rfind("usage: mendrix-cli COMMAND ARGUMENTS\n", 0), 0u) << none.err;
    const auto unknown = RunCli({"frobnicate", "x"});
    EXPECT_EQ(unknown.exitCode, cli::kExitUsage);
    EXPECT_NE(unknown.err.find("unknown command 'frobnicate'"), std::string::npos) << unknown.err;
    EXPECT_EQ(RunCli({"--frobnicate"}).exitCode, cli::kExitUsage);
    const auto version = RunCli({"--version"});
    EXPECT_EQ(version.exitCode, cli::kExitOk);
    EXPECT_EQ(version.out, "mendrix-cli " MENDRIX_VERSION "\n");
    const auto help = RunCli({"export", "--bogus", "-h"});
    EXPECT_EQ(help.exitCode, cli::kExitOk) << help.err;
    EXPECT_EQ(
        help.out.rfind("usage: mendrix-cli export TARGET... --format csv|json|jsonl|sql|sqlite", 0),
        0u);

    MENDRIX_NEEDS_CORPUS();
    testsupport::TempDir dir;
    const auto orders = CopyOfOrders(dir);
    EXPECT_EQ(RunCli({"info", orders.string()}).exitCode, cli::kExitOk);
    EXPECT_EQ(RunCli({"info", (dir / "NONE.DB").string()}).exitCode, cli::kExitOperational);
    // A failure inside a command is an operational error, said with the command's name.
    const auto directory = RunCli({"export", orders.string(), "--format", "csv", "-o",
                                   (dir / "no-folder" / "out.csv").string()});
    EXPECT_EQ(directory.exitCode, cli::kExitOperational);
    EXPECT_EQ(directory.err.rfind("mendrix-cli export: ", 0), 0u) << directory.err;
}

TEST(CliCommandLine, TableStateFollowsWhatTheReadingMet) {
    using cli::TableState;
    EXPECT_EQ(cli::StateOf({.opened = true}), TableState::Read);
    for (const cli::ReadTally& partly : {cli::ReadTally{.opened = true, .lossFound = true},
                                         cli::ReadTally{.opened = true, .lostRecords = 1},
                                         cli::ReadTally{.opened = true, .unreadableValues = 1},
                                         cli::ReadTally{.opened = true, .replacedBytes = 1}}) {
        EXPECT_EQ(cli::StateOf(partly), TableState::PartlyRead);
    }
    EXPECT_EQ(cli::StateOf({.opened = false}), TableState::Unhandled);
    EXPECT_EQ(cli::StateOf({.opened = false, .lostRecords = 3}), TableState::Unhandled);
    EXPECT_EQ(cli::StateOf({.opened = true, .outputFailed = true, .replacedBytes = 2}),
              TableState::Unhandled);
    EXPECT_EQ(cli::ExitCodeOf(TableState::Read), cli::kExitHealthy);
    EXPECT_EQ(cli::ExitCodeOf(TableState::PartlyRead), cli::kExitProblemsLeft);
    EXPECT_EQ(cli::ExitCodeOf(TableState::Unhandled), cli::kExitOperational);

    // A real table: whole, then cut inside its last block.
    MENDRIX_NEEDS_CORPUS();
    testsupport::TempDir dir;
    const auto orders = CopyOfOrders(dir);
    const auto whole = RunCli({"export", orders.string(), "--format", "json"});
    EXPECT_EQ(whole.exitCode, cli::kExitOk) << whole.err;
    std::string bytes = testsupport::ReadFileBytes(orders);
    bytes.resize(bytes.size() - 1000);
    testsupport::WriteFileBytes(orders, bytes);
    const auto cut = RunCli({"export", orders.string(), "--format", "json"});
    EXPECT_EQ(cut.exitCode, cli::kExitProblemsLeft) << cut.err;
    EXPECT_NE(cut.err.find("missing from the export"), std::string::npos) << cut.err;
    EXPECT_EQ(RunCli({"dump", orders.string()}).exitCode, cli::kExitProblemsLeft);
}

const cli::CommandSyntax& ExampleSyntax() {
    static const cli::CommandSyntax syntax{
        .arguments = {{"TABLE"}},
        .options = {{.names = "--format",

                     .description = "the output format",
                     .required = true,
                     .choices = {"csv", "json"}},
                    {.names = "-o,--output",
                     .valueName = "FILE",
                     .description = "write to FILE, which is replaced only once everything is "
                                    "written; without it the records go to standard output, "
                                    "and a long description is wrapped beside the names"},
                    {.names = "--code-page",
                     .valueName = "N",
                     .description = "code page N",
                     .range = std::pair<std::int64_t, std::int64_t>{1, 65535}},
                    {.names = "--json", .description = "a flag"}}};
    return syntax;
}

std::string UsageErrorOf(const std::vector<std::string>& args) {
    try {
        cli::ParseArguments(ExampleSyntax(), args);
    } catch (const cli::UsageError& e) {
        return e.what();
    }
    return "(parsed)";
}

TEST(CliCommandLine, OneParserForTheArgumentsAndTheHelp) {
    const auto parsed =
        cli::ParseArguments(ExampleSyntax(), {"t.db", "--format", "csv", "-o", "x.csv"});
    EXPECT_EQ(parsed.Value("TABLE"), "t.db");
    EXPECT_EQ(parsed.Value("--format"), "csv");
    EXPECT_EQ(parsed.Value("--output"), "x.csv");
    EXPECT_FALSE(parsed.Has("--code-page"));
    EXPECT_FALSE(parsed.Has("--json"));
    const auto flagged =
        cli::ParseArguments(ExampleSyntax(), {"--json", "--format=json", "--", "-t.db"});
    EXPECT_TRUE(flagged.Has("--json"));
    EXPECT_EQ(flagged.Value("TABLE"), "-t.db");

    // The run commands' shape: flags and any number of targets.
    const cli::CommandSyntax run{.arguments = {{.name = "TARGET", .many = true}},
                                 .options = {{.names = "--details", .description = "findings"}}};
    const auto targets = cli::ParseArguments(run, {"a", "--details", "b", "c"});
    EXPECT_EQ(targets.Values("TARGET"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(targets.Has("--details"));
    EXPECT_EQ(cli::UsageText(run), "TARGET... [--details]");

    EXPECT_NE(UsageErrorOf({"t.db", "--format", "csv", "--bogus"}).find("--bogus"),
              std::string::npos);
    EXPECT_NE(UsageErrorOf({"t.db", "--format"}).find("--format"), std::string::npos);
    EXPECT_NE(UsageErrorOf({"t.db", "--format", "csv", "-o"}).find("--output"), std::string::npos);
    EXPECT_NE(UsageErrorOf({"t.db"}).find("--format is required"), std::string::npos);
    EXPECT_NE(UsageErrorOf({"--format", "csv"}).find("TABLE is required"), std::string::npos);
    EXPECT_NE(UsageErrorOf({"t.db", "--format", "xml"}).find("xml"), std::string::npos);
    EXPECT_NE(UsageErrorOf({"t.db", "--format", "csv", "--code-page", "0"}).find("--code-page"),
              std::string::npos);
    EXPECT_NE(UsageErrorOf({"t.db", "u.db", "--format", "csv"}).find("u.db"), std::string::npos);
    // A stray word is named, not the argument it left unfilled; after "--" options are words.
    EXPECT_NE(UsageErrorOf({"-x", "--format", "csv"}).find("not expected: -x"), std::string::npos);
    EXPECT_NE(UsageErrorOf({"--", "t.db", "--format", "csv"}).find("not expected: --format csv"),
              std::string::npos);

    EXPECT_EQ(cli::UsageText(ExampleSyntax()),
              "TABLE --format csv|json [-o FILE] [--code-page N] [--json]");
    // Each option once, its names and value first, its description (required ones say so)
    // wrapped in a column of its own.
    const std::string help = cli::OptionsHelp(ExampleSyntax());
    ASSERT_EQ(help.rfind("Options:\n", 0), 0u) << help;
    std::istringstream lines(help.substr(9));
    std::vector<std::string> names;
    std::vector<std::string> descriptions;
    std::size_t column = 0;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 85u) << line;
        if (line.find_first_not_of(' ') == 2) {
            column = line.find_first_not_of(' ', line.find("   "));
            names.push_back(line.substr(2, line.find("   ") - 2));
            descriptions.push_back(line.substr(column));
        } else {
            EXPECT_EQ(line.find_first_not_of(' '), column) << help;
            descriptions.back() += ' ' + line.substr(column);
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"--format csv|json", "-o, --output FILE",
                                               "--code-page N", "--json"}));
    ASSERT_EQ(descriptions.size(), 4u);
    EXPECT_EQ(descriptions[0], ExampleSyntax().options[0].description + " (required)");
    EXPECT_EQ(descriptions[1], ExampleSyntax().options[1].description);
    EXPECT_NE(help.find("\n                      "), std::string::npos) << help;

    // The program answers a command's bad arguments with the parser's words.
    const auto bad = RunCli({"info", "t.db", "--check-password"});
    EXPECT_EQ(bad.exitCode, cli::kExitUsage);
    EXPECT_EQ(bad.err.rfind("mendrix-cli info: --check-password", 0), 0u) << bad.err;
    const auto infoHelp = RunCli({"info", "--help"});
    EXPECT_NE(infoHelp.out.find("Options:\n  --check-password PASSWORD   "), std::string::npos)
        << infoHelp.out;
}

// The run commands parse through the same parser: each takes only its own options, at least
// one target, and gives a request that holds what was asked.
TEST(CliCommandLine, RunCommandsTakeTheirOwnOptionsThroughTheOneParser) {
    const auto check =
        cli::RunRequestFrom("check", repair::roCheckAndRepair,
                            cli::ParseArguments(cli::RunSyntax(repair::roCheckAndRepair),
                                                {"a", "--dry-run", "b", "--json"}));
    EXPECT_EQ(check.targets, (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(check.dryRun);
    EXPECT_TRUE(check.json);
    EXPECT_FALSE(check.details);
    EXPECT_FALSE(check.acceptLoss);

    const auto rebuild = cli::RunRequestFrom(
        "rebuild", repair::roRebuild,
        cli::ParseArguments(cli::RunSyntax(repair::roRebuild), {"--accept-loss", "--", "-t"}));
    EXPECT_TRUE(rebuild.acceptLoss);
    EXPECT_EQ(rebuild.targets, (std::vector<std::string>{"-t"}));

    EXPECT_THROW(cli::ParseArguments(cli::RunSyntax(repair::roVerify), {"--dry-run", "a"}),
                 cli::UsageError);
    EXPECT_THROW(cli::ParseArguments(cli::RunSyntax(repair::roVerify), {"--accept-loss", "a"}),
                 cli::UsageError);
    EXPECT_THROW(cli::ParseArguments(cli::RunSyntax(repair::roCheckAndRepair), {"--json"}),
                 cli::UsageError);
    EXPECT_EQ(RunCli({"verify"}).exitCode, cli::kExitUsage);
    EXPECT_EQ(RunCli({"rebuild", "--infer-structure", "A.DB", "B.DB"}).exitCode, cli::kExitUsage);
    const auto help = RunCli({"rebuild", "--help"});
    EXPECT_NE(help.out.find("  --structure-from OTHER.DB "), std::string::npos) << help.out;
}

// Every command refuses a command line the same way, takes "--" before its words, and its help
// lists the exit codes it can return, no other; -V is --version.
TEST(CliCommandLine, OneUsageErrorStyleDoubleDashEverywhereAndEachCommandsExitCodes) {
    MENDRIX_NEEDS_CORPUS();
    testsupport::TempDir dir;
    const std::string orders = CopyOfOrders(dir).string();
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"check", "--bogus", "x"},
             {"verify"},
             {"rebuild", "--infer-structure", "A.DB", "B.DB"},
             {"dump", orders, orders},
             {"info", "--bogus", orders},
             {"list", "a", "b"},
             {"export", orders, "--format", "xml"},
             {"export", orders, "--format", "csv", "-o", orders}}) {
        const auto run = RunCli(args);
        const std::string& command = args.front();
        EXPECT_EQ(run.exitCode, cli::kExitUsage) << command;
        const std::string prefix = "mendrix-cli " + command + ": ";
        const std::string tail = "\nTry 'mendrix-cli " + command + " --help'.\n";
        EXPECT_EQ(run.err.rfind(prefix, 0), 0u) << run.err;
        ASSERT_GT(run.err.size(), prefix.size() + tail.size()) << run.err;
        EXPECT_TRUE(run.err.ends_with(tail)) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
    }
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"frobnicate"}, {"--frobnicate"}}) {
        const auto run = RunCli(args);
        EXPECT_EQ(run.exitCode, cli::kExitUsage);
        EXPECT_TRUE(run.err.starts_with("mendrix-cli: ")) << run.err;
        EXPECT_TRUE(run.err.ends_with("\nTry 'mendrix-cli --help'.\n")) << run.err;
    }

    EXPECT_EQ(RunCli({"-V"}).out, RunCli({"--version"}).out);
    EXPECT_EQ(RunCli({"-V"}).exitCode, cli::kExitOk);

    const auto info = RunCli({"info", orders});
    EXPECT_EQ(RunCli({"info", "--", orders}).out, info.out);
    EXPECT_EQ(RunCli({"dump", "--", orders}).out, RunCli({"dump", orders}).out);
    EXPECT_EQ(RunCli({"list", "--", dir.path().string()}).out,
              RunCli({"list", dir.path().string()}).out);
    EXPECT_EQ(RunCli({"export", "--format", "json", "--", orders}).exitCode, cli::kExitOk);

    using Codes = std::set<int>;
    const std::map<std::string, Codes> expected{{"check", {0, 1, 4, 8, 16, 32}},
                                                {"verify", {0, 4, 8, 16, 32}},
                                                {"rebuild", {0, 1, 4, 8, 16, 32}},
                                                {"dump", {0, 4, 8, 16}},
                                                {"export", {0, 4, 8, 16}},
                                                {"info", {0, 8, 16}},
                                                {"list", {0, 8, 16}}};
    for (const auto& [command, codes] : expected) {
        const std::string help = RunCli({command, "--help"}).out;
        const auto at = help.find("\nExit codes:\n");
        ASSERT_NE(at, std::string::npos) << help;
        std::istringstream lines(help.substr(at + 13));
        Codes listed;
        for (std::string line; std::getline(lines, line) && line.starts_with("  ");) {
            listed.insert(std::stoi(line));
        }
        EXPECT_EQ(listed, codes) << command << '\n' << help;
    }
}

} // namespace
