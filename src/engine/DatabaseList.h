#pragma once

#include "engine/DatabaseRecord.h"

#include <cstdint>
#include <memory>

namespace engine {

class Session;

// Cursor handles of the engine's direct calls; 0 is "no cursor".
using CursorHandle = std::uint32_t;

// Opens a cursor over the databases (aliases) the current session sees, in its order.
std::uint16_t OpenDatabaseList(CursorHandle* cursor);
// The same over the databases that `session` sees, whichever session was activated last.
std::uint16_t OpenDatabaseList(const std::shared_ptr<Session>& session, CursorHandle* cursor);
// Fills the next record: err::Ok while records remain, err::EndOfTable after the last one.
// `record` is the caller's 357 bytes.
std::uint16_t GetNextRecord(CursorHandle cursor, void* record);
// Closes the cursor and sets the handle to 0.
std::uint16_t CloseCursor(CursorHandle* cursor);

} // namespace engine
