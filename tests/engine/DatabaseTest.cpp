// Databases: connecting through aliases, and every kind of connect failure.
#include "platform/Database.h"

#include "EngineTestSupport.h"
#include "engine/ErrorCodes.h"
#include "platform/DBErrors.h"
#include "platform/Session.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using ::testing::HasSubstr;
namespace err = engine::err;

struct Failure {
    std::uint16_t code = err::Ok;
    std::string message;
};

Failure ConnectFailure(platform::TDatabase& db, const std::string& alias) {
    db.SetConnected(false);
    try {
        db.SetAliasName(alias);
        db.SetConnected(true);
    } catch (const platform::EDBEngineError& e) {
        return {e.ErrorCode(), e.what()};
    }
    return {};
}

class Databases : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(dir_ / "data");
        testsupport::WriteFileBytes(dir_ / "plain.txt", "x");
        config_ = std::make_unique<enginetest::ScopedConfig>(
            dir_ / "engine.ini", "[GOOD]\nPATH=" + (dir_ / "data").string() +
                                     "\n[GONE]\nPATH=" + (dir_ / "gone").string() +
                                     "\n[FILE]\nPATH=" + (dir_ / "plain.txt").string() +
                                     "\n[NOPATH]\nTYPE=STANDARD\n[REMOTE]\nTYPE=INTRBASE\nPATH=" +
                                     (dir_ / "data").string() + "\n");
        session_.SetActive(true);
    }

    testsupport::TempDir dir_;
    std::unique_ptr<enginetest::ScopedConfig> config_;
    platform::TSession session_{"TempSession"};
    platform::TDatabase db_{session_, "TempDB"};
};

TEST_F(Databases, ConnectsThroughAnAlias) {
    EXPECT_EQ(db_.Directory(), "");
    db_.SetAliasName("good");
    db_.SetConnected(true);
    EXPECT_TRUE(db_.Connected());
    EXPECT_EQ(db_.AliasName(), "good");
    EXPECT_EQ(db_.Directory(), (dir_ / "data").string());
    EXPECT_THROW(db_.SetAliasName("GONE"), platform::EDBEngineError);
    db_.SetConnected(false);
    EXPECT_EQ(db_.Directory(), "");
    // A session alias on a directory chosen by the operator, path ending in "/".
    session_.SetConfigMode(platform::cfmSession);
    session_.AddStandardAlias("Mendrix", (dir_ / "data").string() + "/", "PARADOX");
    session_.SetConfigMode(platform::cmAll);
    db_.SetAliasName("Mendrix");
    db_.Open();
    EXPECT_EQ(db_.Directory(), (dir_ / "data").string() + "/");
}

TEST_F(Databases, EachConnectFailureHasItsOwnCodeAndMessage) {
    const auto unknown = ConnectFailure(db_, "NOSUCH");
    const auto empty = ConnectFailure(db_, "");
    const auto missing = ConnectFailure(db_, "GONE");
    const auto notDir = ConnectFailure(db_, "FILE");
    const auto noPath = ConnectFailure(db_, "NOPATH");
    const auto remote = ConnectFailure(db_, "REMOTE");
    EXPECT_EQ(unknown.code, err::UnknownAlias);
    EXPECT_EQ(unknown.message, "Unknown database alias: NOSUCH");
    EXPECT_EQ(empty.code, err::EmptyAliasName);
    EXPECT_THAT(empty.message, HasSubstr("No database alias name given"));
    EXPECT_EQ(missing.code, err::DirectoryMissing);
    EXPECT_EQ(missing.message, "Directory does not exist: " + (dir_ / "gone").string());
    EXPECT_EQ(notDir.code, err::NotADirectory);
    EXPECT_EQ(notDir.message, "Path is not a directory: " + (dir_ / "plain.txt").string());
    EXPECT_EQ(noPath.code, err::DirectoryMissing);
    EXPECT_THAT(noPath.message, HasSubstr("alias NOPATH names no directory"));
    EXPECT_EQ(remote.code, err::UnsupportedDriver);
    EXPECT_THAT(remote.message, HasSubstr("REMOTE is of type INTRBASE"));
    EXPECT_FALSE(db_.Connected());
    EXPECT_EQ(db_.AliasName(), "REMOTE"); // what the failed attempt left
}

TEST_F(Databases, DirectoryWithoutPermission) {
    const auto locked = dir_ / "locked";
    std::filesystem::create_directory(locked);
    ::chmod(dir_.path().c_str(), 0755);
    ::chmod(locked.c_str(), 0);
    session_.AddStandardAlias("LOCKED", locked.string(), "PARADOX");
    if (::geteuid() != 0) {
        const auto failure = ConnectFailure(db_, "LOCKED");
        EXPECT_EQ(failure.code, err::NoPermission);
        EXPECT_EQ(failure.message, "Permission denied: cannot read directory " + locked.string());
    } else {
        // The super-user reads every directory: ask as an ordinary user in a child process.
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
                ::_exit(2);
            }
            const auto failure = ConnectFailure(db_, "LOCKED");
            const bool ok =
                failure.code == err::NoPermission &&
                failure.message == "Permission denied: cannot read directory " + locked.string();
            ::_exit(ok ? 0 : 1);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    ::chmod(locked.c_str(), 0755);
}

TEST_F(Databases, PathsLongerThanTheRecordAreRefused) {
    const std::string longPath = "/" + std::string(270, 'd');
    try {
        session_.AddStandardAlias("LONG", longPath, "PARADOX");
        FAIL();
    } catch (const platform::EDBEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), err::PathTooLong);
        EXPECT_THAT(e.what(), HasSubstr("271 characters, at most 260"));
    }
}

} // namespace
