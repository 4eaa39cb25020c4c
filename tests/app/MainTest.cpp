#include "app/Main.h"

#include "AppTestSupport.h"
#include "app/About.h"
#include "repair/DBRepair.h"
#include "repair/RepairRun.h"
#include "support/Corpus.h"
#include "support/FileSizeLimit.h"
#include "ui/DBRepairInfo.h"
#include "ui/FindingsWindow.h"

#include <QColor>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QTimer>

namespace {

using apptest::AppTest;
using apptest::IsShellLine;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

std::filesystem::path Canonical(const std::filesystem::path& p) {
    return std::filesystem::canonical(p);
}

int RepairWindowCount(app::TfMain& window) {
    apptest::DrainEvents();
    return static_cast<int>(window.ChildArea().subWindowList().size());
}

void ShowAndActivate(app::TfMain& window) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    apptest::DrainEvents();
}

// ---- Start-up ----------------------------------------------------------------------------

using MainStart = AppTest;

TEST_F(MainStart, FirstStartCreatesThePrivateDirectoryAndLeavesTheCurrentOneAlone) {
    app::TfMain window(ProgramDir());
    EXPECT_FALSE(window.StartFailed());
    EXPECT_EQ(window.windowTitle().toStdString(), "Mendrix 1.0.0.4");
    EXPECT_TRUE(std::filesystem::is_directory(PrivateDir()));
    EXPECT_EQ(std::filesystem::current_path(), startDirectory);
    EXPECT_EQ(window.PrivateDirectory(), PrivateDir());
    EXPECT_EQ(window.LogFileName(), LogFile());
    EXPECT_FALSE(std::filesystem::exists(LogFile())) << "nothing is written before the close";
    ASSERT_EQ(window.RunLogLines().size(), 1u);
    EXPECT_TRUE(IsShellLine(window.RunLogLines()[0], "started"));
    EXPECT_TRUE(window.FirstActivation());
    EXPECT_FALSE(ui::RepairWindowOpen);
    EXPECT_TRUE(toolkit.boxes.empty());
}

TEST_F(MainStart, LaterStartMakesThePrivateDirectoryCurrentAndFollowsTheOldLines) {
    std::filesystem::create_directory(PrivateDir());
    WriteFileBytes(LogFile(), "old cr\rold lf\nold crlf\r\nold unended");
    app::TfMain window(ProgramDir());
    EXPECT_EQ(Canonical(std::filesystem::current_path()), Canonical(PrivateDir()));
    const auto& lines = window.RunLogLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4),
              (std::vector<std::string>{"old cr", "old lf", "old crlf", "old unended"}));
    EXPECT_TRUE(IsShellLine(lines[4], "started"));
}

TEST_F(MainStart, PrivateDirectoryNeitherCurrentNorCreatableEndsTheProgram) {
    WriteFileBytes(ProgramDir() / "priv", "a file where the directory should be");
    {
        app::TfMain window(ProgramDir());
        EXPECT_TRUE(window.StartFailed());
        EXPECT_FALSE(window.isVisible());
        ASSERT_EQ(toolkit.boxes.size(), 1u);
        EXPECT_EQ(toolkit.boxes[0].icon, platform::BoxIcon::Warning);
        EXPECT_EQ(toolkit.boxes[0].caption, "Warning");
        EXPECT_EQ(toolkit.boxes[0].text, "Could not create DB private dir");
        EXPECT_TRUE(window.RunLogLines().empty()) << "the log must not be read";
        window.close(); // a close request must not save anything either
    }
    EXPECT_EQ(ReadFileBytes(ProgramDir() / "priv"), "a file where the directory should be");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(ProgramDir()),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_EQ(std::filesystem::current_path(), startDirectory);
}

