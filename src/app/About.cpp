#include "app/About.h"

#include "app/Resources.h"
#include "platform/Toolkit.h"
#include "ui/Fonts.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QStyle>

namespace app {

TfAbout* fAbout = nullptr;

namespace {

const char* const kWebAddress = "www.mendrix.example";

} // namespace

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        onClick) {
        onClick();
    }
}

TfAbout::TfAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    LoadAppResources();
    setObjectName(QStringLiteral("fAbout"));
    setWindowTitle(QStringLiteral("About"));
    setFont(ui::WindowFont());
    setFixedSize(kClientWidth, kClientHeight);

    Image1.setObjectName(QStringLiteral("Image1"));
    Place(Image1, 30, 5, 161, 61);
    Image1.setAlignment(Qt::AlignCenter);
    Image1.setAttribute(Qt::WA_TranslucentBackground);
    const QPixmap logo(QStringLiteral(":/app/logo.png"));
    Image1.setPixmap(logo.scaled(Image1.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));

    lbURL.setObjectName(QStringLiteral("lbURL"));
    lbURL.setText(QString::fromLatin1(kWebAddress));
    Place(lbURL, 30, 70, 161, 13);
    lbURL.setAlignment(Qt::AlignCenter);
    QFont urlFont = ui::WindowFont();
    urlFont.setUnderline(true);
    lbURL.setFont(urlFont);
    lbURL.setStyleSheet(QStringLiteral("color: blue;"));
    lbURL.setCursor(Qt::PointingHandCursor);
    lbURL.onClick = [this] { platform::RunGuarded([this] { lbURLClick(); }); };

    btnClose.setObjectName(QStringLiteral("btnClose"));
    btnClose.setText(QStringLiteral("Close"));
    btnClose.setIcon(QIcon(QStringLiteral(":/app/close.png")));
    Place(btnClose, 70, 100, 75, 25);
    btnClose.setDefault(true);
    btnClose.setAutoDefault(true);
    connect(&btnClose, &QPushButton::clicked, this, [this] { accept(); });

    Label1.setObjectName(QStringLiteral("Label1"));
    Label1.setText(QStringLiteral("Version 1.0"));
    Label1.setFont(ui::SerifFont(21, true));
    Label1.setAlignment(Qt::AlignCenter);
    Place(Label1, 247, 51, 144, 24);

    Label4.setObjectName(QStringLiteral("Label4"));
    Label4.setText(QStringLiteral("Build 4"));
    Label4.setFont(ui::SerifFont(16, true));
    Label4.setAlignment(Qt::AlignCenter);
    Place(Label4, 269, 74, 100, 19);

    Label2.setObjectName(QStringLiteral("Label2"));
    Label2.setText(QStringLiteral("Written by the Mendrix team"));
    Label2.setFont(ui::SerifFont(11, true));
    PlaceAutoSized(Label2, 217, 96);

    Label3.setObjectName(QStringLiteral("Label3"));
    Label3.setText(QStringLiteral("Made with C++ and Qt"));
    Label3.setFont(ui::SerifFont(11, true));
    PlaceAutoSized(Label3, 207, 109);

    Label5.setObjectName(QStringLiteral("Label5"));
    Label5.setText(QStringLiteral("Mendrix"));
    Label5.setFont(ui::SansFont(19, true));
    Place(Label5, 220, 5, 200, 24);

    Label6.setObjectName(QStringLiteral("Label6"));
    Label6.setText(QStringLiteral("Paradox table repair"));
    PlaceAutoSized(Label6, 285, 35);

    for (QLabel* label : {&Label1, &Label2, &Label3, &Label4}) {
        label->setStyleSheet(QStringLiteral("color: black;"));
    }

    // Tab order: the Close button first, so Enter presses it when the box opens.
    btnClose.setFocus();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void TfAbout::Place(QWidget& widget, int left, int top, int width, int height) {
    widget.setGeometry(left, top, width, height);
}

void TfAbout::PlaceAutoSized(QLabel& label, int left, int top) {
    label.move(left, top);
    label.adjustSize();
}

void TfAbout::lbURLClick() {
    platform::CurrentToolkit().OpenUrl("http://" + lbURL.text().toStdString());
}

void TfAbout::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        return; // there is no cancel button
    }
    QDialog::keyPressEvent(event);
}

} // namespace app
