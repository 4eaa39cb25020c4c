#include "app/QtToolkit.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMessageBox>
#include <QUrl>

namespace app {

void QtToolkit::ShowHourglass() {
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void QtToolkit::ShowDefaultCursor() {
    while (QGuiApplication::overrideCursor() != nullptr) {
        QGuiApplication::restoreOverrideCursor();
    }
}

void QtToolkit::ShowMessageBox(platform::BoxIcon icon, const std::string& caption,
                               const std::string& text) {
    const QMessageBox::Icon boxIcon = icon == platform::BoxIcon::Error ? QMessageBox::Critical
                                      : icon == platform::BoxIcon::Warning
                                          ? QMessageBox::Warning
                                          : QMessageBox::Information;
    QMessageBox box(boxIcon, QString::fromLocal8Bit(caption), QString::fromLocal8Bit(text),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

void QtToolkit::ProcessPendingEvents() {
    QCoreApplication::processEvents();
}

void QtToolkit::OpenUrl(const std::string& url) {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url))); // the answer is ignored
}

} // namespace app
