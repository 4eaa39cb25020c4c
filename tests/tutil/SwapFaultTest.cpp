#include "TableFixture.h"
#include "engine/RebuildFiles.h"
#include "paradox/Family.h"
#include "posix/testing/OperationHook.h"
#include "support/Corpus.h"
#include "support/TempDir.h"
#include "tutil/FamilySwap.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/UtilityError.h"
#include "tutil/Verify.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using Files = std::map<std::string, std::string>;

// Files of the folder whose names start with `prefix`, with their bytes.
Files Only(const fs::path& dir, const std::string& prefix) {
    Files picked;
    for (const auto& [name, bytes] : tutilfixture::FolderByName(dir)) {
        if (name.rfind(prefix, 0) == 0) {
            picked[name] = bytes;
        }
    }
    return picked;
}

// The same files under the stem `stem` instead of CUSTOMER.
Files Renamed(const Files& family, const std::string& stem) {
    Files renamed;
    for (const auto& [name, bytes] : family) {
        renamed[stem + name.substr(name.find('.'))] = bytes;
    }
    return renamed;
}

// A copy of a real table with a primary index, a secondary index and a blob file.
fs::path CopyCustomer(const fs::path& dir) {
    const fs::path db = testsupport::CorpusDir() / "leonhad-paradoxdriver/db/CUSTOMER.DB";
    for (const auto& file : paradox::AllFamilyFiles(paradox::FindFamily(db))) {
        WriteFileBytes(dir / file.filename(), ReadFileBytes(file));
    }
    return dir / "CUSTOMER.DB";
}

tutil::RebuildNames Names() {
    return {"CUSTOMER-BACKUP.DB", "CUSTOMER-KEYVIOL.DB", "CUSTOMER-PROBLEM.DB", ""};
}

// Removes the hook however the test ends.
struct HookGuard {
    explicit HookGuard(posix::OperationHook hook) {
        posix::testing::SetOperationHook(std::move(hook));
    }
    ~HookGuard() { posix::testing::SetOperationHook({}); }
    HookGuard(const HookGuard&) = delete;
    HookGuard& operator=(const HookGuard&) = delete;
};

struct Reference {
    Files before;                     // the table's files as given
    Files after;                      // the rebuilt table's files
    std::vector<std::string> records; // the rebuilt table's records
};

Reference RebuildReference() {
    TempDir dir;
    const auto table = tutil::LocateTable(CopyCustomer(dir.path()).string());
    Reference reference{Only(dir.path(), "CUSTOMER."), {}, {}};
    tutil::RebuildTable(table, tutil::ReadTableStructure(table), Names());
    reference.after = Only(dir.path(), "CUSTOMER.");
    reference.records = tutilfixture::RecordValues(table.db);
    return reference;
}

std::vector<std::string> NamesOf(const Files& files) {
    std::vector<std::string> names;
    for (const auto& entry : files) {
        names.push_back(entry.first);
    }
    return names;
}

// After one more run (a verify, which finishes an interrupted swap), the folder holds the whole
// old family untouched, or the whole new one with the whole backup beside it.
void ExpectOldOrNewFamily(const tutil::TableLocation& table, const Reference& reference,
                          const std::string& backupStem, const std::string& step) {
    const fs::path dir = table.dir;
    EXPECT_NO_THROW(tutil::VerifyTable(table)) << step;
    EXPECT_FALSE(fs::exists(engine::RebuildStagingDir(dir, "CUSTOMER"))) << step;
    EXPECT_FALSE(fs::exists(engine::RebuildJournalPath(dir, "CUSTOMER"))) << step;
    const Files family = Only(dir, "CUSTOMER.");
    if (family == reference.before) {
        EXPECT_TRUE(Only(dir, backupStem + ".").empty()) << step;
        return;
    }
    EXPECT_EQ(NamesOf(family), NamesOf(reference.after)) << step;
    EXPECT_EQ(tutilfixture::RecordValues(table.db), reference.records) << step;
    EXPECT_EQ(Only(dir, backupStem + "."), Renamed(reference.before, backupStem)) << step;
}

