#pragma once

#include "posix/FileIo.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace posix {

// Writes whole buffers at their offsets of an open file on a thread of its own, one after the
// other in the order they were handed over, while the caller fills the next one; written data
// goes on to the disk in steps (StartWriteBack). At most two buffers wait, so the memory it
// holds is bounded. A failed write is thrown (std::system_error naming `shown`) by the next
// Write or by Drain; after it nothing more is written. Going away waits for the queued
// writes; the file descriptor must outlive the object.
class WriteBehind {
public:
    // Where `source` (which must outlive the object) holds a buffer's bytes at its offset, the
    // kernel copies them from there (see WriteAllAtFrom).
    WriteBehind(int fd, std::filesystem::path shown, SameOffsetSource source = {});
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;
    ~WriteBehind();

    // Queues `bytes` for `offset`; returns an emptied buffer of an earlier write to refill.
    std::vector<std::uint8_t> Write(std::uint64_t offset, std::vector<std::uint8_t> bytes);
    // Waits until everything queued is written.
    void Drain();

private:
    struct Piece {
        std::uint64_t offset;
        std::vector<std::uint8_t> bytes;
    };
    void Run(const std::stop_token& stop);
    void ThrowFailure();

    int fd_;
    std::filesystem::path shown_;
    SameOffsetSource source_;
    std::uint64_t writtenBackTo_ = 0; // used by the thread only
    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<Piece> queue_;
    std::vector<std::vector<std::uint8_t>> spare_;
    bool writing_ = false;
    std::exception_ptr failure_;
    std::jthread worker_; // last: started once the rest is there, joined before it goes
};

} // namespace posix
