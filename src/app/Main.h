#pragma once

#include "app/RepairWindowHost.h"
#include "repair/RunLog.h"
#include "ui/DBRepairInfo.h"

#include <QAction>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <filesystem>
#include <string>

namespace app {

class TfMain;
// The program's main window.
extern TfMain* fMain;

inline constexpr const char* kAppCaption = "Mendrix 1.0.0.4";

// The main frame: menus, toolbar, status bar and a client area holding the repair window.
// It owns the run log, which it reads at creation and writes back when it closes.
class TfMain : public QMainWindow {
    Q_OBJECT

public:
    // The program directory is where the executable lives; tests give a directory of their own.
    explicit TfMain(std::filesystem::path programDirectory, QWidget* parent = nullptr);
    ~TfMain() override;

    // True when creation found no usable private directory: the program must end without
    // showing this window, and the log is neither read nor written.
    bool StartFailed() const { return startFailed_; }

    // RepairWindowOwner
    QMdiArea& ChildArea() { return MdiArea; }
    void AppendLogLine(const std::string& line);
    const std::filesystem::path& PrivateDirectory() const { return privateDirectory_; }

    const std::filesystem::path& LogFileName() const { return logFileName_; }
    // Where the shutdown save goes: the log file, or the file beside it when the log could
    // not be read at start-up.
    const std::filesystem::path& LogSaveFileName() const { return logSaveFileName_; }
    const repair::LogLines& RunLogLines() const { return runLog_.Lines(); }
    bool FirstActivation() const { return firstActivation_; }

    // Event handlers; the Qt events reach them through the top-level guard.
    void FormCreate();
    void FormActivate();
    void FormCloseQuery(bool& canClose);
    void FormDestroy();
    void miExitClick();
    void btnRepairDBClick();
    void miAboutClick();
    void miLastRunFindingsClick();

    void InitApp();
    void SetAppCaption();
    void StartLog();
    void SaveLog(const std::filesystem::path& fileName);

    static std::filesystem::path UnreadLogSiblingFor(const std::filesystem::path& logFile);

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildLayout();

    // Parents are declared before their children: members are destroyed in reverse order.
    QMdiArea MdiArea;
    QMenuBar MainMenu;
    QMenu miFile{QStringLiteral("&File"), this};
    QAction N1{this};
    QAction miExit{QStringLiteral("E&xit"), this};
    QMenu miEdit{QStringLiteral("&Edit"), this};
    QMenu miActivities{QStringLiteral("&Activities"), this};
    QAction miRepairDB{QStringLiteral("&Repair Database"), this};
    QAction miLastRunFindings{QStringLiteral("Last Run &Findings..."), this};
    QMenu miHelp{QStringLiteral("&Help"), this};
    QAction miAbout{QStringLiteral("&About"), this};
    QStatusBar StatusBar;
    QToolBar ToolBar;
    QToolButton btnRepairDB;

    std::filesystem::path programDirectory_;
    std::filesystem::path privateDirectory_;
    std::filesystem::path logFileName_;
    std::filesystem::path logSaveFileName_;
    repair::RunLog runLog_;
    // What the repair window may use of the frame.
    RepairWindowHost repairWindowHost_{MdiArea, runLog_, privateDirectory_};
    bool firstActivation_ = true;
    bool startFailed_ = false;
    bool shownBefore_ = false;
    bool closeAfterRun_ = false;
};

} // namespace app
