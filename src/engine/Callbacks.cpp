#include "engine/Callbacks.h"

#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/FaultHook.h"

namespace engine {
namespace {

struct Registration {
    CallbackFn callback = nullptr;
    std::uint32_t clientData = 0;
    std::uint8_t* buffer = nullptr;
};

// The library works on the thread that called it, so each thread reports to the callback it
// registered itself: tables worked on at once on several threads keep their reports apart.
thread_local Registration progress;

} // namespace

std::uint16_t RegisterCallback(CursorHandle cursor, std::uint32_t type, std::uint32_t clientData,
                               std::uint16_t bufferLength, void* buffer, CallbackFn callback) {
    if (auto fault = TakeFault(op::RegisterCallback); fault != err::Ok) {
        return fault;
    }
    if (cursor != 0) {
        return Fail(err::InvalidHandle, "callbacks are registered without a cursor");
    }
    if (type != kGeneralProgress) {
        return Fail(err::InvalidCallback, "callback type " + std::to_string(type) +
                                              " is not supported (only " +
                                              std::to_string(kGeneralProgress) + ")");
    }
    if (callback == nullptr) {
        progress = {};
        return err::Ok;
    }
    if (buffer == nullptr || bufferLength < kProgressRecordSize) {
        return Fail(err::InvalidCallback, "general progress needs a buffer of " +
                                              std::to_string(kProgressRecordSize) +
                                              " bytes, given " + std::to_string(bufferLength));
    }
    progress = {callback, clientData, static_cast<std::uint8_t*>(buffer)};
    return err::Ok;
}

std::uint32_t ReportProgress(std::uint8_t phase, std::uint16_t percent) {
    const Registration current = progress;
    if (current.callback == nullptr) {
        return 0;
    }
    std::uint8_t* record = current.buffer;
    record[kPercentOffset] = static_cast<std::uint8_t>(percent & 0xFF);
    record[kPercentOffset + 1] = static_cast<std::uint8_t>(percent >> 8);
    record[kPhaseOffset] = 0;
    record[kPhaseOffset + 1] = 0;
    record[kPhaseOffset + 2] = 0;
    record[kPhaseOffset + 3] = phase;
    return current.callback(kGeneralProgress, current.clientData, record);
}

bool ProgressCallbackRegistered() {
    return progress.callback != nullptr;
}

} // namespace engine
