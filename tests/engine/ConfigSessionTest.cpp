// The alias configuration, sessions, their scopes and their own aliases.
#include "EngineTestSupport.h"
#include "engine/Config.h"
#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "platform/DBErrors.h"
#include "platform/Session.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
namespace err = engine::err;

std::vector<std::string> AliasNames(const platform::TSession& session) {
    std::vector<std::string> names;
    session.GetAliasNames(names);
    return names;
}

TEST(Config, ParsesAliasesInFileOrder) {
    std::vector<engine::AliasDef> aliases;
    ASSERT_EQ(engine::ParseConfig("; engine aliases\n"
                                  "[ZETA]\nTYPE=STANDARD\nPATH=/data/zeta\nDEFAULT DRIVER=PARADOX\n"
                                  "\n# a server database\n[Accounts]\n  type = INTRBASE \n"
                                  "path=//server/accounts.gdb\r\n"
                                  "[alpha]\npath = /data/alpha\nCOMMENT=ignored\n",
                                  "test.ini", aliases),
              err::Ok);
    ASSERT_EQ(aliases.size(), 3u);
    EXPECT_EQ(aliases[0].name, "ZETA");
    EXPECT_EQ(aliases[0].path, "/data/zeta");
    EXPECT_EQ(aliases[0].defaultDriver, "PARADOX");
    EXPECT_EQ(aliases[1].name, "Accounts");
    EXPECT_EQ(aliases[1].type, "INTRBASE");
    EXPECT_EQ(aliases[1].path, "//server/accounts.gdb");
    EXPECT_EQ(aliases[2].type, "STANDARD"); // the default type
}

TEST(Config, RefusesWhatItCannotUnderstand) {
    const std::pair<const char*, const char*> bad[] = {
        {"PATH=/x\n", "line 1: setting before the first [ALIAS] section"},
        {"[A]\nPATH /x\n", "line 2: expected KEY=VALUE"},
        {"[A\n", "line 1: section header without ']'"},
        {"[A]\n[a]\n", "line 2: alias a is defined twice"},
        {"[]\n", "line 1: empty alias name"},
        {"[ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456]\n", "longer than 31 characters"},
    };
    for (const auto& [text, expected] : bad) {
        std::vector<engine::AliasDef> aliases;
        EXPECT_EQ(engine::ParseConfig(text, "bad.ini", aliases), err::ConfigUnreadable) << text;
        EXPECT_THAT(engine::TakeFailureMessage(err::ConfigUnreadable), HasSubstr(expected));
    }
    std::vector<engine::AliasDef> aliases;
    const std::string longPath = "[LONG]\nPATH=/" + std::string(260, 'p') + "\n";
    EXPECT_EQ(engine::ParseConfig(longPath, "long.ini", aliases), err::ConfigUnreadable);
    EXPECT_THAT(engine::TakeFailureMessage(err::ConfigUnreadable),
                HasSubstr("path of alias LONG is longer than 260 characters"));
}

TEST(Config, FileLocationFollowsTheEnvironment) {
    testsupport::TempDir dir;
    enginetest::ScopedConfig config(dir / "chosen.ini", std::nullopt);
    EXPECT_EQ(engine::ConfigFilePath(), dir / "chosen.ini");
    ::setenv(engine::kConfigEnvVar, "", 1);
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = xdg != nullptr ? xdg : "";
    ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    EXPECT_EQ(engine::ConfigFilePath(), dir / "mendrix" / "engine.ini");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(engine::ConfigFilePath().filename(), "engine.ini");
    EXPECT_EQ(engine::ConfigFilePath().parent_path().filename(), "mendrix");
    if (!savedXdg.empty()) {
        ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    }
}

TEST(Config, RefusesAFileThatIsNotAPlainAliasList) {
    testsupport::TempDir dir;
    const auto file = dir / "engine.ini";
    enginetest::ScopedConfig config(file, std::nullopt);
    engine::EngineConfig loaded;
    // Nobody writes to this FIFO: reading it would wait for ever.
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    EXPECT_EQ(engine::LoadConfig(loaded), err::ConfigUnreadable);
    EXPECT_THAT(engine::TakeFailureMessage(err::ConfigUnreadable),
                HasSubstr("is not a regular file"));
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    EXPECT_EQ(engine::LoadConfig(loaded), err::ConfigUnreadable);
    engine::TakeFailureMessage(err::ConfigUnreadable);
    std::filesystem::remove(file);
    testsupport::WriteFileBytes(file, std::string(2 << 20, ';'));
    EXPECT_EQ(engine::LoadConfig(loaded), err::ConfigUnreadable);
    EXPECT_THAT(engine::TakeFailureMessage(err::ConfigUnreadable), HasSubstr("is larger than"));
}

TEST(Sessions, ListAliasesOfEveryTypeInFileOrder) {
    testsupport::TempDir dir;
    enginetest::ScopedConfig config(dir / "engine.ini",
                                    "[WORK]\nPATH=/w\n[SERVER]\nTYPE=ORACLE\n[HOME]\nPATH=/h\n");
    platform::TSession session("TempSession");
    session.SetActive(true);
    EXPECT_THAT(AliasNames(session), ElementsAre("WORK", "SERVER", "HOME"));
    EXPECT_TRUE(session.IsAlias("server"));
    EXPECT_FALSE(session.IsAlias("SAMPLES"));
}

