#include "repair/RepairRun.h"

#include "RepairTestSupport.h"
#include "engine/ErrorCodes.h"
#include "engine/FaultHook.h"
#include "platform/DBErrors.h"
#include "repair/DBRepair.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
namespace err = engine::err;
using repair::roCheckAndRepair;
using repair::roRebuild;
using repair::roVerify;
using repair::TRepairOperation;
using repairtest::RecordedLibrary;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// The window as the run sees it. A Cancel click is delivered at the event point numbered
// `cancelAtPump` (0 is the one before the repair engine is made), if the button is enabled.
class FakeView : public repair::RepairRunView {
public:
    explicit FakeView(platform::TTable& table) : table_(&table) {}

    void AppendMessage(const std::string& line) override { pane.push_back(line); }
    void ClearMessages() override { pane.clear(); }
    std::vector<std::string> MessageLines() const override { return pane; }
    void SetGaugeMax(int maximum) override { gaugeMax = maximum; }
    void SetGaugePosition(int position) override { gaugePosition = position; }
    int GaugePosition() const override { return gaugePosition; }
    void ResetProgressBars() override { ++barResets; }
    bool CancelRequested() const override { return cancelRequested; }
    void ClearCancelRequest() override { cancelRequested = false; }
    void SetCancelEnabled(bool enabled) override {
        cancelEnabled = enabled;
        cancelStates.push_back(enabled);
    }
    void ProcessPendingEvents() override {
        if (pumps++ == cancelAtPump && cancelEnabled) {
            cancelRequested = true; // btnCancelClick
            SetCancelEnabled(false);
        }
    }
    const std::vector<std::string>& TableList() const override { return tables; }
    platform::TTable& TempTable() override { return *table_; }
    std::string DatabaseAliasName() const override { return "DATA"; }
    void AppendLogLine(const std::string& line) override { log.push_back(line); }
    void TableFinished(const platform::TableResult& result) override { results.push_back(result); }

    std::vector<std::string> tables;
    std::vector<platform::TableResult> results;
    std::vector<std::string> pane;
    std::vector<std::string> log;
    std::vector<bool> cancelStates;
    int gaugeMax = -1;
    int gaugePosition = -1;
    int barResets = 0;
    int pumps = 0;
    int cancelAtPump = -1;
    bool cancelRequested = false;
    bool cancelEnabled = false;

private:
    platform::TTable* table_;
};

repair::LocalDateTime At(int hour, int minute, int second) {
    return {2026, 2, 7, hour, minute, second};
}

class RepairRun : public repairtest::RepairFixture {
protected:
    RepairRun() : view(*table) {}

    // Runs as a run button does, with a clock that gives 9:00:00 then 9:00:01.
    void Run(TRepairOperation operation) {
        int tick = 0;
        repair::RunRepairOperation(operation, view, [&] { return At(9, 0, tick++); });
    }
    std::vector<std::string> Pane() const { return view.pane; }

    static constexpr const char* kStart = "2/7/2026 9:00:00a";
    static constexpr const char* kEnd = "2/7/2026 9:00:01a";
    FakeView view;
};

std::string Warning(const std::string& tableName) {
    return repair::CannotRebuildWarning(tableName);
}

TEST_F(RepairRun, EmptyListMakesAndFreesTheEngineAndWritesOnlyStartAndEnd) {
    RecordedLibrary library;
    view.pane = {"Alias set to: DATA"};
    Run(roVerify);
    EXPECT_THAT(Pane(), ElementsAre(std::string("Verify started. ") + kStart,
                                    std::string("Verify complete. ") + kEnd));
    EXPECT_EQ(view.log, Pane());
    EXPECT_EQ(view.gaugeMax, 0);
    EXPECT_EQ(view.gaugePosition, 0);
    EXPECT_EQ(view.cancelStates, (std::vector<bool>{true, false}));
    EXPECT_EQ(library.log.inits, 1);
    EXPECT_EQ(library.log.exits, 1);
}

TEST_F(RepairRun, CheckAndRepairOverHealthyTablesOpensEachAndRepairsNothing) {
    enginetest::WriteKeyedTable(DataDir(), "ORDERS", 30);
    enginetest::WritePlainTable(DataDir(), "NOTES", 5); // no index definitions
    view.tables = {"NOTES.DB", "ORDERS.DB"};
    RecordedLibrary library;
    Run(roCheckAndRepair);
    EXPECT_THAT(Pane(),
                ElementsAre(std::string("Check & Repair started. ") + kStart, "Checking NOTES.DB",
                            "Checking ORDERS.DB", std::string("Check & Repair complete. ") + kEnd));
    EXPECT_EQ(library.log.verifies, 0);
    EXPECT_EQ(library.log.inits, 1) << "one engine for the whole run";
    EXPECT_EQ(view.gaugeMax, 2);
    EXPECT_EQ(view.gaugePosition, 2);
    EXPECT_EQ(view.barResets, 2);
    EXPECT_FALSE(table->Active());
    EXPECT_EQ(table->IndexName(), "City") << "the last index tried was the second";
}

