#include "posix/WriteBehind.h"

#include "posix/Durability.h"
#include "posix/FileIo.h"

namespace posix {
namespace {
constexpr std::size_t kWaiting = 2;                              // buffers queued at most
constexpr std::uint64_t kWriteBackStep = std::uint64_t{8} << 20; // see StartWriteBack
} // namespace

WriteBehind::WriteBehind(int fd, std::filesystem::path shown, SameOffsetSource source)
    : fd_(fd), shown_(std::move(shown)), source_(source),
      worker_([this](std::stop_token stop) { Run(stop); }) {}

WriteBehind::~WriteBehind() {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return (queue_.empty() && !writing_) || failure_; });
    }
    worker_.request_stop();
}

std::vector<std::uint8_t> WriteBehind::Write(std::uint64_t offset,
                                             std::vector<std::uint8_t> bytes) {
    std::vector<std::uint8_t> refill;
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return queue_.size() < kWaiting || failure_; });
        ThrowFailure();
        queue_.push_back({offset, std::move(bytes)});
        if (!spare_.empty()) {
            refill = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    changed_.notify_all();
    refill.clear();
    return refill;
}

void WriteBehind::Drain() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return (queue_.empty() && !writing_) || failure_; });
    ThrowFailure();
}

void WriteBehind::ThrowFailure() {
    if (failure_) {
        std::rethrow_exception(failure_);
    }
}

void WriteBehind::Run(const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!changed_.wait(lock, stop, [&] { return !queue_.empty(); })) {
            return; // stopped with nothing left to write
        }
        Piece piece = std::move(queue_.front());
        queue_.pop_front();
        writing_ = true;
        lock.unlock();
        std::exception_ptr failure;
        try {
            WriteAllAtFrom(fd_, piece.offset, piece.bytes, source_, shown_);
            const std::uint64_t end = piece.offset + piece.bytes.size();
            if (end >= writtenBackTo_ + kWriteBackStep) {
                StartWriteBack(fd_, writtenBackTo_, end - writtenBackTo_);
                writtenBackTo_ = end;
            }
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        writing_ = false;
        if (failure) {
            failure_ = failure;
            queue_.clear();
        } else if (spare_.size() < kWaiting) {
            spare_.push_back(std::move(piece.bytes));
        }
        changed_.notify_all();
        if (failure_) {
            return;
        }
    }
}

} // namespace posix
