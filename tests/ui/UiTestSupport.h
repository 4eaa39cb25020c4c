#pragma once

#include "platform/RecordingToolkit.h"
#include "support/TempDir.h"
#include "support/qt/QtTestSupport.h"
#include "ui/DBRepairInfo.h"

#include <QMdiArea>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace uitest {

using qttest::ClippedCaptions;
using qttest::DrainEvents;

// A stand-in for the main frame: a shown child area, the run log lines, a private directory.
class TestFrame : public ui::RepairWindowOwner {
public:
    explicit TestFrame(std::filesystem::path privateDirectory);
    QMdiArea& RepairWindowArea() override { return area; }
    void AddRunLogLine(const std::string& line) override { log.push_back(line); }
    const std::filesystem::path& SessionPrivateDirectory() const override {
        return privateDirectory_;
    }

    QMdiArea area;
    std::vector<std::string> log;

private:
    std::filesystem::path privateDirectory_;
};

// A temporary folder with a private directory, directories of real tables (copies of the
// sample database) and an engine configuration naming them; the recording toolkit answers
// the boxes, and the current directory is put back afterwards.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path Dir(const std::string& name) const { return root_.path() / name; }
    // A directory holding copies of the named sample tables (each with its family).
    std::filesystem::path TableDir(const std::string& name, const std::vector<std::string>& stems);
    // Writes the engine configuration; each alias is "[NAME]" followed by its lines.
    void WriteConfig(const std::string& text);

    // Opens the repair window in the test frame.
    ui::TfDBRepairInfo& OpenWindow();

    platform::RecordingToolkit toolkit;
    std::optional<TestFrame> frame;

private:
    testsupport::TempDir root_;
    std::filesystem::path startDirectory_;
    std::optional<std::string> previousConfig_;
    std::optional<platform::ScopedToolkit> installed_;
};

} // namespace uitest
