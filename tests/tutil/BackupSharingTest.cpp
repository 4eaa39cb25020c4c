// The backup a rebuild writes is the table as it was, byte for byte: where the file system
// shares blocks between files it shares the table's, and a later write to the table leaves it
// as it was either way.
#include "TableFixture.h"
#include "posix/testing/OperationHook.h"
#include "support/TempDir.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/TableLocation.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <mutex>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

// The extents of `file`: how many bytes they map and how many of those are in blocks shared
// with another file (zeros when the file system cannot tell).
struct Extents {
    std::uint64_t bytes = 0;
    std::uint64_t sharedBytes = 0;
};
Extents ExtentsOf(const fs::path& file) {
    Extents extents;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return extents;
    }
    constexpr std::size_t kExtents = 64;
    std::vector<std::uint8_t> buffer(sizeof(fiemap) + kExtents * sizeof(fiemap_extent));
    auto* map = reinterpret_cast<fiemap*>(buffer.data());
    map->fm_length = FIEMAP_MAX_OFFSET;
    map->fm_flags = FIEMAP_FLAG_SYNC;
    map->fm_extent_count = kExtents;
    const bool mapped = ::ioctl(fd, FS_IOC_FIEMAP, map) == 0;
    ::close(fd);
    for (std::uint32_t i = 0; mapped && i < map->fm_mapped_extents; ++i) {
        extents.bytes += map->fm_extents[i].fe_length;
        if ((map->fm_extents[i].fe_flags & FIEMAP_EXTENT_SHARED) != 0) {
            extents.sharedBytes += map->fm_extents[i].fe_length;
        }
    }
    return extents;
}

// Whether every byte of `file` lies in blocks shared with another file.
bool AllBlocksShared(const fs::path& file) {
    const Extents extents = ExtentsOf(file);
    return extents.bytes != 0 && extents.sharedBytes == extents.bytes;
}

// Rebuilds a table in `dir` while a second name keeps its old .DB, then writes over the old
// .DB and the new one: the backup stays the table as it was. Whether the backup shared the old
// .DB's blocks right after the rebuild goes to `shared`; the part of the new .DB's bytes in
// shared blocks (the records it repeats) to `tableShared`.
void ExpectBackupKeepsTheTable(const fs::path& dir, bool& shared, double& tableShared) {
    const fs::path db = tutilfixture::WriteOrders(dir, 3000);
    const std::string before = ReadFileBytes(db);
    fs::create_hard_link(db, dir / "old.bin");
    const auto table = tutil::LocateTable(db.string());
    tutil::RebuildTable(table, tutil::ReadTableStructure(table),
                        {"ORDERS-BACKUP.DB", "ORDERS-KEYVIOL.DB", "ORDERS-PROBLEM.DB", ""});
    const fs::path backup = dir / "ORDERS-BACKUP.DB";
    ASSERT_EQ(ReadFileBytes(backup), before);
    shared = AllBlocksShared(backup);
    const Extents rebuilt = ExtentsOf(db);
    tableShared = rebuilt.bytes == 0 ? 0
                                     : static_cast<double>(rebuilt.sharedBytes) /
                                           static_cast<double>(rebuilt.bytes);

    for (const fs::path& written : {dir / "old.bin", db}) {
        const int fd = ::open(written.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0) << written;
        const std::string junk(before.size(), 'j');
        EXPECT_EQ(::pwrite(fd, junk.data(), junk.size(), 0), static_cast<ssize_t>(junk.size()));
        EXPECT_EQ(::fsync(fd), 0);
        ::close(fd);
    }
    EXPECT_EQ(ReadFileBytes(backup), before) << dir;
}

TEST(BackupSharing, LaterWritesToTheTableLeaveTheBackupAsTheTableWas) {
    TempDir dir;
    bool shared = false;
    double tableShared = 0;
    ExpectBackupKeepsTheTable(dir.path(), shared, tableShared);
}

// The backup is copied on a thread of its own while the new family is written (it only has to
// be on disk before the swap): the backup's first write is held back until the rebuild's own
// thread has written, which it does without waiting for the backup. The backup is whole.
TEST(BackupSharing, TheNewFamilyIsWrittenWhileTheBackupIsCopied) {
    TempDir dir;
    const fs::path db = tutilfixture::WriteOrders(dir.path(), 3000);
    const std::string before = ReadFileBytes(db);
    const std::thread::id rebuilding = std::this_thread::get_id();
    std::mutex mutex;
    std::condition_variable wrote;
    bool newFamilyWritten = false;
    bool backupWaitedInVain = false;
    posix::testing::SetOperationHook([&](posix::Operation operation, std::uint64_t) {
        if (operation != posix::Operation::Write) {
            return 0;
        }
        std::unique_lock lock(mutex);
        if (std::this_thread::get_id() == rebuilding) {
            newFamilyWritten = true;
            wrote.notify_all();
        } else if (!backupWaitedInVain && !wrote.wait_for(lock, std::chrono::seconds(5),
                                                          [&] { return newFamilyWritten; })) {
            backupWaitedInVain = true;
        }
        return 0;
    });
    const auto table = tutil::LocateTable(db.string());
    tutil::RebuildTable(table, tutil::ReadTableStructure(table),
                        {"ORDERS-BACKUP.DB", "ORDERS-KEYVIOL.DB", "ORDERS-PROBLEM.DB", ""});
    posix::testing::SetOperationHook({});
    EXPECT_FALSE(backupWaitedInVain) << "nothing of the new family was written during the copy";
    EXPECT_EQ(ReadFileBytes(dir / "ORDERS-BACKUP.DB"), before);
}

struct Unmount {
    fs::path mount;
    ~Unmount() {
        if (std::system(("umount '" + mount.string() + "'").c_str()) != 0) {
            ADD_FAILURE() << "cannot unmount " << mount;
        }
    }
};

// On a file system made for it (XFS with reflink, on a loop device) the backup shares the
// table's blocks, and so does the rebuilt table where it repeats them. Skipped where the machine
// does not let a test make and mount one.
TEST(BackupSharing, WhereTheFileSystemSharesBlocksNeitherBackupNorTableCopiesTheRecords) {
    TempDir dir;
    const fs::path image = dir / "xfs.img";
    const fs::path mount = dir / "mnt";
    fs::create_directories(mount);
    const std::string make = "truncate -s 320M '" + image.string() +
                             "' && mkfs.xfs -q -m reflink=1 '" + image.string() +
                             "' >/dev/null 2>&1 && mount -o loop '" + image.string() + "' '" +
                             mount.string() + "' >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) {
        GTEST_SKIP() << "no XFS with reflink could be made and mounted here (needs root, "
                        "mkfs.xfs and a loop device)";
    }
    const Unmount unmount{mount};
    bool shared = false;
    double tableShared = 0;
    ExpectBackupKeepsTheTable(mount, shared, tableShared);
    EXPECT_TRUE(shared) << "the backup's blocks are the table's";
    // The healthy table's records come back in the same blocks: the new .DB shares them too,
    // all but its header and the odd block where a written stretch begins or ends.
    EXPECT_GT(tableShared, 0.8) << "of the rebuilt .DB in blocks shared with the backup";
}

} // namespace