TEST_F(MainStart, UnreadableLogIsReportedKeptAndTheNewLinesGoBesideIt) {
    std::filesystem::create_directories(LogFile() / "inside");
    WriteFileBytes(LogFile() / "inside" / "keep", "old content");
    app::TfMain window(ProgramDir());
    ASSERT_EQ(toolkit.boxes.size(), 1u);
    const auto& box = toolkit.boxes[0];
    EXPECT_EQ(box.icon, platform::BoxIcon::Error);
    EXPECT_EQ(box.caption, "Mendrix");
    EXPECT_NE(box.text.find(LogFile().string()), std::string::npos);
    EXPECT_NE(box.text.find("Is a directory"), std::string::npos);
    const auto sibling = app::TfMain::UnreadLogSiblingFor(LogFile());
    EXPECT_NE(box.text.find(sibling.string()), std::string::npos) << box.text;

    ShowAndActivate(window);
    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(ReadFileBytes(LogFile() / "inside" / "keep"), "old content");
    const auto lines = repair::ReadLogFile(sibling);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(IsShellLine(lines[0], "started"));
    EXPECT_EQ(lines[1], "Alias set to: DATA");
    EXPECT_TRUE(IsShellLine(lines[2], "shutdown"));

    // The next run adds to the same file beside the log.
    app::TfMain next(ProgramDir());
    next.close();
    EXPECT_EQ(repair::ReadLogFile(sibling).size(), 5u);
}

// ---- Close and the log file --------------------------------------------------------------

using MainClose = AppTest;

TEST_F(MainClose, StartThenExitLeavesStartAliasAndShutdownLinesWithCrLf) {
    app::TfMain window(ProgramDir());
    ShowAndActivate(window);
    ASSERT_TRUE(ui::RepairWindowOpen);
    window.findChild<QAction*>(QStringLiteral("miExit"))->trigger();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(ui::RepairWindowOpen) << "the close closes the repair window first";
    const std::string bytes = ReadFileBytes(LogFile());
    const auto lines = LogFileLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(IsShellLine(lines[0], "started"));
    EXPECT_EQ(lines[1], "Alias set to: DATA") << "the repair window selected its first alias";
    EXPECT_TRUE(IsShellLine(lines[2], "shutdown"));
    EXPECT_EQ(bytes, lines[0] + "\r\n" + lines[1] + "\r\n" + lines[2] + "\r\n");
    EXPECT_TRUE(toolkit.boxes.empty());
}

TEST_F(MainClose, CloseBoxBehavesAsExitAndKeepsOldLinesFirst) {
    std::filesystem::create_directory(PrivateDir());
    WriteFileBytes(LogFile(), "old unended");
    app::TfMain window(ProgramDir());
    ShowAndActivate(window);
    window.AppendLogLine("a line from elsewhere");
    EXPECT_TRUE(window.close());
    const auto lines = LogFileLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "old unended");
    EXPECT_TRUE(IsShellLine(lines[1], "started"));
    EXPECT_EQ(lines[2], "Alias set to: DATA");
    EXPECT_EQ(lines[3], "a line from elsewhere");
    EXPECT_TRUE(IsShellLine(lines[4], "shutdown"));
    EXPECT_EQ(ReadFileBytes(LogFile()).substr(0, 13), "old unended\r\n");
}

TEST_F(MainClose, FailedSaveKeepsTheWindowOpenAndEachAttemptAddsAShutdownLine) {
    app::TfMain window(ProgramDir());
    ShowAndActivate(window);
    std::filesystem::remove_all(PrivateDir());
    WriteFileBytes(PrivateDir(), "not a directory");

    for (int attempt = 1; attempt <= 2; ++attempt) {
        EXPECT_FALSE(window.close());
        EXPECT_TRUE(window.isVisible());
        ASSERT_EQ(toolkit.boxes.size(), static_cast<std::size_t>(attempt));
        const auto& box = toolkit.boxes.back();
        EXPECT_EQ(box.icon, platform::BoxIcon::Error);
        EXPECT_EQ(box.caption, "Mendrix");
        EXPECT_NE(box.text.find(LogFile().string()), std::string::npos) << box.text;
        EXPECT_NE(box.text.find("Not a directory"), std::string::npos) << box.text;
        EXPECT_FALSE(toolkit.hourglass) << "the arrow comes back after a failed save";
    }
    EXPECT_FALSE(ui::RepairWindowOpen);

    std::filesystem::remove(PrivateDir());
    std::filesystem::create_directory(PrivateDir());
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
    const auto lines = LogFileLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_TRUE(IsShellLine(lines[0], "started"));
    EXPECT_EQ(lines[1], "Alias set to: DATA");
    for (int i = 2; i < 5; ++i) {
        EXPECT_TRUE(IsShellLine(lines[i], "shutdown")) << lines[i];
    }
}

