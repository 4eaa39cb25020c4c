#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// The folder of real tables written by other software: MENDRIX_CORPUS_DIR from the
// environment when set, else the one the build was configured with (the CMake cache variable
// of the same name, by default shared/corpus beside the checkout).
std::filesystem::path CorpusDir();

// Whether CorpusDir() holds the corpus (its MANIFEST.md). Tests that read it skip without it.
bool CorpusPresent();

// The one line a test skipped for want of the corpus gives: which folder was looked for.
std::string CorpusMissingText();

// Every .DB file of the corpus (any case), sorted by path.
std::vector<std::filesystem::path> CorpusTables();

// Folder holding the built programs (mendrix, mendrix-cli).
std::filesystem::path BinDir();

// The sample database as the build writes it, untouched by any run (copy it before use).
std::filesystem::path SamplesDir();
// A fresh copy of the sample database's files in folder `to` (made when missing); returns it.
std::filesystem::path CopyOfSamples(const std::filesystem::path& to);

} // namespace testsupport

// Ends the test as skipped, saying which folder was looked for, when the corpus is not there.
#define MENDRIX_NEEDS_CORPUS()                                                                     \
    do {                                                                                           \
        if (!testsupport::CorpusPresent()) {                                                       \
            GTEST_SKIP() << testsupport::CorpusMissingText();                                      \
        }                                                                                          \
    } while (false)
