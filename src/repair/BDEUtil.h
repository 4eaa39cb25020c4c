#pragma once

#include "platform/ProgressCallback.h"

#include <array>
#include <cstdint>
#include <string>

namespace repair {

// The repair engine's handle on the table utility library: one open table utility session
// and the progress record the engine fills while the library works. The progress callback
// moves the installed table-status bars (TableStatusBars.h).
class TBDEUtil {
public:
    // Opens a session (TUInit); a failure raises EDBEngineError and no object results.
    TBDEUtil();
    // Closes the session when one is open. Never throws: a failing close is ignored.
    ~TBDEUtil();
    TBDEUtil(const TBDEUtil&) = delete;
    TBDEUtil& operator=(const TBDEUtil&) = delete;

    // Closes the open session (TUExit) and opens a new one (TUInit), each through the
    // common result check. After a failed TUInit no session is open and none is closed later.
    void ReopenSession();
    bool SessionOpen() const { return sessionOpen_; }
    std::uint16_t SessionHandle() const { return sessionHandle_; }

    // Lends ProgressInfo to the engine for the general-progress callback, and takes it back.
    // Failures raise EDBEngineError.
    void RegisterProgressCallback();
    void UnregisterProgressCallback();

    // What the engine calls: a report of type 23 sets the bar its phase byte names to the
    // report's percentage; anything else changes nothing. Always answers 0.
    static std::uint32_t ProgressCallback(std::uint32_t callbackType, std::uint32_t clientData,
                                          void* record);

    // The progress record: PercentDone (LE u16) at byte 0, PhaseCode (LE u32) at byte 260.
    std::array<std::uint8_t, platform::kProgressRecordSize> ProgressInfo{};

private:
    std::uint16_t sessionHandle_ = 0;
    bool sessionOpen_ = false;
};

// The text before the last "." of a name, or the name unchanged when it has none.
std::string StripFileExtension(const std::string& name);

} // namespace repair
