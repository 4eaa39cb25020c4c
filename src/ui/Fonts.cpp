#include "ui/Fonts.h"

#include <QFontDatabase>

namespace ui {

QFont SansFont(int pixelSize, bool bold) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QFont SerifFont(int pixelSize, bool bold) {
    QFont font(QStringLiteral("serif"));
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

} // namespace ui
