#include "app/Main.h"

#include "app/About.h"
#include "app/Resources.h"
#include "engine/FileNames.h"
#include "platform/Toolkit.h"
#include "repair/PrivateDir.h"
#include "repair/TimeStamp.h"
#include "ui/FindingsWindow.h"
#include "ui/Fonts.h"

#include <QCloseEvent>
#include <QEvent>

namespace app {

TfMain* fMain = nullptr;

namespace {

constexpr int kLeft = 217;
constexpr int kTop = 115;
constexpr int kClientWidth = 554;
constexpr int kClientHeight = 437;
constexpr int kToolBarHeight = 42;
constexpr int kToolButtonWidth = 56;
constexpr int kToolButtonHeight = 36;
constexpr int kStatusBarHeight = 19;

std::string ShellLine(const char* event) {
    return repair::TimeStampNow() + " - " + platform::kApplicationTitle + " " + event + ".";
}

// Sets a flag to false when the scope ends, also on failure.
class ClearOnExit {
public:
    explicit ClearOnExit(bool& flag) : flag_(flag) {}
    ~ClearOnExit() { flag_ = false; }
    ClearOnExit(const ClearOnExit&) = delete;
    ClearOnExit& operator=(const ClearOnExit&) = delete;

private:
    bool& flag_;
};

} // namespace

TfMain::TfMain(std::filesystem::path programDirectory, QWidget* parent)
    : QMainWindow(parent), programDirectory_(std::move(programDirectory)) {
    fMain = this;
    BuildLayout();
    platform::RunGuarded([this] { FormCreate(); });
}

TfMain::~TfMain() {
    FormDestroy();
    if (fMain == this) {
        fMain = nullptr;
    }
}

void TfMain::BuildLayout() {
    setObjectName(QStringLiteral("fMain"));
    LoadAppResources();
    setWindowIcon(QIcon(QStringLiteral(":/app/icon.png")));
    setFont(ui::WindowFont());
    move(kLeft, kTop);

    MdiArea.setObjectName(QStringLiteral("MdiArea"));
    MdiArea.setBackground(QColor(128, 128, 128));
    // A child window larger than the client area can be scrolled into view.
    MdiArea.setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    MdiArea.setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(&MdiArea);

    MainMenu.setObjectName(QStringLiteral("MainMenu"));
    miFile.setObjectName(QStringLiteral("miFile"));
    N1.setObjectName(QStringLiteral("N1"));
    N1.setSeparator(true);
    miExit.setObjectName(QStringLiteral("miExit"));
    miEdit.setObjectName(QStringLiteral("miEdit"));
    miActivities.setObjectName(QStringLiteral("miActivities"));
    miRepairDB.setObjectName(QStringLiteral("miRepairDB"));
    miLastRunFindings.setObjectName(QStringLiteral("miLastRunFindings"));
    miLastRunFindings.setEnabled(false);
    miHelp.setObjectName(QStringLiteral("miHelp"));
    miAbout.setObjectName(QStringLiteral("miAbout"));
    // The File menu opens with its separator: a menu collapses a leading one, and the
    // platform style would draw it on the menu's border.
    miFile.setSeparatorsCollapsible(false);
    miFile.setStyleSheet(QStringLiteral(
        "QMenu::separator { height: 1px; background: palette(mid); margin: 4px 6px; }"));
    miFile.addAction(&N1);
    miFile.addAction(&miExit);
    miActivities.addAction(&miRepairDB);
    miActivities.addAction(&miLastRunFindings);
    miHelp.addAction(&miAbout);
    MainMenu.addMenu(&miFile);
    MainMenu.addMenu(&miEdit);
    MainMenu.addMenu(&miActivities);
    MainMenu.addMenu(&miHelp);
    setMenuBar(&MainMenu);

    ToolBar.setObjectName(QStringLiteral("ToolBar"));
    ToolBar.setMovable(false);
    ToolBar.setFloatable(false);
    ToolBar.setFixedHeight(kToolBarHeight);
    btnRepairDB.setObjectName(QStringLiteral("btnRepairDB"));
    btnRepairDB.setText(QStringLiteral("Repair DB"));
    btnRepairDB.setToolButtonStyle(Qt::ToolButtonTextOnly);
    btnRepairDB.setFixedSize(kToolButtonWidth, kToolButtonHeight);
    // The platform sans font is wider than the laid-out one; a slightly tighter spacing keeps
    // the caption inside the 56-pixel button with room for its frame.
    QFont buttonFont = ui::WindowFont();
    buttonFont.setLetterSpacing(QFont::AbsoluteSpacing, -0.4);
    btnRepairDB.setFont(buttonFont);
    ToolBar.addWidget(&btnRepairDB);
    addToolBar(Qt::TopToolBarArea, &ToolBar);

    StatusBar.setObjectName(QStringLiteral("StatusBar"));
    StatusBar.setFixedHeight(kStatusBarHeight);
    setStatusBar(&StatusBar);
    // The laid-out client area is what lies below the menu bar: toolbar, child area and
    // status bar.
    resize(kClientWidth, kClientHeight + MainMenu.sizeHint().height());

    connect(&miExit, &QAction::triggered, this,
            [this] { platform::RunGuarded([this] { miExitClick(); }); });
    connect(&miRepairDB, &QAction::triggered, this,
            [this] { platform::RunGuarded([this] { btnRepairDBClick(); }); });
    connect(&btnRepairDB, &QToolButton::clicked, this,
            [this] { platform::RunGuarded([this] { btnRepairDBClick(); }); });
    connect(&miAbout, &QAction::triggered, this,
            [this] { platform::RunGuarded([this] { miAboutClick(); }); });
    connect(&miLastRunFindings, &QAction::triggered, this,
            [this] { platform::RunGuarded([this] { miLastRunFindingsClick(); }); });
    repairWindowHost_.onRunEnded = [this] { miLastRunFindings.setEnabled(true); };
}

void TfMain::FormCreate() {
    InitApp();
    if (!startFailed_) {
        StartLog();
    }
}

void TfMain::InitApp() {
    firstActivation_ = true;
    SetAppCaption();
    ui::RepairWindowOpen = false;
    const std::filesystem::path stateFolder = repair::ProgramStateFolder(programDirectory_);
    privateDirectory_ = engine::PrivateDirectoryIn(stateFolder);
    logFileName_ = engine::RunLogPath(stateFolder);
    logSaveFileName_ = logFileName_;
    if (repair::PreparePrivateDirectory(privateDirectory_) == repair::PrivateDirOutcome::Failed) {
        startFailed_ = true;
        platform::CurrentToolkit().ShowMessageBox(platform::BoxIcon::Warning, "Warning",
                                                  "Could not create DB private dir");
    }
}

void TfMain::SetAppCaption() {
    setWindowTitle(QString::fromLatin1(kAppCaption));
}

std::filesystem::path TfMain::UnreadLogSiblingFor(const std::filesystem::path& logFile) {
    std::filesystem::path sibling = logFile;
    sibling += ".new-lines";
    return sibling;
}

void TfMain::StartLog() {
    std::error_code ignored;
    if (std::filesystem::exists(logFileName_, ignored)) {
        try {
            runLog_.Load(logFileName_);
        } catch (const repair::LogFileError& e) {
            // Keep the unread file as it is; this run's lines go to a file beside it.
            logSaveFileName_ = UnreadLogSiblingFor(logFileName_);
            platform::CurrentToolkit().ShowMessageBox(
                platform::BoxIcon::Error, platform::kApplicationTitle,
                std::string(e.what()) + "\nThe file is left as it is; the lines of this run will " +
                    "be saved to " + logSaveFileName_.string() + ".");
        }
    }
    AppendLogLine(ShellLine("started"));
}

void TfMain::AppendLogLine(const std::string& line) {
    runLog_.Append(line);
}

void TfMain::FormActivate() {
    if (!firstActivation_) {
        return;
    }
    const ClearOnExit clearFirstActivation(firstActivation_);
    platform::CurrentToolkit().ProcessPendingEvents();
    btnRepairDBClick();
}

void TfMain::btnRepairDBClick() {
    const platform::HourglassScope hourglass;
    if (ui::RepairWindowOpen && ui::fDBRepairInfo != nullptr) {
        ui::fDBRepairInfo->BringToFront();
    } else {
        ui::TfDBRepairInfo::Create(repairWindowHost_);
    }
}

void TfMain::miExitClick() {
    close();
}

void TfMain::miAboutClick() {
    TfAbout about;
    fAbout = &about;
    struct ForgetAbout {
        ~ForgetAbout() { fAbout = nullptr; }
    } forget;
    about.exec();
}

void TfMain::miLastRunFindingsClick() {
    const auto run = repairWindowHost_.LastRun();
    if (run == nullptr) {
        return;
    }
    // Freed when it is closed (Qt parent ownership until then).
    auto* findings = new ui::FindingsWindow(this, run, 0);
    findings->show();
}

void TfMain::FormCloseQuery(bool& canClose) {
    canClose = false;
    if (ui::RepairWindowOpen && ui::fDBRepairInfo != nullptr) {
        ui::TfDBRepairInfo* repair = ui::fDBRepairInfo;
        repair->close();
        if (ui::RepairWindowOpen) {
            // A run is working in it: the run is asked to stop and the window closes when the
            // run has ended; the main window's close follows then.
            if (!closeAfterRun_) {
                closeAfterRun_ = true;
                connect(
                    repair, &QObject::destroyed, this,
                    [this] {
                        closeAfterRun_ = false;
                        close();
                    },
                    Qt::QueuedConnection);
            }
            return;
        }
    }
    AppendLogLine(ShellLine("shutdown"));
    SaveLog(logSaveFileName_);
    canClose = true;
}

void TfMain::SaveLog(const std::filesystem::path& fileName) {
    const platform::HourglassScope hourglass;
    runLog_.Save(fileName);
}

void TfMain::FormDestroy() {
    // The run log is a member and goes with the window; nothing else is held.
}

bool TfMain::event(QEvent* event) {
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate && !startFailed_) {
        platform::RunGuarded([this] { FormActivate(); });
    }
    return handled;
}

void TfMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shownBefore_) {
        shownBefore_ = true;
        // The program's main window asks to be the active one when it first appears, also
        // where no window manager would activate it (a virtual display).
        activateWindow();
    }
}

void TfMain::closeEvent(QCloseEvent* event) {
    bool canClose = startFailed_;
    if (!startFailed_) {
        platform::RunGuarded([this, &canClose] { FormCloseQuery(canClose); });
    }
    if (canClose) {
        event->accept();
    } else {
        event->ignore();
    }
}

} // namespace app
