#pragma once

#include <filesystem>

namespace repair {

// The directory that holds the program's own executable file.
std::filesystem::path ExecutableDirectory();

enum class PrivateDirOutcome {
    MadeCurrent, // it existed and is now the process's current directory
    Created,     // it was missing and has been made; the current directory is unchanged
    Failed,      // it can be neither made current nor created
};

// Makes the private directory the current directory, or, when that fails, creates it (one
// level, inside an existing program directory).
PrivateDirOutcome PreparePrivateDirectory(const std::filesystem::path& privateDirectory);

} // namespace repair
