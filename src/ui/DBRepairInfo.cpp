#include "ui/DBRepairInfo.h"

#include "platform/DatabaseList.h"
#include "platform/Toolkit.h"
#include "ui/CaptionFit.h"
#include "ui/DirList.h"
#include "ui/FindingsWindow.h"
#include "ui/Fonts.h"
#include "ui/UiResources.h"
#include "ui/WindowRunView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMetaObject>
#include <QMouseEvent>
#include <QTextBlock>
#include <algorithm>
#include <exception>
#include <initializer_list>

namespace ui {

bool RepairWindowOpen = false;
TfDBRepairInfo* fDBRepairInfo = nullptr;

namespace {

constexpr const char* kTempDatabase = "TempDB";
constexpr const char* kStandardType = "STANDARD";
constexpr int kLabelGap = 2;
constexpr int kButtonFrameRoom = 12;

// Empties a list when the scope is left by an exception, so that a failed selection leaves
// no table list that a run could walk in another database.
class ClearOnFailure {
public:
    explicit ClearOnFailure(std::vector<std::string>& list)
        : list_(list), exceptions_(std::uncaught_exceptions()) {}
    ~ClearOnFailure() {
        if (std::uncaught_exceptions() > exceptions_) {
            list_.clear();
        }
    }
    ClearOnFailure(const ClearOnFailure&) = delete;
    ClearOnFailure& operator=(const ClearOnFailure&) = delete;

private:
    std::vector<std::string>& list_;
    int exceptions_;
};

// Marks a selection in progress for the scope; selections can nest (a pending event can
// start one while another waits), so the previous mark is put back.
class SelectionScope {
public:
    explicit SelectionScope(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
    ~SelectionScope() { flag_ = previous_; }
    SelectionScope(const SelectionScope&) = delete;
    SelectionScope& operator=(const SelectionScope&) = delete;

private:
    bool& flag_;
    bool previous_;
};

// A path typed relative to the current directory, made absolute now: the picker changes the
// current directory, and the database must not move with it.
std::string AbsolutePath(const std::string& typed) {
    if (typed.empty()) {
        return typed;
    }
    const std::filesystem::path path(typed);
    if (path.is_absolute()) {
        return typed;
    }
    std::error_code error;
    const auto absolute = std::filesystem::absolute(path, error);
    return error ? typed : absolute.string();
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string joined;
    for (const auto& line : lines) {
        if (!joined.empty()) {
            joined += '\n';
        }
        joined += line;
    }
    return joined;
}

QString Text(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string StdText(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

// A caption whose laid-out box is too narrow for this font grows away from its control:
// a right-aligned one to the left, a left-aligned one to the right, no further than `limit`.
void PlaceLabel(QLabel& label, const char* name, const QString& text, QRect laidOut,
                Qt::Alignment alignment, int limit) {
    label.setObjectName(QString::fromLatin1(name));
    label.setText(text);
    label.setAlignment(alignment | Qt::AlignVCenter);
    const int needed = QFontMetrics(label.font()).horizontalAdvance(text) + 1;
    if (needed > laidOut.width()) {
        if (alignment & Qt::AlignRight) {
            laidOut.setLeft(std::max(limit, laidOut.right() + 1 - needed));
        } else {
            laidOut.setRight(std::min(limit, laidOut.left() + needed - 1));
        }
    }
    label.setGeometry(laidOut);
}

void PlaceBar(QProgressBar& bar, const char* name, QRect geometry) {
    bar.setObjectName(QString::fromLatin1(name));
    bar.setRange(0, 100);
    bar.setValue(0);
    bar.setTextVisible(false);
    bar.setGeometry(geometry);
}

void PlaceButton(QPushButton& button, const char* name, const QString& text, QRect geometry) {
    button.setObjectName(QString::fromLatin1(name));
    button.setText(text);
    button.setGeometry(geometry);
    FitCaption(button, kButtonFrameRoom);
    // As in the system's dialogs: Enter clicks the focused button.
    button.setAutoDefault(true);
}

} // namespace

void RepairClientArea::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && defaultButton != nullptr &&
        defaultButton->isEnabled()) {
        if ((!beforeDefault || beforeDefault()) && defaultButton->isEnabled()) {
            defaultButton->click();
        }
        return;
    }
    if (key == Qt::Key_Escape && escapeButton != nullptr && escapeButton->isEnabled()) {
        escapeButton->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

TfDBRepairInfo* TfDBRepairInfo::Create(RepairWindowOwner& owner) {
    // Qt parent ownership: the client area deletes it, or its own close does.
    auto* window = new TfDBRepairInfo(owner);
    owner.RepairWindowArea().addSubWindow(window);
    // Only inside the area does the sub-window know its caption bar and border; the window
    // is as big as they and the fixed client area need, and no bigger or smaller.
    window->setFixedSize(window->sizeHint());
    window->show();
    window->cbAlias.setFocus();
    // A failing set-up is reported and leaves the window shown, stopped at the failing step.
    platform::RunGuarded([window] { window->FormCreate(); });
    return window;
}

TfDBRepairInfo::TfDBRepairInfo(RepairWindowOwner& owner) : owner_(owner) {
    setAttribute(Qt::WA_DeleteOnClose);
    // A single fixed border: a caption with the system menu and the close box only.
    setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setObjectName(QStringLiteral("fDBRepairInfo"));
    LoadUiResources();
    client_.setFixedSize(kClientWidth, kClientHeight);
    client_.setFont(WindowFont());
    TempTable.SetExclusive(true);
    BuildLayout();
    setWidget(&client_);
    ConnectHandlers();
}

TfDBRepairInfo::~TfDBRepairInfo() {
    ePath.removeEventFilter(this);
    memoMessage.viewport()->removeEventFilter(this);
    // The client widget is a member; take it out before the sub-window would delete it.
    setWidget(nullptr);
    if (fDBRepairInfo == this) {
        FormClose();
    }
    FormDestroy();
}

void TfDBRepairInfo::BuildLayout() {
    rbAlias.setObjectName(QStringLiteral("rbAlias"));
    rbAlias.setGeometry(50, 10, 21, 17);
    rbAlias.setChecked(true);
    PlaceLabel(Label1, "Label1", QStringLiteral("Alias:"), QRect(80, 10, 25, 13), Qt::AlignLeft,
               115 - kLabelGap);
    cbAlias.setObjectName(QStringLiteral("cbAlias"));
    cbAlias.setEditable(false);
    cbAlias.setGeometry(115, 10, 176, 21);

    rbPath.setObjectName(QStringLiteral("rbPath"));
    rbPath.setGeometry(50, 45, 21, 17);
    PlaceLabel(Label2, "Label2", QStringLiteral("Path:"), QRect(80, 45, 25, 13), Qt::AlignLeft,
               115 - kLabelGap);
    ePath.setObjectName(QStringLiteral("ePath"));
    ePath.setGeometry(115, 45, 311, 21);
    ePath.installEventFilter(this);
    btnBrowse.setObjectName(QStringLiteral("btnBrowse"));
    btnBrowse.setText(QStringLiteral("..."));
    btnBrowse.setFont(SansFont(11, true));
    btnBrowse.setGeometry(425, 45, 21, 21);
    btnBrowse.setAutoDefault(true);

    PlaceButton(btnChkAndRepair, "btnChkAndRepair", QStringLiteral("Check && Repair"),
                QRect(10, 80, 86, 25));
    btnChkAndRepair.setDefault(true);
    PlaceButton(btnVerify, "btnVerify", QStringLiteral("Verify"), QRect(10, 110, 86, 25));
    PlaceButton(btnRebuild, "btnRebuild", QStringLiteral("Rebuild  All"), QRect(10, 140, 86, 25));
    PlaceButton(btnCancel, "btnCancel", QStringLiteral("Cancel"), QRect(10, 170, 86, 25));
    btnCancel.setIcon(QIcon(QStringLiteral(":/ui/cross.png")));
    btnCancel.setIconSize(QSize(16, 16));
    FitCaption(btnCancel, kButtonFrameRoom);
    client_.defaultButton = &btnChkAndRepair;
    client_.escapeButton = &btnCancel;
    client_.beforeDefault = [this] { return SelectTypedPathBeforeDefault(); };

    PlaceBar(ggWorking, "ggWorking", QRect(115, 80, 331, 16));
    memoMessage.setObjectName(QStringLiteral("memoMessage"));
    memoMessage.setGeometry(115, 105, 331, 91);
    memoMessage.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memoMessage.setReadOnly(true);
    memoMessage.viewport()->installEventFilter(this);

    GroupBox3.setObjectName(QStringLiteral("GroupBox3"));
    GroupBox3.setTitle(QStringLiteral(" Table Status: "));
    GroupBox3.setGeometry(11, 211, 433, 120);
    // The caption sits on the frame's top line, as high as the bars leave room for; the
    // platform style would draw it above a frame whose top line runs through the first bar.
    GroupBox3.setStyleSheet(QStringLiteral(
        "QGroupBox#GroupBox3 { border: 1px solid palette(mid); border-radius: 2px;"
        " margin-top: 6px; }"
        "QGroupBox#GroupBox3::title { subcontrol-origin: margin; subcontrol-position: top left;"
        " left: 7px; padding: 0px; }"));
    // The captions end where their bars begin less a small gap; they grow to the left.
    constexpr int kCaptionLimit = 2;
    PlaceLabel(Label24, "Label24", QStringLiteral("Header:"), QRect(16, 20, 38, 13), Qt::AlignRight,
               kCaptionLimit);
    PlaceLabel(Label25, "Label25", QStringLiteral("Indexes:"), QRect(14, 44, 40, 13),
               Qt::AlignRight, kCaptionLimit);
    PlaceLabel(Label26, "Label26", QStringLiteral("Data:"), QRect(28, 68, 26, 13), Qt::AlignRight,
               kCaptionLimit);
    PlaceLabel(Label27, "Label27", QStringLiteral("Rebuild:"), QRect(15, 92, 39, 13),
               Qt::AlignRight, kCaptionLimit);
    PlaceBar(pbHeader, "pbHeader", QRect(60, 19, 360, 16));
    PlaceBar(pbIndexes, "pbIndexes", QRect(60, 44, 360, 16));
    PlaceBar(pbData, "pbData", QRect(60, 68, 360, 16));
    PlaceBar(pbRebuild, "pbRebuild", QRect(60, 92, 360, 16));

    QWidget::setTabOrder(&cbAlias, &ePath);
    QWidget::setTabOrder(&ePath, &btnBrowse);
    QWidget::setTabOrder(&btnBrowse, &btnChkAndRepair);
    QWidget::setTabOrder(&btnChkAndRepair, &btnVerify);
    QWidget::setTabOrder(&btnVerify, &btnRebuild);
    QWidget::setTabOrder(&btnRebuild, &btnCancel);
    QWidget::setTabOrder(&btnCancel, &rbAlias);
    QWidget::setTabOrder(&rbAlias, &rbPath);
    QWidget::setTabOrder(&rbPath, &memoMessage);
    QWidget::setTabOrder(&memoMessage, &GroupBox3);
    client_.setFocusProxy(&cbAlias);
}

void TfDBRepairInfo::ConnectHandlers() {
    connect(&cbAlias, &QComboBox::activated, this,
            [this](int) { platform::RunGuarded([this] { cbAliasChange(); }); });
    auto modeSwitch = [this](bool checked) {
        if (checked) {
            platform::RunGuarded([this] { rbPathClick(); });
        }
    };
    connect(&rbAlias, &QRadioButton::toggled, this, modeSwitch);
    connect(&rbPath, &QRadioButton::toggled, this, modeSwitch);
    connect(&btnBrowse, &QPushButton::clicked, this,
            [this] { platform::RunGuarded([this] { btnBrowseClick(); }); });
    connect(&btnChkAndRepair, &QPushButton::clicked, this,
            [this] { platform::RunGuarded([this] { btnChkAndRepairClick(); }); });
    connect(&btnVerify, &QPushButton::clicked, this,
            [this] { platform::RunGuarded([this] { btnVerifyClick(); }); });
    connect(&btnRebuild, &QPushButton::clicked, this,
            [this] { platform::RunGuarded([this] { btnRebuildClick(); }); });
    connect(&btnCancel, &QPushButton::clicked, this,
            [this] { platform::RunGuarded([this] { btnCancelClick(); }); });
}

void TfDBRepairInfo::FormCreate() {
    move(1, 1);
    RepairWindowOpen = true;
    fDBRepairInfo = this;
    setWindowTitle(QStringLiteral("Database Repair"));
    CancelRequested = false;
    btnCancel.setEnabled(false);
    TableList.clear();
    memoMessage.clear();
    ResetProgressBars();
    ePath.clear();
    {
        const QSignalBlocker quiet(rbAlias);
        const QSignalBlocker quietToo(rbPath);
        rbAlias.setChecked(true);
    }
    ApplyModeEnabling();
    TempSession.SetPrivateDir(owner_.SessionPrivateDirectory().string());
    TempSession.SetActive(true);
    FillAliasList();
    {
        const QSignalBlocker quiet(cbAlias);
        cbAlias.setCurrentIndex(0);
    }
    SelectAlias();
}

void TfDBRepairInfo::FormClose() {
    RepairWindowOpen = false;
    fDBRepairInfo = nullptr;
}

void TfDBRepairInfo::FormDestroy() {
    TableList.clear();
}

void TfDBRepairInfo::ResetProgressBars() {
    pbHeader.setValue(0);
    pbIndexes.setValue(0);
    pbData.setValue(0);
    pbRebuild.setValue(0);
}

void TfDBRepairInfo::FillAliasList() {
    cbAlias.clear();
    platform::TDatabaseList list(TempSession);
    platform::TDatabaseListEntry entry;
    while (list.Next(entry)) {
        if (entry.type != kStandardType || entry.name == kTempDatabase) {
            continue;
        }
        cbAlias.addItem(Text(entry.name));
    }
    list.Close();
}

void TfDBRepairInfo::RefreshTableList() {
    TableList.clear();
    TempSession.GetTableNames(kTempDatabase, "*.*", true, false, TableList);
    ShowTableListHint();
}

void TfDBRepairInfo::ShowTableListHint() {
    const QString hint = Text(JoinLines(TableList));
    ePath.setToolTip(hint);
    cbAlias.setToolTip(hint);
}

void TfDBRepairInfo::Select(const repair::DatabaseChoice& choice) {
    try {
        SelectNow(choice);
    } catch (const std::exception& e) {
        selectionFailure_ = e.what();
        runAfterSelection_.reset();
        ResetProgressBars();
        throw;
    }
    selectionFailure_.clear();
    if (!selecting_ && runAfterSelection_) {
        // After the event that started the selection (the press that moved the focus) is done.
        const repair::TRepairOperation operation = *runAfterSelection_;
        runAfterSelection_.reset();
        QMetaObject::invokeMethod(
            this,
            [this, operation] {
                platform::RunGuarded([this, operation] { RunOperation(operation); });
            },
            Qt::QueuedConnection);
    }
}

void TfDBRepairInfo::SelectNow(const repair::DatabaseChoice& choice) {
    const ClearOnFailure clearList(TableList);
    const SelectionScope selecting(selecting_);
    // A failure part way leaves no table list that a run could walk in another database.
    TableList.clear();
    const repair::SelectedDatabase selected = repair::SelectDatabase(TempSession, dbTemp, choice);
    TableList = selected.tables;
    ShowTableListHint();
    ePath.setText(Text(selected.directory.string()));
    AnnounceSelection(selected.selectionLine);
}

void TfDBRepairInfo::SelectAlias() {
    if (runInProgress_) {
        return;
    }
    repair::DatabaseChoice choice;
    choice.aliasName = cbAlias.currentIndex() >= 0 ? StdText(cbAlias.currentText()) : std::string();
    Select(choice);
}

void TfDBRepairInfo::SelectPath() {
    if (runInProgress_) {
        return;
    }
    repair::DatabaseChoice choice;
    choice.byDirectory = true;
    choice.directory = AbsolutePath(StdText(ePath.text()));
    Select(choice);
}

void TfDBRepairInfo::AnnounceSelection(const std::string& line) {
    AppendPaneLine(line);
    owner_.AddRunLogLine(line);
}

void TfDBRepairInfo::AppendPaneLine(const std::string& line) {
    paneLines_.push_back(line);
    // The room a line has before the pane would wrap it: the viewport less the document's
    // margins and the cursor's.
    const int margin = static_cast<int>(memoMessage.document()->documentMargin());
    const int room = memoMessage.viewport()->width() - 2 * margin - memoMessage.cursorWidth() - 1;
    const QString text = Text(line);
    // A pane not laid out yet has no width to shorten to.
    memoMessage.appendPlainText(
        room > 0 ? QFontMetrics(memoMessage.font()).elidedText(text, Qt::ElideRight, room) : text);
}

void TfDBRepairInfo::ClearPane() {
    memoMessage.clear();
    paneLines_.clear();
    paneRun_ = std::make_shared<RunRecord>();
}

void TfDBRepairInfo::RecordTable(const platform::TableResult& result) {
    if (paneRun_ == nullptr) {
        paneRun_ = std::make_shared<RunRecord>();
    }
    // The table's lines are the last ones the pane got.
    const int count = static_cast<int>(std::min(result.lines.size(), paneLines_.size()));
    std::filesystem::path folder = std::filesystem::path(dbTemp.Directory()).lexically_normal();
    if (!folder.has_filename()) {
        folder = folder.parent_path();
    }
    paneRun_->push_back(
        {result, std::move(folder), static_cast<int>(paneLines_.size()) - count, count});
}

bool TfDBRepairInfo::ShowFindingsAtLine(int line) {
    if (paneRun_ == nullptr) {
        return false;
    }
    for (std::size_t i = 0; i < paneRun_->size(); ++i) {
        if ((*paneRun_)[i].HoldsLine(line)) {
            // Freed when it is closed (Qt parent ownership until then).
            auto* findings = new FindingsWindow(this, paneRun_, static_cast<int>(i));
            findings->show();
            return true;
        }
    }
    return false;
}

void TfDBRepairInfo::ApplyModeEnabling() {
    const bool pathMode = rbPath.isChecked();
    ePath.setEnabled(pathMode);
    btnBrowse.setEnabled(pathMode);
    cbAlias.setEnabled(!pathMode);
}

void TfDBRepairInfo::cbAliasChange() {
    FinishPendingPathExit();
    SelectAlias();
}

bool TfDBRepairInfo::FinishPendingPathExit() {
    if (!pathExitPending_) {
        return true;
    }
    pathExitPending_ = false;
    return runInProgress_ || platform::RunGuarded([this] { ePathExit(); });
}

void TfDBRepairInfo::rbPathClick() {
    if (runInProgress_) {
        return;
    }
    FinishPendingPathExit();
    ApplyModeEnabling();
    if (rbPath.isChecked()) {
        SelectPath();
    } else {
        SelectAlias();
    }
}

void TfDBRepairInfo::ePathEnter() {
    PathOnEnter = StdText(ePath.text());
}

void TfDBRepairInfo::ePathExit() {
    // Exact comparison: on this file system a change of letter case names another directory.
    if (StdText(ePath.text()) != PathOnEnter) {
        SelectPath();
    }
}

bool TfDBRepairInfo::SelectTypedPathBeforeDefault() {
    if (!ePath.hasFocus()) {
        return true;
    }
    // Enter in the path box runs the default button without leaving the box; the typed path
    // is selected first, as leaving the box would.
    const bool selected = platform::RunGuarded([this] { ePathExit(); });
    PathOnEnter = StdText(ePath.text());
    return selected;
}

void TfDBRepairInfo::btnBrowseClick() {
    if (runInProgress_) {
        return;
    }
    FinishPendingPathExit();
    const QPoint corner =
        client_.mapToGlobal(QPoint(btnBrowse.x() + btnBrowse.width(), btnBrowse.y()));
    // Freed when the scope ends, also when the selection fails.
    TfDirList picker(this, corner, AbsolutePath(StdText(ePath.text())));
    if (picker.exec() != QDialog::Accepted) {
        return;
    }
    ePath.setText(Text(picker.OpenDirectory().string() + "/"));
    SelectPath();
}

void TfDBRepairInfo::btnVerifyClick() {
    RunOperation(repair::roVerify);
}

void TfDBRepairInfo::btnRebuildClick() {
    RunOperation(repair::roRebuild);
}

void TfDBRepairInfo::btnChkAndRepairClick() {
    RunOperation(repair::roCheckAndRepair);
}

void TfDBRepairInfo::btnCancelClick() {
    CancelRequested = true;
    btnCancel.setEnabled(false);
}

void TfDBRepairInfo::RunOperation(repair::TRepairOperation operation) {
    if (selecting_ && !runInProgress_) {
        runAfterSelection_ = operation;
        return;
    }
    if (!FinishPendingPathExit()) {
        return; // the failed selection's box was shown
    }
    if (!runInProgress_ && !selectionFailure_.empty()) {
        ResetProgressBars();
        platform::CurrentToolkit().ShowMessageBox(platform::BoxIcon::Error,
                                                  platform::kApplicationTitle,
                                                  "No database is selected: " + selectionFailure_);
        return;
    }
    const RunScope run(*this);
    if (!run.Began()) {
        return;
    }
    WindowRunView view(*this, owner_);
    const repair::ScopedTableStatusBars bars(view);
    // The failure is shown while the run still holds the window: a close asked for in the
    // meantime waits until the box is gone.
    platform::RunGuarded([&view, operation] { repair::RunRepairOperation(operation, view); });
}

bool TfDBRepairInfo::BeginRun() {
    // Not in the middle of a selection either (it lets window events through once).
    if (runInProgress_ || selecting_) {
        return false;
    }
    runInProgress_ = true;
    closePending_ = false;
    QWidget* focused = QApplication::focusWidget();
    focusBeforeRun_ = focused != nullptr && client_.isAncestorOf(focused) ? focused : nullptr;
    for (QWidget* control :
         std::initializer_list<QWidget*>{&cbAlias, &rbAlias, &rbPath, &ePath, &btnBrowse,
                                         &btnChkAndRepair, &btnVerify, &btnRebuild}) {
        control->setEnabled(false);
    }
    return true;
}

void TfDBRepairInfo::EndRun() {
    if (!runInProgress_) {
        return;
    }
    runInProgress_ = false;
    for (QWidget* control : std::initializer_list<QWidget*>{&rbAlias, &rbPath, &btnChkAndRepair,
                                                            &btnVerify, &btnRebuild}) {
        control->setEnabled(true);
    }
    ApplyModeEnabling();
    if (focusBeforeRun_ != nullptr && focusBeforeRun_->isEnabled()) {
        focusBeforeRun_->setFocus(Qt::OtherFocusReason);
    }
    focusBeforeRun_ = nullptr;
    if (paneRun_ != nullptr) {
        owner_.RunEnded(paneRun_);
    }
    if (closePending_) {
        closePending_ = false;
        // After the run's handler has returned, not under it.
        QMetaObject::invokeMethod(
            this, [this] { close(); }, Qt::QueuedConnection);
    }
}

void TfDBRepairInfo::BringToFront() {
    if (mdiArea() != nullptr) {
        mdiArea()->setActiveSubWindow(this);
    }
    raise();
    showNormal();
}

void TfDBRepairInfo::closeEvent(QCloseEvent* event) {
    if (runInProgress_) {
        // The run works on this window's objects: it is asked to stop, and the window closes
        // when it has ended.
        CancelRequested = true;
        closePending_ = true;
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
    if (event->isAccepted()) {
        FormClose();
    }
}

bool TfDBRepairInfo::eventFilter(QObject* watched, QEvent* event) {
    if (watched == memoMessage.viewport() && event->type() == QEvent::MouseButtonDblClick) {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        const int line = memoMessage.cursorForPosition(at).blockNumber();
        bool shown = false;
        platform::RunGuarded([this, line, &shown] { shown = ShowFindingsAtLine(line); });
        if (shown) {
            return true;
        }
    }
    if (watched == &ePath &&
        (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        // Focus that leaves or returns with the whole window (another window, a box, a
        // menu) does not enter or leave the box.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (event->type() == QEvent::FocusIn) {
                FinishPendingPathExit(); // left and back before it ran
                platform::RunGuarded([this] { ePathEnter(); });
            } else if (!runInProgress_ && reason == Qt::MouseFocusReason) {
                // A press on another control took the focus and is yet to be delivered: the
                // selection follows it (a button's handler finishes it first), never overtakes
                // it.
                pathExitPending_ = true;
                QMetaObject::invokeMethod(
                    this, [this] { FinishPendingPathExit(); }, Qt::QueuedConnection);
            } else if (!runInProgress_) {
                platform::RunGuarded([this] { ePathExit(); });
            }
        }
    }
    return QMdiSubWindow::eventFilter(watched, event);
}

} // namespace ui
