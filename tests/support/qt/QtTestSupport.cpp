#include "support/qt/QtTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <gtest/gtest.h>
#include <memory>

namespace qttest {
namespace {

// The QApplication lives from before the first test to after the last, and is gone before
// the program's static objects (Qt's own among them) are destroyed.
class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        application_ = std::make_unique<QApplication>(argc_, argv_);
        QApplication::setApplicationName(QStringLiteral("Mendrix"));
    }
    void TearDown() override { application_.reset(); }

private:
    int argc_ = 1;
    char name_[11] = "mendrix-qt";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
};

// gtest owns the environments registered with it.
[[maybe_unused]] const ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

// A caption as shown: "&&" is one "&", a single "&" marks the mnemonic and is not drawn.
QString ShownText(QString text) {
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

} // namespace

void DrainEvents() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void PumpingToolkit::ProcessPendingEvents() {
    RecordingToolkit::ProcessPendingEvents();
    if (onPump) {
        onPump(eventPumps);
    }
    QCoreApplication::processEvents();
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
        int needed = QFontMetrics(button->font()).horizontalAdvance(ShownText(button->text()));
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

} // namespace qttest
