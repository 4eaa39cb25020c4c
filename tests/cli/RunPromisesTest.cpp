// What scripts rely on from the run commands: exit codes that tell a failed output, an empty
// target and a cancel; other programs' files left alone; the run log's place and its lines.

#include "CliChild.h"
#include "TableFixture.h"
#include "engine/ErrorCodes.h"
#include "engine/RebuildFiles.h"
#include "engine/TableLock.h"
#include "support/Corpus.h"
#include "support/TempDir.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <optional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using clitest::ChildRun;
using clitest::SplitLines;
using ::testing::HasSubstr;
using ::testing::Not;
using Lines = std::vector<std::string>;

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

class RunPromises : public ::testing::Test {
protected:
    RunPromises() {
        env_ = {{"MENDRIX_ENGINE_CONFIG", (root_ / "engine.ini").string()},
                {"XDG_STATE_HOME", (root_ / "state").string()}};
    }

    fs::path Samples(const std::string& name) const {
        return testsupport::CopyOfSamples(root_ / name);
    }

    ChildRun Cli(const std::vector<std::string>& args) const {
        return clitest::RunChild(args, env_);
    }

    // A shell command line with the test's environment, its outputs collected (standard output
    // unless the line sends it elsewhere).
    ChildRun Shell(const std::string& commandLine) const {
        const testsupport::TempDir out;
        std::string line;
        for (const auto& [name, value] : env_) {
            line += name + "=" + Quoted(value) + " ";
        }
        line += commandLine + " 2>" + (out / "err").string();
        if (commandLine.find('>') == std::string::npos) {
            line += " >" + (out / "out").string();
        }
        const int status = std::system(line.c_str());
        ChildRun run;
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = fs::exists(out / "out") ? testsupport::ReadFileBytes(out / "out") : "";
        run.err = testsupport::ReadFileBytes(out / "err");
        return run;
    }

    const fs::path& Root() const { return root_.path(); }
    clitest::Environment env_;

private:
    testsupport::TempDir root_;
};

std::string Program() {
    return Quoted(clitest::CliProgram().string());
}

TEST_F(RunPromises, OutputThatCannotBeWrittenIsAnOperationalErrorWithTheSystemsReason) {
    const fs::path dir = Samples("full");
    const std::string events = Quoted((dir / "EVENTS.DB").string());
    for (const std::string& command :
         {"verify --json " + events, "verify " + events, "check --dry-run --json " + events,
          std::string("list"), "list " + Quoted(dir.string()), "info " + events}) {
        SCOPED_TRACE(command);
        ASSERT_EQ(Shell(Program() + " " + command).exitCode, 0) << "the same with an output";
        const ChildRun run = Shell(Program() + " " + command + " >/dev/full");
        EXPECT_EQ(run.exitCode, 8) << run.err;
        EXPECT_THAT(run.err, HasSubstr(std::strerror(ENOSPC)));
    }
}

TEST_F(RunPromises, ATargetWithoutTablesIsAnErrorUnlessAllowedAndFoldersAreWalkedOnRequest) {
    const fs::path empty = Root() / "empty";
    fs::create_directories(empty);
    const ChildRun nothing = Cli({"verify", empty.string()});
    EXPECT_EQ(nothing.exitCode, 8);
    EXPECT_THAT(nothing.err, HasSubstr("no Paradox tables in " + empty.string()));
    EXPECT_EQ(Cli({"check", "--allow-empty", empty.string()}).exitCode, 0);
    EXPECT_EQ(Cli({"verify", "--recursive", empty.string()}).exitCode, 8);

    const fs::path parent = Root() / "parent";
    fs::create_directories(parent);
    fs::rename(Samples("one"), parent / "one");
    fs::rename(Samples("two"), parent / "deeper");
    fs::create_directories(parent / "deeper" / "nothing");
    const ChildRun flat = Cli({"verify", parent.string()});
    EXPECT_EQ(flat.exitCode, 8);
    EXPECT_THAT(flat.err, HasSubstr("no Paradox tables in " + parent.string()));
    EXPECT_EQ(Cli({"verify", "--allow-empty", parent.string()}).exitCode, 0);

    const ChildRun walked = Cli({"verify", "--recursive", "--json", parent.string()});
    EXPECT_EQ(walked.exitCode, 4) << walked.err; // the samples hold damaged tables
    const auto runs = nlohmann::json::parse(walked.out)["runs"];
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0]["directory"], (parent / "deeper").string());
    EXPECT_EQ(runs[1]["directory"], (parent / "one").string());
    EXPECT_EQ(runs[1]["tables"].size(), 7u);
}

// A file named like a table that another program wrote: SQLite's database header, and the
// header a thumbnail cache starts with.
void WriteForeignFiles(const fs::path& dir) {
    testsupport::WriteFileBytes(dir / "app.db",
                                std::string("SQLite format 3\0", 16) + std::string(4080, 'q'));
    testsupport::WriteFileBytes(dir / "Thumbs.db",
                                std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) +
                                    std::string(1528, '\0'));
}

