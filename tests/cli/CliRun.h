#pragma once

#include <string>

namespace clitest {

struct Run {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the built mendrix-cli with `arguments` (a shell word list) and collects its output.
Run RunCli(const std::string& arguments);

// `text` as one single-quoted shell word.
std::string Quoted(const std::string& text);

} // namespace clitest
