// The batch program's runs against the window's run routine on copies of the sample database.

#include "CliChild.h"
#include "cli/run/DefaultJobs.h"
#include "engine/RebuildFiles.h"
#include "platform/Database.h"
#include "platform/Session.h"
#include "platform/Table.h"
#include "repair/RepairRun.h"
#include "support/Corpus.h"
#include "support/Golden.h"
#include "support/TempDir.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using clitest::ChildRun;
using clitest::RunChild;
using clitest::SplitLines;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Lines = std::vector<std::string>;

// The window as the run sees it, remembering the pane and the log lines.
class RecordingView : public repair::RepairRunView {
public:
    RecordingView(platform::TTable& table, std::vector<std::string> tables, std::string alias)
        : table_(table), tables_(std::move(tables)), alias_(std::move(alias)) {}
    void AppendMessage(const std::string& line) override { pane.push_back(line); }
    void ClearMessages() override { pane.clear(); }
    std::vector<std::string> MessageLines() const override { return pane; }
    void SetGaugeMax(int) override {}
    void SetGaugePosition(int position) override { gauge_ = position; }
    int GaugePosition() const override { return gauge_; }
    void ResetProgressBars() override {}
    bool CancelRequested() const override { return false; }
    void ClearCancelRequest() override {}
    void SetCancelEnabled(bool) override {}
    void ProcessPendingEvents() override {}
    const std::vector<std::string>& TableList() const override { return tables_; }
    platform::TTable& TempTable() override { return table_; }
    std::string DatabaseAliasName() const override { return alias_; }
    void AppendLogLine(const std::string& line) override { log.push_back(line); }

    Lines pane;
    Lines log;

private:
    platform::TTable& table_;
    std::vector<std::string> tables_;
    std::string alias_;
    int gauge_ = 0;
};

// The time stamp of a start or end line replaced by a mark.
Lines WithoutTimeStamps(const Lines& lines) {
    static const std::regex stamp(
        R"(^(.*(started|complete)\. )\d{1,2}/\d{1,2}/\d{4} \d{1,2}:\d\d:\d\d[ap]$)");
    Lines masked;
    for (const std::string& line : lines) {
        masked.push_back(std::regex_replace(line, stamp, "$1<time>"));
    }
    return masked;
}

// The pane's lines among what a run command printed: without the batch program's own first
// line naming each run's folder and its summary line.
Lines PaneLines(const std::string& out) {
    static const std::regex own(R"(^(Database: .*|[0-9]+ tables?: [0-9]+ healthy, .*)$)");
    Lines lines;
    for (const std::string& line : SplitLines(out)) {
        if (!std::regex_match(line, own)) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::map<std::string, std::string> Snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        files[fs::relative(entry.path(), dir).string()] =
            entry.is_regular_file() ? testsupport::ReadFileBytes(entry.path()) : "<dir>";
    }
    return files;
}

// The lines of the shared run log that follow the selection line naming `directory` and are
// `printed`, in their order (the log may hold many runs, the last one of this directory is
// taken; programs running at the same time add their lines between them).
Lines LoggedRun(const fs::path& directory, const Lines& printed) {
    const Lines log =
        SplitLines(testsupport::ReadFileBytes(testsupport::BinDir() / "priv" / "1Mendrix.log"));
    const std::string selection = "DB path set to: " + directory.string();
    const auto at = std::find(log.rbegin(), log.rend(), selection);
    Lines logged;
    if (at == log.rend()) {
        return logged;
    }
    for (auto line = at.base(); line != log.end() && logged.size() < printed.size(); ++line) {
        if (*line == printed[logged.size()]) {
            logged.push_back(*line);
        }
    }
    return logged;
}

class CliRuns : public ::testing::Test {
protected:
    CliRuns() {
        // No configuration file: the engine offers only its built-in alias, in this process
        // and in the children.
        ::setenv("MENDRIX_ENGINE_CONFIG", (root_ / "engine.ini").c_str(), 1);
        env_ = {{"MENDRIX_ENGINE_CONFIG", (root_ / "engine.ini").string()},
                {"XDG_STATE_HOME", (root_ / "state").string()}};
    }

    // A fresh copy of the sample database.
    fs::path Samples(const std::string& name) const {
        return testsupport::CopyOfSamples(root_ / name);
    }

