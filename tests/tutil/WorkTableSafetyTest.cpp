// What a verify or a rebuild may touch besides the table itself: earlier work tables are
// kept, error tables go to the session's private directory, tables whose names differ only in
// case stay apart, long table names work, an interrupted swap is recovered only exclusively.
#include "TableFixture.h"
#include "engine/ErrorCodes.h"
#include "engine/RebuildFiles.h"
#include "engine/Session.h"
#include "engine/TableList.h"
#include "engine/TableLock.h"
#include "paradox/TableReader.h"
#include "support/DescribeFindings.h"
#include "support/TempDir.h"
#include "tutil/ErrorTable.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/TableLocation.h"
#include "tutil/UtilityError.h"
#include "tutil/Verify.h"

#include <gtest/gtest.h>
#include <map>

namespace {

namespace fs = std::filesystem;
using paradox::FindingCode;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using namespace tutilfixture;

using Files = std::map<std::string, std::string>;

tutil::RebuildNames Names(const std::string& stem) {
    return {stem + "-BACKUP.DB", stem + "-KEYVIOL.DB", stem + "-PROBLEM.DB", "Rebuild.DB"};
}

// Gives the record after the first of block 1 the first's key.
void DuplicateAKey(const fs::path& db) {
    std::string bytes = ReadFileBytes(db);
    const Layout l = ReadLayout(bytes);
    const std::size_t first = l.BlockOffset(1) + 6;
    bytes.replace(first + l.recordSize, 4, bytes.substr(first, 4));
    WriteFileBytes(db, bytes);
}

// An active engine session with a private directory for one test.
class PrivateSession {
public:
    explicit PrivateSession(const fs::path& dir) : session_(engine::Session::Create("Test")) {
        EXPECT_EQ(session_->SetPrivateDir(dir.string()), engine::err::Ok);
        EXPECT_EQ(session_->Activate(), engine::err::Ok);
    }
    ~PrivateSession() { session_->Deactivate(); }

private:
    std::shared_ptr<engine::Session> session_;
};

std::uint64_t RecordCount(const fs::path& db) {
    paradox::FindingList findings;
    const auto reader = paradox::TableReader::Open(db, findings);
    return reader ? reader->RecordCount() : 0;
}

TEST(WorkTableSafety, ASecondRebuildKeepsWhatTheFirstSetAside) {
    TempDir dir;
    const fs::path db = WriteOrders(dir.path(), 100);
    const auto table = tutil::LocateTable(db.string());
    const auto schema = tutil::ReadTableStructure(table);
    DuplicateAKey(db);
    const std::string damaged = ReadFileBytes(db);

    const auto first = tutil::RebuildTable(table, schema, Names("ORDERS"));
    ASSERT_EQ(first.keyViolations, 1u);
    EXPECT_EQ(first.backupTable, dir / "ORDERS-BACKUP.DB");
    EXPECT_EQ(first.keyViolationTable, dir / "ORDERS-KEYVIOL.DB");
    const std::string setAside = ReadFileBytes(dir / "ORDERS-KEYVIOL.DB");

    // The key violation comes back and is set aside again; nothing earlier is replaced.
    DuplicateAKey(db);
    const auto second = tutil::RebuildTable(table, schema, Names("ORDERS"));
    EXPECT_EQ(second.keyViolations, 1u);
    EXPECT_EQ(second.backupTable, dir / "ORDERS-BACKUP1.DB");
    EXPECT_EQ(second.keyViolationTable, dir / "ORDERS-KEYVIOL1.DB");
    EXPECT_EQ(ReadFileBytes(dir / "ORDERS-BACKUP.DB"), damaged);
    EXPECT_EQ(ReadFileBytes(dir / "ORDERS-KEYVIOL.DB"), setAside);
    EXPECT_EQ(RecordCount(dir / "ORDERS-KEYVIOL1.DB"), 1u);
    EXPECT_EQ(RecordCount(dir / "ORDERS-BACKUP1.DB"), 99u); // the repaired table

    // The numbered work tables are system tables like the first ones.
    std::vector<std::string> tables;
    ASSERT_EQ(engine::ListTables(dir.path().string(), "*.*", true, false, tables), engine::err::Ok);
    EXPECT_EQ(tables, std::vector<std::string>{"ORDERS.DB"});
}

TEST(WorkTableSafety, ErrorTablesGoToThePrivateDirectoryOnly) {
    TempDir dir;
    TempDir priv;
    const fs::path db = WriteOrders(dir.path(), 50);
    // User tables that happen to have the error tables' names.
    for (const char* name : {"VERIFY.DB", "VERIFY.PX", "VERIFY.XG0", "VERIFY.YG0", "rebuild.DB"}) {
        WriteFileBytes(dir / name, std::string("user data of ") + name);
    }
    const Files before = FolderByName(dir.path());
    const auto table = tutil::LocateTable(db.string());
    const auto schema = tutil::ReadTableStructure(table);
    DuplicateAKey(db);

    // Without a private directory nothing is written anywhere but the table's work tables.
    auto outcome = tutil::VerifyTable(table);
    EXPECT_TRUE(tutil::WriteVerifyErrorTable(table, "VERIFY.DB", outcome).empty());
    EXPECT_TRUE(tutil::RebuildTable(table, schema, Names("ORDERS")).errorTable.empty());
    for (const auto& [name, bytes] : before) {
        if (name.rfind("ORDERS", 0) != 0) {
            EXPECT_EQ(ReadFileBytes(dir / name), bytes) << name;
        }
    }

    PrivateSession session(priv.path());
    DuplicateAKey(db);
    const tutil::VerifyOutcome damaged = tutil::VerifyTable(table);
    EXPECT_EQ(tutil::WriteVerifyErrorTable(table, "VERIFY.DB", damaged), priv / "VERIFY.DB");
    EXPECT_GE(RecordCount(priv / "VERIFY.DB"), 1u);
    const auto rebuilt = tutil::RebuildTable(table, schema, Names("ORDERS"));
    EXPECT_EQ(rebuilt.errorTable, priv / "Rebuild.DB");
    EXPECT_GE(RecordCount(priv / "Rebuild.DB"), 1u);
    // A verify that finds nothing writes none and takes the utility's earlier one away, so
    // that it cannot speak for this verify.
    outcome = tutil::VerifyTable(table);
    ASSERT_EQ(outcome.status, tutil::VerifyStatus::Healthy)
        << testsupport::Describe(outcome.findings);
    EXPECT_TRUE(tutil::WriteVerifyErrorTable(table, "VERIFY.DB", outcome).empty());
    EXPECT_FALSE(fs::exists(priv / "VERIFY.DB"));
    for (const auto& [name, bytes] : before) {
        if (name.rfind("ORDERS", 0) != 0) {
            EXPECT_EQ(ReadFileBytes(dir / name), bytes) << name;
        }
    }

    // An earlier error table whose name differs in case is replaced under its own name.
    EXPECT_EQ(tutil::WriteVerifyErrorTable(table, "VERIFY.DB", damaged), priv / "VERIFY.DB");
    EXPECT_EQ(tutil::WriteVerifyErrorTable(table, "verify.db", damaged), priv / "VERIFY.DB");
    EXPECT_FALSE(fs::exists(priv / "verify.db"));

    // A file there that is not an error table is not the utility's to replace or remove.
    WriteFileBytes(priv / "MINE.DB", "not an error table");
    EXPECT_TRUE(tutil::WriteVerifyErrorTable(table, "MINE.DB", damaged).empty());
    EXPECT_TRUE(tutil::WriteVerifyErrorTable(table, "MINE.DB", outcome).empty());
    EXPECT_EQ(ReadFileBytes(priv / "MINE.DB"), "not an error table");
    EXPECT_THROW(tutil::WriteVerifyErrorTable(table, "../VERIFY.DB", outcome), tutil::UtilityError);
}

TEST(WorkTableSafety, TablesWhoseNamesDifferOnlyInCaseStayApart) {
    TempDir dir;
    TempDir other;
    const fs::path upper = WriteOrders(dir.path(), 40);
    WriteOrders(other.path(), 25);
    for (const auto& [name, bytes] : FolderFiles(other.path())) {
        std::string lower = name;
        for (char& c : lower) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        WriteFileBytes(dir / lower, bytes);
    }
    Files lowerFamily;
    for (const auto& [name, bytes] : FolderByName(dir.path())) {
        if (name.rfind("orders.", 0) == 0) {
            lowerFamily[name] = bytes;
        }
    }
    ASSERT_TRUE(lowerFamily.count("orders.db") && lowerFamily.count("orders.px"));

    const auto table = tutil::LocateTable(upper.string());
    const auto verified = tutil::VerifyTable(table);
    EXPECT_EQ(verified.status, tutil::VerifyStatus::Healthy)
        << testsupport::Describe(verified.findings);
    // orders.px and the like could be taken for ORDERS's: they are left out, and reported.
    EXPECT_TRUE(verified.findings.Has(FindingCode::FamilyMemberAmbiguous))
        << testsupport::Describe(verified.findings);
    const auto rebuilt =
        tutil::RebuildTable(table, tutil::ReadTableStructure(table), Names("ORDERS"));
    EXPECT_EQ(rebuilt.recordsWritten, 40u);
    for (const auto& [name, bytes] : lowerFamily) {
        EXPECT_EQ(ReadFileBytes(dir / name), bytes) << name;
    }
    for (const auto& [name, bytes] : FolderByName(dir.path())) {
        if (name.rfind("ORDERS-BACKUP.", 0) == 0) {
            const std::string original = "ORDERS" + name.substr(13);
            EXPECT_TRUE(fs::exists(dir / original)) << name << " is a copy of another table's file";
        }
    }
    const auto lowerTable = tutil::LocateTable((dir / "orders.db").string());
    EXPECT_EQ(lowerTable.stem, "orders");
    EXPECT_EQ(tutil::VerifyTable(lowerTable).status, tutil::VerifyStatus::Healthy);
    EXPECT_EQ(RecordCount(dir / "orders.db"), 25u);
}

TEST(WorkTableSafety, TablesWithLongNamesVerifyAndRebuild) {
    TempDir dir;
    TempDir source;
    WriteOrders(source.path(), 30);
    const std::string stem(240, 'L');
    for (const auto& [name, bytes] : FolderFiles(source.path())) {
        WriteFileBytes(dir / (stem + name.substr(6)), bytes);
    }
    const auto table = tutil::LocateTable((dir / (stem + ".DB")).string());
    EXPECT_EQ(tutil::VerifyTable(table).status, tutil::VerifyStatus::Healthy);
    const auto outcome = tutil::RebuildTable(table, tutil::ReadTableStructure(table), Names(stem));
    EXPECT_EQ(outcome.recordsWritten, 30u);
    EXPECT_EQ(outcome.backupTable, dir / (stem + "-BACKUP.DB"));
    EXPECT_LT(engine::RebuildJournalName(stem).size() + 4, 64u);
}

// Completing or discarding an interrupted swap changes the family, so a verify does it only
// when no one else has the table open, not under a shared lock beside another reader.
TEST(WorkTableSafety, VerifyRecoversAnInterruptedSwapOnlyUnderTheExclusiveLock) {
    TempDir dir;
    const fs::path db = WriteOrders(dir.path(), 20);
    const fs::path staging = engine::RebuildStagingDir(dir.path(), "ORDERS");
    fs::create_directory(staging);
    WriteFileBytes(staging / "ORDERS.DB", "half written");
    const auto table = tutil::LocateTable(db.string());
    {
        std::unique_ptr<engine::TableLock> reader;
        ASSERT_EQ(engine::TableLock::Acquire(db, engine::TableLock::Mode::Shared, reader),
                  engine::err::Ok);
        try {
            tutil::VerifyTable(table);
            ADD_FAILURE() << "verify recovered beside another reader";
        } catch (const tutil::UtilityError& e) {
            EXPECT_EQ(e.Code(), engine::err::TableInUse);
        }
        EXPECT_TRUE(fs::exists(staging / "ORDERS.DB"));
    }
    EXPECT_EQ(tutil::VerifyTable(table).status, tutil::VerifyStatus::Healthy);
    EXPECT_FALSE(fs::exists(staging));
}

} // namespace
