#pragma once

#include "ui/DirectoryListBox.h"

#include <QDialog>
#include <QFrame>
#include <QToolButton>
#include <filesystem>

namespace ui {

class TfDirList;
// The directory picker while it exists, else null.
extern TfDirList* fDirList;

// The directory picker: a borderless modal popup with "Use" and "Cancel" above a directory
// list. It places its top-left corner at a given screen point, moved only as far as needed
// to stay on that point's screen. The result is OK or Cancel; on OK the choice is the list's
// open directory.
class TfDirList : public QDialog {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 165;
    static constexpr int kClientHeight = 144;

    // `corner` is in screen coordinates. The list starts at `start` when that is an existing
    // directory, else at the current directory.
    TfDirList(QWidget* owner, QPoint corner, const std::filesystem::path& start = {});
    ~TfDirList() override;

    // The open directory: a full path without a trailing separator, the root keeps its "/".
    std::filesystem::path OpenDirectory() const { return lboxDir.Directory(); }

    // Event handlers.
    void FormCreate(QPoint corner);
    // Esc cancels; Enter opens the highlighted entry and answers OK when it opened. Returns
    // true when the key was handled here.
    bool lboxDirKeyPress(int key);
    void lboxDirDblClick(int row);
    void btnOkClick();
    void btnCancelClick();

    // Parents are declared before their children: members are destroyed in reverse order.
    QFrame Panel1{this};
    QToolButton btnCancel{&Panel1};
    QToolButton btnOk{&Panel1};
    DirectoryListBox lboxDir{this};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace ui
