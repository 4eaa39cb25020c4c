#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace platform {

// A failure reported by the database engine or the table utility library: the 16-bit
// engine code and the engine's message for it.
class EDBEngineError : public std::runtime_error {
public:
    EDBEngineError(std::uint16_t code, const std::string& message)
        : std::runtime_error(message), code_(code) {}
    std::uint16_t ErrorCode() const { return code_; }

private:
    std::uint16_t code_;
};

// The common result check: a result whose low 16 bits are not 0 raises EDBEngineError
// carrying the engine's description of that code.
void Check(std::uint32_t result);

// The engine's message for a result that a caller judges itself instead of raising it: the
// description of its code and, when the failing call left one, its reason ("" for 0).
std::string ResultMessage(std::uint32_t result);

// Raises EDBEngineError for a code with a message of its own (context such as a file name
// added to the engine's text).
[[noreturn]] void RaiseEngineError(std::uint16_t code, const std::string& context = {});

} // namespace platform
