#include "ui/CaptionFit.h"

#include <QAbstractButton>
#include <QFontMetrics>

namespace ui {

void FitCaption(QAbstractButton& button, int frameRoom) {
    constexpr double kTightest = -1.0;
    constexpr double kStep = 0.1;
    constexpr int kIconGap = 4;
    QString shown = button.text();
    shown.replace(QStringLiteral("&&"), QStringLiteral("&"));
    QFont font = button.font();
    const int room = button.width() - frameRoom -
                     (button.icon().isNull() ? 0 : button.iconSize().width() + kIconGap);
    for (double spacing = -kStep;
         QFontMetrics(font).horizontalAdvance(shown) > room && spacing >= kTightest;
         spacing -= kStep) {
        font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    }
    button.setFont(font);
}

} // namespace ui
