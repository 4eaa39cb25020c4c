#pragma once

#include "tutil/Verify.h"

#include <cstdint>

namespace tutil {

// Reports one phase's progress to the general-progress callback, throttled so that a phase
// sends at most about fifty reports however large the table.
class ProgressReporter {
public:
    explicit ProgressReporter(Phase phase, std::uint64_t total = 1);
    void Advance(std::uint64_t done);
    void Finish() { Send(100); }
    std::uint32_t Reports() const { return reports_; }

private:
    void Send(std::uint16_t percent);

    Phase phase_;
    std::uint64_t total_;
    int last_ = -1;
    std::uint32_t reports_ = 0;
};

} // namespace tutil