TEST_F(RepairRun, CheckAndRepairRebuildsATableWhoseSecondIndexFailsAndGoesOn) {
    enginetest::WriteKeyedTable(DataDir(), "ORDERS", 30);
    enginetest::WriteKeyedTable(DataDir(), "PARTS", 10);
    enginetest::PatchBytes(Table("ORDERS.X03"), 0x06, {0x10, 0x00, 0x00, 0x00});
    view.tables = {"ORDERS.DB", "PARTS.DB"};
    Run(roCheckAndRepair);
    EXPECT_THAT(Pane(),
                ElementsAre(std::string("Check & Repair started. ") + kStart, "Checking ORDERS.DB",
                            "Error opening table with index: City ...attempting repair.",
                            "Rebuild was successful.", "Table opened successfully after repair.",
                            "Checking PARTS.DB", std::string("Check & Repair complete. ") + kEnd));
    EXPECT_TRUE(fs::exists(Table("ORDERS-BACKUP.DB")));
    EXPECT_FALSE(fs::exists(Table("PARTS-BACKUP.DB")));
    EXPECT_FALSE(table->Active());
}

// Each table's result says what its steps learned, the work tables named as the rebuild wrote
// them (an earlier run's problem table is not this run's); a dry run learns the same of the
// open test and the verify and changes nothing.
TEST_F(RepairRun, EachTableResultReachesTheViewWithWhatItsStepsLearned) {
    enginetest::WriteKeyedTable(DataDir(), "ORDERS", 30);
    enginetest::WriteKeyedTable(DataDir(), "PARTS", 10);
    enginetest::PatchBytes(Table("ORDERS.X03"), 0x06, {0x10, 0x00, 0x00, 0x00});
    fs::copy_file(Table("PARTS.DB"), Table("ORDERS-PROBLEM.DB")); // an earlier rebuild's
    view.tables = {"ORDERS.DB", "PARTS.DB"};

    const auto before = fs::last_write_time(Table("ORDERS.DB"));
    repair::RunOnAllTables(roCheckAndRepair, view, repair::RunMode::DryRun);
    ASSERT_EQ(view.results.size(), 2u);
    const platform::TableResult& looked = view.results[0];
    EXPECT_TRUE(looked.open.failed);
    EXPECT_EQ(looked.open.index, "City");
    ASSERT_TRUE(looked.verify.status.has_value());
    EXPECT_FALSE(looked.verify.findings.empty());
    EXPECT_FALSE(looked.rebuild.ran);
    EXPECT_THAT(looked.lines,
                ElementsAre("Checking ORDERS.DB", StartsWith("Does not open with index: City ("),
                            looked.verify.verdict));
    EXPECT_FALSE(fs::exists(Table("ORDERS-BACKUP.DB")));
    EXPECT_EQ(fs::last_write_time(Table("ORDERS.DB")), before);

    view.results.clear();
    Run(roCheckAndRepair);
    ASSERT_EQ(view.results.size(), 2u);
    const platform::TableResult& orders = view.results[0];
    EXPECT_EQ(orders.name, "ORDERS.DB");
    EXPECT_TRUE(orders.open.failed);
    EXPECT_EQ(orders.open.index, "City");
    EXPECT_EQ(orders.verify.findings.size(), looked.verify.findings.size());
    EXPECT_EQ(orders.verify.findings[0].code, looked.verify.findings[0].code);
    EXPECT_EQ(orders.rebuild.result, 0);
    EXPECT_EQ(orders.rebuild.recordsWritten, 30u);
    EXPECT_EQ(orders.rebuild.backupTable, Table("ORDERS-BACKUP.DB"));
    EXPECT_TRUE(orders.rebuild.problemTable.empty()) << orders.rebuild.problemTable;
    EXPECT_TRUE(orders.rebuild.keyViolationTable.empty());
    EXPECT_TRUE(orders.reopened);
    EXPECT_EQ(orders.verdict, "Rebuild was successful.");
    const std::vector<std::string> pane = Pane();
    ASSERT_GE(pane.size(), 5u);
    EXPECT_EQ(orders.lines, std::vector<std::string>(pane.begin() + 1, pane.begin() + 5));
    const platform::TableResult& parts = view.results[1];
    EXPECT_TRUE(parts.open.tried);
    EXPECT_FALSE(parts.open.failed);
    EXPECT_FALSE(parts.verify.ran);
    EXPECT_THAT(parts.lines, ElementsAre("Checking PARTS.DB"));
}

