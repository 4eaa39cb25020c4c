#include "TableFixture.h"
#include "support/Corpus.h"
#include "support/TempDir.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

struct CliRun {
    int exitCode = -1;
    std::string output;
};

CliRun RunCli(const std::string& arguments) {
    CliRun run;
    const std::string command = (testsupport::BinDir() / "mendrix-cli").string() + " " + arguments;
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

    const CliRun damaged = RunCli("verify --details " + db.string());
    EXPECT_EQ(damaged.exitCode, 4) << "problems left";
    EXPECT_NE(damaged.output.find("ORDERS.DB\nVerification Successful. Verification completed.\n"),
              std::string::npos)
        << damaged.output;
    EXPECT_NE(damaged.output.find("  [210] ORDERS.DB: "), std::string::npos) << damaged.output;

    const CliRun rebuilt = RunCli("rebuild --details " + db.string());
    EXPECT_EQ(rebuilt.exitCode, 1) << rebuilt.output;
    EXPECT_NE(rebuilt.output.find("Rebuild was successful."), std::string::npos);
    EXPECT_NE(rebuilt.output.find("ORDERS-BACKUP.DB"), std::string::npos);

    const CliRun healthy = RunCli("verify " + db.string());
    EXPECT_EQ(healthy.exitCode, 0) << healthy.output;
    EXPECT_NE(healthy.output.find("Table has no errors."), std::string::npos);

    const CliRun missing = RunCli("verify " + (dir / "NONE.DB").string() + " 2>&1");
    EXPECT_EQ(missing.exitCode, 8);
    EXPECT_NE(missing.output.find("NONE.DB"), std::string::npos);
}

} // namespace
