#pragma once

#include "paradox/NameCase.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// One configured database: an alias name for a directory served by a driver type.
struct AliasDef {
    std::string name;
    std::string type; // "STANDARD" for a directory of Paradox tables
    std::string path;
    std::string defaultDriver; // "PARADOX"
};

inline constexpr std::string_view kStandardType = "STANDARD";
inline constexpr std::string_view kParadoxDriver = "PARADOX";
inline constexpr std::string_view kSamplesAlias = "SAMPLES";

// Environment variable naming the configuration file.
inline constexpr const char* kConfigEnvVar = "MENDRIX_ENGINE_CONFIG";

// The engine's aliases. `builtIn` is true when no configuration file exists and the engine
// offers its own SAMPLES alias instead.
struct EngineConfig {
    std::filesystem::path file;
    bool builtIn = false;
    std::vector<AliasDef> aliases; // in file order
};

// Where the configuration lives: $MENDRIX_ENGINE_CONFIG when set and not empty, else
// $XDG_CONFIG_HOME/mendrix/engine.ini, else ~/.config/mendrix/engine.ini.
std::filesystem::path ConfigFilePath();

// Directory of the running program (from /proc/self/exe), and the sample database: beside it,
// or the user's copy of an installed one (engine/InstalledData.h).
std::filesystem::path ProgramDirectory();
std::filesystem::path SampleDatabaseDirectory();

// Reads the configuration (ConfigFilePath). A missing file gives the built-in SAMPLES alias;
// an unreadable or malformed one gives err::ConfigUnreadable with the file and line.
std::uint16_t LoadConfig(EngineConfig& out);

// Parses configuration text:
//   ; comment             # comment
//   [ALIAS NAME]
//   TYPE=STANDARD
//   PATH=/data/orders
//   DEFAULT DRIVER=PARADOX
// Keys are matched without regard to case, unknown keys are ignored, TYPE defaults to
// STANDARD. Alias names are unique without regard to case and at most 31 characters; types
// at most 31; paths at most 260.
std::uint16_t ParseConfig(std::string_view text, const std::string& source,
                          std::vector<AliasDef>& out);

// Case-insensitive (ASCII) equality, the rule for alias and database names.
using paradox::SameName;

} // namespace engine