    ChildRun Cli(const std::vector<std::string>& args) const { return RunChild(args, env_); }

    // The window's run of `operation` over every table of `dir`, in this process.
    Lines WindowRun(repair::TRepairOperation operation, const fs::path& dir) const {
        platform::TSession session("TempSession");
        fs::create_directories(root_ / "priv");
        session.SetPrivateDir((root_ / "priv").string());
        session.SetActive(true);
        session.SetConfigMode(platform::cfmSession);
        session.AddStandardAlias("Mendrix", dir.string(), "PARADOX");
        session.SetConfigMode(platform::cmAll);
        platform::TDatabase database(session, "TempDB");
        database.SetAliasName("Mendrix");
        database.SetConnected(true);
        std::vector<std::string> tables;
        session.GetTableNames("TempDB", "*.*", true, false, tables);
        platform::TTable table(database);
        table.SetExclusive(true);
        RecordingView view(table, tables, "Mendrix");
        repair::RunRepairOperation(operation, view);
        EXPECT_EQ(view.log, view.pane);
        return view.pane;
    }

    const fs::path& Root() const { return root_.path(); }
    clitest::Environment env_;

private:
    testsupport::TempDir root_;
};

TEST_F(CliRuns, EachCommandPrintsTheWindowRunsLinesLogsThemAndExitsByWhatItFound) {
    struct Case {
        const char* command;
        repair::TRepairOperation operation;
        int exitCode;    // the samples hold two damaged tables
        int verifyAfter; // a verify of the copy afterwards
    };
    // Check & Repair rebuilds INVOICE (its index does not open) and STOCK (its structure does
    // not read); Rebuild All rebuilds every table.
    for (const Case& c :
         {Case{"verify", repair::roVerify, 4, 4}, Case{"check", repair::roCheckAndRepair, 1, 0},
          Case{"rebuild", repair::roRebuild, 1, 0}}) {
        SCOPED_TRACE(c.command);
        const fs::path cliCopy = Samples(std::string(c.command) + "-cli");
        const fs::path windowCopy = Samples(std::string(c.command) + "-window");
        const ChildRun run = Cli({c.command, cliCopy.string()});
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_EQ(run.err, "");
        const Lines printed = PaneLines(run.out);
        EXPECT_EQ(WithoutTimeStamps(printed),
                  WithoutTimeStamps(WindowRun(c.operation, windowCopy)));
        EXPECT_EQ(LoggedRun(cliCopy, printed), printed) << "every line, once, in order";
        EXPECT_EQ(Cli({"verify", cliCopy.string()}).exitCode, c.verifyAfter);
    }
}

TEST_F(CliRuns, JsonReportsTheRunsTablesFindingsAndWorkTables) {
    const fs::path dir = Samples("json");
    const ChildRun text = Cli({"verify", dir.string()});
    const ChildRun run = Cli({"verify", "--details", "--json", dir.string()});
    ASSERT_EQ(run.exitCode, 4) << run.err;
    const auto report = nlohmann::json::parse(run.out);
    EXPECT_EQ(report["exitCode"], 4);
    EXPECT_EQ(report["command"], "verify");
    ASSERT_EQ(report["runs"].size(), 1u);
    const auto& verifyRun = report["runs"][0];
    EXPECT_EQ(verifyRun["directory"], dir.string());
    EXPECT_EQ(WithoutTimeStamps(verifyRun["lines"].get<Lines>()),
              WithoutTimeStamps(PaneLines(text.out)));
    std::map<std::string, nlohmann::json> tables;
    for (const auto& table : verifyRun["tables"]) {
        tables[table["name"]] = table;
    }
    ASSERT_EQ(tables.size(), 7u);
    EXPECT_EQ(tables["CUSTOMER.DB"]["state"], "healthy");
    EXPECT_TRUE(tables["CUSTOMER.DB"]["findings"].empty());
    const auto& invoice = tables["INVOICE.DB"];
    EXPECT_EQ(invoice["state"], "problems");
    EXPECT_EQ(invoice["verdict"], "Verification Successful. Verification completed.");
    EXPECT_THAT(invoice["lines"].get<Lines>(),
                ElementsAre("INVOICE.DB", "Verification Successful. Verification completed."));
    EXPECT_FALSE(invoice.contains("rebuilt")) << "a verify rebuilds nothing";
    ASSERT_FALSE(invoice["findings"].empty());
    EXPECT_EQ(invoice["findings"][0]["file"], "INVOICE.PX");
    EXPECT_EQ(invoice["findings"][0]["block"], 1);
    EXPECT_TRUE(invoice["findings"][0]["code"].is_number());
    EXPECT_EQ(tables["STOCK.DB"]["findings"][0]["file"], "STOCK.DB");
    // The values its words name travel beside them.
    EXPECT_EQ(tables["STOCK.DB"]["findings"][0]["detail"],
              nlohmann::json::parse(R"({"found": 90, "expected": 93})"));

    // The same findings as text under their verdicts.
    const ChildRun details = Cli({"verify", "--details", (dir / "INVOICE.DB").string()});
    EXPECT_THAT(details.out,
                HasSubstr("Verification completed.\n  [" + invoice["findings"][0]["code"].dump() +
                          "] INVOICE.PX block 1"));

    const std::string original = testsupport::ReadFileBytes(dir / "INVOICE.DB");
    const ChildRun rebuild = Cli({"rebuild", "--json", (dir / "INVOICE.DB").string()});
    ASSERT_EQ(rebuild.exitCode, 1) << rebuild.err;
    const auto rebuilt = nlohmann::json::parse(rebuild.out)["runs"][0]["tables"];
    ASSERT_EQ(rebuilt.size(), 1u);
    EXPECT_EQ(rebuilt[0]["state"], "repaired");
    EXPECT_EQ(rebuilt[0]["rebuilt"], true);
    ASSERT_TRUE(rebuilt[0]["backupTable"].is_string());
    EXPECT_EQ(testsupport::ReadFileBytes(rebuilt[0]["backupTable"].get<std::string>()), original);
}

