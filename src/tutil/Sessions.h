#pragma once

#include <cstdint>
#include <mutex>
#include <set>

namespace tutil {

// The open utility sessions, each a non-zero 16-bit handle. Results are engine codes
// (0 on success). Sessions of several threads may be opened and used at once.
class SessionRegistry {
public:
    static constexpr std::size_t kMaxSessions = 64;

    std::uint16_t Open(std::uint16_t* handle);
    std::uint16_t Close(std::uint16_t handle);
    bool IsOpen(std::uint16_t handle) const;

    // The policy of a session's rebuilds: whether one that cannot keep every record, blob
    // and index may still replace the table with what it can read (see RebuildPolicy).
    // Off for every new session.
    std::uint16_t SetAcceptLoss(std::uint16_t handle, bool accept);
    bool AcceptsLoss(std::uint16_t handle) const;

private:
    mutable std::mutex mutex_;
    std::set<std::uint16_t> open_;
    std::set<std::uint16_t> acceptLoss_;
    std::uint16_t last_ = 0;
};

// The library's one registry.
SessionRegistry& Sessions();

} // namespace tutil
