#include "AppTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QTest>
#include <memory>
#include <regex>

namespace apptest {

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    static const std::unique_ptr<QApplication> application = [] {
        auto made = std::make_unique<QApplication>(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Mendrix"));
        return made;
    }();
}

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
        // Width as laid out (the advance), height as drawn (the ink of the glyphs).
        const QFontMetrics metrics(label->font());
        const QSize needed(metrics.horizontalAdvance(label->text()),
                           metrics.tightBoundingRect(label->text()).height());
        const QRect room = label->contentsRect();
        const QRect inWindow(label->mapTo(&window, room.topLeft()), room.size());
        if (needed.width() > room.width() || needed.height() > room.height() ||
            !window.rect().contains(inWindow)) {
            clipped.push_back(label->text().toStdString() + " (needs " +
                              std::to_string(needed.width()) + "x" +
                              std::to_string(needed.height()) + ", has " +
                              std::to_string(room.width()) + "x" + std::to_string(room.height()) +
                              ", " + QFontInfo(label->font()).family().toStdString() + ")");
        }
    }
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        if (button->text().isEmpty() || !button->isVisibleTo(&window)) {
            continue;
        }
        QString text = button->text();
        text.remove(QLatin1Char('&'));
        int needed = QFontMetrics(button->font()).horizontalAdvance(text);
        if (!button->icon().isNull()) {
            needed += button->iconSize().width() + 4;
        }
        if (needed + 4 > button->width()) {
            clipped.push_back(button->text().toStdString() + " (needs " +
                              std::to_string(needed + 4) + ", has " +
                              std::to_string(button->width()) + ", " +
                              QFontInfo(button->font()).family().toStdString() + ")");
        }
    }
    return clipped;
}

void AppTest::SetUp() {
    EnsureApplication();
    startDirectory = std::filesystem::current_path();
    installed_.emplace(toolkit);
}

void AppTest::TearDown() {
    DrainEvents();
    installed_.reset();
    std::filesystem::current_path(startDirectory);
}

bool IsShellLine(const std::string& line, const std::string& event) {
    return std::regex_match(line, std::regex(R"(\d{1,2}/\d{1,2}/\d{4} \d{1,2}:\d\d:\d\d[ap] - )"
                                             R"(Mendrix )" +
                                             event + R"(\.)"));
}

} // namespace apptest
