#include "app/Main.h"

#include "app/QtToolkit.h"
#include "app/Resources.h"
#include "platform/Toolkit.h"
#include "repair/PrivateDir.h"

#include <QApplication>
#include <QIcon>
#include <cstdlib>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(platform::kApplicationTitle));
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
