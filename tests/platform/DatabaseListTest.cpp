// The database list as the platform offers it: the databases one session sees, read to the
// end, whichever session the engine activated last.
#include "platform/DatabaseList.h"

#include "engine/Config.h"
#include "engine/ErrorCodes.h"
#include "engine/FaultHook.h"
#include "platform/DBErrors.h"
#include "platform/Session.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>

namespace {

using ::testing::ElementsAre;

class DatabaseListFace : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* previous = std::getenv(engine::kConfigEnvVar)) {
            previous_ = previous;
        }
        testsupport::WriteFileBytes(dir_ / "engine.ini",
                                    "[ONE]\nPATH=/data/one\n[SQL]\nTYPE=MSSQL\nPATH=srv\n");
        setenv(engine::kConfigEnvVar, (dir_ / "engine.ini").c_str(), 1);
    }
    void TearDown() override {
        engine::ClearFaults();
        if (previous_) {
            setenv(engine::kConfigEnvVar, previous_->c_str(), 1);
        } else {
            unsetenv(engine::kConfigEnvVar);
        }
    }

    static std::vector<std::string> Names(platform::TSession& session) {
        platform::TDatabaseList list(session);
        std::vector<std::string> names;
        platform::TDatabaseListEntry entry;
        while (list.Next(entry)) {
            names.push_back(entry.name + "|" + entry.type + "|" + entry.path);
        }
        EXPECT_FALSE(list.Next(entry)) << "the end stays the end";
        list.Close();
        return names;
    }

    testsupport::TempDir dir_;
    std::optional<std::string> previous_;
};

TEST_F(DatabaseListFace, ListsTheDatabasesOfItsOwnSession) {
    platform::TSession mine("TempSession");
    mine.SetActive(true);
    mine.SetConfigMode(platform::cfmSession);
    mine.AddStandardAlias("Mendrix", "/picked/", "PARADOX");
    mine.SetConfigMode(platform::cmAll);
    platform::TSession later("Later");
    later.SetActive(true); // the engine's direct calls now default to this one

    EXPECT_THAT(Names(mine), ElementsAre("ONE|STANDARD|/data/one", "SQL|MSSQL|srv",
                                         "Mendrix|STANDARD|/picked/"));
    EXPECT_THAT(Names(later), ElementsAre("ONE|STANDARD|/data/one", "SQL|MSSQL|srv"));

    platform::TSession inactive("Inactive");
    EXPECT_THROW(platform::TDatabaseList{inactive}, platform::EDBEngineError);
}

TEST_F(DatabaseListFace, AFailedNextEndsTheReadingAndAFailedCloseIsRaised) {
    platform::TSession session("TempSession");
    session.SetActive(true);
    platform::TDatabaseList list(session);
    platform::TDatabaseListEntry entry;
    ASSERT_TRUE(list.Next(entry));
    {
        const engine::ScopedFault failing(engine::op::GetNextRecord, engine::err::InvalidHandle, 1);
        EXPECT_FALSE(list.Next(entry));
    }
    const engine::ScopedFault failing(engine::op::CloseCursor, engine::err::InvalidHandle, 1);
    EXPECT_THROW(list.Close(), platform::EDBEngineError);
}

} // namespace
