#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The table list of the corpus MANIFEST.md: one row per .DB with the facts measured there.
struct ManifestRow {
    std::filesystem::path path; // absolute
    std::string relative;       // as written in the manifest
    std::uint32_t headerRecords = 0;
    std::string pxlib; // the pxlib column
    std::string notes;
    bool Encrypted() const { return notes.find("ENCRYPTED") != std::string::npos; }
};

const std::vector<ManifestRow>& ManifestRows();
