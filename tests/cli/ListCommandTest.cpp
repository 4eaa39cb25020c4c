// mendrix-cli list, run as the operator runs it.
#include "CliRun.h"
#include "engine/Config.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using clitest::Quoted;

TEST(ListCommand, AliasesThenTablesOfAnAliasOrADirectory) {
    testsupport::TempDir dir;
    std::filesystem::create_directory(dir / "data");
    for (const char* name : {"b.db", "A.DB", "VERIFY.DB", "c-BACKUP.DB", "notes.txt"}) {
        testsupport::WriteFileBytes(dir / "data" / name, "");
    }
    testsupport::WriteFileBytes(dir / "engine.ini", "[WORK]\nPATH=" + (dir / "data").string() +
                                                        "\n[Server]\nTYPE=ORACLE\nPATH=db1\n");
    const std::string config =
        std::string(engine::kConfigEnvVar) + "=" + Quoted((dir / "engine.ini").string());
    const auto run = [&config](const std::string& arguments) {
        return clitest::RunCli(arguments, config);
    };
    const auto aliases = run("list");
    EXPECT_EQ(aliases.exitCode, 0) << aliases.err;
    EXPECT_EQ(aliases.out, "NAME    TYPE      PATH\n"
                           "WORK    STANDARD  " +
                               (dir / "data").string() +
                               "\n"
                               "Server  ORACLE    db1\n");
    const auto byAlias = run("list work");
    EXPECT_EQ(byAlias.exitCode, 0);
    EXPECT_EQ(byAlias.out, "A.DB\nb.db\n");
    const auto byDirectory = run("list " + Quoted((dir / "data").string()));
    EXPECT_EQ(byDirectory.out, "A.DB\nb.db\n");
    const auto unknown = run("list NOSUCH");
    EXPECT_EQ(unknown.exitCode, 8);
    EXPECT_EQ(unknown.err, "mendrix-cli list: Unknown database alias: NOSUCH\n");
    const auto otherType = run("list Server");
    EXPECT_EQ(otherType.exitCode, 8);
    EXPECT_NE(otherType.err.find("not supported"), std::string::npos) << otherType.err;
}

} // namespace
