#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <functional>

namespace app {

// A label that reports a left click.
class ClickableLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> onClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class TfAbout;
// The About box while it is shown, else null.
extern TfAbout* fAbout;

// The About box: logo, web address, product name, caption and credit lines, Close button.
class TfAbout : public QDialog {
    Q_OBJECT

public:
    explicit TfAbout(QWidget* parent = nullptr);

    static constexpr int kClientWidth = 465;
    static constexpr int kClientHeight = 137;

    // Has the desktop shell open "http://" followed by the address shown; the box stays open.
    void lbURLClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Place(QWidget& widget, int left, int top, int width, int height);
    void PlaceAutoSized(QLabel& label, int left, int top);

    QLabel Image1{this};
    ClickableLabel lbURL{this};
    QPushButton btnClose{this};
    QLabel Label1{this};
    QLabel Label4{this};
    QLabel Label2{this};
    QLabel Label3{this};
    QLabel Label5{this};
    QLabel Label6{this};
};

} // namespace app
