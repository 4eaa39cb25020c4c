#include "tutil/InUse.h"

#include "engine/ErrorCodes.h"
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
        throw UtilityError(result, table.db.string() + " is in use");
    }
    return lock;
}

} // namespace tutil
