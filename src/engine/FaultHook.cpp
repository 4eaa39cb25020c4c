#include "engine/FaultHook.h"

#include "engine/Failure.h"

#include <map>
#include <mutex>

namespace engine {
namespace {

struct InjectedFault {
    std::uint16_t code = 0;
    int remaining = -1;
};

std::mutex faultMutex;
std::map<std::string, InjectedFault, std::less<>> faults;

} // namespace

void InjectFault(std::string_view operation, std::uint16_t code, int times) {
    std::lock_guard lock(faultMutex);
    if (times == 0 || code == 0) {
        faults.erase(std::string(operation));
        return;
    }
    faults[std::string(operation)] = {code, times};
}

void ClearFaults() {
    std::lock_guard lock(faultMutex);
    faults.clear();
}

std::uint16_t TakeFault(std::string_view operation) {
    std::uint16_t code = 0;
    {
        std::lock_guard lock(faultMutex);
        if (faults.empty()) {
            return 0;
        }
        auto it = faults.find(operation);
        if (it == faults.end()) {
            return 0;
        }
        code = it->second.code;
        if (it->second.remaining > 0 && --it->second.remaining == 0) {
            faults.erase(it);
        }
    }
    return Fail(code, std::string(operation) + " (injected fault)");
}

ScopedFault::ScopedFault(std::string_view operation, std::uint16_t code, int times)
    : operation_(operation) {
    InjectFault(operation, code, times);
}

ScopedFault::~ScopedFault() {
    InjectFault(operation_, 0, 0);
}

} // namespace engine