// The report comes from what the run learned of each table: the verify's findings under the
// verdict of a dry run, a Check & Repair and a rebuild as under a verify's, and only the work
// tables this rebuild wrote (an earlier rebuild's problem table is not named).
TEST_F(CliRuns, DetailsListTheFindingsOfEveryRunAndOnlyTheWorkTablesItWrote) {
    const fs::path dir = Samples("details");
    fs::copy_file(dir / "CUSTOMER.DB", dir / "INVOICE-PROBLEM.DB"); // an earlier rebuild's
    const std::string invoice = (dir / "INVOICE.DB").string();
    const auto verified = nlohmann::json::parse(
        Cli({"verify", "--details", "--json", invoice}).out)["runs"][0]["tables"][0];
    ASSERT_FALSE(verified["findings"].empty());
    const std::string firstFinding =
        "  [" + verified["findings"][0]["code"].dump() + "] INVOICE.PX";

    const ChildRun dry = Cli({"check", "--dry-run", "--details", invoice});
    EXPECT_THAT(dry.out, HasSubstr("Verification completed.\n" + firstFinding));
    const ChildRun dryJson = Cli({"check", "--dry-run", "--details", "--json", invoice});
    EXPECT_EQ(nlohmann::json::parse(dryJson.out)["runs"][0]["tables"][0]["findings"],
              verified["findings"]);

    const ChildRun rebuild = Cli({"rebuild", "--details", "--json", invoice});
    ASSERT_EQ(rebuild.exitCode, 1) << rebuild.err;
    const auto rebuilt = nlohmann::json::parse(rebuild.out)["runs"][0]["tables"][0];
    EXPECT_EQ(rebuilt["findings"], verified["findings"]);
    EXPECT_EQ(rebuilt["backupTable"], (dir / "INVOICE-BACKUP.DB").string());
    EXPECT_TRUE(rebuilt["problemTable"].is_null()) << rebuilt["problemTable"];
    EXPECT_TRUE(rebuilt["keyViolationTable"].is_null());

    const fs::path again = Samples("details-check");
    fs::copy_file(again / "CUSTOMER.DB", again / "INVOICE-PROBLEM.DB");
    const ChildRun check = Cli({"check", "--details", (again / "INVOICE.DB").string()});
    EXPECT_EQ(check.exitCode, 1) << check.err;
    EXPECT_THAT(check.out, HasSubstr("Rebuild was successful.\n" + firstFinding));
    EXPECT_THAT(check.out, HasSubstr("  backup: " + (again / "INVOICE-BACKUP.DB").string()));
    EXPECT_THAT(check.out, ::testing::Not(HasSubstr("problems:")));
}

