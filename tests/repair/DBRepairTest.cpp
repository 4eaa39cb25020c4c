#include "repair/DBRepair.h"

#include "RepairTestSupport.h"
#include "engine/ErrorCodes.h"
#include "engine/FaultHook.h"
#include "platform/DBErrors.h"
#include "platform/ProgressCallback.h"
#include "support/Corpus.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
namespace err = engine::err;
using repair::TqzDBRepair;
using repairtest::RecordedLibrary;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class DBRepair : public repairtest::RepairFixture {
protected:
    // After every operation, also a failing one: the default arrow, no callback left.
    void ExpectCleanedUp() {
        EXPECT_FALSE(toolkit.hourglass);
        EXPECT_EQ(toolkit.hourglassCount, toolkit.defaultCursorCount);
        EXPECT_FALSE(platform::ProgressCallbackRegistered());
    }
    // The index of the keyed table made unusable, as the engine refuses it on open.
    void DamageCityIndex(const std::string& stem) {
        enginetest::PatchBytes(Table(stem + ".X03"), 0x06, {0x10, 0x00, 0x00, 0x00});
    }
};

TEST_F(DBRepair, VerifyGivesTheVerdictWithTheBarsMovedOnTheJoinedPath) {
    enginetest::WriteKeyedTable(DataDir(), "ORDERS", 50);
    RecordedLibrary library;
    std::string verdict = "stale";
    {
        TqzDBRepair engine;
        engine.VerifyTable("DATA", "ORDERS.DB", verdict);
        EXPECT_EQ(verdict, repair::verdict::kNoErrors);
        EXPECT_TRUE(library.log.callbackDuringVerify);
        ExpectCleanedUp();

        engine.VerifyTable("SLASHED", "ORDERS.DB", verdict); // directory ends in "/"
        EXPECT_EQ(verdict, repair::verdict::kNoErrors);
        DamageCityIndex("ORDERS");
        engine.VerifyTable("DATA", "ORDERS.DB", verdict);
        EXPECT_EQ(verdict, repair::verdict::kCompleted);
    }
    EXPECT_THAT(library.log.verifyPaths,
                ElementsAre(DataDir().string() + "/ORDERS.DB", DataDir().string() + "//ORDERS.DB",
                            DataDir().string() + "/ORDERS.DB"));
    EXPECT_EQ(library.log.inits, 4) << "three operations open four sessions";
    EXPECT_EQ(library.log.exits, 4);
    std::set<repair::TableStatusBar> moved;
    for (const auto& [bar, position] : bars.moves) {
        moved.insert(bar);
    }
    EXPECT_EQ(moved, (std::set<repair::TableStatusBar>{repair::TableStatusBar::Header,
                                                       repair::TableStatusBar::Indexes,
                                                       repair::TableStatusBar::Data}));
    EXPECT_EQ(library.log.rebuilds, 0) << "a verify never rebuilds";
}

TEST_F(DBRepair, VerifyStatusesAndAFailedVerifyCallGiveTheirVerdicts) {
    enginetest::WritePlainTable(DataDir(), "NOTES", 5);
    RecordedLibrary library;
    TqzDBRepair engine;
    std::string verdict;
    const std::pair<std::uint32_t, std::string> expected[] = {
        {0, repair::verdict::kNoErrors},
        {1, repair::verdict::kCompleted},
        {2, repair::verdict::kNotCompleted},
        {3, repair::verdict::kRebuildManually},
        {4, repair::verdict::kCannotRebuild},
        {5, repair::verdict::kVerifyUnsuccessful},
        {0x80000000u, repair::verdict::kVerifyUnsuccessful},
        {0x80000001u, repair::verdict::kVerifyUnsuccessful}};
    for (const auto& [status, text] : expected) {
        library.log.verifyStatus = status;
        engine.VerifyTable("DATA", "NOTES.DB", verdict);
        EXPECT_EQ(verdict, text) << status;
    }

    library.log.verifyStatus.reset();
    EXPECT_NO_THROW(engine.VerifyTable("DATA", "GHOST.DB", verdict));
    EXPECT_THAT(verdict, StartsWith("Verification unsuccessful. "));
    EXPECT_THAT(verdict, HasSubstr("GHOST.DB")) << "the library's reason is carried";
    ExpectCleanedUp();
}

