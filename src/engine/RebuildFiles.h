#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace engine {

// Names of the files a table rebuild keeps beside the table while it replaces the family.
// The utility library writes them; the engine recognises them: a table whose journal exists
// is half replaced and must not be opened, and none of these names is a table of the folder.
// The names hold a hash of the table's stem (in its stored case), not the stem itself, so
// they stay short whatever the length of the table's name.

inline constexpr std::string_view kRebuildFilePrefix = ".mendrix-";

// 16 hex digits of the 64-bit FNV-1a hash of `text`.
inline std::string HashText(std::string_view text) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    return digits;
}

// The folder in which the new family is written before the swap.
inline std::string RebuildStagingName(const std::string& stem) {
    return std::string(kRebuildFilePrefix) + HashText(stem) + ".staging";
}

// The list of renames and removals of a swap; while it exists the swap is not finished.
inline std::string RebuildJournalName(const std::string& stem) {
    return std::string(kRebuildFilePrefix) + HashText(stem) + ".journal";
}

// The journal while it is being written.
inline std::string RebuildJournalTempName(const std::string& stem) {
    return RebuildJournalName(stem) + ".tmp";
}

// The stem of an error table while it is written, before it replaces the earlier one.
inline std::string ErrorTableTempStem(const std::string& stem) {
    return std::string(kRebuildFilePrefix) + HashText(stem) + ".error";
}

inline std::filesystem::path RebuildStagingDir(const std::filesystem::path& dir,
                                               const std::string& stem) {
    return dir / RebuildStagingName(stem);
}

inline std::filesystem::path RebuildJournalPath(const std::filesystem::path& dir,
                                                const std::string& stem) {
    return dir / RebuildJournalName(stem);
}

// Whether a file name is one of the rebuild's own (staging folder, journal, its temporary).
inline bool IsRebuildFileName(std::string_view fileName) {
    return fileName.substr(0, kRebuildFilePrefix.size()) == kRebuildFilePrefix;
}

} // namespace engine
