#include "platform/Toolkit.h"

#include "platform/TerminalToolkit.h"

#include <exception>

namespace platform {
namespace {

Toolkit*& Installed() {
    static Toolkit* installed = nullptr;
    return installed;
}

Toolkit*& InstalledForThread() {
    thread_local Toolkit* installed = nullptr;
    return installed;
}

} // namespace

Toolkit& CurrentToolkit() {
    if (InstalledForThread() != nullptr) {
        return *InstalledForThread();
    }
    if (Installed() != nullptr) {
        return *Installed();
    }
    static TerminalToolkit fallback;
    return fallback;
}

ScopedToolkit::ScopedToolkit(Toolkit& toolkit) : previous_(Installed()) {
    Installed() = &toolkit;
}

ScopedToolkit::~ScopedToolkit() {
    Installed() = previous_;
}

ScopedThreadToolkit::ScopedThreadToolkit(Toolkit& toolkit) : previous_(InstalledForThread()) {
    InstalledForThread() = &toolkit;
}

ScopedThreadToolkit::~ScopedThreadToolkit() {
    InstalledForThread() = previous_;
}

bool RunGuarded(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const std::exception& e) {
        CurrentToolkit().ShowMessageBox(BoxIcon::Error, kApplicationTitle, e.what());
    } catch (...) {
        CurrentToolkit().ShowMessageBox(BoxIcon::Error, kApplicationTitle, "Unknown failure");
    }
    return false;
}

HourglassScope::HourglassScope() {
    CurrentToolkit().ShowHourglass();
}

HourglassScope::~HourglassScope() {
    CurrentToolkit().ShowDefaultCursor();
}

} // namespace platform
