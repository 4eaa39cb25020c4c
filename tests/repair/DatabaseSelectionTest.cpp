#include "repair/DatabaseSelection.h"

#include "RepairTestSupport.h"
#include "engine/FileNames.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

class DatabaseSelection : public repairtest::RepairFixture {};

// The one selection the window and the batch program make: a directory through the session's
// own alias (an earlier one replaced), a configured alias, or just the tables named; the list
// leaves out the work tables a rebuild left.
TEST_F(DatabaseSelection, DirectoryAliasOrNamedTablesGiveTheRunsTableListAndLine) {
    enginetest::WriteKeyedTable(DataDir(), "ORDERS", 5);
    enginetest::WritePlainTable(DataDir(), "NOTES", 2);
    fs::copy_file(Table("NOTES.DB"),
                  Table(engine::WorkTableFileName("ORDERS", engine::WorkTableKind::Backup)));
    const fs::path other = DataDir().parent_path() / "other";
    fs::create_directories(other);
    enginetest::WritePlainTable(other, "STOCK", 2);

    repair::DatabaseChoice byDirectory;
    byDirectory.byDirectory = true;
    byDirectory.directory = other;
    repair::SelectDatabase(*session, *database, byDirectory);
    byDirectory.directory = DataDir();
    const repair::SelectedDatabase first = repair::SelectDatabase(*session, *database, byDirectory);
    EXPECT_EQ(first.aliasName, repair::kDirectoryAlias);
    EXPECT_EQ(fs::path(first.directory), DataDir());
    EXPECT_THAT(first.tables, ElementsAre("NOTES.DB", "ORDERS.DB"));
    EXPECT_EQ(first.selectionLine, "DB path set to: " + first.directory.string());
    EXPECT_TRUE(database->Connected());

    repair::DatabaseChoice byAlias;
    byAlias.aliasName = "DATA";
    byAlias.onlyTables = std::vector<std::string>{"ORDERS.DB"};
    const repair::SelectedDatabase second = repair::SelectDatabase(*session, *database, byAlias);
    EXPECT_EQ(second.aliasName, "DATA");
    EXPECT_THAT(second.tables, ElementsAre("ORDERS.DB"));
    EXPECT_EQ(second.selectionLine, "Alias set to: DATA");
    EXPECT_FALSE(session->IsAlias(repair::kDirectoryAlias)) << "the directory alias is gone";
}

} // namespace
