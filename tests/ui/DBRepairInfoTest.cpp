// The repair window: its make-up, the database selection by alias and by directory, and the
// one-run-at-a-time rule, on real tables and a real engine configuration.
#include "ui/DBRepairInfo.h"

#include "UiTestSupport.h"
#include "platform/Session.h"
#include "ui/DirList.h"

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QKeyEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <gmock/gmock.h>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using uitest::UiTest;

std::string Lines(const QPlainTextEdit& memo) {
    return memo.toPlainText().toStdString();
}

std::string Str(const QString& text) {
    return text.toStdString();
}

// The picker the window shows modally, once it is up.
void WhenPickerShows(const std::function<void(ui::TfDirList&)>& act) {
    QTimer::singleShot(0, [act] {
        ASSERT_NE(ui::fDirList, nullptr);
        act(*ui::fDirList);
    });
}

class RepairWindow : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        first_ = TableDir("first", {"CUSTOMER", "ORDERS"});
        second_ = TableDir("second", {"EVENTS"});
        WriteConfig("[REMOTE]\nTYPE=MSSQL\nPATH=srv\n[FIRST]\nPATH=" + first_.string() +
                    "\n[TempDB]\nPATH=" + second_.string() + "\n[LOWER]\nTYPE=standard\nPATH=" +
                    second_.string() + "\n[SECOND]\nPATH=" + second_.string() + "\n");
    }

    std::filesystem::path first_;
    std::filesystem::path second_;
};

// ---- Make-up --------------------------------------------------------------------------------

TEST_F(RepairWindow, ControlsAsLaidOutWithTabOrderFocusAndKeys) {
    auto& w = OpenWindow();
    EXPECT_EQ(w.windowTitle().toStdString(), "Database Repair");
    EXPECT_EQ(w.Client().size(), QSize(458, 343));
    EXPECT_EQ(w.pos(), QPoint(1, 1));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_EQ(w.cbAlias.geometry(), QRect(115, 10, 176, 21));
    EXPECT_EQ(w.ePath.geometry(), QRect(115, 45, 311, 21));
    EXPECT_EQ(w.btnBrowse.geometry(), QRect(425, 45, 21, 21));
    EXPECT_TRUE(w.btnBrowse.font().bold());
    EXPECT_EQ(w.btnChkAndRepair.geometry(), QRect(10, 80, 86, 25));
    EXPECT_EQ(w.btnCancel.geometry(), QRect(10, 170, 86, 25));
    EXPECT_EQ(w.ggWorking.geometry(), QRect(115, 80, 331, 16));
    EXPECT_EQ(w.memoMessage.geometry(), QRect(115, 105, 331, 91));
    EXPECT_EQ(w.GroupBox3.geometry(), QRect(11, 211, 433, 120));
    EXPECT_EQ(w.pbRebuild.geometry(), QRect(60, 92, 360, 16));
    EXPECT_EQ(w.pbRebuild.parentWidget(), &w.GroupBox3);
    EXPECT_EQ(Str(w.GroupBox3.title()), " Table Status: ");
    {
        // As drawn: the caption sits on the frame's top line or below it, and the first bar
        // lies below both.
        const QImage drawn = w.GroupBox3.grab().toImage();
        const int lineColumn = w.GroupBox3.width() - 6; // right of the bars, inside the frame
        const int background = QColor(drawn.pixel(lineColumn, 0)).lightness();
        int lineRow = -1;
        for (int y = 0; y < drawn.height() && lineRow < 0; ++y) {
            if (std::abs(QColor(drawn.pixel(lineColumn, y)).lightness() - background) > 20) {
                lineRow = y;
            }
        }
        int captionTop = -1;
        int captionBottom = -1;
        for (int y = 0; y < w.Label24.y(); ++y) {
            for (int x = 0; x < w.pbHeader.x() + 40; ++x) {
                if (QColor(drawn.pixel(x, y)).lightness() < 100) {
                    captionTop = captionTop < 0 ? y : captionTop;
                    captionBottom = y;
                }
            }
        }
        ASSERT_GE(lineRow, 0);
        ASSERT_GE(captionTop, 0) << "the caption is drawn";
        EXPECT_LE(lineRow, captionBottom) << "the caption is not above the frame";
        EXPECT_LT(captionBottom, w.pbHeader.y());
        EXPECT_LT(lineRow + 1, w.pbHeader.y()) << "the first bar clears the frame's line";
    }
    EXPECT_EQ(Str(w.btnChkAndRepair.text()), "Check && Repair");
    EXPECT_EQ(Str(w.btnRebuild.text()), "Rebuild  All");
    EXPECT_EQ(w.Label25.geometry().right(), 14 + 40 - 1) << "captions keep their right edge";
    EXPECT_THAT(uitest::ClippedCaptions(w.Client()), ::testing::IsEmpty());

    std::vector<QWidget*> order{&w.cbAlias};
    for (QWidget* next = w.cbAlias.nextInFocusChain(); next != &w.cbAlias && order.size() < 12;
         next = next->nextInFocusChain()) {
        if (next->parentWidget() == &w.Client() && next->focusPolicy() != Qt::NoFocus) {
            order.push_back(next);
        }
    }
    EXPECT_THAT(order,
                ElementsAre(&w.cbAlias, &w.ePath, &w.btnBrowse, &w.btnChkAndRepair, &w.btnVerify,
                            &w.btnRebuild, &w.btnCancel, &w.rbAlias, &w.rbPath, &w.memoMessage));
    EXPECT_EQ(w.Client().focusProxy(), &w.cbAlias);

    // Enter runs the default button; Escape the Cancel button, only while it is enabled.
    int runs = 0;
    int cancels = 0;
    QObject::connect(&w.btnChkAndRepair, &QPushButton::clicked, [&runs] { ++runs; });
    QObject::connect(&w.btnCancel, &QPushButton::clicked, [&cancels] { ++cancels; });
    QTest::keyClick(&w.cbAlias, Qt::Key_Return);
    EXPECT_EQ(runs, 1);
    QTest::keyClick(&w.cbAlias, Qt::Key_Escape);
    EXPECT_EQ(cancels, 0) << "Cancel is disabled at creation";
    w.btnCancel.setEnabled(true);
    QTest::keyClick(&w.cbAlias, Qt::Key_Escape);
    EXPECT_EQ(cancels, 1);
}

