#pragma once

#include <filesystem>
#include <vector>

namespace testsupport {

// The shared folder of real tables written by other software.
std::filesystem::path CorpusDir();

// Every .DB file of the corpus (any case), sorted by path.
std::vector<std::filesystem::path> CorpusTables();

// Folder holding the built programs (mendrix, mendrix-cli).
std::filesystem::path BinDir();

// The sample database as the build writes it, untouched by any run (copy it before use).
std::filesystem::path SamplesDir();

} // namespace testsupport
