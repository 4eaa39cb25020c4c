#include "app/Main.h"

#include "app/QtToolkit.h"
#include "app/Resources.h"
#include "app/WindowOptions.h"
#include "platform/Toolkit.h"
#include "repair/PrivateDir.h"

#include <QApplication>
#include <QIcon>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // --help and --version need no display.
    const std::vector<std::string> args(argc > 1 ? argv + 1 : argv, argc > 1 ? argv + argc : argv);
    if (const auto answered = app::AnswerWindowOptions(args, std::cout)) {
        return *answered;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(platform::kApplicationTitle));
    // The desktop entry's name, by which the desktop finds the window's icon.
    QApplication::setDesktopFileName(QStringLiteral(MENDRIX_APP_ID));
    app::LoadAppResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app/icon.png")));

    app::QtToolkit toolkit;
    const platform::ScopedToolkit installed(toolkit);

    app::TfMain mainWindow(repair::ExecutableDirectory());
    if (mainWindow.StartFailed()) {
        return EXIT_FAILURE;
    }
    mainWindow.show();
    return QApplication::exec();
}
