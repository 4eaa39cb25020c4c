#pragma once

#include "tutil/FamilySwap.h"

#include <filesystem>
#include <string>
#include <vector>

namespace tutil {

// The names of the regular files in `dir`.
std::vector<std::string> RegularFileNames(const std::filesystem::path& dir);

// File names in `dir` that belong to the table family `stem` (STEM.DB, stem.px, STEM.X02,
// STEM.VAL...; see paradox::SplitFamilyNames for names that differ only in case).
std::vector<std::string> FamilyFileNames(const std::filesystem::path& dir, const std::string& stem);

// Adds to `plan` the moves that put every file of family `stem` found in `staging` into `dir`
// (onto the name an existing file of the same role already has, whatever its case; a file new
// to the family is named in the case of the table's .DB, see paradox::FamilyMemberName), and
// the removal of every other old file of that family. With `keepOthers`, old files the new
// family has no counterpart for and that are not table, index or blob files (.VAL, .TV...)
// are kept.
void PlanFamilyReplacement(SwapPlan& plan, const std::filesystem::path& dir,
                           const std::filesystem::path& staging, const std::string& stem,
                           bool keepOthers);

// Adds to `plan` the files of family `stem` found in `staging` as new files of `dir` (the
// swap never lets them replace anything).
void PlanNewFamily(SwapPlan& plan, const std::filesystem::path& staging, const std::string& stem);

// A work table stem for `stem` that no file of `dir` uses, in any case: `stem` itself, else
// stem + "1", stem + "2", ... Stems in `taken` (compared without regard to case) count as
// used. UtilityError when none of the first ten thousand is free.
std::string FreeWorkTableStem(const std::filesystem::path& dir, const std::string& stem,
                              const std::vector<std::string>& taken = {});

} // namespace tutil
