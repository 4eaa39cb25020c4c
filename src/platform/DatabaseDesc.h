#pragma once

#include "engine/DatabaseRecord.h"

#include <string>

namespace platform {

// The engine's 357-byte description of a database: name, description, directory, type.
using DBDesc = engine::DatabaseRecord;

// The description of the database `aliasName` as the current session sees it. Failures
// raise EDBEngineError.
DBDesc GetDatabaseDesc(const std::string& aliasName);

// The directory field of a database description (bounded by its field, never read beyond).
std::string DatabaseDirectory(const DBDesc& desc);

} // namespace platform