TEST_F(CliRuns, DryRunNamesTheTablesToRebuildAndChangesNothing) {
    const fs::path dir = Samples("dry");
    const auto before = Snapshot(dir);
    const ChildRun run = Cli({"check", "--dry-run", dir.string()});
    EXPECT_EQ(run.exitCode, 4) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Checking INVOICE.DB\nDoes not open with index: Primary"));
    EXPECT_THAT(SplitLines(run.out).back(),
                "Check & Repair would rebuild: " + (dir / "INVOICE.DB").string() + ", " +
                    (dir / "STOCK.DB").string());
    const ChildRun json = Cli({"check", "--dry-run", "--json", dir.string()});
    EXPECT_EQ(json.exitCode, 4);
    const auto report = nlohmann::json::parse(json.out);
    for (const auto& table : report["runs"][0]["tables"]) {
        EXPECT_EQ(table["wouldRebuild"],
                  table["name"] == "INVOICE.DB" || table["name"] == "STOCK.DB")
            << table["name"];
    }
    EXPECT_EQ(Snapshot(dir), before) << "no file changed, none made";
    const fs::path batchPrivate = Root() / "state" / "mendrix" / "priv";
    EXPECT_TRUE(!fs::exists(batchPrivate) || fs::is_empty(batchPrivate));

    // A real Check & Repair then rebuilds exactly those tables.
    const ChildRun real = Cli({"check", dir.string()});
    EXPECT_EQ(real.exitCode, 1);
    EXPECT_TRUE(fs::exists(dir / "INVOICE-BACKUP.DB"));
    EXPECT_TRUE(fs::exists(dir / "STOCK-BACKUP.DB"));
    EXPECT_FALSE(fs::exists(dir / "ORDERS-BACKUP.DB"));
}

// Runs a shell command line with the directory read-only: mounted so in a mount namespace of
// its own when run by root (who writes anywhere otherwise), else by its permissions.
ChildRun RunOnReadOnly(const fs::path& dir, const std::string& commandLine,
                       const clitest::Environment& env) {
    testsupport::TempDir out;
    std::string line;
    for (const auto& [name, value] : env) {
        line += name + "='" + value + "' ";
    }
    const std::string redirect = " >" + (out / "out").string() + " 2>" + (out / "err").string();
    if (::geteuid() == 0) {
        line = "unshare -m sh -c \"mount --bind '" + dir.string() + "' '" + dir.string() +
               "' && mount -o remount,ro,bind '" + dir.string() + "' && " + line + commandLine +
               redirect + "\"";
    } else {
        fs::permissions(dir, fs::perms::owner_write, fs::perm_options::remove);
        line += commandLine + redirect;
    }
    const int status = std::system(line.c_str());
    if (::geteuid() != 0) {
        fs::permissions(dir, fs::perms::owner_write, fs::perm_options::add);
    }
    ChildRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = testsupport::ReadFileBytes(out / "out");
    run.err = testsupport::ReadFileBytes(out / "err");
    return run;
}

TEST_F(CliRuns, VerifyAndDryRunOnAReadOnlyDirectoryStillGiveTheVerdicts) {
    const fs::path dir = Samples("readonly");
    const auto before = Snapshot(dir);
    const std::string program = "'" + clitest::CliProgram().string() + "'";
    const ChildRun verify = RunOnReadOnly(dir, program + " verify '" + dir.string() + "'", env_);
    if (verify.exitCode == 1 && verify.out.empty()) {
        GTEST_SKIP() << "no read-only mount here: " << verify.err;
    }
    EXPECT_EQ(verify.exitCode, 4) << verify.err;
    // The error table goes to the private directory, so the data folder's mount does not matter.
    EXPECT_THAT(verify.out,
                HasSubstr("INVOICE.DB\nVerification Successful. Verification completed.\n"));
    EXPECT_THAT(verify.out, HasSubstr("CUSTOMER.DB\n"));
    const ChildRun dry =
        RunOnReadOnly(dir, program + " check --dry-run '" + dir.string() + "'", env_);
    EXPECT_EQ(dry.exitCode, 4) << dry.err;
    EXPECT_THAT(dry.out,
                HasSubstr("Check & Repair would rebuild: " + (dir / "INVOICE.DB").string()));
    EXPECT_EQ(Snapshot(dir), before);
}

