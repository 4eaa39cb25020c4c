// Every named engine operation can be made to fail by a test, and the failure reaches the
// program as an engine error with the chosen code.
#include "engine/FaultHook.h"

#include "EngineTestSupport.h"
#include "engine/DatabaseList.h"
#include "engine/ErrorCodes.h"
#include "platform/DBErrors.h"
#include "platform/Database.h"
#include "platform/Session.h"
#include "platform/Table.h"
#include "support/TempDir.h"

#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

constexpr std::uint16_t kInjected = 0x2E42;

TEST(FaultHook, EachOperationFailsWithTheChosenCode) {
    testsupport::TempDir dir;
    enginetest::WriteKeyedTable(dir.path(), "ORDERS", 10);
    enginetest::ScopedConfig config(dir / "engine.ini", "[DATA]\nPATH=" + dir.path().string());
    platform::TSession session("TempSession");
    session.Open();
    platform::TDatabase db(session, "TempDB");
    db.SetAliasName("DATA");
    platform::TTable table(db);
    table.SetTableName("ORDERS.DB");
    std::vector<std::string> list;
    engine::DatabaseRecord record{};
    const std::vector<std::pair<std::string_view, std::function<void()>>> calls = {
        {engine::op::ActivateSession,
         [&] {
             platform::TSession other;
             other.Open();
         }},
        {engine::op::AddAlias, [&] { session.AddStandardAlias("X", "/x", "PARADOX"); }},
        {engine::op::DeleteAlias,
         [&] {
             if (!session.IsAlias("TMP")) {
                 session.AddStandardAlias("TMP", "/t", "PARADOX");
             }
             session.DeleteAlias("TMP");
         }},
        {engine::op::Connect, [&] { db.Open(); }},
        {engine::op::GetTableNames,
         [&] { session.GetTableNames("TempDB", "*.*", true, false, list); }},
        {engine::op::ReadIndexDefs, [&] { table.IndexDefs().Update(); }},
        {engine::op::OpenTable, [&] { table.Open(); }},
        {engine::op::GetDatabaseDesc,
         [&] { platform::Check(engine::GetDatabaseDesc("DATA", &record)); }},
    };
    for (const auto& [operation, call] : calls) {
        SCOPED_TRACE(std::string(operation));
        {
            engine::ScopedFault fault(operation, kInjected);
            try {
                call();
                ADD_FAILURE() << "no failure";
            } catch (const platform::EDBEngineError& e) {
                EXPECT_EQ(e.ErrorCode(), kInjected);
                EXPECT_THAT(e.what(), ::testing::HasSubstr("(injected fault)"));
            }
        }
        db.Close();
        table.Close();
        EXPECT_NO_THROW(call()); // without the fault the call works
    }
}

} // namespace
