#pragma once

#include <filesystem>

namespace repair {

// The directory that holds the program's own executable file.
std::filesystem::path ExecutableDirectory();

// The user's folder for the program's state: $XDG_STATE_HOME/mendrix, else
// ~/.local/state/mendrix; empty when neither variable names an absolute path.
std::filesystem::path UserStateFolder();

// Where the program keeps its private directory and run log (engine::PrivateDirectoryIn,
// engine::RunLogPath): the program's own directory whenever its private directory there can be
// written (or made), else UserStateFolder(), made (mode 0700) when missing. Something there
// that is no folder is not worked around: the program's directory is given.
std::filesystem::path ProgramStateFolder(const std::filesystem::path& programDirectory);

enum class PrivateDirOutcome {
    MadeCurrent, // it existed and is now the process's current directory
    Created,     // it was missing and has been made; the current directory is unchanged
    Failed,      // it can be neither made current nor created
};

// Makes the private directory the current directory, or, when that fails, creates it (one
// level, inside an existing program directory).
PrivateDirOutcome PreparePrivateDirectory(const std::filesystem::path& privateDirectory);

} // namespace repair
