#include "tutil/FamilySwap.h"

#include "engine/ErrorCodes.h"
#include "engine/RebuildFiles.h"
#include "support/TempDir.h"
#include "tutil/DurableFile.h"
#include "tutil/UtilityError.h"
#include "tutil/WorkTables.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <optional>
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
const Files kNew = {{"ORDERS.DB", "new table"},
                    {"orders.px", "new primary"},
                    {"ORDERS.VAL", "checks"},
                    {"ORDERS.MB", "new blobs"},
                    {"ORDERS-BACKUP.DB", "backup of an earlier run"},
                    {"ORDERS-BACKUP.MB", "blobs of an earlier backup"},
                    {"ORDERS-BACKUP1.DB", "old table"},
                    {"ORDERS-BACKUP1.px", "old primary"}};

// Old family in place, the new one staged; returns the plan a rebuild would commit.
tutil::SwapPlan Stage(const tutil::DirHandle& dir, const tutil::DirHandle& staging) {
    for (const auto& [name, bytes] : kOld) {
        WriteFileBytes(dir.Path() / name, bytes);
    }
    const fs::path staged = staging.Path();
    WriteFileBytes(staged / "ORDERS.DB", "new table");
    WriteFileBytes(staged / "ORDERS.PX", "new primary");
    WriteFileBytes(staged / "ORDERS.MB", "new blobs");
    WriteFileBytes(staged / "ORDERS-BACKUP1.DB", "old table");
    WriteFileBytes(staged / "ORDERS-BACKUP1.px", "old primary");
    tutil::SwapPlan plan;
    plan.table = "ORDERS.DB";
    tutil::PlanFamilyReplacement(plan, dir.Path(), staged, "ORDERS", true);
    tutil::PlanNewFamily(plan, staged, "ORDERS-BACKUP1");
    return plan;
}

struct Staged {
    explicit Staged(const fs::path& path)
        : dir(tutil::DirHandle::Open(path)), staging(tutil::PrepareStaging(dir, "ORDERS")),
          plan(Stage(dir, staging)) {}
    tutil::DirHandle dir;
    tutil::DirHandle staging;
    tutil::SwapPlan plan;
};

std::uint16_t RecoveryError(const fs::path& dir, const std::string& stem) {
    try {
        tutil::RecoverInterruptedSwap(dir, stem);
    } catch (const tutil::UtilityError& e) {
        EXPECT_NE(std::string(e.what()).find("move it away"), std::string::npos) << e.what();
        return e.Code();
    }
    return engine::err::Ok;
}

TEST(FamilySwap, CommitReplacesTheFamilyKeepingNamesAndOtherFiles) {
    TempDir dir;
    Staged staged(dir.path());
    tutil::CommitSwap(staged.dir, staged.staging, "ORDERS", staged.plan);
    EXPECT_EQ(ReadFolder(dir.path()), kNew);
    EXPECT_FALSE(tutil::RecoverInterruptedSwap(dir.path(), "ORDERS"));
}

TEST(FamilySwap, StagingWithoutJournalIsDiscardedByRecovery) {
    TempDir dir;
    { Staged staged(dir.path()); }
    EXPECT_TRUE(tutil::RecoverInterruptedSwap(dir.path(), "ORDERS"));
    EXPECT_EQ(ReadFolder(dir.path()), kOld);
    EXPECT_FALSE(fs::exists(engine::RebuildStagingDir(dir.path(), "ORDERS")));
}

TEST(FamilySwap, JournalRejectsDamagedOrHostileText) {
    tutil::SwapPlan plan;
    plan.table = "A.DB";
    plan.moves = {{"A.DB", "A.DB"}};
    plan.removals = {"A.X02"};
    plan.additions = {"A-BACKUP.DB"};
    tutil::SwapPlan parsed;
    ASSERT_TRUE(tutil::ParseJournal(tutil::JournalText(plan), "A", parsed));
    EXPECT_EQ(parsed.moves, plan.moves);
    EXPECT_EQ(parsed.removals, plan.removals);
    EXPECT_EQ(parsed.additions, plan.additions);
    // Written for another table.
    EXPECT_FALSE(tutil::ParseJournal(tutil::JournalText(plan), "B", parsed));
    std::string cut = tutil::JournalText(plan);
    cut.resize(cut.size() - 4);
    EXPECT_FALSE(tutil::ParseJournal(cut, "A", parsed));
    std::string edited = tutil::JournalText(plan);
    edited.replace(edited.find("A.X02"), 5, "A.X03");
    EXPECT_FALSE(tutil::ParseJournal(edited, "A", parsed)) << "checksum must catch an edit";

    // Names outside the family, even with a checksum that holds.
    for (const auto& [moves, removals] : std::vector<
             std::pair<std::vector<std::pair<std::string, std::string>>, std::vector<std::string>>>{
             {{}, {"OTHER.DB"}},
             {{}, {"A.DB"}},
             {{}, {"../A.X02"}},
             {{{"A.DB", "OTHER.DB"}}, {}},
             {{{"A.DB", "a.db"}}, {}},
             {{{"A.DB", "A.DB"}}, {"A.DB"}}}) {
        tutil::SwapPlan hostile;
        hostile.table = "A.DB";
        hostile.moves = moves;
        hostile.removals = removals;
        EXPECT_FALSE(tutil::ParseJournal(tutil::JournalText(hostile), "A", parsed))
            << tutil::JournalText(hostile);
        TempDir dir;
        auto folder = tutil::DirHandle::Open(dir.path());
        auto staging = tutil::PrepareStaging(folder, "A");
        EXPECT_THROW(tutil::CommitSwap(folder, staging, "A", hostile), std::invalid_argument);
    }
    // An addition may not be a file of the family.
    tutil::SwapPlan adding = plan;
    adding.additions = {"A.X05"};
    EXPECT_FALSE(tutil::ParseJournal(tutil::JournalText(adding), "A", parsed));
}