TEST_F(DBRepair, RebuildRepairsTheTableWithWorkNamesFromTheStem) {
    enginetest::WriteKeyedTable(DataDir(), "A.B", 40);
    DamageCityIndex("A.B");
    RecordedLibrary library;
    TqzDBRepair engine;
    std::string verdict;
    engine.RebuildTable("DATA", "A.B.DB", verdict);
    EXPECT_EQ(verdict, repair::verdict::kRebuildSuccessful);
    EXPECT_THAT(library.log.rebuildNames,
                ElementsAre("A.B-BACKUP.DB", "A.B-KEYVIOL.DB", "A.B-PROBLEM.DB"));
    const CRTblDesc& desc = library.log.rebuildDesc;
    EXPECT_STREQ(desc.tableName, (DataDir() / "A.B.DB").c_str());
    EXPECT_STREQ(desc.tableType, "PARADOX");
    EXPECT_STREQ(desc.errorTableName, "Rebuild.DB");
    EXPECT_EQ(desc.fieldCount, 4);
    EXPECT_NE(desc.fields, nullptr);
    EXPECT_EQ(desc.security, nullptr);
    EXPECT_TRUE(fs::exists(Table("A.B-BACKUP.DB")));
    ExpectCleanedUp();

    engine.VerifyTable("DATA", "A.B.DB", verdict);
    EXPECT_EQ(verdict, repair::verdict::kNoErrors);
    EXPECT_TRUE(std::any_of(bars.moves.begin(), bars.moves.end(), [](const auto& move) {
        return move.first == repair::TableStatusBar::Rebuild;
    }));

    library.log.verifyStatus = 0; // the library is only asked for the names
    library.log.zeroCounts = true;
    library.log.rebuildResult = 0;
    engine.RebuildTable("DATA", "ORDERS", verdict);
    EXPECT_THAT(library.log.rebuildNames,
                ElementsAre("ORDERS-BACKUP.DB", "ORDERS-KEYVIOL.DB", "ORDERS-PROBLEM.DB"));
}

TEST_F(DBRepair, RebuildGoesOnPastStatusFourAndZeroCounts) {
    enginetest::WritePlainTable(DataDir(), "ORDERS", 5);
    RecordedLibrary library;
    TqzDBRepair engine;
    std::string verdict;
    library.log.verifyStatus = 4;
    library.log.zeroCounts = true;
    library.log.rebuildResult = 0;
    engine.RebuildTable("DATA", "ORDERS.DB", verdict);
    EXPECT_EQ(library.log.fills, 1);
    EXPECT_EQ(library.log.rebuilds, 1);
    EXPECT_EQ(verdict, repair::verdict::kRebuildSuccessful);
    const CRTblDesc& desc = library.log.rebuildDesc;
    EXPECT_EQ(desc.fieldCount + desc.indexCount + desc.securityCount + desc.validityCount +
                  desc.refIntegrityCount + desc.optionalParamCount,
              0);
    EXPECT_TRUE(desc.fields == nullptr && desc.indexes == nullptr && desc.security == nullptr &&
                desc.validityChecks == nullptr && desc.refIntegrity == nullptr &&
                desc.optionalParams == nullptr && desc.optionalData == nullptr);

    // The library's reason follows the verdict.
    library.log.rebuildResult = err::UtilityRebuildFailed;
    engine.RebuildTable("DATA", "ORDERS.DB", verdict);
    EXPECT_EQ(verdict, std::string(repair::verdict::kRebuildUnsuccessful) + " " +
                           engine::DescribeError(err::UtilityRebuildFailed));
    EXPECT_TRUE(toolkit.boxes.empty());
    ExpectCleanedUp();
}

