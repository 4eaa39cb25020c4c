// The directory picker on real directories: its entries, the keys, the mouse, the buttons,
// and directories that cannot be opened.
#include "ui/DirList.h"

#include "UiTestSupport.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <gmock/gmock.h>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class DirPicker : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        std::filesystem::create_directories(Dir("start/beta/deeper"));
        std::filesystem::create_directories(Dir("start/Alpha"));
        std::filesystem::create_directories(Dir("start/gamma"));
        testsupport::WriteFileBytes(Dir("start/not-a-directory.txt"), "x");
        std::filesystem::current_path(Dir("start"));
        start_ = std::filesystem::current_path();
    }

    // A shown picker placed away from the screen's edges.
    std::unique_ptr<ui::TfDirList> OpenPicker() {
        auto picker = std::make_unique<ui::TfDirList>(nullptr, QPoint(100, 100));
        picker->show();
        return picker;
    }

    static int RowOf(const ui::TfDirList& picker, const std::string& text) {
        const auto items = picker.lboxDir.findItems(QString::fromStdString(text), Qt::MatchExactly);
        return items.size() == 1 ? picker.lboxDir.row(items[0]) : -1;
    }

    static QPoint CentreOf(const ui::TfDirList& picker, int row) {
        return picker.lboxDir.visualItemRect(picker.lboxDir.item(row)).center();
    }

    // As the mouse does it: press and release, then the double click.
    static void DoubleClick(ui::TfDirList& picker, int row) {
        const QPoint at = CentreOf(picker, row);
        QTest::mouseClick(picker.lboxDir.viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(picker.lboxDir.viewport(), Qt::LeftButton, {}, at);
    }

    std::filesystem::path start_;
};