// Journals planted by someone else: with plain names, with names of another table, with a
// checksum that holds but staged files that are not the ones it was written for. Each is
// refused with a message saying what to do, and nothing is touched.
TEST(FamilySwap, PlantedJournalIsRefusedAndTouchesNothing) {
    const std::string journalName = engine::RebuildJournalName("T");
    tutil::SwapPlan sized;
    sized.table = "T.DB";
    sized.moves = {{"T.DB", "T.DB"}};
    sized.stagedSizes["T.DB"] = 3;
    const std::vector<std::string> journals = {
        "mendrix-swap 1\nR\tOTHER.DB\nEND\n", "mendrix-swap 1\nR\tT.DB\nEND\n",
        "mendrix-swap 1\nM\tT.DB\tOTHER.DB\nEND\n",
        tutil::JournalText(sized), // the staged T.DB below has another size
    };
    for (const std::string& journal : journals) {
        SCOPED_TRACE(journal);
        TempDir dir;
        WriteFileBytes(dir / "T.DB", "the table");
        WriteFileBytes(dir / "OTHER.DB", "another table");
        fs::create_directory(engine::RebuildStagingDir(dir.path(), "T"));
        WriteFileBytes(engine::RebuildStagingDir(dir.path(), "T") / "T.DB", "planted");
        WriteFileBytes(dir / journalName, journal);
        const Files before = ReadFolder(dir.path());
        EXPECT_EQ(RecoveryError(dir.path(), "T"), engine::err::UtilityJournalRefused);
        EXPECT_EQ(ReadFolder(dir.path()), before);
        EXPECT_EQ(ReadFileBytes(engine::RebuildStagingDir(dir.path(), "T") / "T.DB"), "planted");
    }
}

// A staging folder that is a symlink to another folder is never used: with a journal the
// journal is refused, without one the rebuild's preparation is.
TEST(FamilySwap, StagingFolderThatIsASymlinkIsRefused) {
    for (const bool withJournal : {true, false}) {
        SCOPED_TRACE(withJournal ? "with journal" : "without journal");
        TempDir dir;
        TempDir outside;
        WriteFileBytes(dir / "T.DB", "the table");
        WriteFileBytes(outside / "T.DB", "outside");
        fs::create_directory_symlink(outside.path(), engine::RebuildStagingDir(dir.path(), "T"));
        if (withJournal) {
            tutil::SwapPlan plan;
            plan.table = "T.DB";
            plan.moves = {{"T.DB", "T.DB"}};
            plan.stagedSizes["T.DB"] = 7;
            WriteFileBytes(engine::RebuildJournalPath(dir.path(), "T"), tutil::JournalText(plan));
        }
        EXPECT_EQ(RecoveryError(dir.path(), "T"), engine::err::UtilityJournalRefused);
        EXPECT_EQ(ReadFileBytes(dir / "T.DB"), "the table");
        EXPECT_EQ(ReadFolder(outside.path()), (Files{{"T.DB", "outside"}}));
    }
}

// Names planted while a swap is being prepared: a symlink where the journal's temporary goes,
// and the staging folder swapped for a symlink to another folder. Nothing outside the
// table's folder is written.
TEST(FamilySwap, PlantedSymlinksDuringASwapAreNeverFollowed) {
    TempDir dir;
    TempDir outside;
    WriteFileBytes(outside / "victim", "precious");
    {
        Staged staged(dir.path());
        fs::create_symlink(outside / "victim", dir / engine::RebuildJournalTempName("ORDERS"));
        EXPECT_THROW(tutil::CommitSwap(staged.dir, staged.staging, "ORDERS", staged.plan),
                     std::system_error);
        EXPECT_EQ(ReadFileBytes(outside / "victim"), "precious");
    }
    fs::remove(dir / engine::RebuildJournalTempName("ORDERS"));
    tutil::RecoverInterruptedSwap(dir.path(), "ORDERS");
    EXPECT_EQ(ReadFolder(dir.path()), kOld);

    TempDir second;
    Staged staged(second.path());
    const fs::path stagingPath = engine::RebuildStagingDir(second.path(), "ORDERS");
    fs::rename(stagingPath, second / "elsewhere");
    fs::create_directory_symlink(outside.path(), stagingPath);
    // Writers that take paths reach the staging folder through its pinned path.
    WriteFileBytes(staged.staging.PinnedPath() / "ORDERS.VAL", "new checks");
    tutil::CommitSwap(staged.dir, staged.staging, "ORDERS", staged.plan);
    EXPECT_EQ(ReadFolder(outside.path()), (Files{{"victim", "precious"}}));
    EXPECT_EQ(ReadFileBytes(second / "ORDERS.DB"), "new table");
    EXPECT_TRUE(fs::is_empty(second / "elsewhere"));
}

// The swap is killed at every step it has; after recovery the folder holds exactly the old
// family or exactly the new one.
TEST(FamilySwap, KilledAtAnyStepLeavesOldOrNewFamilyAfterRecovery) {
    bool sawOld = false;
    bool sawNew = false;
    for (std::uint64_t step = 1;; ++step) {
        TempDir dir;
        std::optional<Staged> staged(std::in_place, dir.path());
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            tutil::testing::ArmCrashAt(step);
            tutil::CommitSwap(staged->dir, staged->staging, "ORDERS", staged->plan);
            _exit(0);
        }
        staged.reset();
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