TEST_F(RepairRun, TableThatStillFailsAfterTheRebuildAbortsWithTheWarning) {
    enginetest::WriteKeyedTable(DataDir(), "ORDERS", 30);
    enginetest::WriteKeyedTable(DataDir(), "PARTS", 10);
    view.tables = {"ORDERS.DB", "PARTS.DB"};
    const engine::ScopedFault busy(engine::op::OpenTable, err::TableInUse);
    try {
        Run(roCheckAndRepair);
        ADD_FAILURE() << "the run must end with the failure";
    } catch (const platform::EDBEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), err::TableInUse);
    }
    EXPECT_THAT(Pane(),
                ElementsAre(std::string("Check & Repair started. ") + kStart, "Checking ORDERS.DB",
                            "Error opening table with index: Primary ...attempting repair.",
                            "Rebuild was successful.", "Aborted due to error",
                            "Table is in use: OpenTable (injected fault)"));
    EXPECT_EQ(view.log, Pane());
    ASSERT_EQ(toolkit.boxes.size(), 1u);
    EXPECT_EQ(toolkit.boxes[0].icon, platform::BoxIcon::Warning);
    EXPECT_EQ(toolkit.boxes[0].caption, "Warning");
    EXPECT_EQ(toolkit.boxes[0].text,
              "Table ORDERS.DB could not be rebuilt. The most likely cause is that the table is "
              "in use by another client or application. Check to make sure no other clients are "
              "connected to the database and try again.");
    EXPECT_FALSE(view.cancelEnabled);
}

TEST_F(RepairRun, FailedIndexReadNamesNoIndexOfThePreviousTable) {
    enginetest::WriteKeyedTable(DataDir(), "ORDERS", 30);
    // A table header's first bytes, then junk.
    testsupport::WriteFileBytes(Table("ZJUNK.DB"),
                                testsupport::ReadFileBytes(Table("ORDERS.DB")).substr(0, 6) +
                                    std::string(594, 'z'));
    view.tables = {"ORDERS.DB", "ZJUNK.DB"};
    EXPECT_THROW(Run(roCheckAndRepair), platform::EDBEngineError);
    EXPECT_THAT(Pane(), ElementsAre(std::string("Check & Repair started. ") + kStart,
                                    "Checking ORDERS.DB", "Checking ZJUNK.DB",
                                    "Error opening table with index:  ...attempting repair.",
                                    StartsWith("Rebuild was not successful. "),
                                    "Aborted due to error", HasSubstr("ZJUNK.DB")));
    ASSERT_EQ(toolkit.boxes.size(), 1u);
    EXPECT_EQ(toolkit.boxes[0].text, Warning("ZJUNK.DB"));
}

TEST_F(RepairRun, RebuildAllRebuildsEveryTableAndAbortsOnOneItCannotRebuild) {
    enginetest::WriteKeyedTable(DataDir(), "ORDERS", 30);
    enginetest::WritePlainTable(DataDir(), "ZZLAST", 5);
    view.tables = {"ORDERS.DB", "GONE.DB", "ZZLAST.DB"}; // GONE.DB removed since the listing
    try {
        Run(roRebuild);
        ADD_FAILURE() << "the run must end with the failure";
    } catch (const platform::EDBEngineError& e) {
        EXPECT_THAT(e.what(), HasSubstr("GONE.DB")) << "the library's reason is carried";
    }
    EXPECT_THAT(Pane(), ElementsAre(std::string("Rebuild started. ") + kStart, "ORDERS.DB",
                                    "Rebuild was successful.", "GONE.DB", "Aborted due to error",
                                    HasSubstr("GONE.DB")));
    EXPECT_EQ(view.log, Pane());
    ASSERT_EQ(toolkit.boxes.size(), 1u);
    EXPECT_EQ(toolkit.boxes[0].text, Warning("GONE.DB"));
    EXPECT_TRUE(fs::exists(Table("ORDERS-BACKUP.DB")));
    EXPECT_FALSE(fs::exists(Table("ZZLAST-BACKUP.DB")));
}

TEST_F(RepairRun, VerifyWritesVerdictsAndAnEngineFailureEndsItWithoutWarning) {
    enginetest::WriteKeyedTable(DataDir(), "ORDERS", 30);
    view.tables = {"ORDERS.DB", "GONE.DB"};
    Run(roVerify);
    ASSERT_EQ(Pane().size(), 6u);
    EXPECT_EQ(Pane()[1], "ORDERS.DB");
    EXPECT_EQ(Pane()[2], "Verification Successful. Table has no errors.");
    EXPECT_EQ(Pane()[3], "GONE.DB");
    EXPECT_THAT(Pane()[4], StartsWith("Verification unsuccessful. ")) << "never an empty verdict";
    EXPECT_EQ(Pane()[5], std::string("Verify complete. ") + kEnd);

    const engine::ScopedFault gone(engine::op::GetDatabaseDesc, err::UnknownAlias);
    EXPECT_THROW(Run(roVerify), platform::EDBEngineError);
    EXPECT_THAT(Pane(), ElementsAre(std::string("Verify started. ") + kStart, "ORDERS.DB"));
    EXPECT_TRUE(toolkit.boxes.empty());
    EXPECT_EQ(view.log.size(), 6u + 2u);
}