TEST_F(MainClose, SaveThatDiesPartWayKeepsTheOldFileAndTheWindow) {
    std::filesystem::create_directory(PrivateDir());
    const std::string old = "old line\r\n";
    WriteFileBytes(LogFile(), old);
    app::TfMain window(ProgramDir());
    ShowAndActivate(window);
    for (int i = 0; i < 20; ++i) {
        window.AppendLogLine(std::string(60, 'x'));
    }
    {
        const testsupport::FileSizeLimit limit(200);
        EXPECT_FALSE(window.close());
    }
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(ReadFileBytes(LogFile()), old);
    ASSERT_EQ(toolkit.boxes.size(), 1u);
    EXPECT_NE(toolkit.boxes[0].text.find("File too large"), std::string::npos);

    EXPECT_TRUE(window.close());
    const auto lines = LogFileLines();
    ASSERT_EQ(lines.size(), 1u + 2u + 20u + 2u);
    EXPECT_EQ(lines[0], "old line");
    EXPECT_TRUE(IsShellLine(lines[23], "shutdown"));
    EXPECT_TRUE(IsShellLine(lines[24], "shutdown"));
}

TEST_F(MainClose, CloseDuringARunWaitsForTheRunToEndThenCloses) {
    app::TfMain window(ProgramDir());
    ShowAndActivate(window);
    ui::TfDBRepairInfo* repair = ui::fDBRepairInfo;
    ASSERT_NE(repair, nullptr);
    ASSERT_TRUE(repair->BeginRun());

    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(ui::RepairWindowOpen);
    EXPECT_TRUE(repair->CancelRequested);
    EXPECT_FALSE(std::filesystem::exists(LogFile())) << "no shutdown while the run works";

    repair->EndRun();
    apptest::DrainEvents();
    apptest::DrainEvents();
    EXPECT_FALSE(ui::RepairWindowOpen);
    EXPECT_FALSE(window.isVisible());
    const auto lines = LogFileLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(IsShellLine(lines[2], "shutdown"));
}

using qttest::PumpingToolkit;

TEST_F(MainClose, CloseInsideARealRunStopsItAfterTheTableThenLogsTheRunBeforeShutdown) {
    const auto samples = testsupport::SamplesDir();
    for (const char* file : {"CUSTOMER.DB", "CUSTOMER.MB", "CUSTOMER.PX", "CUSTOMER.X03",
                             "CUSTOMER.Y03", "EVENTS.DB", "ORDERS.DB", "ORDERS.PX"}) {
        std::filesystem::copy_file(samples / file, DataDir() / file);
    }
    PumpingToolkit pumping;
    const platform::ScopedToolkit installed(pumping);
    app::TfMain window(ProgramDir());
    ShowAndActivate(window);
    ui::TfDBRepairInfo* repair = ui::fDBRepairInfo;
    ASSERT_NE(repair, nullptr);
    ASSERT_EQ(repair->TableList.size(), 3u);

    // Pump 1 of the run comes before the engine is made, pump 2 inside the first table.
    const int before = pumping.eventPumps;
    bool closeRefused = false;
    pumping.onPump = [&](int pump) {
        if (pump == before + 2) {
            // The frame's close box, clicked while the run works on its first table.
            QTimer::singleShot(0, &window, [&] { closeRefused = !window.close(); });
        }
    };
    repair->btnVerify.click();
    EXPECT_TRUE(closeRefused) << "the frame does not close under a running run";
    const std::vector<std::string> runLines = window.RunLogLines();

    apptest::DrainEvents();
    apptest::DrainEvents();
    EXPECT_FALSE(ui::RepairWindowOpen);
    EXPECT_FALSE(window.isVisible()) << "the close is carried out once the run has ended";
    const auto lines = LogFileLines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_TRUE(IsShellLine(lines[0], "started"));
    EXPECT_EQ(lines[1], "Alias set to: DATA");
    EXPECT_EQ(lines[2].rfind(repair::StartText(repair::roVerify), 0), 0u) << lines[2];
    EXPECT_EQ(lines[3], "CUSTOMER.DB") << "the table in progress was finished";
    EXPECT_EQ(lines[4], repair::verdict::kNoErrors);
    EXPECT_EQ(lines[5], "Operation cancelled by user.");
    EXPECT_EQ(lines[6].rfind(repair::EndText(repair::roVerify), 0), 0u) << lines[6];
    EXPECT_TRUE(IsShellLine(lines[7], "shutdown"));
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 7), runLines)
        << "the run's lines were in the log before the frame closed";
}

