#pragma once

#include <cstddef>

namespace engine {

// Sizes of the text fields of the engine's records, terminating NUL included. Longer texts
// are refused, never cut short.
inline constexpr std::size_t kNameFieldSize = 32;  // alias names and types
inline constexpr std::size_t kPathFieldSize = 261; // directories and table paths

inline constexpr std::size_t kMaxNameLength = kNameFieldSize - 1;
inline constexpr std::size_t kMaxPathLength = kPathFieldSize - 1;

} // namespace engine
