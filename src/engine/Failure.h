#pragma once

#include <cstdint>
#include <string>

namespace engine {

// Engine operations report failures as 16-bit codes. The detail of the most recent failure
// on this thread (which file, what was wrong) is kept beside the code so that the common
// result check can raise the engine's full message.

// Records `code` with its context ("/data/ORDERS.DB: record size 0") and returns the code,
// so that an operation can end with `return Fail(...)`. Ok is returned unrecorded.
std::uint16_t Fail(std::uint16_t code, const std::string& context);

// The engine's message for `code`: its description, followed by the context of the last
// recorded failure when that failure had this code. Taking the message forgets the context.
std::string TakeFailureMessage(std::uint16_t code);

// The context alone ("cannot open /data/ORDERS.DB") of the last recorded failure when it had
// this code, else empty; taking it forgets it.
std::string TakeFailureContext(std::uint16_t code);

// Forgets any recorded failure context.
void ClearFailure();

} // namespace engine
