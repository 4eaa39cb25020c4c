#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace cli {

// The tables an export of several targets reads, in the order given.
struct ExportTargets {
    std::vector<std::filesystem::path> tables;
    std::vector<std::string> problems; // a target that names nothing to export, and why
};

// Every table of each target: a folder or an engine alias gives all its Paradox tables (by
// name), a table file (with or without .DB) itself. A table named twice is read once. With
// `recursive`, a folder's subfolders are walked too (as the run commands' --recursive).
ExportTargets ResolveExportTargets(const std::vector<std::string>& arguments,
                                   bool recursive = false);

} // namespace cli
