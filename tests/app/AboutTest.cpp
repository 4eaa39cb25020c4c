#include "app/About.h"

#include "AppTestSupport.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

namespace {

using apptest::AppTest;

template <class W> W* Child(const QWidget& parent, const char* name) {
    return parent.findChild<W*>(QString::fromLatin1(name));
}

using About = AppTest;

TEST_F(About, EnterRightAfterOpeningClosesIt) {
    app::TfAbout box;
    QWidget* focused = nullptr;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(QTest::qWaitForWindowActive(&box));
        focused = QApplication::focusWidget();
        if (focused != nullptr) {
            QTest::keyClick(focused, Qt::Key_Return);
        }
    });
    QTimer::singleShot(5000, &box, &QDialog::reject); // a safety net if Enter does nothing
    const int result = box.exec();
    EXPECT_EQ(focused, Child<QPushButton>(box, "btnClose"));
    EXPECT_EQ(result, QDialog::Accepted);
}

TEST_F(About, EscapeDoesNothing) {
    app::TfAbout box;
    box.show();
    QTest::keyClick(&box, Qt::Key_Escape);
    EXPECT_TRUE(box.isVisible());
}

TEST_F(About, ClickingTheAddressTwiceAsksTheShellTwiceAndStaysOpen) {
    app::TfAbout box;
    box.show();
    auto* url = Child<QLabel>(box, "lbURL");
    ASSERT_NE(url, nullptr);
    QTest::mouseClick(url, Qt::LeftButton);
    QTest::mouseClick(url, Qt::LeftButton);
    EXPECT_EQ(toolkit.openedUrls, (std::vector<std::string>{"http://www.mendrix.example",
                                                            "http://www.mendrix.example"}));
    EXPECT_TRUE(box.isVisible());
    EXPECT_TRUE(toolkit.boxes.empty()) << "the shell's answer is ignored";
}

TEST_F(About, LayoutAsLaidOutWithNothingClipped) {
    app::TfAbout box;
    box.show();
    EXPECT_EQ(box.windowTitle().toStdString(), "About");
    EXPECT_EQ(box.size(), QSize(465, 137));
    EXPECT_EQ(box.minimumSize(), box.maximumSize());
    EXPECT_FALSE(box.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(box.windowFlags() & Qt::WindowMaximizeButtonHint);
    const struct {
        const char* name;
        QRect geometry;
    } placed[] = {
        {"Image1", {30, 5, 161, 61}},    {"lbURL", {30, 70, 161, 13}},
        {"btnClose", {70, 100, 75, 25}}, {"Label1", {247, 51, 144, 24}},
        {"Label4", {269, 74, 100, 19}},  {"Label5", {220, 5, 200, 24}},
    };
    for (const auto& item : placed) {
        auto* widget = Child<QWidget>(box, item.name);
        ASSERT_NE(widget, nullptr) << item.name;
        EXPECT_EQ(widget->geometry(), item.geometry) << item.name;
    }
    EXPECT_EQ(Child<QLabel>(box, "Label2")->pos(), QPoint(217, 96));
    EXPECT_EQ(Child<QLabel>(box, "Label3")->pos(), QPoint(207, 109));
    EXPECT_EQ(Child<QLabel>(box, "Label6")->pos(), QPoint(285, 35));
    EXPECT_EQ(Child<QLabel>(box, "Label5")->text().toStdString(), "Mendrix");
    EXPECT_TRUE(Child<QLabel>(box, "lbURL")->font().underline());
    EXPECT_FALSE(Child<QLabel>(box, "Image1")->pixmap().isNull()) << "the logo resource";
    EXPECT_EQ(apptest::ClippedCaptions(box), std::vector<std::string>{});
}

} // namespace
