#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// Expected output kept under tests/golden/, so that any change of findings, verdicts or their
// wording shows up as a reviewed diff of those files.
//
// Compares `text` with tests/golden/<name> and fails naming the first line that differs. With
// MENDRIX_UPDATE_GOLDEN=1 in the environment the file is rewritten instead (then review and
// commit the diff).
void ExpectGolden(const std::string& name, const std::string& text);

// `text` with `dir` (a temporary folder) written as `shownAs`, and the times and durations a
// run prints (dates with clock times, JSON start/end stamps, seconds) replaced by fixed words.
std::string NormalisedOutput(std::string text, const std::filesystem::path& dir,
                             const std::string& shownAs = "TMP");

} // namespace testsupport
