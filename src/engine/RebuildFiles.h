#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace engine {

// Names of the files a table rebuild keeps beside the table while it replaces the family.
// The utility library writes them; the engine recognises them: a table whose journal exists
// is half replaced and must not be opened, and none of these names is a table of the folder.

inline constexpr std::string_view kRebuildFilePrefix = ".mendrix-";

// The folder in which the new family is written before the swap.
inline std::filesystem::path RebuildStagingDir(const std::filesystem::path& dir,
                                               const std::string& stem) {
    return dir / (std::string(kRebuildFilePrefix) + stem + ".staging");
}

// The list of renames and removals of a swap; while it exists the swap is not finished.
inline std::filesystem::path RebuildJournalPath(const std::filesystem::path& dir,
                                                const std::string& stem) {
    return dir / (std::string(kRebuildFilePrefix) + stem + ".journal");
}

// Whether a file name is one of the rebuild's own (staging folder, journal, its temporary).
inline bool IsRebuildFileName(std::string_view fileName) {
    return fileName.substr(0, kRebuildFilePrefix.size()) == kRebuildFilePrefix;
}

} // namespace engine
