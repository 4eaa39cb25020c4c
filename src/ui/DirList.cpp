#include "ui/DirList.h"

#include "platform/Toolkit.h"
#include "ui/CaptionFit.h"
#include "ui/Fonts.h"
#include "ui/UiResources.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <algorithm>

namespace ui {

TfDirList* fDirList = nullptr;

namespace {

constexpr int kStripHeight = 21;

void LayOutFlatButton(QToolButton& button, const char* name, const QString& text,
                      const QString& picture, int left) {
    button.setObjectName(QString::fromLatin1(name));
    button.setText(text);
    button.setIcon(QIcon(picture));
    button.setIconSize(QSize(16, 16));
    button.setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button.setAutoRaise(true);
    // Every key goes to the directory list.
    button.setFocusPolicy(Qt::NoFocus);
    button.setGeometry(left, 1, 60, 20);
    constexpr int kFlatFrameRoom = 6;
    FitCaption(button, kFlatFrameRoom);
}

} // namespace

TfDirList::TfDirList(QWidget* owner, QPoint corner, const std::filesystem::path& start)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
    LoadUiResources();
    setObjectName(QStringLiteral("fDirList"));
    setFont(WindowFont());
    setFixedSize(kClientWidth, kClientHeight);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);

    Panel1.setObjectName(QStringLiteral("Panel1"));
    Panel1.setGeometry(0, 0, kClientWidth, kStripHeight);
    LayOutFlatButton(btnOk, "btnOk", QStringLiteral("Use"), QStringLiteral(":/ui/check.png"), 10);
    LayOutFlatButton(btnCancel, "btnCancel", QStringLiteral("Cancel"),
                     QStringLiteral(":/ui/cross.png"), 95);

    lboxDir.setObjectName(QStringLiteral("lboxDir"));
    lboxDir.setGeometry(0, kStripHeight, kClientWidth, kClientHeight - kStripHeight);
    lboxDir.ShowDirectory(start);
    lboxDir.installEventFilter(this);
    setFocusProxy(&lboxDir);
    lboxDir.setFocus();

    connect(&btnOk, &QToolButton::clicked, this, [this] { btnOkClick(); });
    connect(&btnCancel, &QToolButton::clicked, this, [this] { btnCancelClick(); });
    connect(&lboxDir, &QListWidget::doubleClicked, this,
            [this](const QModelIndex& index) { lboxDirDblClick(index.row()); });

    fDirList = this;
    FormCreate(corner);
}

TfDirList::~TfDirList() {
    lboxDir.removeEventFilter(this);
    if (fDirList == this) {
        fDirList = nullptr;
    }
}

void TfDirList::FormCreate(QPoint corner) {
    const QScreen* screen = QGuiApplication::screenAt(corner);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    QPoint place = corner;
    if (screen != nullptr) {
        const QRect room = screen->availableGeometry();
        place.setX(std::max(room.left(), std::min(place.x(), room.right() + 1 - width())));
        place.setY(std::max(room.top(), std::min(place.y(), room.bottom() + 1 - height())));
    }
    move(place);
}

bool TfDirList::lboxDirKeyPress(int key) {
    if (key == Qt::Key_Escape) {
        done(QDialog::Rejected);
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // The answer is OK only when the highlighted entry could be opened; otherwise the
        // picker stays open with the error shown, as after a double click.
        const int row = lboxDir.currentRow();
        if (platform::RunGuarded([this, row] { lboxDir.OpenEntry(row); })) {
            done(QDialog::Accepted);
        }
        return true;
    }
    return false;
}

void TfDirList::lboxDirDblClick(int row) {
    platform::RunGuarded([this, row] { lboxDir.OpenEntry(row); });
}

void TfDirList::btnOkClick() {
    done(QDialog::Accepted);
}

void TfDirList::btnCancelClick() {
    done(QDialog::Rejected);
}

bool TfDirList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &lboxDir && event->type() == QEvent::KeyPress) {
        return lboxDirKeyPress(static_cast<QKeyEvent*>(event)->key());
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace ui
