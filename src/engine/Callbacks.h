#pragma once

#include "engine/DatabaseList.h"

#include <cstdint>

namespace engine {

// The general-progress callback type and the size of its record.
inline constexpr std::uint32_t kGeneralProgress = 23;
inline constexpr std::uint16_t kProgressRecordSize = 268;
// Where ReportProgress writes into the record.
inline constexpr std::size_t kPercentOffset = 0;
inline constexpr std::size_t kPhaseOffset = 260;

// A registered callback: (callback type, client data, the registered buffer) -> answer.
// Answer 0 lets the engine go on.
using CallbackFn = std::uint32_t (*)(std::uint32_t type, std::uint32_t clientData, void* record);

// Registers `callback` for `type` with a caller-owned buffer of `bufferLength` bytes that the
// engine fills before each call; a null callback unregisters. A registration holds for the
// thread that made it (the library reports on the thread that called it). Only the general-progress
// type without a cursor is supported, with a buffer of at least 268 bytes.
std::uint16_t RegisterCallback(CursorHandle cursor, std::uint32_t type, std::uint32_t clientData,
                               std::uint16_t bufferLength, void* buffer, CallbackFn callback);

// Used by the table utility library while it works: writes `percent` (LE u16 at byte 0) and
// `phase` (most significant byte of the LE u32 at byte 260, lower bytes 0) into the
// registered buffer and calls the general-progress callback. Returns the callback's answer,
// 0 when none is registered.
std::uint32_t ReportProgress(std::uint8_t phase, std::uint16_t percent);

// Whether a general-progress callback is registered.
bool ProgressCallbackRegistered();

} // namespace engine
