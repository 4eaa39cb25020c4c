#include "tutil/FamilySwap.h"

#include "support/TempDir.h"
#include "tutil/DurableFile.h"
#include "tutil/WorkTables.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

using Files = std::map<std::string, std::string>;

Files ReadFolder(const fs::path& dir) {
    Files files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.is_regular_file()) {
            files[entry.path().filename().string()] = ReadFileBytes(entry.path());
        }
    }
    return files;
}

const Files kOld = {{"ORDERS.DB", "old table"},
                    {"orders.px", "old primary"},
                    {"ORDERS.X02", "old secondary"},
                    {"ORDERS.VAL", "checks"},
                    {"ORDERS-BACKUP.DB", "backup of an earlier run"},
                    {"ORDERS-BACKUP.MB", "blobs of an earlier backup"}};
const Files kNew = {{"ORDERS.DB", "new table"},        {"orders.px", "new primary"},
                    {"ORDERS.VAL", "checks"},          {"ORDERS.MB", "new blobs"},
                    {"ORDERS-BACKUP.DB", "old table"}, {"ORDERS-BACKUP.px", "old primary"}};

// Old family in place, the new one staged; returns the plan a rebuild would commit.
tutil::SwapPlan Stage(const fs::path& dir) {
    for (const auto& [name, bytes] : kOld) {
        WriteFileBytes(dir / name, bytes);
    }
    const fs::path staging = tutil::PrepareStaging(dir, "ORDERS");
    WriteFileBytes(staging / "ORDERS.DB", "new table");
    WriteFileBytes(staging / "ORDERS.PX", "new primary");
    WriteFileBytes(staging / "ORDERS.MB", "new blobs");
    WriteFileBytes(staging / "ORDERS-BACKUP.DB", "old table");
    WriteFileBytes(staging / "ORDERS-BACKUP.px", "old primary");
    tutil::SwapPlan plan;
    tutil::PlanFamilyReplacement(plan, dir, staging, "ORDERS", true);
    tutil::PlanFamilyReplacement(plan, dir, staging, "ORDERS-BACKUP", false);
    return plan;
}

TEST(FamilySwap, CommitReplacesTheFamilyKeepingNamesAndOtherFiles) {
    TempDir dir;
    const tutil::SwapPlan plan = Stage(dir.path());
    tutil::CommitSwap(dir.path(), "ORDERS", plan);
    EXPECT_EQ(ReadFolder(dir.path()), kNew);
    EXPECT_FALSE(tutil::RecoverInterruptedSwap(dir.path(), "ORDERS"));
}

TEST(FamilySwap, StagingWithoutJournalIsDiscardedByRecovery) {
    TempDir dir;
    Stage(dir.path());
    EXPECT_TRUE(tutil::RecoverInterruptedSwap(dir.path(), "ORDERS"));
    EXPECT_EQ(ReadFolder(dir.path()), kOld);
    EXPECT_FALSE(fs::exists(tutil::StagingDir(dir.path(), "ORDERS")));
}

TEST(FamilySwap, JournalRejectsDamagedOrHostileText) {
    tutil::SwapPlan plan;
    plan.moves = {{"A.DB", "A.DB"}};
    plan.removals = {"A.X02"};
    tutil::SwapPlan parsed;
    ASSERT_TRUE(tutil::ParseJournal(tutil::JournalText(plan), parsed));
    EXPECT_EQ(parsed.moves, plan.moves);
    EXPECT_EQ(parsed.removals, plan.removals);
    std::string cut = tutil::JournalText(plan);
    cut.resize(cut.size() - 4);
    EXPECT_FALSE(tutil::ParseJournal(cut, parsed));
    EXPECT_FALSE(tutil::ParseJournal("mendrix-swap 1\nR\t../etc/passwd\nEND\n", parsed));
    EXPECT_FALSE(tutil::ParseJournal("mendrix-swap 1\nM\tA.DB\tB.DB\nR\tB.DB\nEND\n", parsed));

    tutil::SwapPlan hostile;
    hostile.moves = {{"A.DB", "../A.DB"}};
    TempDir dir;
    EXPECT_THROW(tutil::CommitSwap(dir.path(), "A", hostile), std::invalid_argument);
}

// The swap is killed at every step it has; after recovery the folder holds exactly the old
// family or exactly the new one.
TEST(FamilySwap, KilledAtAnyStepLeavesOldOrNewFamilyAfterRecovery) {
    bool sawOld = false;
    bool sawNew = false;
    for (std::uint64_t step = 1;; ++step) {
        TempDir dir;
        const tutil::SwapPlan plan = Stage(dir.path());
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            tutil::testing::ArmCrashAt(step);
            tutil::CommitSwap(dir.path(), "ORDERS", plan);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        tutil::RecoverInterruptedSwap(dir.path(), "ORDERS");
        const Files after = ReadFolder(dir.path());
        if (after == kOld) {
            sawOld = true;
        } else {
            EXPECT_EQ(after, kNew) << "mixed family after a kill at step " << step;
            sawNew = true;
        }
        if (WIFEXITED(status)) {
            EXPECT_EQ(WEXITSTATUS(status), 0);
            break;
        }
        ASSERT_TRUE(WIFSIGNALED(status));
        ASSERT_LT(step, 1000u);
    }
    EXPECT_TRUE(sawOld);
    EXPECT_TRUE(sawNew);
}

} // namespace
