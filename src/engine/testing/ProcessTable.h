#pragma once

// Tests and fuzzers only: no program code sets this. The folder read as the process table
// (/proc) when the engine looks for other processes holding a table's files open: each
// <pid>/fd/<n> entry there is an open file of process <pid>. A fuzzer points it at a small
// folder of its own so that each rebuild does not stat every descriptor of the machine; a test
// can put links there that stand for another process's opens.

#include <filesystem>

namespace engine::testing {

// The process table is `folder` for the lifetime of the object, then /proc again.
class ScopedProcessTable {
public:
    explicit ScopedProcessTable(const std::filesystem::path& folder);
    ~ScopedProcessTable();
    ScopedProcessTable(const ScopedProcessTable&) = delete;
    ScopedProcessTable& operator=(const ScopedProcessTable&) = delete;
};

} // namespace engine::testing
