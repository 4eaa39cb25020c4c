#pragma once

#include <cstdint>

namespace platform {

// The engine's general-progress callback type and the size of the record it fills.
inline constexpr std::uint32_t cbGENPROGRESS = 23;
inline constexpr std::uint16_t kProgressRecordSize = 268;

// (callback type, client data, the registered record) -> answer; 0 lets the engine go on.
using TProgressCallback = std::uint32_t (*)(std::uint32_t type, std::uint32_t clientData,
                                            void* record);

// Registers `callback` for `type` with a caller-owned buffer the engine fills before each
// call; a null callback unregisters. No cursor: the callback is not tied to a table.
// Failures raise EDBEngineError.
void RegisterCallback(std::uint32_t type, std::uint32_t clientData, std::uint16_t bufferLength,
                      void* buffer, TProgressCallback callback);

// Whether a general-progress callback is registered with the engine.
bool ProgressCallbackRegistered();

} // namespace platform