// ---- Selection ------------------------------------------------------------------------------

TEST_F(RepairWindow, CreationOffersStandardAliasesAndSelectsTheFirst) {
    auto& w = OpenWindow();
    std::vector<std::string> offered;
    for (int i = 0; i < w.cbAlias.count(); ++i) {
        offered.push_back(Str(w.cbAlias.itemText(i)));
    }
    EXPECT_THAT(offered, ElementsAre("FIRST", "SECOND"));
    EXPECT_EQ(w.cbAlias.currentIndex(), 0);
    EXPECT_TRUE(ui::RepairWindowOpen);
    EXPECT_EQ(ui::fDBRepairInfo, &w);
    EXPECT_TRUE(w.dbTemp.Connected());
    EXPECT_EQ(w.dbTemp.AliasName(), "FIRST");
    EXPECT_EQ(w.TempSession.PrivateDir(), Dir("priv").string());
    EXPECT_TRUE(w.TempTable.Exclusive());
    EXPECT_THAT(w.TableList, ElementsAre("CUSTOMER.DB", "ORDERS.DB"));
    EXPECT_EQ(Str(w.cbAlias.toolTip()), "CUSTOMER.DB\nORDERS.DB");
    EXPECT_EQ(Str(w.ePath.toolTip()), "CUSTOMER.DB\nORDERS.DB");
    EXPECT_EQ(Str(w.ePath.text()), first_.string());
    EXPECT_FALSE(w.ePath.isEnabled());
    EXPECT_FALSE(w.btnBrowse.isEnabled());
    EXPECT_TRUE(w.cbAlias.isEnabled());
    EXPECT_TRUE(w.rbAlias.isChecked());
    EXPECT_FALSE(w.btnCancel.isEnabled());
    EXPECT_FALSE(w.CancelRequested);
    EXPECT_EQ(Lines(w.memoMessage), "Alias set to: FIRST");
    EXPECT_THAT(frame->log, ElementsAre("Alias set to: FIRST"));
    EXPECT_TRUE(toolkit.boxes.empty());

    // Picking another alias selects it and lists its tables.
    w.cbAlias.setCurrentIndex(1);
    emit w.cbAlias.activated(1);
    EXPECT_EQ(w.dbTemp.AliasName(), "SECOND");
    EXPECT_THAT(w.TableList, ElementsAre("EVENTS.DB"));
    EXPECT_EQ(Str(w.cbAlias.toolTip()), "EVENTS.DB");
    EXPECT_THAT(frame->log, ElementsAre("Alias set to: FIRST", "Alias set to: SECOND"));
}

