#pragma once

// Tests and fuzzers only: no program code sets this. With flushes skipped, every fsync of the
// file layer is left out (files are still written in full), for runs where durability is not
// what is measured.

#include <atomic>

namespace posix {
namespace detail {
extern std::atomic<bool> flushesSkipped;
} // namespace detail

namespace testing {
inline void SkipFlushes(bool skip) {
    detail::flushesSkipped.store(skip, std::memory_order_relaxed);
}
inline bool FlushesSkipped() {
    return detail::flushesSkipped.load(std::memory_order_relaxed);
}
} // namespace testing
} // namespace posix