// An I/O error at each rename of a rebuild in turn: whatever the failing run did, nothing is
// lost, and the next run completes the swap from the journal (never calls it foreign).
TEST(SwapFault, ErrorAtEveryRenameLeavesOldOrNewFamilyAndTheBackup) {
    MENDRIX_NEEDS_CORPUS();
    const Reference reference = RebuildReference();
    const auto schema = tutil::ReadTableStructure(tutil::LocateTable(
        (testsupport::CorpusDir() / "leonhad-paradoxdriver/db/CUSTOMER.DB").string()));
    int committedFailures = 0;
    for (std::uint64_t n = 1;; ++n) {
        TempDir dir;
        const auto table = tutil::LocateTable(CopyCustomer(dir.path()).string());
        bool failed = false;
        {
            HookGuard hook(posix::testing::FailNth(posix::Operation::Rename, n, EIO));
            try {
                tutil::RebuildTable(table, schema, Names());
            } catch (const tutil::UtilityError& error) {
                failed = true;
                // Past the point of no return the reason says what is where.
                const std::string text = error.what();
                EXPECT_NE(text.find("in place: "), std::string::npos) << text;
                EXPECT_NE(text.find("nothing was deleted"), std::string::npos) << text;
                ++committedFailures;
            } catch (const std::system_error&) {
                failed = true;
                EXPECT_FALSE(fs::exists(engine::RebuildJournalPath(dir.path(), "CUSTOMER")));
            }
        }
        ExpectOldOrNewFamily(table, reference, "CUSTOMER-BACKUP", "rename " + std::to_string(n));
        if (!failed) {
            break;
        }
        ASSERT_LT(n, 100u);
    }
    EXPECT_GT(committedFailures, 5);
}

