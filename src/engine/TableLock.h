#pragma once

#include "posix/FileDescriptor.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace engine {

// The engine's operating-system lock on a table's .DB file, held while the object lives.
// Exclusive locks exclude every other lock on the file, shared locks only exclusive ones.
// The lock belongs to one open of the file, so it also excludes a second open of the same
// table inside this process, and other processes using this engine.
class TableLock {
public:
    enum class Mode { Shared, Exclusive };

    // err::TableInUse when another open holds a conflicting lock.
    static std::uint16_t Acquire(const std::filesystem::path& db, Mode mode,
                                 std::unique_ptr<TableLock>& out);
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;

    Mode LockMode() const { return mode_; }

    // Only Acquire can make the key.
    class Key {
        friend class TableLock;
        Key() = default;
    };
    TableLock(Key, posix::FileDescriptor fd, Mode mode) : fd_(std::move(fd)), mode_(mode) {}

private:
    posix::FileDescriptor fd_; // the lock goes with the last close of this open
    Mode mode_;
};

// Lock files another Paradox program leaves beside tables it has open: PARADOX.LCK,
// PDOXUSRS.LCK and <table stem>.LCK, without regard to case. Returns the name of the first
// one found in the table's directory, or an empty string. The files are only looked at.
std::string ForeignLockFile(const std::filesystem::path& db);

} // namespace engine
