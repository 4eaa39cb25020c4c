#pragma once

#include <QMdiSubWindow>
#include <QWidget>
#include <filesystem>
#include <string>

class QMdiArea;

namespace ui {

// What the repair window needs of the main frame that owns it.
class RepairWindowOwner {
public:
    virtual ~RepairWindowOwner() = default;
    // The frame's client area that holds the child windows.
    virtual QMdiArea& ChildArea() = 0;
    virtual void AppendLogLine(const std::string& line) = 0;
    virtual const std::filesystem::path& PrivateDirectory() const = 0;
};

class TfDBRepairInfo;

// True while a repair window exists; the window sets it on creation and clears it on close.
extern bool RepairWindowOpen;
// The one repair window while it exists, else null.
extern TfDBRepairInfo* fDBRepairInfo;

// The repair window: a fixed-size child window of the main frame, captioned "Database
// Repair". It frees itself when it is closed.
class TfDBRepairInfo : public QMdiSubWindow {
    Q_OBJECT

public:
    // Creates the window as a child of the owner's client area and shows it. The client area
    // owns it (Qt parent ownership) until its close frees it.
    static TfDBRepairInfo* Create(RepairWindowOwner& owner);

    ~TfDBRepairInfo() override;

    static constexpr int kClientWidth = 458;
    static constexpr int kClientHeight = 343;

    // Makes it the active child window, in front of any other.
    void BringToFront();

    // The window's client area, which holds its controls.
    QWidget& Client() { return client_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    explicit TfDBRepairInfo(RepairWindowOwner& owner);
    void FormCreate();
    void FormClose();

    RepairWindowOwner& owner_;
    QWidget client_;
};

} // namespace ui
