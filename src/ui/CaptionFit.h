#pragma once

class QAbstractButton;

namespace ui {

// The platform sans font is wider than the laid-out one: a caption that would not fit its
// button, beside its picture and with `frameRoom` pixels left for the frame, is set a little
// tighter, as little as needed.
void FitCaption(QAbstractButton& button, int frameRoom);

} // namespace ui
