// The backup a rebuild writes is the table as it was, byte for byte: where the file system
// shares blocks between files it shares the table's, and a later write to the table leaves it
// as it was either way.
#include "TableFixture.h"
#include "support/TempDir.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/TableLocation.h"

#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

// Whether every byte of `file` lies in blocks shared with another file.
bool AllBlocksShared(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    constexpr std::size_t kExtents = 64;
    std::vector<std::uint8_t> buffer(sizeof(fiemap) + kExtents * sizeof(fiemap_extent));
    auto* map = reinterpret_cast<fiemap*>(buffer.data());
    map->fm_length = FIEMAP_MAX_OFFSET;
    map->fm_flags = FIEMAP_FLAG_SYNC;
    map->fm_extent_count = kExtents;
    const bool mapped = ::ioctl(fd, FS_IOC_FIEMAP, map) == 0;
    ::close(fd);
    if (!mapped || map->fm_mapped_extents == 0) {
        return false;
    }
    for (std::uint32_t i = 0; i < map->fm_mapped_extents; ++i) {
        if ((map->fm_extents[i].fe_flags & FIEMAP_EXTENT_SHARED) == 0) {
            return false;
        }
    }
    return true;
}

// Rebuilds a table in `dir` while a second name keeps its old .DB, then writes over the old
// .DB and the new one: the backup stays the table as it was. Whether the backup shared the old
// .DB's blocks right after the rebuild goes to `shared`.
void ExpectBackupKeepsTheTable(const fs::path& dir, bool& shared) {
    const fs::path db = tutilfixture::WriteOrders(dir, 3000);
    const std::string before = ReadFileBytes(db);
    fs::create_hard_link(db, dir / "old.bin");
    const auto table = tutil::LocateTable(db.string());
    tutil::RebuildTable(table, tutil::ReadTableStructure(table),
                        {"ORDERS-BACKUP.DB", "ORDERS-KEYVIOL.DB", "ORDERS-PROBLEM.DB", ""});
    const fs::path backup = dir / "ORDERS-BACKUP.DB";
    ASSERT_EQ(ReadFileBytes(backup), before);
    shared = AllBlocksShared(backup);

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
    ExpectBackupKeepsTheTable(dir.path(), shared);
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
// table's blocks. Skipped where the machine does not let a test make and mount one.
TEST(BackupSharing, WhereTheFileSystemSharesBlocksTheBackupCopiesNoData) {
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
    ExpectBackupKeepsTheTable(mount, shared);
    EXPECT_TRUE(shared) << "the backup's blocks are the table's";
}

} // namespace
