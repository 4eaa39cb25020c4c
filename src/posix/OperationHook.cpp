#include "posix/testing/OperationHook.h"

#include <array>
#include <atomic>
#include <mutex>
#include <utility>

namespace posix {
namespace {

struct HookState {
    std::mutex mutex;
    OperationHook hook;
    std::array<std::uint64_t, 5> calls{};
};

std::atomic<bool> hookSet{false};

HookState& State() {
    static HookState state;
    return state;
}

} // namespace

namespace detail {
int BeforeOperation(Operation operation) {
    if (!hookSet.load(std::memory_order_acquire)) {
        return 0;
    }
    OperationHook hook;
    std::uint64_t nth = 0;
    {
        HookState& state = State();
        const std::lock_guard lock(state.mutex);
        hook = state.hook;
        nth = ++state.calls[static_cast<std::size_t>(operation)];
    }
    // Outside the lock: the hook may itself use the file layer.
    return hook ? hook(operation, nth) : 0;
}
} // namespace detail

namespace testing {
void SetOperationHook(OperationHook hook) {
    HookState& state = State();
    const std::lock_guard lock(state.mutex);
    hookSet.store(static_cast<bool>(hook), std::memory_order_release);
    state.hook = std::move(hook);
    state.calls.fill(0);
}

OperationHook FailNth(Operation operation, std::uint64_t n, int error,
                      std::function<void()> before) {
    return [=](Operation called, std::uint64_t nth) {
        if (called != operation || nth != n) {
            return 0;
        }
        if (before) {
            before();
        }
        return error;
    };
}
} // namespace testing
} // namespace posix
