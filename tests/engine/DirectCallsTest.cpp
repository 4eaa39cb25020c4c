// The engine's direct calls: the database list cursor, the database description, the
// general-progress callback registry, and the fault hook that makes them fail in tests.
#include "EngineTestSupport.h"
#include "engine/Callbacks.h"
#include "engine/DatabaseList.h"
#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/FaultHook.h"
#include "platform/DBErrors.h"
#include "platform/Session.h"
#include "support/TempDir.h"

#include <array>
#include <cstring>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
namespace err = engine::err;

struct Listed {
    std::string name, text, path, type;
};

std::vector<Listed> ReadDatabaseList() {
    engine::CursorHandle cursor = 0;
    platform::Check(engine::OpenDatabaseList(&cursor));
    std::vector<Listed> out;
    std::array<char, 357> record{};
    while (engine::GetNextRecord(cursor, record.data()) == err::Ok) {
        out.push_back({record.data(), record.data() + 32, record.data() + 64, record.data() + 325});
        record.fill('\x7F');
    }
    platform::Check(engine::CloseCursor(&cursor));
    EXPECT_EQ(cursor, 0u);
    return out;
}

class DirectCalls : public ::testing::Test {
protected:
    void SetUp() override {
        config_ = std::make_unique<enginetest::ScopedConfig>(
            dir_ / "engine.ini",
            "[ONE]\nPATH=/data/one\nDEFAULT DRIVER=PARADOX\n[SQL]\nTYPE=MSSQL\nPATH=srv\n"
            "[TempDB]\nPATH=/data/temp\n");
        session_.Open();
    }
    void TearDown() override { engine::ClearFaults(); }

    testsupport::TempDir dir_;
    std::unique_ptr<enginetest::ScopedConfig> config_;
    platform::TSession session_{"TempSession"};
};

TEST_F(DirectCalls, DatabaseListGivesEveryAliasOfTheSessionInOrder) {
    session_.SetConfigMode(platform::cfmSession);
    session_.AddStandardAlias("Mendrix", "/picked/", "PARADOX");
    session_.SetConfigMode(platform::cmAll);
    const auto listed = ReadDatabaseList();
    ASSERT_EQ(listed.size(), 4u);
    EXPECT_EQ(listed[0].name, "ONE");
    EXPECT_EQ(listed[0].path, "/data/one");
    EXPECT_EQ(listed[0].type, "STANDARD");
    EXPECT_EQ(listed[0].text, "PARADOX");
    EXPECT_EQ(listed[1].type, "MSSQL");
    EXPECT_EQ(listed[2].name, "TempDB");
    EXPECT_EQ(listed[3].name, "Mendrix");
    EXPECT_EQ(listed[3].path, "/picked/");
}

TEST_F(DirectCalls, CursorEndsAndRefusesUnknownHandles) {
    engine::CursorHandle cursor = 0;
    ASSERT_EQ(engine::OpenDatabaseList(&cursor), err::Ok);
    std::array<std::uint8_t, 357> record{};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(engine::GetNextRecord(cursor, record.data()), err::Ok);
    }
    EXPECT_EQ(engine::GetNextRecord(cursor, record.data()), err::EndOfTable);
    EXPECT_EQ(engine::GetNextRecord(cursor, record.data()), err::EndOfTable);
    EXPECT_EQ(engine::CloseCursor(&cursor), err::Ok);
    engine::CursorHandle stale = 12345;
    EXPECT_EQ(engine::GetNextRecord(stale, record.data()), err::InvalidHandle);
    EXPECT_EQ(engine::CloseCursor(&stale), err::InvalidHandle);
    EXPECT_THAT(engine::TakeFailureMessage(err::InvalidHandle), HasSubstr("cursor 12345"));
}

TEST_F(DirectCalls, DatabaseDescriptionOfAnAlias) {
    engine::DatabaseRecord record;
    ASSERT_EQ(engine::GetDatabaseDesc("one", &record), err::Ok);
    EXPECT_STREQ(record.name, "ONE");
    EXPECT_STREQ(record.path, "/data/one");
    EXPECT_STREQ(record.type, "STANDARD");
    EXPECT_EQ(engine::GetDatabaseDesc("NOSUCH", &record), err::UnknownAlias);
    EXPECT_EQ(engine::GetDatabaseDesc("", &record), err::EmptyAliasName);
    try {
        platform::Check(engine::GetDatabaseDesc("NOSUCH", &record));
        FAIL();
    } catch (const platform::EDBEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), err::UnknownAlias);
        EXPECT_STREQ(e.what(), "Unknown database alias: NOSUCH");
    }
}

TEST_F(DirectCalls, PathsThatDoNotFitTheRecordAreRefusedNotCut) {
    engine::AliasDef alias{"LONG", "STANDARD", "/" + std::string(260, 'x'), "PARADOX"};
    engine::DatabaseRecord record;
    std::memset(&record, 0x55, sizeof record);
    EXPECT_EQ(engine::FillDatabaseRecord(alias, record), err::PathTooLong);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
    EXPECT_TRUE(std::all_of(bytes, bytes + sizeof record, [](std::uint8_t b) { return b == 0; }));
    alias.path.pop_back(); // exactly 260 characters fit
    EXPECT_EQ(engine::FillDatabaseRecord(alias, record), err::Ok);
    EXPECT_EQ(std::strlen(record.path), 260u);
    EXPECT_EQ(record.path[260], '\0');
}

