#include "ui/DBRepairInfo.h"

#include "ui/Fonts.h"

#include <QCloseEvent>
#include <QMdiArea>

namespace ui {

bool RepairWindowOpen = false;
TfDBRepairInfo* fDBRepairInfo = nullptr;

TfDBRepairInfo* TfDBRepairInfo::Create(RepairWindowOwner& owner) {
    // Qt parent ownership: the client area deletes it, or its own close does.
    auto* window = new TfDBRepairInfo(owner);
    owner.ChildArea().addSubWindow(window);
    // Only inside the area does the sub-window know its caption bar and border; the window
    // is as big as they and the fixed client area need, and no bigger or smaller.
    window->setFixedSize(window->sizeHint());
    window->move(1, 1);
    window->show();
    return window;
}

TfDBRepairInfo::TfDBRepairInfo(RepairWindowOwner& owner) : owner_(owner) {
    setAttribute(Qt::WA_DeleteOnClose);
    // A single fixed border: a caption with the system menu and the close box only.
    setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    client_.setFixedSize(kClientWidth, kClientHeight);
    client_.setFont(WindowFont());
    setWidget(&client_);
    FormCreate();
}

TfDBRepairInfo::~TfDBRepairInfo() {
    // The client widget is a member; take it out before the sub-window would delete it.
    setWidget(nullptr);
    if (fDBRepairInfo == this) {
        FormClose();
    }
}

void TfDBRepairInfo::FormCreate() {
    setWindowTitle(QStringLiteral("Database Repair"));
    RepairWindowOpen = true;
    fDBRepairInfo = this;
}

void TfDBRepairInfo::FormClose() {
    RepairWindowOpen = false;
    fDBRepairInfo = nullptr;
}

void TfDBRepairInfo::BringToFront() {
    if (mdiArea() != nullptr) {
        mdiArea()->setActiveSubWindow(this);
    }
    raise();
    showNormal();
}

void TfDBRepairInfo::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
    if (event->isAccepted()) {
        FormClose();
    }
}

} // namespace ui
