#pragma once

#include "repair/RepairRun.h"

#include <filesystem>
#include <string>
#include <vector>

namespace cli {

// The most tables a run works on at once (-j).
inline constexpr unsigned kMaxJobs = 32;

// How many tables at once a run takes when -j is not given: the number of cores, but one for a
// verify of small tables. Verifying a small table is little more than mapping and unmapping its
// files, which the threads of one process take in turn (threads waited on each other's mmap and
// munmap there), so tables at once were no faster or slower than one at a time. A check or a
// rebuild of any table also waits on the search for other processes holding it open and on
// fsync, which do overlap. Decided from the sizes of the tables' .DB files in `directory` (names
// as in the run's table list).
unsigned DefaultJobs(repair::TRepairOperation operation, const std::filesystem::path& directory,
                     const std::vector<std::string>& tables);

} // namespace cli