// A protected table is verified and rebuilt without its password and stays protected with the
// same stored key; one whose key no search finds is left untouched.
TEST_F(DBRepair, EncryptedTableIsRebuiltWithItsKeyUnlessNoKeyFits) {
    MENDRIX_NEEDS_CORPUS();
    const fs::path db = enginetest::CopyFamily(
        testsupport::CorpusDir() / "leonhad-paradoxdriver" / "encrypt" / "encrypted.db", DataDir());
    const std::string before = testsupport::ReadFileBytes(db);
    TqzDBRepair engine;
    std::string verdict;
    engine.VerifyTable("DATA", "encrypted.db", verdict);
    EXPECT_EQ(verdict, repair::verdict::kNoErrors);
    engine.RebuildTable("DATA", "encrypted.db", verdict);
    EXPECT_EQ(verdict, repair::verdict::kRebuildSuccessful);
    EXPECT_EQ(testsupport::ReadFileBytes(Table("encrypted-BACKUP.db")), before);
    const std::string after = testsupport::ReadFileBytes(db);
    ASSERT_GT(after.size(), 0x60u);
    EXPECT_EQ(after.substr(0x25, 4), before.substr(0x25, 4));
    EXPECT_EQ(after.substr(0x5C, 4), before.substr(0x5C, 4)); // the stored key
    engine.VerifyTable("DATA", "encrypted.db", verdict);
    EXPECT_EQ(verdict, repair::verdict::kNoErrors);
    ExpectCleanedUp();

    // Key damaged and block 1 garbled: no key decrypts the table.
    std::string lost = before;
    const std::size_t blockStart =
        static_cast<std::uint8_t>(lost[2]) | (static_cast<std::uint8_t>(lost[3]) << 8);
    for (std::size_t i = 0; i < 256; ++i) {
        lost[blockStart + i] = static_cast<char>(0xA5 ^ (i * 29));
    }
    lost[0x5C] = static_cast<char>(lost[0x5C] ^ 0x21);
    testsupport::WriteFileBytes(Table("LOST.DB"), lost);
    engine.VerifyTable("DATA", "LOST.DB", verdict);
    EXPECT_EQ(verdict, repair::verdict::kCannotRebuild);
    engine.RebuildTable("DATA", "LOST.DB", verdict);
    EXPECT_THAT(verdict, StartsWith("Rebuild was not successful. "));
    EXPECT_THAT(verdict, HasSubstr("encrypted"));
    EXPECT_EQ(testsupport::ReadFileBytes(Table("LOST.DB")), lost);
    EXPECT_FALSE(fs::exists(Table("LOST-BACKUP.DB")));
    EXPECT_FALSE(fs::exists(Table("LOST-BACKUP.db")));
    ExpectCleanedUp();
}

// A rebuild that would lose records is refused in the window: the verdict's reason says how
// many and names the way forward, and the table is left as it was.
TEST_F(DBRepair, ARebuildThatWouldLoseRecordsIsRefusedWithTheWayForward) {
    MENDRIX_NEEDS_CORPUS();
    const fs::path db = enginetest::CopyFamily(
        testsupport::CorpusDir() / "leonhad-paradoxdriver" / "db" / "CUSTOMER.DB", DataDir());
    std::string bytes = testsupport::ReadFileBytes(db);
    const std::size_t headerSize = static_cast<std::uint8_t>(bytes[2]) |
                                   static_cast<std::size_t>(static_cast<std::uint8_t>(bytes[3]))
                                       << 8;
    const std::size_t blockSize = static_cast<std::uint8_t>(bytes[5]) * std::size_t{1024};
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(headerSize + blockSize), blockSize,
                '\0'); // data block 2 wiped: its records cannot be read
    testsupport::WriteFileBytes(db, bytes);
    TqzDBRepair engine;
    std::string verdict;
    engine.RebuildTable("DATA", "CUSTOMER.DB", verdict);
    EXPECT_THAT(verdict, StartsWith("Rebuild was not successful. "));
    EXPECT_THAT(verdict, HasSubstr("of at most 20 records"));
    EXPECT_THAT(verdict, HasSubstr("mendrix-cli rebuild --accept-loss"));
    EXPECT_EQ(testsupport::ReadFileBytes(db), bytes);
    EXPECT_FALSE(fs::exists(Table("CUSTOMER-BACKUP.DB")));
    ExpectCleanedUp();
}

