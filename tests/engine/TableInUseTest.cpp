// A table in use, by this engine in this or another process or by another Paradox program,
// does not open; once it is released, it does.
#include "EngineTestSupport.h"
#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/TableOpen.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace err = engine::err;
namespace fs = std::filesystem;

std::uint16_t TryOpen(const fs::path& db, bool exclusive, std::string* message = nullptr) {
    std::unique_ptr<engine::OpenedTable> table;
    const auto code = engine::OpenTable(db, "", exclusive, table);
    const auto text = engine::TakeFailureMessage(code);
    if (message != nullptr) {
        *message = text;
    }
    return code;
}

class TableInUse : public ::testing::Test {
protected:
    void SetUp() override { db_ = enginetest::WriteKeyedTable(dir_.path(), "ORDERS", 50); }
    testsupport::TempDir dir_;
    fs::path db_;
};

TEST_F(TableInUse, SecondOpenInThisProcessIsRefusedUntilTheFirstCloses) {
    std::unique_ptr<engine::OpenedTable> first;
    ASSERT_EQ(engine::OpenTable(db_, "Primary", true, first), err::Ok);
    std::string message;
    EXPECT_EQ(TryOpen(db_, true, &message), err::TableInUse);
    EXPECT_NE(message.find("Table is in use"), std::string::npos) << message;
    EXPECT_NE(message.find("ORDERS.DB"), std::string::npos) << message;
    EXPECT_EQ(TryOpen(db_, false), err::TableInUse);
    first.reset();
    EXPECT_EQ(TryOpen(db_, true), err::Ok);
}

TEST_F(TableInUse, SharedOpensExcludeOnlyExclusiveOnes) {
    std::unique_ptr<engine::OpenedTable> reader;
    ASSERT_EQ(engine::OpenTable(db_, "", false, reader), err::Ok);
    EXPECT_FALSE(reader->Exclusive());
    EXPECT_EQ(TryOpen(db_, false), err::Ok);
    EXPECT_EQ(TryOpen(db_, true), err::TableInUse);
    reader.reset();
    EXPECT_EQ(TryOpen(db_, true), err::Ok);
}

TEST_F(TableInUse, LockFilesOfAnotherProgramMeanInUseAndAreLeftAlone) {
    for (const char* name : {"PARADOX.LCK", "pdoxusrs.lck", "Orders.Lck"}) {
        SCOPED_TRACE(name);
        const auto lockFile = dir_.path() / name;
        testsupport::WriteFileBytes(lockFile, "held by someone else");
        const auto before = fs::last_write_time(lockFile);
        std::string message;
        EXPECT_EQ(TryOpen(db_, true, &message), err::TableInUse);
        EXPECT_NE(message.find(name), std::string::npos) << message;
        EXPECT_EQ(testsupport::ReadFileBytes(lockFile), "held by someone else");
        EXPECT_EQ(fs::last_write_time(lockFile), before);
        fs::remove(lockFile);
    }
    // Lock files of other tables or other kinds do not matter.
    testsupport::WriteFileBytes(dir_.path() / "CUSTOMER.LCK", "");
    testsupport::WriteFileBytes(dir_.path() / "PDOXUSRS.NET", "");
    EXPECT_EQ(TryOpen(db_, true), err::Ok);
}

// A child process opens the table and holds it until told to close.
class HoldingChild {
public:
    explicit HoldingChild(const fs::path& db) {
        int toChild[2];
        int toParent[2];
        if (::pipe(toChild) != 0 || ::pipe(toParent) != 0) {
            throw std::runtime_error("pipe");
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(toChild[1]);
            ::close(toParent[0]);
            std::unique_ptr<engine::OpenedTable> table;
            const char status = engine::OpenTable(db, "", true, table) == err::Ok ? 'o' : 'x';
            (void)!::write(toParent[1], &status, 1);
            char go = 0;
            (void)!::read(toChild[0], &go, 1);
            table.reset();
            ::_exit(0);
        }
        ::close(toChild[0]);
        ::close(toParent[1]);
        toChild_ = toChild[1];
        fromChild_ = toParent[0];
        char status = 0;
        opened_ = ::read(fromChild_, &status, 1) == 1 && status == 'o';
    }
    ~HoldingChild() { Release(); }
    bool Opened() const { return opened_; }
    void Release() {
        if (pid_ <= 0) {
            return;
        }
        const char go = 'g';
        (void)!::write(toChild_, &go, 1);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        ::close(toChild_);
        ::close(fromChild_);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    bool opened_ = false;
};

TEST_F(TableInUse, TableHeldByAnotherProcess) {
    HoldingChild child(db_);
    ASSERT_TRUE(child.Opened());
    std::string message;
    EXPECT_EQ(TryOpen(db_, true, &message), err::TableInUse);
    EXPECT_NE(message.find("in use"), std::string::npos) << message;
    child.Release();
    EXPECT_EQ(TryOpen(db_, true), err::Ok);
}

} // namespace
