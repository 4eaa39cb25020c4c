#include "platform/DBErrors.h"

#include "engine/ErrorCodes.h"
#include "engine/Failure.h"

namespace platform {

void Check(std::uint32_t result) {
    const auto code = static_cast<std::uint16_t>(result & 0xFFFFu);
    if (code != 0) {
        throw EDBEngineError(code, engine::TakeFailureMessage(code));
    }
}

std::string ResultMessage(std::uint32_t result) {
    const auto code = static_cast<std::uint16_t>(result & 0xFFFFu);
    return code == 0 ? std::string() : engine::TakeFailureMessage(code);
}

void RaiseEngineError(std::uint16_t code, const std::string& context) {
    std::string message = engine::DescribeError(code);
    if (!context.empty()) {
        message += ": " + context;
    }
    throw EDBEngineError(code, message);
}

} // namespace platform
