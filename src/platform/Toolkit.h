#pragma once

#include <functional>
#include <string>

namespace platform {

enum class BoxIcon { Warning, Error, Information };

// What the program needs of the window system outside its own windows: the screen cursor,
// modal message boxes with one OK button, letting pending events be handled, and the
// desktop shell's URL opener. The window program installs a Qt implementation, tests a
// recording one, the command-line program a terminal one.
class Toolkit {
public:
    virtual ~Toolkit() = default;
    virtual void ShowHourglass() = 0;
    virtual void ShowDefaultCursor() = 0; // removes every override, not just the last
    virtual void ShowMessageBox(BoxIcon icon, const std::string& caption,
                                const std::string& text) = 0;
    virtual void ProcessPendingEvents() = 0;
    virtual void OpenUrl(const std::string& url) = 0; // the answer is ignored
};

// The toolkit in use: the calling thread's own when one is installed, else the one installed
// for all; before any is installed, a terminal toolkit answers.
Toolkit& CurrentToolkit();

// Installs a toolkit for the lifetime of the scope and puts the previous one back.
class ScopedToolkit {
public:
    explicit ScopedToolkit(Toolkit& toolkit);
    ~ScopedToolkit();
    ScopedToolkit(const ScopedToolkit&) = delete;
    ScopedToolkit& operator=(const ScopedToolkit&) = delete;

private:
    Toolkit* previous_;
};

// Installs a toolkit for the calling thread alone, for the lifetime of the scope: it answers
// that thread in place of the one installed for all (a thread that works on a table of its
// own keeps its message boxes apart).
class ScopedThreadToolkit {
public:
    explicit ScopedThreadToolkit(Toolkit& toolkit);
    ~ScopedThreadToolkit();
    ScopedThreadToolkit(const ScopedThreadToolkit&) = delete;
    ScopedThreadToolkit& operator=(const ScopedThreadToolkit&) = delete;

private:
    Toolkit* previous_;
};

// Title of the application; error boxes of the top-level handling carry it as caption.
inline constexpr const char* kApplicationTitle = "Mendrix";

// Runs a handler; any exception escaping it is shown in the error box captioned with the
// application title, and the program goes on. Returns false when the handler failed.
bool RunGuarded(const std::function<void()>& handler);

// Shows the hourglass for the scope and the default arrow when it ends, also on failure.
class HourglassScope {
public:
    HourglassScope();
    ~HourglassScope();
    HourglassScope(const HourglassScope&) = delete;
    HourglassScope& operator=(const HourglassScope&) = delete;
};

} // namespace platform