TEST_F(RepairWindow, PathModeUsesTheSessionAliasAndAliasModeRemovesIt) {
    auto& w = OpenWindow();
    w.rbPath.click();
    EXPECT_TRUE(w.ePath.isEnabled());
    EXPECT_TRUE(w.btnBrowse.isEnabled());
    EXPECT_FALSE(w.cbAlias.isEnabled());
    EXPECT_TRUE(w.btnChkAndRepair.isEnabled()) << "the run buttons stay as they are";
    EXPECT_EQ(w.dbTemp.AliasName(), "Mendrix");
    EXPECT_TRUE(w.dbTemp.Connected());
    EXPECT_TRUE(w.TempSession.IsAlias("Mendrix"));
    EXPECT_EQ(w.TempSession.ConfigMode(), platform::cmAll);
    EXPECT_THAT(w.TableList, ElementsAre("CUSTOMER.DB", "ORDERS.DB"));
    EXPECT_EQ(Str(w.ePath.text()), first_.string());
    EXPECT_THAT(frame->log,
                ElementsAre("Alias set to: FIRST", "DB path set to: " + first_.string()));

    w.rbAlias.click();
    EXPECT_FALSE(w.TempSession.IsAlias("Mendrix"));
    EXPECT_EQ(w.dbTemp.AliasName(), "FIRST");
    EXPECT_FALSE(w.ePath.isEnabled());
    EXPECT_TRUE(w.cbAlias.isEnabled());
    EXPECT_EQ(frame->log.back(), "Alias set to: FIRST");
    EXPECT_EQ(Lines(w.memoMessage),
              "Alias set to: FIRST\nDB path set to: " + first_.string() + "\nAlias set to: FIRST");
    EXPECT_TRUE(toolkit.boxes.empty());
}

TEST_F(RepairWindow, TypedPathSelectsOnlyWhenTheTextChangedExactly) {
    const auto upper = TableDir("Data", {"INVOICE"});
    const auto lower = TableDir("data", {"EVENTS"});
    auto& w = OpenWindow();
    w.rbPath.click();
    const auto linesBefore = frame->log.size();

    w.ePathEnter();
    w.ePathExit();
    EXPECT_EQ(frame->log.size(), linesBefore) << "unchanged text selects nothing";

    w.ePath.setText(QString::fromStdString(upper.string()));
    w.ePathEnter();
    w.ePathExit();
    w.ePathEnter();
    w.ePath.setText(QString::fromStdString(lower.string()));
    w.ePathExit();
    EXPECT_THAT(w.TableList, ElementsAre("EVENTS.DB")) << "another directory by letter case";
    EXPECT_EQ(frame->log.back(), "DB path set to: " + lower.string());

    // A relative path is taken from the current directory when it is selected.
    std::filesystem::current_path(Dir("."));
    w.ePathEnter();
    w.ePath.setText(QStringLiteral("Data"));
    w.ePathExit();
    EXPECT_THAT(w.TableList, ElementsAre("INVOICE.DB"));
    EXPECT_EQ(std::filesystem::path(w.dbTemp.Directory()), std::filesystem::absolute("Data"));
    std::filesystem::current_path(Dir("priv"));
    EXPECT_EQ(std::filesystem::path(w.dbTemp.Directory()), upper);

    // Enter in the path box selects the typed path before the default button runs.
    std::vector<std::string> tablesAtRun;
    QObject::connect(&w.btnChkAndRepair, &QPushButton::clicked,
                     [&w, &tablesAtRun] { tablesAtRun = w.TableList; });
    frame->area.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame->area));
    w.ePath.setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(w.ePath.hasFocus());
    w.ePath.setText(QString::fromStdString(first_.string()));
    QTest::keyClick(&w.ePath, Qt::Key_Return);
    EXPECT_THAT(tablesAtRun, ElementsAre("CUSTOMER.DB", "ORDERS.DB"));

    // Leaving the box for another control selects the typed path; the focus going away with
    // the whole window does not.
    w.ePath.setText(QString::fromStdString(lower.string()));
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(&w.ePath, &away);
    EXPECT_THAT(w.TableList, ElementsAre("CUSTOMER.DB", "ORDERS.DB"));
    w.btnVerify.setFocus(Qt::MouseFocusReason);
    QApplication::processEvents(); // after the press that took the focus
    EXPECT_THAT(w.TableList, ElementsAre("EVENTS.DB"));
    EXPECT_EQ(frame->log.back(), "DB path set to: " + lower.string());
    EXPECT_TRUE(toolkit.boxes.empty());
}

