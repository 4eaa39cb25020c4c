#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace cli {

// The most tables a run works on at once (-j).
inline constexpr unsigned kMaxJobs = 32;

// How many tables at once a run takes when -j is not given: the number of cores, but one where
// the tables are small. A small table costs little work beside what each table costs anyway
// (a thread, mapping and unmapping its files, which threads of one process take in turn), so
// tables at once there were no faster or slower than one at a time. Decided from the sizes of
// the tables' .DB files in `directory` (names as in the run's table list).
unsigned DefaultJobs(const std::filesystem::path& directory,
                     const std::vector<std::string>& tables);

} // namespace cli
