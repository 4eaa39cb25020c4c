#include "CorpusManifest.h"

#include "support/Corpus.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

std::string Trim(const std::string& text) {
    auto begin = text.find_first_not_of(' ');
    auto end = text.find_last_not_of(' ');
    return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

std::vector<ManifestRow> LoadRows() {
    std::ifstream in(testsupport::CorpusDir() / "MANIFEST.md");
    if (!in) {
        throw std::runtime_error("corpus MANIFEST.md not found");
    }
    std::vector<ManifestRow> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 3 || line[0] != '|' || line[2] < '0' || line[2] > '9') {
            continue;
        }
        std::vector<std::string> cells;
        std::stringstream stream(line.substr(1));
        std::string cell;
        while (std::getline(stream, cell, '|')) {
            cells.push_back(Trim(cell));
        }
        // # | path | source | lic | ver | blk | rec | fields | hdr recs | recs/blk | keys |
        // family | pxlib | notes
        if (cells.size() < 14) {
            continue;
        }
        ManifestRow row;
        row.relative = cells[1];
        row.path = testsupport::CorpusDir() / cells[1];
        row.headerRecords = static_cast<std::uint32_t>(std::stoul(cells[8]));
        row.pxlib = cells[12];
        row.notes = cells[13];
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace

const std::vector<ManifestRow>& ManifestRows() {
    static const std::vector<ManifestRow> rows = LoadRows();
    return rows;
}
