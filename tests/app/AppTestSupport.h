#pragma once

#include "platform/RecordingToolkit.h"
#include "repair/LogFile.h"
#include "support/TempDir.h"
#include "support/qt/QtTestSupport.h"

#include <QLabel>
#include <QWidget>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace apptest {

// Checks that the test program's one QApplication exists (a global test environment makes it).
void EnsureApplication();

using qttest::ClippedCaptions;
using qttest::DrainEvents;

// A fresh program directory per test, the recording toolkit installed, an engine
// configuration with one alias, "DATA", on an empty directory of its own, and the current
// directory put back afterwards (the program makes its private directory current).
class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    const std::filesystem::path& ProgramDir() const { return programDir_.path(); }
    std::filesystem::path PrivateDir() const { return ProgramDir() / "priv"; }
    std::filesystem::path LogFile() const { return PrivateDir() / "1Mendrix.log"; }
    const std::filesystem::path& DataDir() const { return dataDir_.path(); }
    repair::LogLines LogFileLines() const { return repair::ReadLogFile(LogFile()); }

    platform::RecordingToolkit toolkit;
    std::filesystem::path startDirectory;

private:
    testsupport::TempDir programDir_;
    testsupport::TempDir dataDir_;
    std::optional<std::string> previousConfig_;
    std::optional<platform::ScopedToolkit> installed_;
};

// "<time stamp> - Mendrix <event>."
bool IsShellLine(const std::string& line, const std::string& event);

} // namespace apptest
