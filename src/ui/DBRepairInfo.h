#pragma once

#include "platform/Database.h"
#include "platform/Session.h"
#include "platform/Table.h"
#include "repair/DatabaseSelection.h"
#include "repair/RepairRun.h"
#include "ui/RunRecord.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QMdiArea;

namespace ui {

// What the repair window needs of the main frame that owns it.
class RepairWindowOwner {
public:
    virtual ~RepairWindowOwner() = default;
    // The frame's client area that holds the child windows.
    virtual QMdiArea& RepairWindowArea() = 0;
    // Adds a line at the end of the run log.
    virtual void AddRunLogLine(const std::string& line) = 0;
    // The program's private directory, for the window's engine session.
    virtual const std::filesystem::path& SessionPrivateDirectory() const = 0;
    // A run has ended; `run` holds the tables it finished.
    virtual void RunEnded(std::shared_ptr<const RunRecord> /*run*/) noexcept {}
};

class TfDBRepairInfo;

// True while a repair window exists; the window sets it on creation and clears it on close.
extern bool RepairWindowOpen;
// The one repair window while it exists, else null.
extern TfDBRepairInfo* fDBRepairInfo;

// The client area of the repair window: Enter clicks the default button and Escape the
// Cancel button, each only while it is enabled.
class RepairClientArea : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;
    QPushButton* defaultButton = nullptr;
    QPushButton* escapeButton = nullptr;
    // Runs before the default button is clicked; false keeps it from being clicked.
    std::function<bool()> beforeDefault;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// The repair window: a fixed-size child window of the main frame, captioned "Database
// Repair", in which the operator chooses the database, by one of the engine's STANDARD
// aliases or by a directory, whose tables a run works on. It owns its engine session,
// database and table objects and frees itself when it is closed.
//
// One run at a time: a run calls BeginRun() before its first step and EndRun() after its
// last (or holds a RunScope). In between, the selection controls and the run buttons are
// disabled and every selection handler does nothing, so TableList and dbTemp stay as the run
// found them; a close request is refused, asks the run to cancel and is carried out when the
// run ends.
class TfDBRepairInfo : public QMdiSubWindow {
    Q_OBJECT

public:
    // Creates the window as a child of the owner's client area and shows it. The client area
    // owns it (Qt parent ownership) until its close frees it.
    static TfDBRepairInfo* Create(RepairWindowOwner& owner);

    ~TfDBRepairInfo() override;

    static constexpr int kClientWidth = 458;
    static constexpr int kClientHeight = 343;
    static constexpr const char* kTempAlias = repair::kDirectoryAlias;

    // Makes it the active child window, in front of any other.
    void BringToFront();

    // The window's client area, which holds its controls.
    QWidget& Client() { return client_; }

    // ---- One run at a time ----
    // False (and nothing changes) when a run is already in progress, or a selection is.
    bool BeginRun();
    // Gives the controls back to the mode; a close asked for during the run happens now.
    void EndRun();
    bool RunInProgress() const { return runInProgress_; }
    // True when a close was asked for during the run that is in progress.
    bool ClosePending() const { return closePending_; }

    class RunScope {
    public:
        explicit RunScope(TfDBRepairInfo& window) : window_(window), began_(window.BeginRun()) {}
        ~RunScope() {
            if (began_) {
                window_.EndRun();
            }
        }
        RunScope(const RunScope&) = delete;
        RunScope& operator=(const RunScope&) = delete;
        bool Began() const { return began_; }

    private:
        TfDBRepairInfo& window_;
        bool began_;
    };

    // ---- Operations ----
    void ResetProgressBars();
    void FillAliasList();
    void RefreshTableList();
    void SelectAlias();
    void SelectPath();

    // ---- Event handlers; the Qt events reach them through the top-level guard ----
    void FormCreate();
    void FormClose();
    void FormDestroy();
    void cbAliasChange();
    void rbPathClick();
    void ePathEnter();
    void ePathExit();
    void btnBrowseClick();
    void btnVerifyClick();
    void btnRebuildClick();
    void btnChkAndRepairClick();
    void btnCancelClick();

