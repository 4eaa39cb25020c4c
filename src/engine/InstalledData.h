#pragma once

#include <filesystem>

namespace engine {

// The read-only data of an installed program, found from the program's own folder
// (bin/../share/mendrix under the install prefix, wherever that was unpacked).
std::filesystem::path InstalledDataDirectory(const std::filesystem::path& programDirectory);

// The user's folder for the program's data: $XDG_DATA_HOME/mendrix, else
// ~/.local/share/mendrix; empty when neither names an absolute path.
std::filesystem::path UserDataFolder();

// The folder the built-in SAMPLES alias names:
// - `programDirectory`/samples when it is there (the program runs from its build folder);
// - else, when the installed data holds a sample database, the user's own copy of it,
//   `userFolder`/samples, copied there on first use because the installed one is read-only
//   and a Check & Repair rewrites tables; the installed one when no copy can be made;
// - else `programDirectory`/samples.
std::filesystem::path SampleDatabaseFor(const std::filesystem::path& programDirectory,
                                        const std::filesystem::path& userFolder);

} // namespace engine