TEST_F(CliRuns, TargetsAreAliasesDirectoriesOrTableFilesGroupedByDirectory) {
    const fs::path first = Samples("first");
    const fs::path second = Samples("second");
    testsupport::WriteFileBytes(Root() / "engine.ini",
                                "[COPY]\nTYPE=STANDARD\nPATH=" + first.string() +
                                    "\nDEFAULT DRIVER=PARADOX\n");
    const ChildRun alias = Cli({"verify", "COPY"});
    EXPECT_EQ(alias.exitCode, 4) << alias.err;
    EXPECT_EQ(WithoutTimeStamps(PaneLines(alias.out)),
              WithoutTimeStamps(PaneLines(Cli({"verify", first.string()}).out)));

    const ChildRun files = Cli({"verify", (first / "INVOICE.DB").string(),
                                (second / "EVENTS").string(), (first / "CUSTOMER.DB").string()});
    EXPECT_EQ(files.exitCode, 4) << files.err;
    EXPECT_THAT(WithoutTimeStamps(PaneLines(files.out)),
                ElementsAre("Verify started. <time>", "INVOICE.DB",
                            "Verification Successful. Verification completed.", "CUSTOMER.DB",
                            "Verification Successful. Table has no errors.",
                            "Verify complete. <time>", "Verify started. <time>", "EVENTS.DB",
                            "Verification Successful. Table has no errors.",
                            "Verify complete. <time>"));
    EXPECT_EQ(Cli({"verify", (second / "EVENTS.DB").string()}).exitCode, 0);

    const ChildRun missing = Cli({"verify", (first / "NOTHERE.DB").string()});
    EXPECT_EQ(missing.exitCode, 8);
    EXPECT_THAT(missing.err, HasSubstr("NOTHERE.DB"));
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(Cli({"verify"}).exitCode, 16);
    EXPECT_EQ(Cli({"check", "--bogus", first.string()}).exitCode, 16);
    EXPECT_EQ(Cli({"verify", "--dry-run", first.string()}).exitCode, 16);
}

TEST_F(CliRuns, AJunkTableGivesTheOperationalBitAndAnAbortedRunStillLogsItsLines) {
    const fs::path dir = Root() / "junk";
    fs::create_directories(dir);
    fs::copy_file(testsupport::SamplesDir() / "EVENTS.DB", dir / "EVENTS.DB");
    // A table header's first bytes, then junk.
    testsupport::WriteFileBytes(dir / "ZJUNK.DB",
                                testsupport::ReadFileBytes(dir / "EVENTS.DB").substr(0, 6) +
                                    std::string(594, 'z'));

    const ChildRun verify = Cli({"verify", dir.string()});
    EXPECT_EQ(verify.exitCode, 4) << "a verdict was reached for each table";

    const ChildRun check = Cli({"check", dir.string()});
    EXPECT_EQ(check.exitCode, 8);
    const Lines checked = PaneLines(check.out);
    ASSERT_GE(checked.size(), 2u);
    EXPECT_EQ(checked[checked.size() - 2], "Aborted due to error") << "no end line after a failure";
    EXPECT_THAT(checked.back(), HasSubstr("ZJUNK.DB")) << "the reason follows it";
    EXPECT_THAT(check.err, HasSubstr("Table ZJUNK.DB could not be rebuilt."));
    EXPECT_EQ(LoggedRun(dir, checked), checked);

    // Rebuild All goes on after a table whose rebuild was not successful: one table
    // repaired, one left.
    const ChildRun rebuild = Cli({"rebuild", "--json", dir.string()});
    EXPECT_EQ(rebuild.exitCode, 1 | 4) << rebuild.err;
    const auto tables = nlohmann::json::parse(rebuild.out)["runs"][0]["tables"];
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0]["state"], "repaired");
    EXPECT_EQ(tables[1]["state"], "problems");
}

