#include "AppTestSupport.h"

#include "engine/Config.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QTest>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <regex>

namespace apptest {

void EnsureApplication() {
    ASSERT_NE(QApplication::instance(), nullptr);
}

void AppTest::SetUp() {
    EnsureApplication();
    startDirectory = std::filesystem::current_path();
    if (const char* previous = std::getenv(engine::kConfigEnvVar); previous != nullptr) {
        previousConfig_ = previous;
    }
    // Outside the program directory, whose contents some tests count.
    const auto config = dataDir_.path() / "engine.ini";
    testsupport::WriteFileBytes(config, "[DATA]\nPATH=" + dataDir_.path().string() + "\n");
    setenv(engine::kConfigEnvVar, config.c_str(), 1);
    installed_.emplace(toolkit);
}

void AppTest::TearDown() {
    DrainEvents();
    installed_.reset();
    std::filesystem::current_path(startDirectory);
    if (previousConfig_) {
        setenv(engine::kConfigEnvVar, previousConfig_->c_str(), 1);
    } else {
        unsetenv(engine::kConfigEnvVar);
    }
}

bool IsShellLine(const std::string& line, const std::string& event) {
    return std::regex_match(line, std::regex(R"(\d{1,2}/\d{1,2}/\d{4} \d{1,2}:\d\d:\d\d[ap] - )"
                                             R"(Mendrix )" +
                                             event + R"(\.)"));
}

} // namespace apptest
