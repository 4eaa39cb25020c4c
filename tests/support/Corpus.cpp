#include "support/Corpus.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace testsupport {

std::filesystem::path CorpusDir() {
    return MENDRIX_CORPUS_DIR;
}

std::filesystem::path BinDir() {
    return MENDRIX_BIN_DIR;
}

std::filesystem::path SamplesDir() {
    return MENDRIX_SAMPLES_DIR;
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
