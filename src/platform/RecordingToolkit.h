#pragma once

#include "platform/Toolkit.h"

#include <functional>
#include <string>
#include <vector>

namespace platform {

// A toolkit for tests: records every call and answers modal boxes at once.
class RecordingToolkit : public Toolkit {
public:
    struct Box {
        BoxIcon icon;
        std::string caption;
        std::string text;
    };

    void ShowHourglass() override {
        ++hourglassCount;
        hourglass = true;
    }
    void ShowDefaultCursor() override {
        ++defaultCursorCount;
        hourglass = false;
    }
    void ShowMessageBox(BoxIcon icon, const std::string& caption,
                        const std::string& text) override {
        boxes.push_back({icon, caption, text});
    }
    void ProcessPendingEvents() override {
        ++eventPumps;
        if (onEventPump) {
            onEventPump(); // what a real pump would deliver now
        }
    }
    void OpenUrl(const std::string& url) override { openedUrls.push_back(url); }

    bool hourglass = false;
    int hourglassCount = 0;
    int defaultCursorCount = 0;
    int eventPumps = 0;
    std::vector<Box> boxes;
    std::vector<std::string> openedUrls;
    std::function<void()> onEventPump;
};

} // namespace platform