TEST_F(MainClose, TwoCopiesBothKeepTheirLinesOnce) {
    std::filesystem::create_directory(PrivateDir());
    WriteFileBytes(LogFile(), "old\r\n");
    app::TfMain first(ProgramDir());
    app::TfMain second(ProgramDir());
    first.show();
    second.show();
    first.AppendLogLine("from the first copy");
    second.AppendLogLine("from the second copy");
    EXPECT_TRUE(first.close());
    EXPECT_TRUE(second.close());
    const auto lines = LogFileLines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "old");
    EXPECT_TRUE(IsShellLine(lines[1], "started"));
    EXPECT_EQ(lines[2], "from the first copy");
    EXPECT_TRUE(IsShellLine(lines[3], "shutdown"));
    EXPECT_TRUE(IsShellLine(lines[4], "started"));
    EXPECT_EQ(lines[5], "from the second copy");
    EXPECT_TRUE(IsShellLine(lines[6], "shutdown"));
}

// ---- Repair DB and the first activation --------------------------------------------------

using MainRepairDB = AppTest;

TEST_F(MainRepairDB, FirstActivationOpensOneRepairWindowOnce) {
    app::TfMain window(ProgramDir());
    ShowAndActivate(window);
    EXPECT_FALSE(window.FirstActivation());
    EXPECT_EQ(RepairWindowCount(window), 1);
    ASSERT_TRUE(ui::RepairWindowOpen);
    ASSERT_NE(ui::fDBRepairInfo, nullptr);
    EXPECT_GE(toolkit.eventPumps, 1);
    EXPECT_FALSE(toolkit.hourglass);

    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&window, &activate);
    EXPECT_EQ(RepairWindowCount(window), 1);

    ui::fDBRepairInfo->close();
    EXPECT_FALSE(ui::RepairWindowOpen);
    EXPECT_EQ(RepairWindowCount(window), 0);
    QCoreApplication::sendEvent(&window, &activate);
    EXPECT_EQ(RepairWindowCount(window), 0) << "later activations do not reopen it";
}

