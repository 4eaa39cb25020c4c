#include "tutil/Progress.h"

#include "engine/Callbacks.h"

namespace tutil {
namespace {
constexpr int kStep = 2; // percent between reports
}

ProgressReporter::ProgressReporter(Phase phase, std::uint64_t total)
    : phase_(phase), total_(total == 0 ? 1 : total) {
    Send(0);
}

void ProgressReporter::Advance(std::uint64_t done) {
    const auto percent = static_cast<int>(done >= total_ ? 100 : done * 100 / total_);
    if (percent >= last_ + kStep && percent < 100) {
        Send(static_cast<std::uint16_t>(percent));
    }
}

void ProgressReporter::Send(std::uint16_t percent) {
    if (static_cast<int>(percent) == last_) {
        return;
    }
    last_ = percent;
    ++reports_;
    engine::ReportProgress(static_cast<std::uint8_t>(phase_), percent);
}

} // namespace tutil
