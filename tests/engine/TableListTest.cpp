// The table list of a database: Paradox tables only, work tables left out, sorted by name.
#include "engine/TableList.h"

#include "EngineTestSupport.h"
#include "engine/ErrorCodes.h"
#include "platform/DBErrors.h"
#include "platform/Database.h"
#include "platform/Session.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::ElementsAre;
namespace err = engine::err;

class TableList : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name :
             {"orders.db", "Customer.DB", "ITEMS.db", "alpha.Db", "VERIFY.DB", "rebuild.db",
              "Orders-BACKUP.DB", "items-keyviol.db", "CUSTOMER-Problem.Db", "notes.txt",
              "orders.px", "ORDERS.MB", "ORDERS.X02", "report.dbf", ".DB", "zeta.DB.bak"}) {
            testsupport::WriteFileBytes(dir_ / name, "");
        }
        std::filesystem::create_directory(dir_ / "FOLDER.DB");
    }
    testsupport::TempDir dir_;
};

TEST_F(TableList, TablesSortedWithoutRegardToCase) {
    std::vector<std::string> names{"left over"};
    ASSERT_EQ(engine::ListTables(dir_.path().string(), "*.*", true, false, names), err::Ok);
    EXPECT_THAT(names, ElementsAre("alpha.Db", "Customer.DB", "ITEMS.db", "orders.db"));
}

TEST_F(TableList, OptionsForExtensionsSystemTablesAndPattern) {
    std::vector<std::string> names;
    ASSERT_EQ(engine::ListTables(dir_.path().string(), "*.*", false, false, names), err::Ok);
    EXPECT_THAT(names, ElementsAre("alpha", "Customer", "ITEMS", "orders"));
    ASSERT_EQ(engine::ListTables(dir_.path().string(), "*", true, true, names), err::Ok);
    // Compared character by character without case: "-" sorts before ".".
    EXPECT_THAT(names, ElementsAre("alpha.Db", "CUSTOMER-Problem.Db", "Customer.DB",
                                   "items-keyviol.db", "ITEMS.db", "Orders-BACKUP.DB", "orders.db",
                                   "rebuild.db", "VERIFY.DB"));
    ASSERT_EQ(engine::ListTables(dir_.path().string(), "c*.db", true, false, names), err::Ok);
    EXPECT_THAT(names, ElementsAre("Customer.DB"));
}

TEST_F(TableList, SystemTableNames) {
    for (const char* name :
         {"VERIFY.DB", "verify.db", "Rebuild.DB", "REBUILD.DB", "A-BACKUP.DB", "a-keyviol.db",
          "X-PROBLEM.DB", "A-BACKUP1.DB", "a-keyviol12.db", "X-PROBLEM3.DB"}) {
        EXPECT_TRUE(engine::IsSystemTableName(name)) << name;
    }
    for (const char* name : {"VERIFY2.DB", "BACKUP.DB", "A-BACKUP.PX", "PROBLEM.DB",
                             "A-BACKUP1X.DB", "A-BACKUP1.PX", "BACKUP1.DB"}) {
        EXPECT_FALSE(engine::IsSystemTableName(name)) << name;
    }
}

TEST_F(TableList, ThroughTheSessionByDatabaseAliasOrDirectory) {
    enginetest::ScopedConfig config(dir_ / "engine.ini", "[DATA]\nPATH=" + dir_.path().string());
    platform::TSession session("TempSession");
    session.Open();
    platform::TDatabase db(session, "TempDB");
    db.SetAliasName("DATA");
    std::vector<std::string> byDatabase;
    std::vector<std::string> byAlias;
    std::vector<std::string> byDirectory;
    session.GetTableNames("TempDB", "*.*", true, false, byDatabase); // not yet connected
    session.GetTableNames("data", "*.*", true, false, byAlias);
    session.GetTableNames(dir_.path().string(), "*.*", true, false, byDirectory);
    EXPECT_THAT(byDatabase, ElementsAre("alpha.Db", "Customer.DB", "ITEMS.db", "orders.db"));
    EXPECT_EQ(byAlias, byDatabase);
    EXPECT_EQ(byDirectory, byDatabase);
    db.SetAliasName("NOSUCH");
    std::vector<std::string> failed{"stale"};
    EXPECT_THROW(session.GetTableNames("TempDB", "*.*", true, false, failed),
                 platform::EDBEngineError);
    EXPECT_TRUE(failed.empty());
}

} // namespace
