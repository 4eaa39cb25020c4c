#include "app/QtToolkit.h"

#include "AppTestSupport.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

class QtToolkitTest : public ::testing::Test {
protected:
    void SetUp() override { apptest::EnsureApplication(); }
    app::QtToolkit toolkit;
};

TEST_F(QtToolkitTest, DefaultArrowRemovesEveryHourglass) {
    toolkit.ShowHourglass();
    toolkit.ShowHourglass();
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    toolkit.ShowDefaultCursor();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    toolkit.ShowDefaultCursor(); // with none left it does nothing
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(QtToolkitTest, MessageBoxHasCaptionIconTextAndOneOkButton) {
    struct Seen {
        QString caption, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        qsizetype buttons = 0;
    } seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = {box->windowTitle(), box->text(), box->icon(), box->buttons().size()};
        box->button(QMessageBox::Ok)->click();
    });
    toolkit.ShowMessageBox(platform::BoxIcon::Warning, "Warning",
                           "Could not create DB private dir");
    EXPECT_EQ(seen.caption.toStdString(), "Warning");
    EXPECT_EQ(seen.text.toStdString(), "Could not create DB private dir");
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, 1);
}

TEST_F(QtToolkitTest, PendingEventsRunWhenPumped) {
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    toolkit.ProcessPendingEvents();
    EXPECT_TRUE(ran);
}

} // namespace
