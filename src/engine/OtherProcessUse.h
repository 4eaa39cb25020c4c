#pragma once

#include "engine/TableLock.h"

#include <filesystem>
#include <string>
#include <vector>

namespace engine {

// How processes other than this one use `files`, where that conflicts with taking the table
// in `mode`: a record lock (fcntl, lockf or open-file-description) that excludes such a lock
// of ours -- a write lock for Shared, any lock for Exclusive -- and, for Exclusive, the file
// merely being open there. Gives a description of the first such use ("ORDERS.PX is locked by
// process 12"), or an empty string. Only other processes count: this process's own opens
// (the engine's lock, a reader) never do. What the system does not let us see (processes of
// other users) is passed over, and files that cannot be opened are left to their readers.
std::string UseByOtherProcesses(const std::vector<std::filesystem::path>& files,
                                TableLock::Mode mode);

} // namespace engine
