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

namespace {

// The QApplication lives from before the first test to after the last.
class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        application_ = std::make_unique<QApplication>(argc_, argv_);
        QApplication::setApplicationName(QStringLiteral("Mendrix"));
    }
    void TearDown() override { application_.reset(); }

private:
    int argc_ = 1;
    char name_[9] = "ui_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
};

// gtest owns the environments registered with it.
[[maybe_unused]] const ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

} // namespace

void DrainEvents() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::vector<std::string> ClippedCaptions(const QWidget& window) {
    std::vector<std::string> clipped;
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (label->text().isEmpty()) {
            continue;
        }
        const QFontMetrics metrics(label->font());
        const int needed = metrics.horizontalAdvance(label->text());
        if (needed > label->contentsRect().width() ||
            metrics.tightBoundingRect(label->text()).height() > label->contentsRect().height()) {
            clipped.push_back(label->text().toStdString());
        }
    }
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        if (button->text().isEmpty()) {
            continue;
        }
        QString text = button->text();
        text.replace(QStringLiteral("&&"), QStringLiteral("&"));
        int needed = QFontMetrics(button->font()).horizontalAdvance(text);
        if (!button->icon().isNull()) {
            needed += button->iconSize().width() + 4;
        }
        if (needed + 4 > button->width()) {
            clipped.push_back(button->text().toStdString() + " (" +
                              QFontInfo(button->font()).family().toStdString() + ")");
        }
    }
    return clipped;
}

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
