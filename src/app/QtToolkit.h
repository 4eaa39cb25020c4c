#pragma once

#include "platform/Toolkit.h"

namespace app {

// The window program's toolkit: the application-wide override cursor, QMessageBox boxes,
// Qt's event pump and the desktop shell's URL opener.
class QtToolkit : public platform::Toolkit {
public:
    void ShowHourglass() override;
    void ShowDefaultCursor() override;
    void ShowMessageBox(platform::BoxIcon icon, const std::string& caption,
                        const std::string& text) override;
    void ProcessPendingEvents() override;
    void OpenUrl(const std::string& url) override;
};

} // namespace app