TEST(Sessions, BuiltInSamplesAliasWhenNoFileExists) {
    testsupport::TempDir dir;
    enginetest::ScopedConfig config(dir / "missing.ini", std::nullopt);
    platform::TSession session;
    session.Open();
    EXPECT_THAT(AliasNames(session), ElementsAre("SAMPLES"));
    engine::EngineConfig loaded;
    ASSERT_EQ(engine::LoadConfig(loaded), err::Ok);
    EXPECT_TRUE(loaded.builtIn);
    EXPECT_EQ(loaded.aliases.front().type, "STANDARD");
    EXPECT_EQ(loaded.aliases.front().path, (engine::ProgramDirectory() / "samples").string());
    // An empty file is a configuration without aliases.
    testsupport::WriteFileBytes(dir / "missing.ini", "");
    platform::TSession second;
    second.Open();
    EXPECT_TRUE(AliasNames(second).empty());
}

TEST(Sessions, UnreadableConfigurationFailsActivation) {
    testsupport::TempDir dir;
    enginetest::ScopedConfig config(dir / "engine.ini", "[A]\nnonsense\n");
    platform::TSession session;
    try {
        session.SetActive(true);
        FAIL() << "activation succeeded";
    } catch (const platform::EDBEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), err::ConfigUnreadable);
        EXPECT_THAT(e.what(), HasSubstr("engine.ini line 2"));
    }
    EXPECT_FALSE(session.Active());
}

TEST(Sessions, SessionAliasesNeverReachTheFileAndEndWithTheSession) {
    testsupport::TempDir dir;
    const std::string text = "[WORK]\nPATH=/w\n";
    enginetest::ScopedConfig config(dir / "engine.ini", text);
    {
        platform::TSession session("TempSession");
        session.SetPrivateDir(dir.path().string());
        session.Open();
        session.SetConfigMode(platform::cfmSession);
        EXPECT_FALSE(session.IsAlias("WORK")); // not of session scope
        session.AddStandardAlias("Mendrix", dir.path().string(), "PARADOX");
        EXPECT_TRUE(session.IsAlias("MENDRIX"));
        session.SetPrivateDir(dir.path().string()); // changing it keeps the session's aliases
        EXPECT_TRUE(session.IsAlias("MENDRIX"));
        EXPECT_THAT(AliasNames(session), ElementsAre("Mendrix"));
        session.SetConfigMode(platform::cmAll);
        EXPECT_THAT(AliasNames(session), ElementsAre("WORK", "Mendrix"));
        EXPECT_THROW(session.AddStandardAlias("mendrix", "/x", "PARADOX"),
                     platform::EDBEngineError);
        session.DeleteAlias("Mendrix");
        EXPECT_FALSE(session.IsAlias("Mendrix"));
        session.AddStandardAlias("Mendrix", "/elsewhere", "PARADOX");
        // Deleting a configured alias hides it from this session only.
        session.DeleteAlias("WORK");
        EXPECT_THAT(AliasNames(session), ElementsAre("Mendrix"));
        EXPECT_EQ(testsupport::ReadFileBytes(dir / "engine.ini"), text);
    }
    platform::TSession later;
    later.Open();
    EXPECT_THAT(AliasNames(later), ElementsAre("WORK"));
    EXPECT_EQ(testsupport::ReadFileBytes(dir / "engine.ini"), text);
}

TEST(Sessions, AliasChangesThatAreRefused) {
    testsupport::TempDir dir;
    enginetest::ScopedConfig config(dir / "engine.ini", "[WORK]\nPATH=/w\n");
    platform::TSession session;
    auto code = [](auto&& call) -> std::uint16_t {
        try {
            call();
        } catch (const platform::EDBEngineError& e) {
            return e.ErrorCode();
        }
        return err::Ok;
    };
    EXPECT_EQ(code([&] { session.AddStandardAlias("A", "/a", "PARADOX"); }), err::SessionNotActive);
    session.Open();
    EXPECT_EQ(code([&] { session.AddStandardAlias("", "/a", "PARADOX"); }), err::EmptyAliasName);
    EXPECT_EQ(code([&] { session.AddStandardAlias(std::string(32, 'N'), "/a", "PARADOX"); }),
              err::NameTooLong);
    EXPECT_EQ(code([&] { session.AddStandardAlias("A", "/" + std::string(260, 'a'), ""); }),
              err::PathTooLong);
    EXPECT_EQ(code([&] { session.AddStandardAlias("work", "/a", "PARADOX"); }), err::AliasExists);
    EXPECT_EQ(code([&] { session.DeleteAlias("NONE"); }), err::UnknownAlias);
    EXPECT_EQ(code([&] { session.SetPrivateDir((dir / "absent").string()); }),
              err::PrivateDirInvalid);
    EXPECT_EQ(session.PrivateDir(), "");
    platform::TSession inactive;
    inactive.SetPrivateDir((dir / "absent").string());
    EXPECT_EQ(code([&] { inactive.Open(); }), err::PrivateDirInvalid);
    EXPECT_FALSE(inactive.Active());
}

} // namespace