TEST_F(CliRuns, AReaderThatGoesAwayDoesNotStopTheRunOrItsLog) {
    const fs::path dir = Samples("closed");
    std::string line;
    for (const auto& [name, value] : env_) {
        line += name + "='" + value + "' ";
    }
    // The reader is gone before the first line is written.
    const fs::path log = Root() / "closed.log";
    line += "'" + clitest::CliProgram().string() + "' check --log '" + log.string() + "' '" +
            dir.string() + "' 2>/dev/null | exit 0";
    EXPECT_EQ(std::system(line.c_str()), 0);
    const Lines logged = SplitLines(testsupport::ReadFileBytes(log));
    ASSERT_EQ(logged.size(), 16u) << "the selection line and the run's";
    EXPECT_THAT(logged.back(), ::testing::StartsWith("Check & Repair complete. "));
    EXPECT_TRUE(fs::exists(dir / "INVOICE-BACKUP.DB"));
}

TEST_F(CliRuns, ProgramsRunningAtOnceEachLogEveryLineOnce) {
    constexpr int kRuns = 4;
    std::vector<fs::path> dirs;
    for (int i = 0; i < kRuns; ++i) {
        dirs.push_back(Samples("together" + std::to_string(i)));
    }
    const fs::path logFile = Root() / "together.log";
    std::vector<ChildRun> runs(kRuns);
    std::vector<std::thread> threads;
    for (int i = 0; i < kRuns; ++i) {
        threads.emplace_back([&, i] {
            runs[i] = Cli({"verify", "--log", logFile.string(), dirs[i].string()});
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    // Each line is logged as it is written, so the runs' lines interleave: every line once,
    // and each run's in its order after its selection line.
    const Lines log = SplitLines(testsupport::ReadFileBytes(logFile));
    Lines expected;
    for (int i = 0; i < kRuns; ++i) {
        const std::string selection = "DB path set to: " + dirs[i].string();
        const auto at = std::find(log.begin(), log.end(), selection);
        ASSERT_NE(at, log.end());
        auto next = at + 1;
        for (const std::string& line : PaneLines(runs[i].out)) {
            next = std::find(next, log.end(), line);
            ASSERT_NE(next, log.end()) << line;
            ++next;
        }
        expected.push_back(selection);
        const Lines printed = PaneLines(runs[i].out);
        expected.insert(expected.end(), printed.begin(), printed.end());
    }
    Lines sortedLog = log;
    std::sort(sortedLog.begin(), sortedLog.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sortedLog, expected);
}

// With -j N the tables are worked on N at once, and what is printed and logged is what a run of
// one table at a time gives: every line of every table in the order of the table list.
TEST_F(CliRuns, TablesWorkedOnAtOnceGiveTheLinesAndTheLogOfOneAtATime) {
    // The sample database (healthy and damaged tables), more damaged and healthy tables, and a
    // file another program wrote.
    const fs::path source = Samples("source");
    for (int i = 0; i < 24; ++i) {
        const std::string number = std::to_string(100 + i);
        fs::copy_file(source / "STOCK.DB", source / ("STOCK" + number + ".DB"));
        fs::copy_file(source / "EVENTS.DB", source / ("EVENTS" + number + ".DB"));
    }
    testsupport::WriteFileBytes(source / "APP.DB",
                                std::string("SQLite format 3\0", 16) + std::string(4080, 'q'));
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"verify", "--details"}, {"check"}, {"rebuild", "--details"}}) {
        SCOPED_TRACE(command.front());
        std::map<std::string, std::pair<std::string, std::string>> outputs; // by -j: out, log
        for (const std::string jobs : {"1", "4"}) {
            const fs::path dir = Root() / (command.front() + jobs);
            fs::copy(source, dir);
            const fs::path log = Root() / (command.front() + jobs + ".log");
            std::vector<std::string> args = command;
            args.insert(args.end(), {"-j", jobs, "--log", log.string(), dir.string()});
            const ChildRun run = Cli(args);
            EXPECT_NE(run.exitCode, 8) << run.err;
            outputs[jobs] = {
                testsupport::NormalisedOutput(run.out, dir, "DIR"),
                testsupport::NormalisedOutput(testsupport::ReadFileBytes(log), dir, "DIR")};
        }
        EXPECT_GT(SplitLines(outputs["1"].first).size(), 100u);
        EXPECT_EQ(outputs["4"].first, outputs["1"].first);
        EXPECT_EQ(outputs["4"].second, outputs["1"].second);
    }
}