TEST_F(RepairWindow, FailedSelectionLeavesNoTableListARunCouldWalk) {
    auto& w = OpenWindow();
    w.rbPath.click();
    const auto lines = frame->log.size();
    const std::string absent = Dir("absent").string();
    w.ePathEnter();
    w.ePath.setText(QString::fromStdString(absent));
    EXPECT_FALSE(platform::RunGuarded([&w] { w.ePathExit(); }));
    ASSERT_EQ(toolkit.boxes.size(), 1u);
    EXPECT_EQ(toolkit.boxes[0].caption, "Mendrix");
    EXPECT_THAT(toolkit.boxes[0].text, HasSubstr("absent"));
    EXPECT_TRUE(w.TableList.empty());
    EXPECT_FALSE(w.dbTemp.Connected());
    EXPECT_EQ(w.dbTemp.AliasName(), "Mendrix");
    EXPECT_EQ(w.TempSession.ConfigMode(), platform::cmAll);
    EXPECT_EQ(Str(w.ePath.text()), absent) << "the text stays as typed";
    EXPECT_EQ(Str(w.ePath.toolTip()), "CUSTOMER.DB\nORDERS.DB") << "hints of the last list read";
    EXPECT_EQ(frame->log.size(), lines);
    EXPECT_TRUE(ui::RepairWindowOpen);

    // The operator can choose again.
    w.rbAlias.click();
    EXPECT_THAT(w.TableList, ElementsAre("CUSTOMER.DB", "ORDERS.DB"));

    // An alias whose directory is gone fails the same way.
    std::filesystem::remove_all(second_);
    w.cbAlias.setCurrentIndex(1);
    emit w.cbAlias.activated(1);
    EXPECT_EQ(toolkit.boxes.size(), 2u);
    EXPECT_TRUE(w.TableList.empty());
    EXPECT_FALSE(w.dbTemp.Connected());
    EXPECT_EQ(w.dbTemp.AliasName(), "SECOND");
}

// A quick tap on a run button right after typing a path: its release reaches the button while
// the selection that leaving the box started is still pumping events. The run starts once the
// selection is done. After a selection that failed, no run starts over nothing.
TEST_F(RepairWindow, ARunClickedDuringASelectionStartsAfterItAndNoneAfterAFailedOne) {
    auto& w = OpenWindow();
    w.rbPath.click();
    bool clicked = false;
    toolkit.onEventPump = [&] {
        if (!clicked) {
            clicked = true;
            w.btnVerify.click();
        }
    };
    w.ePathEnter();
    w.ePath.setText(QString::fromStdString(second_.string()));
    ASSERT_TRUE(platform::RunGuarded([&w] { w.ePathExit(); }));
    toolkit.onEventPump = nullptr;
    ASSERT_TRUE(clicked) << "the selection pumps events";
    QApplication::processEvents();
    EXPECT_THAT(Lines(w.memoMessage), HasSubstr("Verify started."));
    EXPECT_THAT(Lines(w.memoMessage), HasSubstr("EVENTS.DB"));
    EXPECT_FALSE(w.RunInProgress());

    w.pbData.setValue(50);
    w.ePathEnter();
    w.ePath.setText(QString::fromStdString(Dir("absent").string()));
    EXPECT_FALSE(platform::RunGuarded([&w] { w.ePathExit(); }));
    EXPECT_EQ(w.pbData.value(), 0) << "the bars of the last run are reset";
    const std::size_t boxes = toolkit.boxes.size();
    const std::string pane = Lines(w.memoMessage);
    w.btnVerify.click();
    ASSERT_EQ(toolkit.boxes.size(), boxes + 1);
    EXPECT_THAT(toolkit.boxes.back().text, ::testing::StartsWith("No database is selected: "));
    EXPECT_THAT(toolkit.boxes.back().text, HasSubstr("absent"));
    EXPECT_EQ(Lines(w.memoMessage), pane) << "no run over nothing";
    EXPECT_EQ(Str(w.ePath.text()), Dir("absent").string()) << "the path box shows what failed";

    w.ePathEnter();
    w.ePath.setText(QString::fromStdString(first_.string()));
    ASSERT_TRUE(platform::RunGuarded([&w] { w.ePathExit(); }));
    w.btnVerify.click();
    EXPECT_THAT(Lines(w.memoMessage), HasSubstr("ORDERS.DB"));

    // The press that takes the focus from the box reaches the button before the selection
    // runs, even when the release is already waiting in the queue the selection pumps.
    frame->area.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame->area));
    w.ePath.setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(w.ePath.hasFocus());
    w.ePath.setText(QString::fromStdString(second_.string()));
    bool released = false;
    const auto release = [&] {
        if (!released) {
            released = true;
            QTest::mouseRelease(&w.btnVerify, Qt::LeftButton);
        }
    };
    toolkit.onEventPump = release;
    QTest::mousePress(&w.btnVerify, Qt::LeftButton);
    release();
    toolkit.onEventPump = nullptr;
    QApplication::processEvents();
    EXPECT_FALSE(w.btnVerify.isDown()) << "not left drawn pressed";
    EXPECT_THAT(Lines(w.memoMessage), HasSubstr("EVENTS.DB")) << "the tapped run ran";
}

