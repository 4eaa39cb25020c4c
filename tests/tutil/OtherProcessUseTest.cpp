// A table whose files another process locks with fcntl, lockf or open-file-description locks,
// or merely holds open, is in use: a rebuild and (for the .DB) an exclusive open refuse it,
// and the rebuild changes nothing. A verify and a shared open go on beside readers and refuse only
// a writer's lock, as they do for holders of the engine's own lock.
#include "TableFixture.h"
#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/TableOpen.h"
#include "engine/testing/ProcessTable.h"
#include "paradox/Family.h"
#include "support/TempDir.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/TableLocation.h"
#include "tutil/UtilityError.h"
#include "tutil/Verify.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace tutilfixture;

enum class Hold { FcntlWriteLock, LockfLock, OfdReadLock, OpenOnly };

// A child process that holds `file` as `hold` says until the object goes away.
class HolderProcess {
public:
    HolderProcess(const fs::path& file, Hold hold) {
        int toChild[2];
        int toParent[2];
        if (::pipe(toChild) != 0 || ::pipe(toParent) != 0) {
            throw std::runtime_error("pipe");
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(toChild[1]);
            ::close(toParent[0]);
            const char status = Take(file, hold) ? 'o' : 'x';
            (void)!::write(toParent[1], &status, 1);
            char go = 0;
            (void)!::read(toChild[0], &go, 1);
            ::_exit(0);
        }
        ::close(toChild[0]);
        ::close(toParent[1]);
        toChild_ = toChild[1];
        char status = 0;
        holding_ = ::read(toParent[0], &status, 1) == 1 && status == 'o';
        ::close(toParent[0]);
    }
    ~HolderProcess() {
        ::close(toChild_); // the child reads end-of-file and leaves
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    HolderProcess(const HolderProcess&) = delete;
    HolderProcess& operator=(const HolderProcess&) = delete;
    bool Holding() const { return holding_; }

private:
    static bool Take(const fs::path& file, Hold hold) {
        const int fd = ::open(file.c_str(), O_RDWR);
        struct flock lock {};
        lock.l_whence = SEEK_SET;
        lock.l_start = 0;
        lock.l_len = 1; // one byte is enough to conflict with a lock of the whole file
        switch (hold) {
        case Hold::FcntlWriteLock:
            lock.l_type = F_WRLCK;
            return fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0;
        case Hold::LockfLock:
            return fd >= 0 && ::lockf(fd, F_TLOCK, 0) == 0;
        case Hold::OfdReadLock:
            lock.l_type = F_RDLCK;
            return fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
        case Hold::OpenOnly:
            break;
        }
        return fd >= 0;
    }

    pid_t pid_ = -1;
    int toChild_ = -1;
    bool holding_ = false;
};

TEST(OtherProcessUse, LocksAndOpensOfAnotherProcessStopARebuildAndOnlyWriteLocksAVerify) {
    testsupport::TempDir dir;
    const fs::path db = WriteOrders(dir.path(), 40);
    const paradox::TableFamily family = paradox::FindFamily(db);
    ASSERT_FALSE(family.px.empty());
    ASSERT_FALSE(family.secondaries.empty());
    const auto table = tutil::LocateTable(db.string());
    const auto schema = tutil::ReadTableStructure(table);
    const auto before = FolderByName(dir.path());

    const struct {
        fs::path file;
        Hold hold;
        bool stopsVerify;
    } cases[] = {{db, Hold::FcntlWriteLock, true},
                 {family.px, Hold::LockfLock, true},
                 {db, Hold::OfdReadLock, false},
                 {family.secondaries.front(), Hold::OpenOnly, false},
                 {db, Hold::OpenOnly, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.filename().string() + " hold " +
                     std::to_string(static_cast<int>(c.hold)));
        const HolderProcess holder(c.file, c.hold);
        ASSERT_TRUE(holder.Holding());
        try {
            tutil::RebuildTable(table, schema,
                                {"ORDERS-BACKUP.DB", "ORDERS-KEYVIOL.DB", "ORDERS-PROBLEM.DB", ""});
            ADD_FAILURE() << "rebuilt a table another process uses";
        } catch (const tutil::UtilityError& e) {
            EXPECT_EQ(e.Code(), engine::err::TableInUse);
            EXPECT_NE(std::string(e.what()).find(c.file.filename().string()), std::string::npos)
                << e.what();
        }
        EXPECT_EQ(FolderByName(dir.path()), before);
        if (c.file == db) { // the engine's opens look at the .DB, as its own lock does
            std::unique_ptr<engine::OpenedTable> opened;
            const auto exclusive = engine::OpenTable(db, "", true, opened);
            EXPECT_EQ(exclusive, engine::err::TableInUse);
            engine::TakeFailureMessage(exclusive);
            const auto shared = engine::OpenTable(db, "", false, opened);
            EXPECT_EQ(shared, c.stopsVerify ? engine::err::TableInUse : engine::err::Ok);
            engine::TakeFailureMessage(shared);
        }
        try {
            EXPECT_EQ(tutil::VerifyTable(table).status, tutil::VerifyStatus::Healthy);
            EXPECT_FALSE(c.stopsVerify) << "verified beside a writer's lock";
        } catch (const tutil::UtilityError& e) {
            EXPECT_TRUE(c.stopsVerify) << e.what();
            EXPECT_EQ(e.Code(), engine::err::TableInUse);
        }
    }

    // This process's own opens and locks are no one else's.
    const int ownReader = ::open(db.c_str(), O_RDWR);
    ASSERT_GE(ownReader, 0);
    ASSERT_EQ(::lockf(ownReader, F_TLOCK, 0), 0);
    EXPECT_EQ(tutil::RebuildTable(
                  table, schema, {"ORDERS-BACKUP.DB", "ORDERS-KEYVIOL.DB", "ORDERS-PROBLEM.DB", ""})
                  .recordsWritten,
              40u);
    ::close(ownReader);
}

// The process table a test or fuzzer puts in place of /proc is what the open-file check reads:
// a fake process holding the index open stops a rebuild, this process's own entry does not.
TEST(OtherProcessUse, AProcessTableFolderStandsInForTheSystemOne) {
    testsupport::TempDir dir;
    const fs::path db = WriteOrders(dir.path(), 40);
    const paradox::TableFamily family = paradox::FindFamily(db);
    ASSERT_FALSE(family.px.empty());
    const auto table = tutil::LocateTable(db.string());
    const auto schema = tutil::ReadTableStructure(table);
    const tutil::RebuildNames names{"ORDERS-BACKUP.DB", "ORDERS-KEYVIOL.DB", "ORDERS-PROBLEM.DB",
                                    ""};

    testsupport::TempDir processes;
    const fs::path own = processes.path() / std::to_string(::getpid()) / "fd";
    fs::create_directories(own);
    fs::create_symlink(db, own / "3");
    fs::create_directories(processes.path() / "4242" / "fd");
    fs::create_directories(processes.path() / "77"); // gone: no descriptor folder
    const engine::testing::ScopedProcessTable processTable(processes.path());
    EXPECT_EQ(tutil::RebuildTable(table, schema, names).recordsWritten, 40u);

    fs::create_symlink(family.px, processes.path() / "4242" / "fd" / "5");
    try {
        tutil::RebuildTable(table, schema, names);
        ADD_FAILURE() << "rebuilt a table the process table says is open elsewhere";
    } catch (const tutil::UtilityError& e) {
        EXPECT_EQ(e.Code(), engine::err::TableInUse);
        EXPECT_NE(std::string(e.what()).find("is open in process 4242"), std::string::npos)
            << e.what();
    }
}

} // namespace
