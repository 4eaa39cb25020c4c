#include "support/Golden.h"

#include "support/TempDir.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <vector>

namespace testsupport {
namespace {

std::filesystem::path GoldenDir() {
    return std::filesystem::path(MENDRIX_TESTS_DIR) / "golden";
}

bool Updating() {
    const char* update = std::getenv("MENDRIX_UPDATE_GOLDEN");
    return update != nullptr && std::string(update) == "1";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty()) {
        return;
    }
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

} // namespace

void ExpectGolden(const std::string& name, const std::string& text) {
    const std::filesystem::path file = GoldenDir() / name;
    if (Updating()) {
        std::filesystem::create_directories(file.parent_path());
        WriteFileBytes(file, text);
        return;
    }
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        ADD_FAILURE() << file << " is missing; write it with MENDRIX_UPDATE_GOLDEN=1";
        return;
    }
    const std::string expected = ReadFileBytes(file);
    if (expected == text) {
        return;
    }
    const auto want = Lines(expected);
    const auto got = Lines(text);
    std::size_t line = 0;
    while (line < want.size() && line < got.size() && want[line] == got[line]) {
        ++line;
    }
    ADD_FAILURE() << "output differs from tests/golden/" << name << " at line " << line + 1
                  << "\n  expected: " << (line < want.size() ? want[line] : "(end)")
                  << "\n  actual:   " << (line < got.size() ? got[line] : "(end)")
                  << "\nIf the change is meant, rerun the test with MENDRIX_UPDATE_GOLDEN=1 "
                     "and review the diff of tests/golden/.";
}

std::string NormalisedOutput(std::string text, const std::filesystem::path& dir,
                             const std::string& shownAs) {
    ReplaceAll(text, dir.string(), shownAs);
    static const std::regex clock(
        R"([0-9]{1,2}/[0-9]{1,2}/[0-9]{4} [0-9]{1,2}:[0-9]{2}(:[0-9]{2})?([apAP][mM]?)?)");
    static const std::regex stamp(R"re("(start|end)[A-Za-z]*": *"[^"]*")re");
    static const std::regex seconds(R"re("(seconds|elapsed)[A-Za-z]*": *[0-9.e-]+)re");
    text = std::regex_replace(text, clock, "TIME");
    text = std::regex_replace(text, stamp, "\"$1\": T");
    return std::regex_replace(text, seconds, "\"$1\": N");
}

} // namespace testsupport