TEST_F(DBRepair, RebuildFailuresBeforeTheRebuildCallStopItCleanly) {
    enginetest::WritePlainTable(DataDir(), "ORDERS", 5);
    RecordedLibrary library;
    TqzDBRepair engine;
    std::string verdict;

    try {
        engine.RebuildTable("DATA", "GHOST.DB", verdict);
        ADD_FAILURE() << "a failing verify call must raise";
    } catch (const platform::EDBEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), err::TableMissing);
        EXPECT_THAT(e.what(), HasSubstr("GHOST.DB"));
    }
    EXPECT_EQ(verdict, "");
    ExpectCleanedUp();

    library.log.failCount = err::HeaderCorrupt;
    engine.RebuildTable("DATA", "ORDERS.DB", verdict);
    EXPECT_THAT(verdict, StartsWith("Rebuild was not successful."));
    EXPECT_EQ(library.log.fills, 0);
    EXPECT_TRUE(toolkit.boxes.empty());

    library.log.failCount.reset();
    library.log.failFill = err::UtilityDescriptorMismatch;
    engine.RebuildTable("DATA", "ORDERS.DB", verdict);
    EXPECT_THAT(verdict, StartsWith("Rebuild was not successful."));
    ASSERT_EQ(toolkit.boxes.size(), 1u);
    EXPECT_EQ(toolkit.boxes[0].icon, platform::BoxIcon::Error);
    EXPECT_EQ(toolkit.boxes[0].text, "Error Filling table structure");
    EXPECT_EQ(library.log.rebuilds, 0);
    ExpectCleanedUp();
}

TEST_F(DBRepair, EngineAndSessionFailuresRaiseWithTheSessionsBalanced) {
    enginetest::WritePlainTable(DataDir(), "ORDERS", 5);
    RecordedLibrary library;
    std::string verdict;
    int exitsBeforeDestruction = -1;
    {
        TqzDBRepair engine;
        {
            const engine::ScopedFault fault(engine::op::GetDatabaseDesc, err::UnknownAlias, 1);
            EXPECT_THROW(engine.VerifyTable("DATA", "ORDERS.DB", verdict),
                         platform::EDBEngineError);
        }
        EXPECT_EQ(library.log.inits, 1) << "the session is not touched";
        ExpectCleanedUp();

        {
            const engine::ScopedFault fault(engine::op::RegisterCallback, err::InvalidCallback, 1);
            EXPECT_THROW(engine.RebuildTable("DATA", "ORDERS.DB", verdict),
                         platform::EDBEngineError);
        }
        EXPECT_EQ(library.log.verifies, 0);
        ExpectCleanedUp();

        library.log.failExit = err::UtilityInvalidSession;
        EXPECT_THROW(engine.VerifyTable("DATA", "ORDERS.DB", verdict), platform::EDBEngineError);
        EXPECT_EQ(library.log.verifies, 0);
        ExpectCleanedUp();
        library.log.failExit = 0;

        library.log.failInit = err::UtilityTooManySessions;
        EXPECT_THROW(engine.RebuildTable("DATA", "ORDERS.DB", verdict), platform::EDBEngineError);
        ExpectCleanedUp();
        library.log.failInit = 0;
        exitsBeforeDestruction = library.log.exits;
    }
    EXPECT_EQ(library.log.exits, exitsBeforeDestruction)
        << "nothing to close after the failed open, and nothing thrown";
}

TEST_F(DBRepair, TablePathLongerThanTheDescriptorHoldsIsRefused) {
    const std::string longName(300 - DataDir().string().size(), 'N');
    RecordedLibrary library;
    TqzDBRepair engine;
    std::string verdict;
    try {
        engine.RebuildTable("DATA", longName + ".DB", verdict);
        ADD_FAILURE() << "a path that does not fit must be refused";
    } catch (const platform::EDBEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), err::PathTooLong);
        EXPECT_THAT(e.what(), HasSubstr("at most 260"));
    }
    EXPECT_EQ(library.log.verifies, 0);
    ExpectCleanedUp();
}

} // namespace
