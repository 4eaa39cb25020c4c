// mendrix-cli list, run as the operator runs it.
#include "EngineTestSupport.h"
#include "support/Corpus.h"
#include "support/TempDir.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace {

struct Run {
    int exitCode = -1;
    std::string output;
};

Run RunCli(const std::string& arguments) {
    const std::string command =
        "'" + (testsupport::BinDir() / "mendrix-cli").string() + "' " + arguments + " 2>&1";
    Run run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.output.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(ListCommand, AliasesThenTablesOfAnAliasOrADirectory) {
    testsupport::TempDir dir;
    std::filesystem::create_directory(dir / "data");
    for (const char* name : {"b.db", "A.DB", "VERIFY.DB", "c-BACKUP.DB", "notes.txt"}) {
        testsupport::WriteFileBytes(dir / "data" / name, "");
    }
    enginetest::ScopedConfig config(dir / "engine.ini", "[WORK]\nPATH=" + (dir / "data").string() +
                                                            "\n[Server]\nTYPE=ORACLE\nPATH=db1\n");
    const auto aliases = RunCli("list");
    EXPECT_EQ(aliases.exitCode, 0) << aliases.output;
    EXPECT_EQ(aliases.output, "NAME    TYPE      PATH\n"
                              "WORK    STANDARD  " +
                                  (dir / "data").string() +
                                  "\n"
                                  "Server  ORACLE    db1\n");
    const auto byAlias = RunCli("list work");
    EXPECT_EQ(byAlias.exitCode, 0);
    EXPECT_EQ(byAlias.output, "A.DB\nb.db\n");
    const auto byDirectory = RunCli("list '" + (dir / "data").string() + "'");
    EXPECT_EQ(byDirectory.output, "A.DB\nb.db\n");
    const auto unknown = RunCli("list NOSUCH");
    EXPECT_EQ(unknown.exitCode, 8);
    EXPECT_EQ(unknown.output, "mendrix-cli list: Unknown database alias: NOSUCH\n");
    const auto otherType = RunCli("list Server");
    EXPECT_EQ(otherType.exitCode, 8);
    EXPECT_NE(otherType.output.find("not supported"), std::string::npos) << otherType.output;
}

} // namespace
