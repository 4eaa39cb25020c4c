#pragma once

#include <QFont>

namespace ui {

// The windows' fonts: the platform's sans font where the layouts name "MS Sans Serif", a
// serif font where they name "Times New Roman", both at the laid-out pixel height.
QFont SansFont(int pixelSize, bool bold = false);
QFont SerifFont(int pixelSize, bool bold = false);

// The default font of every window: sans at 11 pixels.
inline QFont WindowFont() {
    return SansFont(11);
}

} // namespace ui
