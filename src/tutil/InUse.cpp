#include "tutil/InUse.h"

#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "tutil/UtilityError.h"

namespace tutil {

std::unique_ptr<engine::TableLock> LockTable(const TableLocation& table,
                                             engine::TableLock::Mode mode) {
    const std::string foreign = engine::ForeignLockFile(table.db);
    if (!foreign.empty()) {
        throw UtilityError(engine::err::TableInUse,
                           table.db.string() + " may be in use (" + foreign + ")");
    }
    std::unique_ptr<engine::TableLock> lock;
    const std::uint16_t result = engine::TableLock::Acquire(table.db, mode, lock);
    if (result != engine::err::Ok) {
        // Only a lock held elsewhere is "in use"; a file that cannot be opened says why.
        const std::string context = engine::TakeFailureContext(result);
        throw UtilityError(result, result == engine::err::TableInUse || context.empty()
                                       ? table.db.string() + " is in use"
                                       : context);
    }
    return lock;
}

} // namespace tutil
