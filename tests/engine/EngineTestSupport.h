#pragma once

#include "paradox/Schema.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace enginetest {

// Points the engine at a configuration file for the lifetime of the object: `text` is
// written to `file` unless it is nullopt (then no file exists).
class ScopedConfig {
public:
    ScopedConfig(const std::filesystem::path& file, const std::optional<std::string>& text);
    ~ScopedConfig();
    ScopedConfig(const ScopedConfig&) = delete;
    ScopedConfig& operator=(const ScopedConfig&) = delete;

private:
    std::optional<std::string> previous_;
};

// Copies a table's family (every file with the .DB's stem) into `dir`; returns the new .DB.
std::filesystem::path CopyFamily(const std::filesystem::path& db, const std::filesystem::path& dir);

// A keyed table with an Alpha key, a Long, an Alpha city with a secondary index (.X03/.Y03)
// and a Memo (with an .MB), `records` records; returns the .DB path.
std::filesystem::path WriteKeyedTable(const std::filesystem::path& dir, const std::string& stem,
                                      int records);
// An unkeyed table of two fields (no index files); returns the .DB path.
std::filesystem::path WritePlainTable(const std::filesystem::path& dir, const std::string& stem,
                                      int records);

// Byte patches of a file.
void PatchBytes(const std::filesystem::path& file, std::uint64_t offset,
                const std::vector<std::uint8_t>& bytes);
void PatchU16(const std::filesystem::path& file, std::uint64_t offset, std::uint16_t value);
std::uint16_t ReadU16(const std::filesystem::path& file, std::uint64_t offset);
std::uint8_t ReadU8(const std::filesystem::path& file, std::uint64_t offset);

} // namespace enginetest
