#include "engine/Failure.h"

#include "engine/ErrorCodes.h"

namespace engine {
namespace {

struct RecordedFailure {
    std::uint16_t code = err::Ok;
    std::string context;
};

thread_local RecordedFailure lastFailure;

} // namespace

std::uint16_t Fail(std::uint16_t code, const std::string& context) {
    if (code != err::Ok) {
        lastFailure = {code, context};
    }
    return code;
}

std::string TakeFailureMessage(std::uint16_t code) {
    std::string message = DescribeError(code);
    if (lastFailure.code == code && !lastFailure.context.empty()) {
        message += ": " + lastFailure.context;
    }
    if (lastFailure.code == code) {
        ClearFailure();
    }
    return message;
}

std::string TakeFailureContext(std::uint16_t code) {
    if (lastFailure.code != code) {
        return {};
    }
    std::string context = std::move(lastFailure.context);
    ClearFailure();
    return context;
}

void ClearFailure() {
    lastFailure = {};
}

} // namespace engine
