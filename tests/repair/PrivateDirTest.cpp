#include "repair/PrivateDir.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using repair::PrivateDirOutcome;
using testsupport::TempDir;

// Puts the current directory back when the test ends.
class PrivateDir : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::current_path(start_); }
    TempDir programDir;

private:
    std::filesystem::path start_ = std::filesystem::current_path();
};

TEST_F(PrivateDir, ExistingDirectoryBecomesCurrent) {
    std::filesystem::create_directory(programDir / "priv");
    EXPECT_EQ(repair::PreparePrivateDirectory(programDir / "priv"), PrivateDirOutcome::MadeCurrent);
    EXPECT_EQ(std::filesystem::canonical(std::filesystem::current_path()),
              std::filesystem::canonical(programDir / "priv"));
}

TEST_F(PrivateDir, MissingDirectoryIsCreatedOneLevelDeepWithoutChangingCurrent) {
    const auto before = std::filesystem::current_path();
    EXPECT_EQ(repair::PreparePrivateDirectory(programDir / "priv"), PrivateDirOutcome::Created);
    EXPECT_TRUE(std::filesystem::is_directory(programDir / "priv"));
    EXPECT_EQ(std::filesystem::current_path(), before);
    // Only one level is made: a missing program directory is a failure.
    EXPECT_EQ(repair::PreparePrivateDirectory(programDir / "gone" / "priv"),
              PrivateDirOutcome::Failed);
    EXPECT_FALSE(std::filesystem::exists(programDir / "gone"));
}

TEST_F(PrivateDir, FileInTheWayIsAFailure) {
    testsupport::WriteFileBytes(programDir / "priv", "x");
    EXPECT_EQ(repair::PreparePrivateDirectory(programDir / "priv"), PrivateDirOutcome::Failed);
}

TEST(ExecutableDirectory, IsTheDirectoryOfThisTestProgram) {
    const auto dir = repair::ExecutableDirectory();
    EXPECT_TRUE(std::filesystem::exists(dir / "app_tests"));
}

} // namespace