TEST_F(RepairRun, EngineThatCannotBeMadeEndsTheRunBeforeCancelIsEnabled) {
    view.tables = {"ORDERS.DB"};
    RecordedLibrary library;
    library.log.failInit = err::UtilityTooManySessions;
    EXPECT_THROW(Run(roRebuild), platform::EDBEngineError);
    EXPECT_THAT(Pane(), ElementsAre(std::string("Rebuild started. ") + kStart));
    EXPECT_EQ(std::count(view.cancelStates.begin(), view.cancelStates.end(), true), 0);
    EXPECT_TRUE(toolkit.boxes.empty());
}

// Cancel clicked while table 0 is worked on is handled at the event point of table 1: both
// are finished and the run stops before table 2.
TEST_F(RepairRun, CancelStopsTheRunAfterTheTableInWhichItIsHandled) {
    for (const char* stem : {"T0", "T1", "T2"}) {
        enginetest::WriteKeyedTable(DataDir(), stem, 10);
    }
    struct Case {
        TRepairOperation operation;
        std::vector<std::string> tableLines; // of T0 and T1
        std::string start;
        std::string end;
    };
    const Case cases[] = {
        {roVerify,
         {"T0.DB", repair::verdict::kNoErrors, "T1.DB", repair::verdict::kNoErrors},
         "Verify started. ",
         "Verify complete. "},
        {roRebuild,
         {"T0.DB", repair::verdict::kRebuildSuccessful, "T1.DB",
          repair::verdict::kRebuildSuccessful},
         "Rebuild started. ",
         "Rebuild complete. "},
        {roCheckAndRepair,
         {"Checking T0.DB", "Checking T1.DB"},
         "Check & Repair started. ",
         "Check & Repair complete. "}};
    for (const Case& c : cases) {
        view = FakeView(*table);
        view.tables = {"T0.DB", "T1.DB", "T2.DB"};
        view.cancelAtPump = 2;
        Run(c.operation);
        std::vector<std::string> expected{c.start + kStart};
        expected.insert(expected.end(), c.tableLines.begin(), c.tableLines.end());
        expected.push_back("Operation cancelled by user.");
        expected.push_back(c.end + kEnd);
        EXPECT_EQ(Pane(), expected) << c.start;
        EXPECT_EQ(view.gaugePosition, 2);
        EXPECT_FALSE(view.cancelRequested);
    }

    view = FakeView(*table);
    view.tables = {"T0.DB", "T1.DB", "T2.DB"};
    view.cancelAtPump = 1; // the moment Cancel is enabled
    Run(roCheckAndRepair);
    EXPECT_THAT(Pane(), ElementsAre(std::string("Check & Repair started. ") + kStart,
                                    "Checking T0.DB", "Operation cancelled by user.",
                                    std::string("Check & Repair complete. ") + kEnd));
}

TEST_F(RepairRun, CancelHandledInTheLastTableIsDroppedWhenTheRunEnds) {
    enginetest::WritePlainTable(DataDir(), "T0", 3);
    enginetest::WritePlainTable(DataDir(), "T1", 3);
    view.tables = {"T0.DB", "T1.DB"};
    view.cancelAtPump = 2;
    Run(roCheckAndRepair);
    EXPECT_THAT(Pane(),
                ElementsAre(std::string("Check & Repair started. ") + kStart, "Checking T0.DB",
                            "Checking T1.DB", std::string("Check & Repair complete. ") + kEnd));
    EXPECT_FALSE(view.cancelRequested);

    view.pumps = 0;
    view.cancelAtPump = -1;
    Run(roCheckAndRepair);
    EXPECT_EQ(Pane().size(), 4u) << "the next run visits its tables";
}

TEST_F(RepairRun, TimeStampsUseTheTwelveHourClock) {
    std::vector<repair::LocalDateTime> times{At(0, 30, 0), At(13, 5, 9)};
    std::size_t next = 0;
    repair::RunRepairOperation(roRebuild, view, [&] { return times.at(next++); });
    EXPECT_THAT(Pane(), ElementsAre("Rebuild started. 2/7/2026 12:30:00a",
                                    "Rebuild complete. 2/7/2026 1:05:09p"));
}

} // namespace
