#pragma once

#include "engine/TableLock.h"
#include "tutil/TableLocation.h"

#include <memory>

namespace tutil {

// Takes the engine's lock on the table for the length of a verify (shared) or a rebuild
// (exclusive). UtilityError(TableInUse) when another open holds it, another program's lock
// files lie beside the table, or another process uses its files (engine::UseByOtherProcesses).
std::unique_ptr<engine::TableLock> LockTable(const TableLocation& table,
                                             engine::TableLock::Mode mode);

} // namespace tutil
