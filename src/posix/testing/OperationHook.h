#pragma once

// Tests only: no program code sets a hook. A hook sees every rename, write, flush, removal and
// folder creation of the file layer before it happens and may make it fail, so that tests can
// break a run at any step (or do something in between, as another process would).

#include <cstdint>
#include <functional>

namespace posix {

enum class Operation { Rename, Write, Sync, Remove, MakeFolder };

// Called with the operation and how many calls of it there were since the hook was set (this
// one included); returns 0 to let it run, or the errno value it fails with.
using OperationHook = std::function<int(Operation, std::uint64_t nth)>;

namespace detail {
// 0, or the errno value the operation is to fail with.
int BeforeOperation(Operation operation);
} // namespace detail

namespace testing {
// Replaces the hook (an empty one removes it) and restarts the counts.
void SetOperationHook(OperationHook hook);

// A hook that makes the n-th call of `operation` fail with `error`, running `before` first.
OperationHook FailNth(Operation operation, std::uint64_t n, int error,
                      std::function<void()> before = {});
} // namespace testing
} // namespace posix
