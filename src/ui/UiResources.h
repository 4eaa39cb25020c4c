#pragma once

namespace ui {

// Makes the windows' pictures (buttons, folders) available under ":/ui/". They are compiled
// into a static library, so nothing pulls them in by itself; calling this more than once is
// harmless.
void LoadUiResources();

} // namespace ui
