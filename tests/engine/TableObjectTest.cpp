// Table objects as the repair run drives them: index definitions, open on each index, close.
#include "EngineTestSupport.h"
#include "engine/ErrorCodes.h"
#include "platform/DBErrors.h"
#include "platform/Database.h"
#include "platform/Session.h"
#include "platform/Table.h"
#include "support/Corpus.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
namespace err = engine::err;

class TableObjects : public ::testing::Test {
protected:
    void SetUp() override {
        enginetest::WriteKeyedTable(dir_.path(), "ORDERS", 120);
        enginetest::WritePlainTable(dir_.path(), "plain", 10);
        config_ = std::make_unique<enginetest::ScopedConfig>(
            dir_ / "engine.ini", "[DATA]\nPATH=" + dir_.path().string() + "\n");
        session_.Open();
        db_.SetAliasName("DATA");
        db_.Open();
        table_.SetExclusive(true);
    }

    std::vector<std::string> IndexNames() {
        table_.IndexDefs().Update();
        std::vector<std::string> names;
        for (int i = 0; i < table_.IndexDefs().Count(); ++i) {
            names.push_back(table_.IndexDefs()[i].Name());
        }
        return names;
    }

    testsupport::TempDir dir_;
    std::unique_ptr<enginetest::ScopedConfig> config_;
    platform::TSession session_{"TempSession"};
    platform::TDatabase db_{session_, "TempDB"};
    platform::TTable table_{db_};
};

TEST_F(TableObjects, IndexDefinitionsOfKeyedAndUnkeyedTables) {
    MENDRIX_NEEDS_CORPUS();
    table_.SetTableName("ORDERS.DB");
    EXPECT_THAT(IndexNames(), ElementsAre("Primary", "City"));
    EXPECT_TRUE(table_.IndexDefs()[0].Primary());
    EXPECT_EQ(table_.IndexDefs()[0].Fields(), "Code");
    EXPECT_EQ(table_.IndexDefs()[1].Fields(), "City");
    table_.SetTableName("plain.DB");
    EXPECT_TRUE(IndexNames().empty());
    // Composite and single-field secondary indexes of a real table.
    const auto real = testsupport::CorpusDir() / "MedilinkPS-Paradox-Reader" / "testtab.DB";
    enginetest::CopyFamily(real, dir_.path());
    table_.SetTableName("testtab.DB");
    const auto names = IndexNames();
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "Primary");
    EXPECT_FALSE(table_.IndexDefs()[1].Primary());
}

TEST_F(TableObjects, OpenOnEachIndexThenClose) {
    table_.SetTableName("ORDERS.DB");
    table_.IndexDefs().Update();
    for (int i = 0; i < table_.IndexDefs().Count(); ++i) {
        table_.SetIndexName(table_.IndexDefs()[i].Name());
        EXPECT_EQ(table_.IndexName(), table_.IndexDefs()[i].Name());
        table_.SetActive(true);
        EXPECT_TRUE(table_.Active());
        EXPECT_THROW(table_.SetTableName("plain.DB"), platform::EDBEngineError);
        table_.SetActive(false);
        EXPECT_FALSE(table_.Active());
    }
    // Closed means unlocked: a second table object can take the table.
    platform::TTable other(db_);
    other.SetTableName("orders.db"); // a name differing only in case finds the file
    other.SetExclusive(true);
    other.Open();
    EXPECT_EQ(other.TablePath(), dir_.path() / "ORDERS.DB");
    try {
        table_.Open();
        FAIL() << "opened a table held by another table object";
    } catch (const platform::EDBEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), err::TableInUse);
        EXPECT_THAT(e.what(), HasSubstr("Table is in use"));
    }
    other.Close();
    table_.Open();
    table_.Close();
}

TEST_F(TableObjects, DamagedTableFailsWithTheEnginesMessage) {
    table_.SetTableName("ORDERS.DB");
    std::filesystem::remove(dir_ / "ORDERS.Y03");
    table_.IndexDefs().Update();
    table_.SetIndexName("City");
    try {
        table_.SetActive(true);
        FAIL();
    } catch (const platform::EDBEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), err::IndexMissing);
        EXPECT_THAT(e.what(), HasSubstr("Index file does not exist: index City of ORDERS.DB"));
    }
    EXPECT_FALSE(table_.Active());
    table_.SetIndexName("");
    EXPECT_NO_THROW(table_.Open());
}

TEST_F(TableObjects, NamesThatCannotBeOpened) {
    auto code = [&](const std::string& name) -> std::uint16_t {
        table_.SetTableName(name);
        try {
            table_.IndexDefs().Update();
            table_.Open();
            table_.Close();
        } catch (const platform::EDBEngineError& e) {
            return e.ErrorCode();
        }
        return err::Ok;
    };
    EXPECT_EQ(code("ORDERS"), err::Ok); // ".DB" is implied
    EXPECT_EQ(code(""), err::TableNameMissing);
    EXPECT_EQ(code("NOSUCH.DB"), err::TableMissing);
    EXPECT_EQ(code(std::string(300, 'T') + ".DB"), err::PathTooLong);
}

} // namespace
