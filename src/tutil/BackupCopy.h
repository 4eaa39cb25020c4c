#pragma once

#include "paradox/Family.h"
#include "tutil/DirHandle.h"

#include <exception>
#include <string>
#include <thread>

namespace tutil {

// The byte-for-byte backup of a table's family, each file flushed to disk, made on a thread of
// its own so that the table can be read and the new family written under staging names
// meanwhile (both only read the family). Finish() waits for it and throws what went wrong;
// nothing may replace the table before it returned.
// Going away unfinished waits for the copy too (the staging folder it writes to outlives it).
class BackupCopy {
public:
    BackupCopy(const paradox::TableFamily& family, const DirHandle& staging,
               const std::string& backupStem);
    BackupCopy(const BackupCopy&) = delete;
    BackupCopy& operator=(const BackupCopy&) = delete;

    void Finish();

    // Runs `work` (reading the table meanwhile); when it throws, a failure of the backup is
    // thrown instead, as it would have come first had the copy been made before.
    template <class Work> decltype(auto) BeforeFinish(Work&& work) {
        try {
            return work();
        } catch (...) {
            Finish();
            throw;
        }
    }

private:
    std::exception_ptr failure_;
    std::jthread worker_; // last: joined before the rest goes
};

} // namespace tutil