TEST_F(RunPromises, FilesOtherProgramsWroteAreSkippedUntouchedAndNotListed) {
    struct Case {
        std::vector<std::string> command;
        int exitCode; // as for the samples alone
    };
    for (const Case& c : {Case{{"verify"}, 4}, Case{{"check"}, 1}, Case{{"rebuild"}, 1},
                          Case{{"check", "--dry-run"}, 4}}) {
        const std::string name = c.command.front() + std::to_string(c.command.size());
        SCOPED_TRACE(name);
        const fs::path dir = Samples(name);
        WriteForeignFiles(dir);
        const std::string app = testsupport::ReadFileBytes(dir / "app.db");
        const std::string thumbs = testsupport::ReadFileBytes(dir / "Thumbs.db");
        std::vector<std::string> args = c.command;
        args.push_back(dir.string());
        const ChildRun text = Cli(args);
        EXPECT_EQ(text.exitCode, c.exitCode) << text.err;
        EXPECT_THAT(text.out, HasSubstr("app.db\nNot a Paradox table, skipped.\n"));
        EXPECT_THAT(text.out, HasSubstr("Thumbs.db\nNot a Paradox table, skipped.\n"));
        EXPECT_THAT(text.out, HasSubstr("STOCK.DB\n")) << "the tables after them are checked";
        args.insert(args.end() - 1, "--json");
        const auto tables = nlohmann::json::parse(Cli(args).out)["runs"][0]["tables"];
        ASSERT_EQ(tables.size(), 9u);
        EXPECT_EQ(tables[0]["name"], "app.db");
        EXPECT_EQ(tables[0]["state"], "skipped");
        EXPECT_EQ(testsupport::ReadFileBytes(dir / "app.db"), app);
        EXPECT_EQ(testsupport::ReadFileBytes(dir / "Thumbs.db"), thumbs);
        EXPECT_FALSE(fs::exists(dir / "app-BACKUP.DB"));
        EXPECT_FALSE(fs::exists(dir / "Thumbs-BACKUP.DB"));
    }
    const fs::path listed = Samples("listed");
    WriteForeignFiles(listed);
    const ChildRun list = Cli({"list", listed.string()});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(SplitLines(list.out).size(), 7u) << list.out;
    EXPECT_THAT(list.out, Not(HasSubstr("app.db")));
    EXPECT_THAT(list.out, Not(HasSubstr("Thumbs.db")));
    const fs::path alone = Root() / "alone";
    fs::create_directories(alone);
    WriteForeignFiles(alone);
    EXPECT_EQ(Cli({"check", alone.string()}).exitCode, 8) << "no Paradox table in it";

    // A table whose header start was overwritten with the same bytes still has its index and
    // blob file beside it: it is a damaged table, not another program's file.
    const fs::path wiped = Samples("wiped");
    std::string customer = testsupport::ReadFileBytes(wiped / "CUSTOMER.DB");
    ASSERT_TRUE(fs::exists(wiped / "CUSTOMER.PX"));
    customer.replace(0, 6, "SQLite");
    testsupport::WriteFileBytes(wiped / "CUSTOMER.DB", customer);
    const ChildRun damaged = Cli({"verify", (wiped / "CUSTOMER.DB").string()});
    EXPECT_THAT(damaged.out, Not(HasSubstr("Not a Paradox table, skipped.")));
    EXPECT_EQ(damaged.exitCode, 4) << damaged.out;
}

// Runs `commandLine` with `dir` read-only: mounted so in a mount namespace of its own when run
// by root (who writes anywhere otherwise), else by its permissions. Nothing when root cannot
// mount here.
std::optional<ChildRun> RunWithReadOnly(const fs::path& dir, const std::string& commandLine,
                                        const std::function<ChildRun(const std::string&)>& shell) {
    if (::geteuid() != 0) {
        fs::permissions(dir, fs::perms::owner_write, fs::perm_options::remove);
        ChildRun run = shell(commandLine);
        fs::permissions(dir, fs::perms::owner_write, fs::perm_options::add);
        return run;
    }
    const std::string mount = "mount --bind " + Quoted(dir.string()) + " " + Quoted(dir.string()) +
                              " && mount -o remount,ro,bind " + Quoted(dir.string());
    if (std::system(("unshare -m sh -c " + Quoted(mount) + " 2>/dev/null").c_str()) != 0) {
        return std::nullopt;
    }
    return shell("unshare -m sh -c \"" + mount + " && " + commandLine + "\"");
}

// The system's reason for a write into a directory RunWithReadOnly made read-only.
std::string ReadOnlyReason() {
    return std::strerror(::geteuid() == 0 ? EROFS : EACCES);
}

