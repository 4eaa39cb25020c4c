#include "engine/FileNames.h"

#include "engine/TableList.h"

#include <gtest/gtest.h>

namespace {

using engine::WorkTableKind;

// Every work table name the program makes is read back as what it was made from, numbered or
// not, in any case; the names it makes for itself are no tables of the folder.
TEST(FileNames, MadeNamesParseBackAndAreNoTablesOfTheFolder) {
    for (const WorkTableKind kind :
         {WorkTableKind::Backup, WorkTableKind::KeyViolations, WorkTableKind::Problems}) {
        for (const int number : {0, 1, 12, 9999}) {
            const std::string name =
                engine::NumberedStem(engine::WorkTableStem("Orders-2", kind), number) + ".DB";
            for (const std::string& spelled : {name, engine::WorkTableFileName("x", kind)}) {
                SCOPED_TRACE(spelled);
                EXPECT_TRUE(engine::IsSystemTableName(spelled));
            }
            const auto parsed = engine::ParseWorkTableName(name);
            ASSERT_TRUE(parsed.has_value()) << name;
            EXPECT_EQ(parsed->tableStem, "Orders-2");
            EXPECT_EQ(parsed->kind, kind);
            EXPECT_EQ(parsed->number, number);
            EXPECT_EQ(engine::StemNumber(name.substr(0, name.size() - 3),
                                         engine::WorkTableStem("ORDERS-2", kind)),
                      number);
        }
    }
    EXPECT_EQ(engine::WorkTableFileName("ORDERS", WorkTableKind::Backup), "ORDERS-BACKUP.DB");
    EXPECT_EQ(engine::ParseWorkTableName("orders-keyviol7.db")->kind, WorkTableKind::KeyViolations);
    EXPECT_FALSE(engine::ParseWorkTableName("ORDERS.DB").has_value());
    EXPECT_FALSE(engine::ParseWorkTableName("ORDERS-BACKUP.PX").has_value());
    EXPECT_FALSE(engine::StemNumber("ORDERS-BACKUPX", "ORDERS-BACKUP").has_value());
    EXPECT_FALSE(engine::IsSystemTableName("ORDERS.DB"));
    EXPECT_TRUE(engine::IsSystemTableName(std::string("verify.db")));
    EXPECT_TRUE(engine::IsErrorTableName(engine::kRebuildErrorTable));
    EXPECT_TRUE(engine::IsRebuildFileName(engine::RebuildJournalName("ORDERS")));
    EXPECT_EQ(engine::RunLogPath("/opt/m"), engine::PrivateDirectoryIn("/opt/m") / "1Mendrix.log");
}

} // namespace
