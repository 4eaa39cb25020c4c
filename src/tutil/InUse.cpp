#include "tutil/InUse.h"

#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/OtherProcessUse.h"
#include "paradox/Family.h"
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
    // Other programs need not use the engine's lock: their record locks and, before the family
    // is replaced, their opens of any of its files count too.
    const paradox::TableFamily family = paradox::FindFamily(table.db);
    std::vector<std::filesystem::path> files = paradox::AllFamilyFiles(family);
    files.insert(files.end(), family.ambiguous.begin(), family.ambiguous.end());
    const std::string use = engine::UseByOtherProcesses(files, mode);
    if (!use.empty()) {
        throw UtilityError(engine::err::TableInUse, table.db.string() + " is in use (" + use + ")");
    }
    return lock;
}

} // namespace tutil