TEST_F(RunPromises, TheRunLogGoesWhereAskedOrBesideTheProgramOrToTheUsersStateFolder) {
    const fs::path dir = Samples("logged");
    const std::string events = (dir / "EVENTS.DB").string();
    const fs::path ownLog = Root() / "own.log";
    const ChildRun asked = Cli({"verify", "--log", ownLog.string(), events});
    EXPECT_EQ(asked.exitCode, 0) << asked.err;
    Lines expected{"DB path set to: " + dir.string()};
    for (const std::string& line : SplitLines(asked.out)) {
        if (!line.starts_with("Database: ") && !line.starts_with("1 table: ")) {
            expected.push_back(line); // the log keeps the window's lines only
        }
    }
    EXPECT_EQ(SplitLines(testsupport::ReadFileBytes(ownLog)), expected);

    // A copy of the program in a folder of its own.
    const fs::path bin = Root() / "bin";
    fs::create_directories(bin);
    fs::copy_file(clitest::CliProgram(), bin / "mendrix-cli");
    const std::string copy = Quoted((bin / "mendrix-cli").string()) + " ";
    const ChildRun unlogged = Shell(copy + "verify --no-log --json " + Quoted(events));
    EXPECT_EQ(unlogged.exitCode, 0) << unlogged.err;
    EXPECT_TRUE(nlohmann::json::parse(unlogged.out)["runLog"].is_null());
    EXPECT_FALSE(fs::exists(bin / "priv" / "1Mendrix.log"));

    const fs::path fallback = Root() / "state" / "mendrix" / "priv" / "1Mendrix.log";
    const auto installed = RunWithReadOnly(bin, copy + "verify " + Quoted(events),
                                           [this](const std::string& line) { return Shell(line); });
    if (!installed) {
        GTEST_SKIP() << "running as root, and no read-only bind mount can be made here";
    }
    EXPECT_EQ(installed->exitCode, 0) << installed->err;
    EXPECT_THAT(testsupport::ReadFileBytes(fallback), HasSubstr("DB path set to: " + dir.string()));
    EXPECT_FALSE(fs::exists(bin / "priv"));

    const auto refused = RunWithReadOnly(
        bin, copy + "verify --log " + Quoted((bin / "run.log").string()) + " " + Quoted(events),
        [this](const std::string& line) { return Shell(line); });
    EXPECT_EQ(refused->exitCode, 8);
    EXPECT_THAT(refused->err, HasSubstr("the run log was not saved"));
    EXPECT_THAT(refused->err, HasSubstr(ReadOnlyReason()));
}

} // namespace

TEST_F(RunPromises, ARebuildThatCannotStartSaysWhyAndTheLoserOfARaceIsInUse) {
    const fs::path dir = Samples("readonly");
    // A table another program reads: the verify shares it, the rebuild cannot have it alone.
    std::unique_ptr<engine::TableLock> reading;
    ASSERT_EQ(
        engine::TableLock::Acquire(dir / "ORDERS.DB", engine::TableLock::Mode::Shared, reading),
        engine::err::Ok);
    const ChildRun shared = Cli({"rebuild", "--no-log", (dir / "ORDERS.DB").string()});
    EXPECT_EQ(shared.exitCode, 8) << shared.out << shared.err;
    EXPECT_THAT(shared.out, HasSubstr("ORDERS.DB\nRebuild was not successful. Table is in use"));
    reading.reset();

    // Two rebuilds of one table started a moment apart: one rebuilds it, the other finds it
    // taken (before or after its verify) and says so.
    const fs::path big = Root() / "big";
    fs::create_directories(big);
    const fs::path orders = tutilfixture::WriteOrders(big, 200000);
    ChildRun first;
    std::thread winner([&] { first = Cli({"rebuild", "--no-log", orders.string()}); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const ChildRun second = Cli({"rebuild", "--no-log", orders.string()});
    winner.join();
    const ChildRun& loser = first.exitCode == 1 ? second : first;
    EXPECT_EQ(std::min(first.exitCode, second.exitCode), 1) << first.err << second.err;
    EXPECT_EQ(loser.exitCode, 8) << loser.out << loser.err;
    EXPECT_THAT(loser.out + loser.err, HasSubstr("Table is in use"));

    // A folder that cannot be written.
    const auto readOnly = RunWithReadOnly(
        dir, Program() + " rebuild --no-log --json " + Quoted((dir / "EVENTS.DB").string()),
        [this](const std::string& line) { return Shell(line); });
    if (!readOnly) {
        GTEST_SKIP() << "running as root, and no read-only bind mount can be made here";
    }
    EXPECT_EQ(readOnly->exitCode, 8) << readOnly->err;
    const auto table = nlohmann::json::parse(readOnly->out)["runs"][0]["tables"][0];
    EXPECT_EQ(table["state"], "failed");
    EXPECT_THAT(table["verdict"].get<std::string>(),
                ::testing::StartsWith("Rebuild was not successful. " + ReadOnlyReason()));
}
