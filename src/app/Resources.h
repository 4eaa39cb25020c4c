#pragma once

namespace app {

// Makes the program's pictures (logo, icons) available under ":/app/". They are compiled
// into a static library, so nothing pulls them in by itself; calling this more than once
// is harmless.
void LoadAppResources();

} // namespace app