TEST_F(MainRepairDB, TwiceMakesOneWindowAndAfterCloseANewOne) {
    app::TfMain window(ProgramDir());
    auto* button = window.findChild<QToolButton*>(QStringLiteral("btnRepairDB"));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    ui::TfDBRepairInfo* opened = ui::fDBRepairInfo;
    ASSERT_NE(opened, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(RepairWindowCount(window), 1);
    EXPECT_EQ(ui::fDBRepairInfo, opened);
    EXPECT_EQ(window.ChildArea().activeSubWindow(), opened);
    EXPECT_EQ(toolkit.hourglassCount, 2);
    EXPECT_EQ(toolkit.defaultCursorCount, 2);
    EXPECT_FALSE(toolkit.hourglass);

    opened->close();
    EXPECT_EQ(RepairWindowCount(window), 0);
    window.findChild<QAction*>(QStringLiteral("miRepairDB"))->trigger();
    EXPECT_EQ(RepairWindowCount(window), 1);
    EXPECT_TRUE(ui::RepairWindowOpen);
}

TEST_F(MainRepairDB, RepairWindowIsAFixedChildAtTheTopLeft) {
    app::TfMain window(ProgramDir());
    ShowAndActivate(window);
    ui::TfDBRepairInfo* repair = ui::fDBRepairInfo;
    ASSERT_NE(repair, nullptr);
    EXPECT_EQ(repair->windowTitle().toStdString(), "Database Repair");
    EXPECT_EQ(repair->Client().size(), QSize(458, 343));
    EXPECT_TRUE(repair->rect().contains(repair->Client().geometry()))
        << "the caption bar and border come on top of the client area";
    EXPECT_GT(repair->height(), 343);
    EXPECT_EQ(repair->pos(), QPoint(1, 1));
    EXPECT_EQ(repair->minimumSize(), repair->maximumSize()) << "not resizable";
}

// A toolkit whose event pump fails, to reach the failure path of the first activation.
class FailingPumpToolkit : public platform::RecordingToolkit {
public:
    void ProcessPendingEvents() override { throw std::runtime_error("pump failed"); }
};

TEST_F(MainRepairDB, FailedFirstActivationIsShownAndNotRepeated) {
    FailingPumpToolkit failing;
    const platform::ScopedToolkit installed(failing);
    app::TfMain window(ProgramDir());
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&window, &activate);
    EXPECT_FALSE(window.FirstActivation());
    ASSERT_EQ(failing.boxes.size(), 1u);
    EXPECT_EQ(failing.boxes[0].caption, "Mendrix");
    EXPECT_EQ(failing.boxes[0].text, "pump failed");
    QCoreApplication::sendEvent(&window, &activate);
    EXPECT_EQ(failing.boxes.size(), 1u);
    EXPECT_EQ(RepairWindowCount(window), 0);
}

// ---- Layout and About ---------------------------------------------------------------------

using MainLayout = AppTest;

TEST_F(MainLayout, FrameMenusToolbarAndStatusBarAsLaidOut) {
    app::TfMain window(ProgramDir());
    EXPECT_EQ(window.pos(), QPoint(217, 115));
    ShowAndActivate(window);
    // The laid-out client area is what lies below the menu bar.
    const int menuHeight = window.menuBar()->height();
    EXPECT_EQ(window.size(), QSize(554, 437 + menuHeight));
    // The repair window shows whole, frame and all, with no scroll bar.
    ASSERT_NE(ui::fDBRepairInfo, nullptr);
    QMdiArea& area = window.ChildArea();
    EXPECT_TRUE(area.viewport()->rect().contains(ui::fDBRepairInfo->geometry()))
        << area.viewport()->width() << "x" << area.viewport()->height();
    EXPECT_FALSE(area.verticalScrollBar()->isVisible());
    EXPECT_FALSE(area.horizontalScrollBar()->isVisible());
    EXPECT_EQ(window.font().pixelSize(), 11);
    EXPECT_EQ(window.findChild<QToolBar*>(QStringLiteral("ToolBar"))->height(), 42);
    EXPECT_EQ(window.findChild<QStatusBar*>(QStringLiteral("StatusBar"))->height(), 19);
    auto* button = window.findChild<QToolButton*>(QStringLiteral("btnRepairDB"));
    EXPECT_EQ(button->size(), QSize(56, 36));
    EXPECT_EQ(button->text().toStdString(), "Repair DB");
    EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextOnly);

    std::vector<std::string> titles;
    for (QAction* menu : window.findChild<QMenuBar*>(QStringLiteral("MainMenu"))->actions()) {
        titles.push_back(menu->text().toStdString());
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"&File", "&Edit", "&Activities", "&Help"}));
    const auto items = [&](const char* menu) {
        std::vector<std::string> texts;
        const auto* found = window.findChild<QMenu*>(QString::fromLatin1(menu));
        if (found == nullptr) {
            ADD_FAILURE() << "no menu " << menu;
            return texts;
        }
        for (QAction* item : found->actions()) {
            texts.push_back(item->isSeparator() ? "-" : item->text().toStdString());
        }
        return texts;
    };
    EXPECT_EQ(items("miFile"), (std::vector<std::string>{"-", "E&xit"}));
    EXPECT_TRUE(items("miEdit").empty());
    EXPECT_EQ(items("miActivities"),
              (std::vector<std::string>{"&Repair Database", "Last Run &Findings..."}));
    {
        // The separator above Exit is drawn: a line across its own rows, clear of the border.
        auto* fileMenu = window.findChild<QMenu*>(QStringLiteral("miFile"));
        fileMenu->popup(window.mapToGlobal(QPoint(0, 0)));
        const QImage drawn = fileMenu->grab().toImage();
        const QRect separator = fileMenu->actionGeometry(fileMenu->actions().at(0));
        const QRect exit = fileMenu->actionGeometry(fileMenu->actions().at(1));
        const int plain = QColor(drawn.pixel(drawn.width() - 8, exit.center().y())).lightness();
        const int border =
            fileMenu->style()->pixelMetric(QStyle::PM_MenuPanelWidth, nullptr, fileMenu);
        bool lineDrawn = false;
        for (int y = std::max(separator.top(), border + 1); y <= separator.bottom(); ++y) {
            lineDrawn =
                lineDrawn ||
                std::abs(QColor(drawn.pixel(drawn.width() / 2, y)).lightness() - plain) > 20;
        }
        EXPECT_TRUE(lineDrawn) << "separator rows " << separator.top() << ".."
                               << separator.bottom();
        fileMenu->hide();
    }
    EXPECT_EQ(items("miHelp"), (std::vector<std::string>{"&About"}));
    window.show();
    EXPECT_EQ(apptest::ClippedCaptions(window), std::vector<std::string>{});
}