    // A run of the operation over every table of the selection, as a run button starts it:
    // nothing happens while another run is in progress; clicked during a selection, it starts
    // when the selection has succeeded; after a failed selection a box says that no database
    // is selected. A failure is shown in the error box after the run's lines reached the run
    // log; the window stays usable.
    void RunOperation(repair::TRepairOperation operation);
    // The gauge's maximum as the last run set it (its table count; the bar itself never
    // gets an empty range).
    int GaugeMaximum() const { return gaugeMaximum_; }

    // ---- The message pane ----
    // A line longer than the pane is wide shows shortened with "…"; its full text is kept.
    void AppendPaneLine(const std::string& line);
    void ClearPane();
    // The pane's lines in full.
    const std::vector<std::string>& PaneLines() const { return paneLines_; }
    // The tables of the run whose lines the pane shows (null before any run), and where their
    // lines are; the run adds each table when it is done with it.
    std::shared_ptr<const RunRecord> PaneRun() const { return paneRun_; }
    void RecordTable(const platform::TableResult& result);
    // Opens the findings window on the table whose lines hold this pane line; false when no
    // table's do.
    bool ShowFindingsAtLine(int line);

    // ---- State read by a run ----
    std::vector<std::string> TableList;
    bool CancelRequested = false;
    std::string PathOnEnter;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class WindowRunView;

    explicit TfDBRepairInfo(RepairWindowOwner& owner);
    void BuildLayout();
    void ConnectHandlers();
    void ApplyModeEnabling();
    void Select(const repair::DatabaseChoice& choice);
    void SelectNow(const repair::DatabaseChoice& choice);
    void ShowTableListHint();
    void AnnounceSelection(const std::string& line);
    bool SelectTypedPathBeforeDefault();
    // Carries out a selection the path box's loss of focus left pending; false when it failed.
    bool FinishPendingPathExit();

    RepairWindowOwner& owner_;
    bool runInProgress_ = false;
    bool closePending_ = false;
    bool selecting_ = false;
    // A run button clicked while a selection was in progress (its event pump delivers the
    // click): the run starts once the selection has succeeded.
    std::optional<repair::TRepairOperation> runAfterSelection_;
    // Why the last selection failed; empty once one succeeded. No run starts meanwhile.
    std::string selectionFailure_;
    // The path box lost the focus to a mouse press: its selection waits until that press is
    // delivered (a selection pumps events, and the release must not overtake the press).
    bool pathExitPending_ = false;
    int gaugeMaximum_ = 0;
    // The control that had the focus when the run began; disabling it for the run moves the
    // focus away, and it gets it back when the run ends.
    QPointer<QWidget> focusBeforeRun_;
    // The pane's lines in full, and the run they came from.
    std::vector<std::string> paneLines_;
    std::shared_ptr<RunRecord> paneRun_;

    // Parents are declared before their children: members are destroyed in reverse order.
    RepairClientArea client_;

public:
    // ---- Controls, in tab order where they take the focus ----
    QComboBox cbAlias{&client_};
    QLineEdit ePath{&client_};
    QPushButton btnBrowse{&client_};
    QPushButton btnChkAndRepair{&client_};
    QPushButton btnVerify{&client_};
    QPushButton btnRebuild{&client_};
    QPushButton btnCancel{&client_};
    QRadioButton rbAlias{&client_};
    QRadioButton rbPath{&client_};
    QPlainTextEdit memoMessage{&client_};
    QGroupBox GroupBox3{&client_};
    QLabel Label1{&client_};
    QLabel Label2{&client_};
    QProgressBar ggWorking{&client_};
    QLabel Label24{&GroupBox3};
    QLabel Label25{&GroupBox3};
    QLabel Label26{&GroupBox3};
    QLabel Label27{&GroupBox3};
    QProgressBar pbHeader{&GroupBox3};
    QProgressBar pbIndexes{&GroupBox3};
    QProgressBar pbData{&GroupBox3};
    QProgressBar pbRebuild{&GroupBox3};

    // ---- Engine objects, owned by the window and ended with it ----
    platform::TSession TempSession{"TempSession"};
    platform::TDatabase dbTemp{TempSession, "TempDB"};
    platform::TTable TempTable{dbTemp};
};

} // namespace ui
