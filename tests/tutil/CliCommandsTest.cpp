#include "TableFixture.h"
#include "engine/RebuildFiles.h"
#include "support/Corpus.h"
#include "support/TempDir.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

struct CliRun {
    int exitCode = -1;
    std::string output;
};

// `prefix` runs the program under another, e.g. "timeout 20".
CliRun RunCli(const std::string& arguments, const std::string& prefix = "") {
    CliRun run;
    const std::string command =
        prefix + " " + (testsupport::BinDir() / "mendrix-cli").string() + " " + arguments;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    std::array<char, 4096> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
        run.output += buffer.data();
    }
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(CliCommands, VerifyReportsDamageAndRebuildRepairsIt) {
    if (!fs::exists(testsupport::BinDir() / "mendrix-cli")) {
        GTEST_SKIP() << "mendrix-cli not built";
    }
    testsupport::TempDir dir;
    const fs::path db = tutilfixture::WriteOrders(dir.path(), 100);
    std::string bytes = ReadFileBytes(db);
    tutilfixture::PutU16(bytes, 6, 150); // record count in the header
    WriteFileBytes(db, bytes);

    const CliRun damaged = RunCli("verify " + db.string());
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_NE(damaged.output.find("status 1: Verification Successful. Verification completed."),
              std::string::npos)
        << damaged.output;
    EXPECT_NE(damaged.output.find("  210 ORDERS.DB: "), std::string::npos) << damaged.output;

    const CliRun rebuilt = RunCli("rebuild " + db.string());
    EXPECT_EQ(rebuilt.exitCode, 0) << rebuilt.output;
    EXPECT_NE(rebuilt.output.find("Rebuild was successful."), std::string::npos);
    EXPECT_NE(rebuilt.output.find("ORDERS-BACKUP.DB"), std::string::npos);

    const CliRun healthy = RunCli("verify " + db.string());
    EXPECT_EQ(healthy.exitCode, 0) << healthy.output;
    EXPECT_NE(healthy.output.find("Table has no errors."), std::string::npos);

    const CliRun missing = RunCli("verify " + (dir / "NONE.DB").string());
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_NE(missing.output.find("Verification unsuccessful."), std::string::npos);
}

TEST(CliCommands, AJournalThatIsNotARegularFileIsRefusedWithoutWaiting) {
    if (!fs::exists(testsupport::BinDir() / "mendrix-cli")) {
        GTEST_SKIP() << "mendrix-cli not built";
    }
    testsupport::TempDir dir;
    const fs::path db = tutilfixture::WriteOrders(dir.path(), 20);
    const fs::path journal = engine::RebuildJournalPath(dir.path(), "ORDERS");
    ASSERT_EQ(::mkfifo(journal.c_str(), 0644), 0);
    const std::string before = ReadFileBytes(db);
    for (const char* command : {"verify", "rebuild"}) {
        // `timeout` turns a hang into exit status 124.
        const CliRun run = RunCli(std::string(command) + " " + db.string(), "timeout 20");
        EXPECT_EQ(run.exitCode, 1) << command << ": " << run.output;
    }
    EXPECT_EQ(ReadFileBytes(db), before);
    EXPECT_TRUE(fs::is_fifo(journal));
}

} // namespace
