#pragma once

#include "platform/Toolkit.h"

namespace platform {

// The command-line program's toolkit: message boxes go to standard error, nothing else
// has an effect on a terminal.
class TerminalToolkit : public Toolkit {
public:
    void ShowHourglass() override {}
    void ShowDefaultCursor() override {}
    void ShowMessageBox(BoxIcon icon, const std::string& caption,
                        const std::string& text) override;
    void ProcessPendingEvents() override {}
    void OpenUrl(const std::string& url) override;
};

} // namespace platform
