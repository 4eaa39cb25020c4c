#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace clitest {

// mendrix-cli with arguments and extra environment, its output collected.
struct ChildRun {
    int exitCode = -1; // -1 when it did not exit normally
    std::string out;
    std::string err;
};

using Environment = std::vector<std::pair<std::string, std::string>>;

std::filesystem::path CliProgram();

// Runs mendrix-cli to its end.
ChildRun RunChild(const std::vector<std::string>& args, const Environment& env = {});

// Runs mendrix-cli with its standard output in a pipe of one page, so that the program blocks
// writing once it is that far ahead of the reader. Once the pipe is
// full (the child is then in the middle of the run) the signal is sent, then the rest is read.
ChildRun RunChildSignalledWhenBlocked(const std::vector<std::string>& args, const Environment& env,
                                      int signal);

// Runs mendrix-cli with standard output and error on one pseudo-terminal `columns` wide; `out`
// is what the terminal received.
ChildRun RunChildOnTerminal(const std::vector<std::string>& args, unsigned short columns,
                            const Environment& env = {});

// Lines of a text, without their ends.
std::vector<std::string> SplitLines(const std::string& text);

} // namespace clitest
