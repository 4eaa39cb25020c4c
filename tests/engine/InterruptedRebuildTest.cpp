// A table whose rebuild died half way through its swap: the engine refuses to open it and
// never lists the rebuild's own files as tables.
#include "EngineTestSupport.h"
#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/RebuildFiles.h"
#include "engine/TableList.h"
#include "engine/TableOpen.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
namespace err = engine::err;
namespace fs = std::filesystem;

class InterruptedRebuild : public ::testing::Test {
protected:
    void SetUp() override { db_ = enginetest::WriteKeyedTable(dir_.path(), "ORDERS", 30); }

    std::uint16_t Open(std::string* message = nullptr) {
        std::unique_ptr<engine::OpenedTable> table;
        const auto code = engine::OpenTable(db_, "", false, table);
        EXPECT_EQ(table != nullptr, code == err::Ok);
        if (message != nullptr) {
            *message = engine::TakeFailureMessage(code);
        }
        return code;
    }

    testsupport::TempDir dir_;
    fs::path db_;
};

TEST_F(InterruptedRebuild, JournalBesideTheTableRefusesTheOpenUntilItIsGone) {
    const fs::path journal = engine::RebuildJournalPath(dir_.path(), "ORDERS");
    testsupport::WriteFileBytes(journal, "mendrix-swap 1\nM\tORDERS.DB\tORDERS.DB\n");
    std::string message;
    ASSERT_EQ(Open(&message), err::RebuildInterrupted);
    EXPECT_THAT(message, HasSubstr(engine::DescribeError(err::RebuildInterrupted)));
    EXPECT_THAT(message, HasSubstr("ORDERS.DB"));
    EXPECT_THAT(message, HasSubstr(journal.filename().string()));

    fs::remove(journal);
    EXPECT_EQ(Open(), err::Ok);
}

TEST_F(InterruptedRebuild, StagingFolderOrUnfinishedJournalAloneDoNotStopTheOpen) {
    // Before the journal is in place nothing beside the table has changed yet.
    const fs::path staging = engine::RebuildStagingDir(dir_.path(), "ORDERS");
    fs::create_directory(staging);
    testsupport::WriteFileBytes(staging / "ORDERS.DB", "half written");
    testsupport::WriteFileBytes(engine::RebuildJournalPath(dir_.path(), "ORDERS").string() + ".tmp",
                                "mendrix-swap 1\n");
    EXPECT_EQ(Open(), err::Ok);
}

TEST_F(InterruptedRebuild, JournalOfAnotherTableDoesNotConcernThisOne) {
    testsupport::WriteFileBytes(engine::RebuildJournalPath(dir_.path(), "CUSTOMER"), "x");
    EXPECT_EQ(Open(), err::Ok);
}

TEST_F(InterruptedRebuild, TableListLeavesOutTheRebuildsFiles) {
    const fs::path staging = engine::RebuildStagingDir(dir_.path(), "ORDERS");
    fs::create_directory(staging);
    for (const char* name : {"ORDERS.DB", "ORDERS-BACKUP.DB", "ORDERS-KEYVIOL.DB"}) {
        testsupport::WriteFileBytes(staging / name, "");
    }
    testsupport::WriteFileBytes(engine::RebuildJournalPath(dir_.path(), "ORDERS"), "");
    // Even a work file whose name ends like a table's is the rebuild's, not a table.
    testsupport::WriteFileBytes(dir_ / ".mendrix-ORDERS.DB", "");
    testsupport::WriteFileBytes(dir_ / "ORDERS-BACKUP.DB", "");

    std::vector<std::string> names;
    ASSERT_EQ(engine::ListTables(dir_.path().string(), "*.*", true, false, names), err::Ok);
    EXPECT_THAT(names, ElementsAre("ORDERS.DB"));
    ASSERT_EQ(engine::ListTables(dir_.path().string(), "*", true, true, names), err::Ok);
    EXPECT_THAT(names, ElementsAre("ORDERS-BACKUP.DB", "ORDERS.DB"));
}

TEST(RebuildFileNames, PrefixMarksTheRebuildsOwnFiles) {
    EXPECT_TRUE(engine::IsRebuildFileName(".mendrix-ORDERS.journal"));
    EXPECT_TRUE(
        engine::IsRebuildFileName(engine::RebuildStagingDir("/data", "A.B").filename().string()));
    EXPECT_FALSE(engine::IsRebuildFileName("ORDERS.DB"));
    EXPECT_FALSE(engine::IsRebuildFileName(".mendrix"));
    EXPECT_FALSE(engine::IsRebuildFileName("x.mendrix-ORDERS.journal"));
}

} // namespace
