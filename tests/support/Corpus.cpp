#include "support/Corpus.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

namespace testsupport {

std::filesystem::path CorpusDir() {
    const char* fromEnvironment = std::getenv("MENDRIX_CORPUS_DIR");
    return fromEnvironment != nullptr && *fromEnvironment != '\0' ? fromEnvironment
                                                                  : MENDRIX_DEFAULT_CORPUS_DIR;
}

bool CorpusPresent() {
    std::error_code ec;
    return std::filesystem::is_regular_file(CorpusDir() / "MANIFEST.md", ec);
}

std::string CorpusMissingText() {
    return "no corpus of real tables at " + CorpusDir().string() +
           " (no MANIFEST.md there); set MENDRIX_CORPUS_DIR to the folder that holds it";
}

std::filesystem::path BinDir() {
    return MENDRIX_BIN_DIR;
}

std::filesystem::path SamplesDir() {
    return MENDRIX_SAMPLES_DIR;
}

std::filesystem::path CopyOfSamples(const std::filesystem::path& to) {
    std::filesystem::create_directories(to);
    for (const auto& entry : std::filesystem::directory_iterator(SamplesDir())) {
        std::filesystem::copy_file(entry.path(), to / entry.path().filename());
    }
    return to;
}

std::vector<std::filesystem::path> CorpusTables() {
    std::vector<std::filesystem::path> tables;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(CorpusDir())) {
        if (!entry.is_regular_file()) {
            continue;
        }
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (ext == ".DB") {
            tables.push_back(entry.path());
        }
    }
    std::sort(tables.begin(), tables.end());
    return tables;
}

} // namespace testsupport
