#pragma once

#include "platform/RecordingToolkit.h"

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

// What the Qt test programs share: one QApplication for the whole program (a global test
// environment makes it), letting queued events run, and the captions that do not fit.
namespace qttest {

// Lets queued events run, deferred deletions included.
void DrainEvents();

// Captions of the widget's labels and visible buttons that do not fit their widget (or, for a
// label, the window), one text each with what it needs and has.
std::vector<std::string> ClippedCaptions(const QWidget& window);

// The recording toolkit, but window events are handled where a run lets them be, and the
// test gets a hook there (called with the number of event points so far).
class PumpingToolkit : public platform::RecordingToolkit {
public:
    void ProcessPendingEvents() override;
    std::function<void(int)> onPump;
};

} // namespace qttest
