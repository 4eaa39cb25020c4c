#include "platform/ProgressCallback.h"

#include "engine/Callbacks.h"
#include "platform/DBErrors.h"

namespace platform {

static_assert(cbGENPROGRESS == engine::kGeneralProgress);
static_assert(kProgressRecordSize == engine::kProgressRecordSize);

void RegisterCallback(std::uint32_t type, std::uint32_t clientData, std::uint16_t bufferLength,
                      void* buffer, TProgressCallback callback) {
    Check(engine::RegisterCallback(0, type, clientData, bufferLength, buffer, callback));
}

bool ProgressCallbackRegistered() {
    return engine::ProgressCallbackRegistered();
}

} // namespace platform