// Another program takes the backup's name while the rebuild runs, at each rename in turn: the
// backup lands whole under the next free name, the other program's file stays as it is.
TEST(SwapFault, BackupNameTakenMidRebuildLandsUnderAFreeName) {
    MENDRIX_NEEDS_CORPUS();
    const Reference reference = RebuildReference();
    for (std::uint64_t n = 1;; ++n) {
        TempDir dir;
        const auto table = tutil::LocateTable(CopyCustomer(dir.path()).string());
        const fs::path other = dir / "CUSTOMER-BACKUP.DB";
        bool reached = false;
        bool created = false;
        tutil::RebuildOutcome outcome;
        {
            HookGuard hook([&](posix::Operation operation, std::uint64_t nth) {
                if (operation == posix::Operation::Rename && nth == n) {
                    reached = true;
                    const int fd = ::open(other.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
                    created = fd >= 0;
                    if (created) {
                        ::close(fd);
                    }
                }
                return 0;
            });
            outcome = tutil::RebuildTable(table, tutil::ReadTableStructure(table), Names());
        }
        if (!reached) {
            break;
        }
        const std::string step = "rename " + std::to_string(n);
        const std::string backupStem = outcome.backupTable.stem().string();
        EXPECT_EQ(backupStem, created ? "CUSTOMER-BACKUP1" : "CUSTOMER-BACKUP") << step;
        ExpectOldOrNewFamily(table, reference, backupStem, step);
        if (created) {
            EXPECT_EQ(ReadFileBytes(other), "") << step;
            EXPECT_EQ(Only(dir.path(), "CUSTOMER-BACKUP."), Files({{"CUSTOMER-BACKUP.DB", ""}}))
                << step;
        }
        ASSERT_LT(n, 100u);
    }
}

// A folder where a family file must go: refused before anything changes; and when it appears
// after the journal was written, every run says what is in the way and keeps every file
// until it is gone, then completes the swap.
TEST(SwapFault, FolderWhereAFileMustGoIsNamedAndNothingIsLost) {
    MENDRIX_NEEDS_CORPUS();
    const Reference reference = RebuildReference();
    TempDir dir;
    const auto table = tutil::LocateTable(CopyCustomer(dir.path()).string());
    const auto schema = tutil::ReadTableStructure(table);
    const fs::path px = dir / "CUSTOMER.PX";
    const std::string pxBytes = ReadFileBytes(px);
    fs::remove(px);
    fs::create_directory(px);
    const Files before = tutilfixture::FolderByName(dir.path());
    try {
        tutil::RebuildTable(table, schema, Names());
        ADD_FAILURE() << "rebuilt over a folder";
    } catch (const tutil::UtilityError& error) {
        EXPECT_NE(std::string(error.what()).find(px.string() + " is a folder"), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(tutilfixture::FolderByName(dir.path()), before);
    EXPECT_TRUE(fs::is_directory(px));
    EXPECT_FALSE(tutil::HasSwapLeftovers(dir.path(), "CUSTOMER"));

    // The folder appears once the journal is being written.
    fs::remove(px);
    WriteFileBytes(px, pxBytes);
    {
        HookGuard hook(posix::testing::FailNth(posix::Operation::Rename, 1, 0, [&] {
            fs::rename(px, dir / "moved-away.PX");
            fs::create_directory(px);
        }));
        EXPECT_THROW(tutil::RebuildTable(table, schema, Names()), tutil::UtilityError);
    }
    for (int run = 0; run < 2; ++run) {
        try {
            tutil::VerifyTable(table);
            ADD_FAILURE() << "completed over a folder";
        } catch (const tutil::UtilityError& error) {
            const std::string text = error.what();
            EXPECT_NE(text.find(px.string() + " is a folder"), std::string::npos) << text;
            EXPECT_EQ(text.find("not a journal"), std::string::npos) << text;
        }
    }
    fs::remove(px);
    ExpectOldOrNewFamily(table, reference, "CUSTOMER-BACKUP", "after the folder went");
    EXPECT_EQ(Only(dir.path(), "CUSTOMER-BACKUP."), Renamed(reference.before, "CUSTOMER-BACKUP"));
}

struct Owner {
    mode_t mode;
    uid_t uid;
    gid_t gid;
    bool operator==(const Owner&) const = default;
};

Owner OwnerOf(const fs::path& file) {
    struct stat info {};
    EXPECT_EQ(::stat(file.c_str(), &info), 0) << file;
    return {static_cast<mode_t>(info.st_mode & 07777), info.st_uid, info.st_gid};
}

// The rebuilt files and the backup keep each original's owner and permissions (a private
// table's data never becomes readable by others); the owner part needs root.
TEST(SwapOwnership, RebuiltFilesAndBackupsKeepOwnerAndMode) {
    MENDRIX_NEEDS_CORPUS();
    TempDir dir;
    const auto table = tutil::LocateTable(CopyCustomer(dir.path()).string());
    const bool root = ::geteuid() == 0;
    const std::map<std::string, mode_t> modes = {
        {".DB", 0640}, {".PX", 0600}, {".X06", 0444}, {".Y06", 0600}, {".MB", 0660}};
    std::map<std::string, Owner> before;
    for (const auto& [extension, mode] : modes) {
        const fs::path file = dir / ("CUSTOMER" + extension);
        ASSERT_EQ(::chmod(file.c_str(), mode), 0);
        if (root && extension != ".PX") {
            ASSERT_EQ(::chown(file.c_str(), 65534, extension == ".MB" ? 100 : 65534), 0);
        }
        before[extension] = OwnerOf(file);
    }
    const mode_t mask = ::umask(022);
    tutil::RebuildTable(table, tutil::ReadTableStructure(table), Names());
    ::umask(mask);
    for (const auto& [extension, owner] : before) {
        EXPECT_EQ(OwnerOf(dir / ("CUSTOMER" + extension)), owner) << extension;
        EXPECT_EQ(OwnerOf(dir / ("CUSTOMER-BACKUP" + extension)), owner) << extension;
    }
    if (fs::exists(dir / "CUSTOMER-PROBLEM.DB")) {
        EXPECT_EQ(OwnerOf(dir / "CUSTOMER-PROBLEM.DB"), before[".DB"]);
    }
    if (!root) {
        GTEST_SKIP() << "owners were not changed: the test does not run as root";
    }
}

} // namespace
