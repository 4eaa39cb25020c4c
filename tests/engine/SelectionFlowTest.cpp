// The engine calls of the repair window's database selection and of a Check & Repair run, in
// the order the program makes them.
#include "EngineTestSupport.h"
#include "engine/DatabaseList.h"
#include "engine/ErrorCodes.h"
#include "platform/DBErrors.h"
#include "platform/Database.h"
#include "platform/Session.h"
#include "platform/Table.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::ElementsAre;
namespace err = engine::err;

class SelectionFlow : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir_ / "priv");
        std::filesystem::create_directories(dir_ / "first");
        std::filesystem::create_directories(dir_ / "picked");
        enginetest::WriteKeyedTable(dir_ / "first", "ORDERS", 30);
        enginetest::WritePlainTable(dir_ / "picked", "NOTES", 5);
        config_ = std::make_unique<enginetest::ScopedConfig>(
            dir_ / "engine.ini", "[ODBC1]\nTYPE=MSSQL\n[TempDB]\nPATH=/x\n[FIRST]\nPATH=" +
                                     (dir_ / "first").string() + "\n");
        session_.SetPrivateDir((dir_ / "priv").string());
        session_.SetActive(true);
    }

    // FillAliasList: STANDARD aliases other than "TempDB", in the engine's order.
    std::vector<std::string> OfferedAliases() {
        engine::CursorHandle cursor = 0;
        platform::Check(engine::OpenDatabaseList(&cursor));
        std::vector<std::string> offered;
        engine::DatabaseRecord record{};
        while (engine::GetNextRecord(cursor, &record) == err::Ok) {
            if (std::string(record.type) == "STANDARD" && std::string(record.name) != "TempDB") {
                offered.push_back(record.name);
            }
        }
        platform::Check(engine::CloseCursor(&cursor));
        return offered;
    }

    void SelectAlias(const std::string& alias) {
        db_.SetConnected(false);
        if (session_.IsAlias("Mendrix")) {
            session_.DeleteAlias("Mendrix");
        }
        db_.SetAliasName(alias);
        session_.GetTableNames("TempDB", "*.*", true, false, tableList_);
        db_.SetConnected(true);
        path_ = db_.Directory();
    }

    void SelectPath(const std::string& path) {
        db_.SetConnected(false);
        session_.SetConfigMode(platform::cfmSession);
        if (session_.IsAlias("Mendrix")) {
            session_.DeleteAlias("Mendrix");
        }
        try {
            session_.AddStandardAlias("Mendrix", path, "PARADOX");
        } catch (...) {
            session_.SetConfigMode(platform::cmAll);
            throw;
        }
        session_.SetConfigMode(platform::cmAll);
        db_.SetAliasName("Mendrix");
        db_.SetConnected(true);
        session_.GetTableNames("TempDB", "*.*", true, false, tableList_);
        path_ = db_.Directory();
    }

    testsupport::TempDir dir_;
    std::unique_ptr<enginetest::ScopedConfig> config_;
    platform::TSession session_{"TempSession"};
    platform::TDatabase db_{session_, "TempDB"};
    platform::TTable table_{db_};
    std::vector<std::string> tableList_;
    std::string path_;
};

TEST_F(SelectionFlow, AliasThenPathThenAliasAgain) {
    ASSERT_THAT(OfferedAliases(), ElementsAre("FIRST"));
    SelectAlias("FIRST");
    EXPECT_THAT(tableList_, ElementsAre("ORDERS.DB"));
    EXPECT_EQ(path_, (dir_ / "first").string());

    SelectPath((dir_ / "picked").string() + "/");
    EXPECT_THAT(tableList_, ElementsAre("NOTES.DB"));
    EXPECT_EQ(path_, (dir_ / "picked").string() + "/");
    EXPECT_EQ(db_.AliasName(), "Mendrix");
    // The repair engine finds the directory through the database description.
    engine::DatabaseRecord description{};
    platform::Check(engine::GetDatabaseDesc("Mendrix", &description));
    EXPECT_EQ(std::string(description.path) + "/" + "NOTES.DB",
              (dir_ / "picked").string() + "//NOTES.DB");

    SelectAlias("FIRST");
    EXPECT_FALSE(session_.IsAlias("Mendrix"));
    EXPECT_THAT(tableList_, ElementsAre("ORDERS.DB"));
}

TEST_F(SelectionFlow, FailedPathSelectionLeavesWhatTheCompletedStepsLeft) {
    SelectAlias("FIRST");
    EXPECT_THROW(SelectPath((dir_ / "absent").string()), platform::EDBEngineError);
    EXPECT_FALSE(db_.Connected());
    EXPECT_EQ(db_.AliasName(), "Mendrix");
    EXPECT_TRUE(session_.IsAlias("Mendrix"));
    EXPECT_EQ(session_.ConfigMode(), platform::cmAll);
    EXPECT_THAT(tableList_, ElementsAre("ORDERS.DB"));
}

TEST_F(SelectionFlow, CheckAndRepairOpensEachTableOncePerIndex) {
    SelectAlias("FIRST");
    table_.SetExclusive(true);
    std::vector<std::string> opened;
    for (const auto& name : tableList_) {
        table_.SetTableName(name);
        table_.IndexDefs().Update();
        for (int i = 0; i < table_.IndexDefs().Count(); ++i) {
            table_.SetIndexName(table_.IndexDefs()[i].Name());
            table_.Open();
            opened.push_back(name + " " + table_.IndexName());
            table_.Close();
        }
    }
    EXPECT_THAT(opened, ElementsAre("ORDERS.DB Primary", "ORDERS.DB City"));
    // A damaged index fails with the engine's error, naming the index the run reports.
    std::filesystem::remove(dir_ / "first" / "ORDERS.Y03");
    table_.SetIndexName("City");
    try {
        table_.Open();
        FAIL();
    } catch (const platform::EDBEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), err::IndexMissing);
        EXPECT_EQ("Error opening table with index: " + table_.IndexName(),
                  "Error opening table with index: City");
    }
}

} // namespace
