#include "UiTestSupport.h"

#include "engine/Config.h"
#include "support/Corpus.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <cstdlib>
#include <memory>

namespace uitest {

TestFrame::TestFrame(std::filesystem::path privateDirectory)
    : privateDirectory_(std::move(privateDirectory)) {
    area.resize(640, 480);
    area.show();
}

void UiTest::SetUp() {
    ASSERT_NE(QApplication::instance(), nullptr);
    startDirectory_ = std::filesystem::current_path();
    if (const char* previous = std::getenv(engine::kConfigEnvVar); previous != nullptr) {
        previousConfig_ = previous;
    }
    setenv(engine::kConfigEnvVar, (root_.path() / "engine.ini").c_str(), 1);
    std::filesystem::create_directory(Dir("priv"));
    installed_.emplace(toolkit);
    frame.emplace(Dir("priv"));
}

void UiTest::TearDown() {
    if (ui::fDBRepairInfo != nullptr) {
        ui::fDBRepairInfo->close();
    }
    DrainEvents();
    frame.reset();
    DrainEvents();
    installed_.reset();
    std::filesystem::current_path(startDirectory_);
    if (previousConfig_) {
        setenv(engine::kConfigEnvVar, previousConfig_->c_str(), 1);
    } else {
        unsetenv(engine::kConfigEnvVar);
    }
}

std::filesystem::path UiTest::TableDir(const std::string& name,
                                       const std::vector<std::string>& stems) {
    const auto dir = Dir(name);
    std::filesystem::create_directories(dir);
    const std::filesystem::path samples = testsupport::SamplesDir();
    for (const auto& entry : std::filesystem::directory_iterator(samples)) {
        for (const auto& stem : stems) {
            if (entry.path().stem() == stem) {
                std::filesystem::copy_file(entry.path(), dir / entry.path().filename());
            }
        }
    }
    return dir;
}

void UiTest::WriteConfig(const std::string& text) {
    testsupport::WriteFileBytes(root_.path() / "engine.ini", text);
}

ui::TfDBRepairInfo& UiTest::OpenWindow() {
    ui::TfDBRepairInfo* window = ui::TfDBRepairInfo::Create(*frame);
    return *window;
}

} // namespace uitest
