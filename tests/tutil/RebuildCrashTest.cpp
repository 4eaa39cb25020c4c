#include "TableFixture.h"
#include "engine/RebuildFiles.h"
#include "support/TempDir.h"
#include "tutil/DurableFile.h"
#include "tutil/FamilySwap.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/Verify.h"

#include <gtest/gtest.h>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using namespace tutilfixture;
using Files = std::map<std::string, std::string>;

Files Only(const Files& files, const std::string& prefix) {
    Files picked;
    for (const auto& [name, bytes] : files) {
        if (name.rfind(prefix, 0) == 0) {
            picked[name] = bytes;
        }
    }
    return picked;
}

// A damaged keyed table (broken chain) with a backup of an earlier run beside it.
void MakeDamagedTable(const fs::path& dir) {
    const fs::path db = WriteOrders(dir, 200);
    std::string bytes = ReadFileBytes(db);
    const Layout layout = ReadLayout(bytes);
    PutU16(bytes, layout.BlockOffset(3), 0);
    WriteFileBytes(db, bytes);
    WriteFileBytes(dir / "ORDERS-BACKUP.DB", "an earlier backup");
}

tutil::RebuildNames Names() {
    return {"ORDERS-BACKUP.DB", "ORDERS-KEYVIOL.DB", "ORDERS-PROBLEM.DB", "Rebuild.DB"};
}

// The rebuild is killed at every crash point it passes, from the first byte of the backup to
// the swap. After the next verify (which finishes or discards the interrupted swap) the folder
// holds the damaged family untouched or the whole rebuilt family, and the backup is the old
// one, or whole.
std::vector<std::string> Names(const Files& files) {
    std::vector<std::string> names;
    for (const auto& entry : files) {
        names.push_back(entry.first);
    }
    return names;
}

// The backup files of a finished rebuild, named as the table's own files were (the first
// free backup name: an earlier backup is beside the table).
Files AsBackup(const Files& table) {
    Files backup;
    for (const auto& [name, bytes] : table) {
        backup["ORDERS-BACKUP1" + name.substr(6)] = bytes;
    }
    return backup;
}

void CopyInto(const Files& files, const fs::path& dir) {
    for (const auto& [name, bytes] : files) {
        WriteFileBytes(dir / name, bytes);
    }
}

TEST(RebuildCrash, KilledAtAnyPointLeavesOldOrNewFamilyAndAWholeBackup) {
    TempDir reference;
    MakeDamagedTable(reference.path());
    const Files before = FolderByName(reference.path());
    const auto refTable = tutil::LocateTable((reference / "ORDERS.DB").string());
    const auto schema = tutil::ReadTableStructure(refTable);
    tutil::RebuildTable(refTable, schema, Names());
    const Files after = FolderByName(reference.path());
    const auto rebuiltRecords = ChainRecords(reference / "ORDERS.DB");
    ASSERT_EQ(rebuiltRecords.size(), 200u);
    ASSERT_EQ(Only(after, "ORDERS-BACKUP1."), AsBackup(Only(before, "ORDERS.")));
    ASSERT_EQ(Only(after, "ORDERS-BACKUP."), Only(before, "ORDERS-BACKUP."));

    int oldSeen = 0;
    int newSeen = 0;
    for (std::uint64_t step = 1;; ++step) {
        TempDir dir;
        CopyInto(before, dir.path());
        const auto table = tutil::LocateTable((dir / "ORDERS.DB").string());
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            tutil::testing::ArmCrashAt(step);
            try {
                tutil::RebuildTable(table, schema, Names());
            } catch (...) {
                _exit(2);
            }
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        tutil::VerifyTable(table); // finishes or discards an interrupted swap first
        const Files now = FolderByName(dir.path());
        EXPECT_FALSE(fs::exists(engine::RebuildStagingDir(dir.path(), "ORDERS")));
        EXPECT_FALSE(fs::exists(engine::RebuildJournalPath(dir.path(), "ORDERS")));
        if (Only(now, "ORDERS.") == Only(before, "ORDERS.")) {
            ++oldSeen;
            EXPECT_TRUE(Only(now, "ORDERS-BACKUP1.").empty())
                << "backup added without the swap, step " << step;
        } else {
            ++newSeen;
            EXPECT_EQ(Names(Only(now, "ORDERS.")), Names(Only(after, "ORDERS."))) << step;
            EXPECT_EQ(ChainRecords(dir / "ORDERS.DB"), rebuiltRecords) << "step " << step;
            EXPECT_EQ(tutil::VerifyTable(table).status, tutil::VerifyStatus::Healthy);
            EXPECT_TRUE(Only(now, "ORDERS-BACKUP1.") == AsBackup(Only(before, "ORDERS.")))
                << "backup not whole, step " << step;
        }
        EXPECT_TRUE(Only(now, "ORDERS-BACKUP.") == Only(before, "ORDERS-BACKUP."))
            << "earlier backup changed, step " << step;
        if (WIFEXITED(status)) {
            ASSERT_EQ(WEXITSTATUS(status), 0);
            break;
        }
        ASSERT_TRUE(WIFSIGNALED(status)) << "step " << step;
        ASSERT_LT(step, 2000u);
    }
    EXPECT_GT(oldSeen, 3);
    EXPECT_GT(newSeen, 3);
}

} // namespace
