#pragma once

#include "engine/DatabaseRecord.h"

#include <cstdint>

namespace engine {

// Cursor handles of the engine's direct calls; 0 is "no cursor".
using CursorHandle = std::uint32_t;

// Opens a cursor over the databases (aliases) the current session sees, in its order.
std::uint16_t OpenDatabaseList(CursorHandle* cursor);
// Fills the next record: err::Ok while records remain, err::EndOfTable after the last one.
// `record` is the caller's 357 bytes.
std::uint16_t GetNextRecord(CursorHandle cursor, void* record);
// Closes the cursor and sets the handle to 0.
std::uint16_t CloseCursor(CursorHandle* cursor);

} // namespace engine
