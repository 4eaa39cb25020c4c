#pragma once

#include <string>

namespace clitest {

struct Run {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the built mendrix-cli with `arguments` (a shell word list) and collects its output.
// `prefix` runs the program under another, e.g. "timeout 20".
Run RunCli(const std::string& arguments, const std::string& prefix = "");

// `text` as one single-quoted shell word.
std::string Quoted(const std::string& text);

} // namespace clitest