// Ctrl-C, SIGHUP and SIGTERM each cancel: the table in hand is finished (a rebuild's staging
// folder goes with it), the message names it at once, and its lines are in the log.
TEST_F(CliRuns, ACancellingSignalStopsBetweenTablesWithEveryLineLogged) {
    struct Case {
        int signal;
        const char* command;
        const char* verdict;
        int exitCode;
    };
    for (const Case& c :
         {Case{SIGINT, "verify", "Verification Successful. Table has no errors.", 32},
          Case{SIGHUP, "verify", "Verification Successful. Table has no errors.", 32},
          Case{SIGTERM, "rebuild", "Rebuild was successful.", 32 | 1}}) {
        SCOPED_TRACE(c.signal);
        const fs::path dir = Root() / ("many" + std::to_string(c.signal));
        fs::create_directories(dir);
        const fs::path events = testsupport::SamplesDir() / "EVENTS.DB";
        constexpr int kTables = 150; // their lines are far more than the pipe holds
        for (int i = 0; i < kTables; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "T%03d.DB", i);
            fs::copy_file(events, dir / name);
        }
        const fs::path log = Root() / ("run" + std::to_string(c.signal) + ".log");
        const ChildRun run = clitest::RunChildSignalledWhenBlocked(
            {c.command, "--log", log.string(), dir.string(), Root().string()}, env_, c.signal);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        Lines lines = PaneLines(run.out);
        ASSERT_GE(lines.size(), 6u);
        EXPECT_EQ(lines.back(), "Cancelled before: " + Root().string()) << "the target not begun";
        lines.pop_back();
        EXPECT_THAT(lines.front(), ::testing::HasSubstr(" started. "));
        EXPECT_EQ(lines[lines.size() - 2], "Operation cancelled by user.");
        EXPECT_THAT(lines.back(), ::testing::HasSubstr(" complete. "));
        // Each table begun was finished: its name, then its verdict.
        const std::size_t tableLines = lines.size() - 3;
        EXPECT_EQ(tableLines % 2, 0u);
        const std::size_t begun = tableLines / 2;
        EXPECT_GT(begun, 0u);
        EXPECT_LT(begun, static_cast<std::size_t>(kTables)) << "stopped before the end";
        for (std::size_t i = 0; i < begun; ++i) {
            EXPECT_EQ(lines[1 + 2 * i + 1], c.verdict);
        }
        EXPECT_THAT(run.err, HasSubstr("stopping after " + lines[lines.size() - 4] +
                                       "; Ctrl-C again to stop now\n"));
        Lines logged = SplitLines(testsupport::ReadFileBytes(log));
        ASSERT_FALSE(logged.empty());
        logged.erase(logged.begin()); // the selection line
        EXPECT_EQ(logged, lines);
        for (const auto& entry : fs::directory_iterator(dir)) {
            EXPECT_FALSE(entry.path().filename().string().starts_with(engine::kRebuildFilePrefix))
                << entry.path();
        }
    }
}

// Without -j a verify takes as many tables at once as there are cores only where its tables are
// large enough for that to pay; small tables, or one table, are verified one at a time. A check
// or a rebuild takes the cores whatever the sizes.
TEST(DefaultJobs, VerifyTakesTablesAtOnceOnlyWhereTheyAreLarge) {
    testsupport::TempDir dir;
    const std::vector<std::string> tables = {"A.DB", "B.DB", "C.DB"};
    for (const std::string& table : tables) {
        testsupport::WriteFileBytes(dir.path() / table, std::string(48 * 1024, 'x'));
    }
    const unsigned cores = std::min(std::thread::hardware_concurrency(), cli::kMaxJobs);
    const unsigned atOnce = cores < 2 ? 1u : cores;
    EXPECT_EQ(cli::DefaultJobs(repair::roVerify, dir.path(), tables), 1u);
    EXPECT_EQ(cli::DefaultJobs(repair::roCheckAndRepair, dir.path(), tables), atOnce);
    EXPECT_EQ(cli::DefaultJobs(repair::roRebuild, dir.path(), tables), atOnce);
    for (const std::string& table : tables) {
        fs::resize_file(dir.path() / table, 4u << 20);
    }
    EXPECT_EQ(cli::DefaultJobs(repair::roVerify, dir.path(), tables), atOnce);
    EXPECT_EQ(cli::DefaultJobs(repair::roVerify, dir.path(), {"A.DB"}), 1u);
    EXPECT_EQ(cli::DefaultJobs(repair::roVerify, dir.path(), {"A.DB", "GONE.DB"}), 1u)
        << "a missing table counts 0";
}

} // namespace