TEST_F(DirPicker, ListsRootPathAndSortedSubdirectoriesWithTheOpenOneHighlighted) {
    auto picker = OpenPicker();
    EXPECT_EQ(picker->size(), QSize(165, 144));
    EXPECT_EQ(picker->lboxDir.geometry(), QRect(0, 21, 165, 123));
    EXPECT_EQ(picker->btnOk.geometry(), QRect(10, 1, 60, 20));
    EXPECT_EQ(picker->btnCancel.geometry(), QRect(95, 1, 60, 20));
    EXPECT_EQ(picker->btnOk.focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(picker->btnCancel.focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(picker->btnOk.icon().isNull());
    EXPECT_TRUE(picker->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_THAT(uitest::ClippedCaptions(*picker), ::testing::IsEmpty());
    EXPECT_EQ(picker->pos(), QPoint(100, 100));

    std::vector<std::string> texts;
    for (int row = 0; row < picker->lboxDir.count(); ++row) {
        texts.push_back(picker->lboxDir.item(row)->text().toStdString());
    }
    std::vector<std::string> expected{"/"};
    for (const auto& part : start_.relative_path()) {
        expected.push_back(part.string());
    }
    const auto openRow = static_cast<int>(expected.size()) - 1;
    expected.insert(expected.end(), {"Alpha", "beta", "gamma"});
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(picker->lboxDir.currentRow(), openRow);
    EXPECT_EQ(picker->OpenDirectory(), start_);
    EXPECT_EQ(picker->lboxDir.visualItemRect(picker->lboxDir.item(0)).height(), 16);
}

TEST_F(DirPicker, EscCancelsAndEnterAnswersTheHighlightedSubdirectory) {
    auto picker = OpenPicker();
    QTest::keyClick(&picker->lboxDir, Qt::Key_Escape);
    EXPECT_EQ(picker->result(), QDialog::Rejected);
    EXPECT_FALSE(picker->isVisible());

    picker = OpenPicker();
    picker->lboxDir.setCurrentRow(RowOf(*picker, "gamma"));
    QTest::keyClick(&picker->lboxDir, Qt::Key_Return);
    EXPECT_EQ(picker->result(), QDialog::Accepted);
    EXPECT_EQ(picker->OpenDirectory(), start_ / "gamma");
    EXPECT_EQ(std::filesystem::current_path(), start_ / "gamma");

    // The next picker starts where the last one ended.
    picker = OpenPicker();
    EXPECT_EQ(picker->OpenDirectory(), start_ / "gamma");
}

TEST_F(DirPicker, UseAnswersTheOpenedDirectoryNotAMerelyHighlightedOne) {
    auto picker = OpenPicker();
    DoubleClick(*picker, RowOf(*picker, "beta"));
    EXPECT_TRUE(picker->isVisible()) << "a double click only opens";
    EXPECT_EQ(picker->OpenDirectory(), start_ / "beta");
    EXPECT_EQ(picker->lboxDir.item(picker->lboxDir.currentRow())->text().toStdString(), "beta");

    QTest::mouseClick(picker->lboxDir.viewport(), Qt::LeftButton, {},
                      CentreOf(*picker, RowOf(*picker, "deeper")));
    EXPECT_EQ(picker->lboxDir.currentRow(), RowOf(*picker, "deeper"));
    QTest::mouseClick(&picker->btnOk, Qt::LeftButton);
    EXPECT_EQ(picker->result(), QDialog::Accepted);
    EXPECT_EQ(picker->OpenDirectory(), start_ / "beta");

    // Cancel after opening leaves the current directory where the list went.
    picker = OpenPicker();
    picker->lboxDir.OpenEntry(RowOf(*picker, "deeper"));
    QTest::mouseClick(&picker->btnCancel, Qt::LeftButton);
    EXPECT_EQ(picker->result(), QDialog::Rejected);
    EXPECT_EQ(std::filesystem::current_path(), start_ / "beta" / "deeper");
}

TEST_F(DirPicker, TheRootKeepsItsSeparator) {
    auto picker = OpenPicker();
    picker->lboxDir.OpenEntry(0);
    QTest::mouseClick(&picker->btnOk, Qt::LeftButton);
    EXPECT_EQ(picker->OpenDirectory().string(), "/");
    EXPECT_EQ(picker->lboxDir.currentRow(), 0);
}

TEST_F(DirPicker, AnEntryThatCannotBeOpenedShowsTheReasonAndIsNeverTheAnswer) {
    auto picker = OpenPicker();
    const int gone = RowOf(*picker, "beta");
    std::filesystem::remove_all(start_ / "beta");
    DoubleClick(*picker, gone);
    ASSERT_EQ(toolkit.boxes.size(), 1u);
    EXPECT_EQ(toolkit.boxes[0].icon, platform::BoxIcon::Error);
    EXPECT_THAT(toolkit.boxes[0].text, HasSubstr("No such file or directory"));
    EXPECT_THAT(toolkit.boxes[0].text, HasSubstr("beta"));
    EXPECT_TRUE(picker->isVisible());
    EXPECT_EQ(picker->OpenDirectory(), start_);
    EXPECT_EQ(std::filesystem::current_path(), start_);

    // Enter on an entry that turned into a file: the error, and no answer at all.
    const int replaced = RowOf(*picker, "gamma");
    std::filesystem::remove(start_ / "gamma");
    testsupport::WriteFileBytes(start_ / "gamma", "now a file");
    picker->lboxDir.setCurrentRow(replaced);
    QTest::keyClick(&picker->lboxDir, Qt::Key_Return);
    ASSERT_EQ(toolkit.boxes.size(), 2u);
    EXPECT_THAT(toolkit.boxes[1].text, HasSubstr("Not a directory"));
    EXPECT_TRUE(picker->isVisible()) << "the picker stays open to choose again";
    EXPECT_EQ(picker->OpenDirectory(), start_);
    QTest::keyClick(&picker->lboxDir, Qt::Key_Escape);
    EXPECT_EQ(picker->result(), QDialog::Rejected);
}

TEST_F(DirPicker, NearTheScreenEdgeItStaysOnTheScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    ui::TfDirList picker(nullptr, QPoint(screen.right() - 10, screen.bottom() - 10));
    EXPECT_EQ(picker.pos(), QPoint(screen.right() + 1 - 165, screen.bottom() + 1 - 144));
    ui::TfDirList inside(nullptr, QPoint(screen.left() + 5, screen.top() + 7));
    EXPECT_EQ(inside.pos(), QPoint(screen.left() + 5, screen.top() + 7));
}

} // namespace
