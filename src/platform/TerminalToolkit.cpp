#include "platform/TerminalToolkit.h"

#include <iostream>

namespace platform {

void TerminalToolkit::ShowMessageBox(BoxIcon icon, const std::string& caption,
                                     const std::string& text) {
    const char* kind = icon == BoxIcon::Error     ? "error"
                       : icon == BoxIcon::Warning ? "warning"
                                                  : "info";
    std::cerr << caption << " (" << kind << "): " << text << '\n';
}

void TerminalToolkit::OpenUrl(const std::string& url) { std::cerr << "open " << url << '\n'; }

} // namespace platform
