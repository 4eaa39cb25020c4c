#pragma once

#include "tutil/FamilySwap.h"

#include <filesystem>
#include <string>
#include <vector>

namespace tutil {

// File names in `dir` that belong to the table family `stem` (STEM.DB, stem.px, STEM.X02,
// STEM.VAL...; the stem compared without regard to case).
std::vector<std::string> FamilyFileNames(const std::filesystem::path& dir, const std::string& stem);

// Adds to `plan` the moves that put every file of family `stem` found in `staging` into `dir`
// (onto the name an existing file of the same role already has, whatever its case), and the
// removal of every other old file of that family. With `keepOthers`, old files the new
// family has no counterpart for and that are not table, index or blob files (.VAL, .TV...)
// are kept.
void PlanFamilyReplacement(SwapPlan& plan, const std::filesystem::path& dir,
                           const std::filesystem::path& staging, const std::string& stem,
                           bool keepOthers);

} // namespace tutil