TEST_F(RepairWindow, ConfiguredAliasNamedLikeTheSessionAliasIsNeverDeleted) {
    WriteConfig("[FIRST]\nPATH=" + first_.string() + "\n[Mendrix]\nPATH=" + second_.string() +
                "\n");
    auto& w = OpenWindow();
    w.cbAlias.setCurrentIndex(1);
    emit w.cbAlias.activated(1);
    EXPECT_TRUE(toolkit.boxes.empty()) << (toolkit.boxes.empty() ? "" : toolkit.boxes[0].text);
    EXPECT_EQ(w.dbTemp.AliasName(), "Mendrix");
    EXPECT_THAT(w.TableList, ElementsAre("EVENTS.DB"));
    w.cbAlias.setCurrentIndex(0);
    emit w.cbAlias.activated(0);
    EXPECT_TRUE(w.TempSession.IsAlias("Mendrix"));
}

TEST_F(RepairWindow, BrowseOkSelectsThePickedDirectoryWithOneSlashAndCancelChangesNothing) {
    auto& w = OpenWindow();
    w.rbPath.click();
    std::filesystem::current_path(Dir("."));

    // The picker starts at the folder in the path box, not at the current directory.
    std::filesystem::path startedAt;
    WhenPickerShows([&startedAt](ui::TfDirList& picker) {
        startedAt = picker.OpenDirectory();
        QTest::keyClick(&picker.lboxDir, Qt::Key_Escape);
    });
    const auto lines = frame->log;
    const auto text = w.ePath.text();
    w.btnBrowse.click();
    EXPECT_EQ(startedAt, std::filesystem::canonical(first_));
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::canonical(Dir(".")));
    EXPECT_EQ(ui::fDirList, nullptr) << "the picker is freed";
    EXPECT_EQ(w.ePath.text(), text);
    EXPECT_EQ(frame->log, lines);

    // A path box naming no directory leaves the start at the current directory.
    w.ePath.setText(QString::fromStdString(Dir("none").string()));
    QPoint placedAt;
    WhenPickerShows([&placedAt](ui::TfDirList& picker) {
        placedAt = picker.pos();
        const auto items = picker.lboxDir.findItems(QStringLiteral("second"), Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        picker.lboxDir.setCurrentItem(items[0]);
        QTest::keyClick(&picker.lboxDir, Qt::Key_Return);
    });
    w.btnBrowse.click();
    EXPECT_EQ(placedAt, w.Client().mapToGlobal(QPoint(446, 45)));
    const std::string picked = std::filesystem::current_path().string() + "/";
    EXPECT_EQ(frame->log.back(), "DB path set to: " + picked);
    EXPECT_THAT(w.TableList, ElementsAre("EVENTS.DB"));
    EXPECT_EQ(w.dbTemp.AliasName(), "Mendrix");
    EXPECT_TRUE(toolkit.boxes.empty());
}

