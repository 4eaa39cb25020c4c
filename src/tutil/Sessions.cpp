#include "tutil/Sessions.h"

#include "engine/ErrorCodes.h"

namespace tutil {

std::uint16_t SessionRegistry::Open(std::uint16_t* handle) {
    if (handle == nullptr) {
        return engine::err::InvalidArgument;
    }
    const std::lock_guard lock(mutex_);
    if (open_.size() >= kMaxSessions) {
        return engine::err::UtilityTooManySessions;
    }
    // Hand out fresh numbers so a stale handle of a closed session is not valid again soon.
    do {
        ++last_;
    } while (last_ == 0 || open_.count(last_) != 0);
    open_.insert(last_);
    *handle = last_;
    return engine::err::Ok;
}

std::uint16_t SessionRegistry::Close(std::uint16_t handle) {
    const std::lock_guard lock(mutex_);
    if (open_.erase(handle) == 0) {
        return engine::err::UtilityInvalidSession;
    }
    acceptLoss_.erase(handle);
    return engine::err::Ok;
}

bool SessionRegistry::IsOpen(std::uint16_t handle) const {
    const std::lock_guard lock(mutex_);
    return open_.count(handle) != 0;
}

bool SessionRegistry::AcceptsLoss(std::uint16_t handle) const {
    const std::lock_guard lock(mutex_);
    return acceptLoss_.count(handle) != 0;
}

std::uint16_t SessionRegistry::SetAcceptLoss(std::uint16_t handle, bool accept) {
    const std::lock_guard lock(mutex_);
    if (open_.count(handle) == 0) {
        return engine::err::UtilityInvalidSession;
    }
    if (accept) {
        acceptLoss_.insert(handle);
    } else {
        acceptLoss_.erase(handle);
    }
    return engine::err::Ok;
}

SessionRegistry& Sessions() {
    static SessionRegistry registry;
    return registry;
}

} // namespace tutil