TEST_F(MainLayout, LastRunFindingsListsTheLastRunsTablesAlsoAfterTheRepairWindowClosed) {
    const auto samples = testsupport::SamplesDir();
    for (const char* file : {"EVENTS.DB", "ORDERS.DB", "ORDERS.PX"}) {
        std::filesystem::copy_file(samples / file, DataDir() / file);
    }
    app::TfMain window(ProgramDir());
    ShowAndActivate(window);
    auto* entry = window.findChild<QAction*>(QStringLiteral("miLastRunFindings"));
    ASSERT_NE(entry, nullptr);
    EXPECT_FALSE(entry->isEnabled()) << "no run has finished";
    ui::TfDBRepairInfo* repair = ui::fDBRepairInfo;
    ASSERT_NE(repair, nullptr);
    repair->btnVerify.click();
    EXPECT_TRUE(entry->isEnabled());
    repair->close();
    apptest::DrainEvents();
    ASSERT_FALSE(ui::RepairWindowOpen);

    entry->trigger();
    auto* findings = window.findChild<ui::FindingsWindow*>();
    ASSERT_NE(findings, nullptr);
    EXPECT_TRUE(findings->isVisible());
    ASSERT_EQ(findings->lbTables.count(), 2);
    EXPECT_EQ(findings->lbTables.item(0)->text().toStdString(), "EVENTS.DB");
    EXPECT_EQ(findings->lbTables.item(1)->text().toStdString(), "ORDERS.DB");
    findings->lbTables.setCurrentRow(1);
    EXPECT_EQ(findings->memoLines.toPlainText().toStdString(),
              std::string("ORDERS.DB\n") + repair::verdict::kNoErrors);
    EXPECT_EQ(findings->tvFindings.topLevelItemCount(), 0);
    findings->close();
    apptest::DrainEvents();
    EXPECT_EQ(window.findChild<ui::FindingsWindow*>(), nullptr) << "freed when closed";
    EXPECT_TRUE(toolkit.boxes.empty());
}

TEST_F(MainLayout, AboutCommandShowsTheBoxModallyAndFreesIt) {
    app::TfMain window(ProgramDir());
    bool sawBox = false;
    QTimer::singleShot(0, [&] {
        sawBox = app::fAbout != nullptr && app::fAbout->isVisible();
        if (app::fAbout != nullptr) {
            app::fAbout->close();
        }
    });
    window.findChild<QAction*>(QStringLiteral("miAbout"))->trigger();
    EXPECT_TRUE(sawBox);
    EXPECT_EQ(app::fAbout, nullptr);
    EXPECT_TRUE(toolkit.boxes.empty());
}

} // namespace