TEST_F(RepairWindow, CloseFreesTheWindowAndReopeningListsTheAliasesAnew) {
    auto* w = &OpenWindow();
    QPointer<ui::TfDBRepairInfo> first(w);
    w->close();
    uitest::DrainEvents();
    EXPECT_TRUE(first.isNull());
    EXPECT_FALSE(ui::RepairWindowOpen);
    EXPECT_EQ(ui::fDBRepairInfo, nullptr);

    WriteConfig("[THIRD]\nPATH=" + second_.string() + "\n[FIRST]\nPATH=" + first_.string() + "\n");
    w = &OpenWindow();
    EXPECT_EQ(w->cbAlias.count(), 2);
    EXPECT_EQ(Str(w->cbAlias.itemText(0)), "THIRD");
    EXPECT_THAT(frame->log, ElementsAre("Alias set to: FIRST", "Alias set to: THIRD"));
}

TEST_F(RepairWindow, FailingSetUpIsShownAndTheWindowStays) {
    frame.emplace(Dir("no-such-private-dir"));
    auto& w = OpenWindow();
    ASSERT_EQ(toolkit.boxes.size(), 1u);
    EXPECT_EQ(toolkit.boxes[0].caption, "Mendrix");
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(ui::RepairWindowOpen);
    EXPECT_EQ(w.cbAlias.count(), 0) << "stopped before the aliases were listed";
    EXPECT_TRUE(w.TableList.empty());
}

// ---- One run at a time ----------------------------------------------------------------------

TEST_F(RepairWindow, ARunLocksTheSelectionAndDefersTheClose) {
    auto& w = OpenWindow();
    QPointer<ui::TfDBRepairInfo> window(&w);
    ASSERT_TRUE(w.BeginRun());
    EXPECT_TRUE(w.RunInProgress());
    EXPECT_FALSE(w.BeginRun()) << "one run at a time";
    for (QWidget* control :
         std::vector<QWidget*>{&w.cbAlias, &w.rbAlias, &w.rbPath, &w.ePath, &w.btnBrowse,
                               &w.btnChkAndRepair, &w.btnVerify, &w.btnRebuild}) {
        EXPECT_FALSE(control->isEnabled()) << Str(control->objectName());
    }
    // Selections reached in any way during the run leave its list and database alone.
    w.cbAlias.setCurrentIndex(1);
    w.cbAliasChange();
    w.rbPathClick();
    w.ePath.setText(QString::fromStdString(second_.string()));
    w.ePathExit();
    EXPECT_THAT(w.TableList, ElementsAre("CUSTOMER.DB", "ORDERS.DB"));
    EXPECT_EQ(w.dbTemp.AliasName(), "FIRST");
    EXPECT_TRUE(w.dbTemp.Connected());

    EXPECT_FALSE(w.close());
    uitest::DrainEvents();
    ASSERT_FALSE(window.isNull()) << "the window a run works on is never destroyed";
    EXPECT_TRUE(ui::RepairWindowOpen);
    EXPECT_TRUE(w.CancelRequested) << "the run is asked to stop";
    EXPECT_TRUE(w.ClosePending());

    w.EndRun();
    uitest::DrainEvents();
    EXPECT_TRUE(window.isNull()) << "the close asked for is carried out after the run";
    EXPECT_FALSE(ui::RepairWindowOpen);
}

TEST_F(RepairWindow, AfterARunTheControlsFollowTheMode) {
    auto& w = OpenWindow();
    w.rbPath.click();
    {
        const ui::TfDBRepairInfo::RunScope run(w);
        ASSERT_TRUE(run.Began());
    }
    EXPECT_FALSE(w.RunInProgress());
    EXPECT_TRUE(w.ePath.isEnabled());
    EXPECT_TRUE(w.btnBrowse.isEnabled());
    EXPECT_FALSE(w.cbAlias.isEnabled());
    EXPECT_TRUE(w.rbAlias.isEnabled());
    EXPECT_TRUE(w.btnVerify.isEnabled());
    EXPECT_TRUE(w.isVisible()) << "no close was asked for";
}

} // namespace
