#pragma once

#include <cstdint>

namespace paradox {

// What the open of a file keeps of the pages its walk went over. Keep: they stay mapped, for
// readers that go over the blocks again at once (verify). Drop: they are handed back to the
// kernel every few megabytes of the walk (MappedFile::DropResidentPages), so that opening a
// file of any size holds a bounded amount of memory (export).
enum class WalkPages : std::uint8_t { Keep, Drop };

// How much of the file a walk that drops its pages goes over between drops.
inline constexpr std::uint64_t kWalkDropBytes = std::uint64_t{16} << 20;

} // namespace paradox