TEST_F(DirectCalls, UnknownSessionsFallBackToTheDefaultOne) {
    session_.Close();
    // With no active session of the program's, a default session reads the configuration.
    engine::DatabaseRecord record;
    EXPECT_EQ(engine::GetDatabaseDesc("ONE", &record), err::Ok);
    EXPECT_STREQ(record.path, "/data/one");
}

// Progress reports as the table utility library sends them.
struct Received {
    std::vector<std::uint32_t> types;
    std::vector<std::uint32_t> clientData;
    std::vector<const void*> buffers;
    std::vector<std::uint16_t> percents;
    std::vector<std::uint32_t> phases;
};
Received received;

std::uint32_t Record(std::uint32_t type, std::uint32_t clientData, void* buffer) {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    received.types.push_back(type);
    received.clientData.push_back(clientData);
    received.buffers.push_back(buffer);
    received.percents.push_back(static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)));
    received.phases.push_back(static_cast<std::uint32_t>(bytes[260]) | (bytes[261] << 8) |
                              (bytes[262] << 16) | (static_cast<std::uint32_t>(bytes[263]) << 24));
    return 0;
}

TEST_F(DirectCalls, ProgressCallbackRegistrationReportAndUnregistration) {
    received = {};
    std::array<std::uint8_t, 268> buffer{};
    buffer.fill(0xEE);
    EXPECT_EQ(engine::ReportProgress(0, 10), 0u); // nobody registered: nothing happens
    ASSERT_EQ(engine::RegisterCallback(0, 23, 0, 268, buffer.data(), &Record), err::Ok);
    EXPECT_TRUE(engine::ProgressCallbackRegistered());
    engine::ReportProgress(1, 40);
    engine::ReportProgress(8, 0xFFFF);
    ASSERT_EQ(received.types.size(), 2u);
    EXPECT_THAT(received.types, ElementsAre(23u, 23u));
    EXPECT_THAT(received.clientData, ElementsAre(0u, 0u));
    EXPECT_EQ(received.buffers[0], buffer.data());
    EXPECT_THAT(received.percents, ElementsAre(40, 0xFFFF));
    EXPECT_THAT(received.phases, ElementsAre(0x01000000u, 0x08000000u));
    EXPECT_EQ(buffer[2], 0xEE); // bytes the record does not define are left alone
    ASSERT_EQ(engine::RegisterCallback(0, 23, 0, 268, buffer.data(), nullptr), err::Ok);
    EXPECT_FALSE(engine::ProgressCallbackRegistered());
    engine::ReportProgress(2, 50);
    EXPECT_EQ(received.types.size(), 2u);
}

TEST_F(DirectCalls, RegistrationsTheEngineRefuses) {
    std::array<std::uint8_t, 268> buffer{};
    EXPECT_EQ(engine::RegisterCallback(0, 22, 0, 268, buffer.data(), &Record),
              err::InvalidCallback);
    EXPECT_EQ(engine::RegisterCallback(0, 23, 0, 267, buffer.data(), &Record),
              err::InvalidCallback);
    EXPECT_EQ(engine::RegisterCallback(0, 23, 0, 268, nullptr, &Record), err::InvalidCallback);
    EXPECT_EQ(engine::RegisterCallback(7, 23, 0, 268, buffer.data(), &Record), err::InvalidHandle);
    EXPECT_FALSE(engine::ProgressCallbackRegistered());
}

TEST_F(DirectCalls, FaultHookMakesANamedOperationFail) {
    std::array<std::uint8_t, 268> buffer{};
    {
        engine::ScopedFault fault(engine::op::RegisterCallback, 0x3E06, 1);
        EXPECT_EQ(engine::RegisterCallback(0, 23, 0, 268, buffer.data(), &Record), 0x3E06);
        try {
            platform::Check(0x3E06);
            FAIL();
        } catch (const platform::EDBEngineError& e) {
            EXPECT_EQ(e.ErrorCode(), 0x3E06);
        }
        // Only once: the next registration works.
        EXPECT_EQ(engine::RegisterCallback(0, 23, 0, 268, buffer.data(), &Record), err::Ok);
        EXPECT_EQ(engine::RegisterCallback(0, 23, 0, 268, buffer.data(), nullptr), err::Ok);
    }
    engine::InjectFault(engine::op::OpenDatabaseList, err::IoError);
    engine::CursorHandle cursor = 99;
    EXPECT_EQ(engine::OpenDatabaseList(&cursor), err::IoError);
    EXPECT_EQ(engine::OpenDatabaseList(&cursor), err::IoError);
    EXPECT_EQ(cursor, 0u);
    engine::ClearFaults();
    EXPECT_EQ(engine::OpenDatabaseList(&cursor), err::Ok);
    EXPECT_EQ(engine::CloseCursor(&cursor), err::Ok);
    // The upper 16 bits of a result do not count in the common check.
    EXPECT_NO_THROW(platform::Check(0x00010000u));
}

} // namespace
