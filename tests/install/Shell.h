#pragma once

#include <set>
#include <string>

namespace installtest {

struct ShellRun {
    int exitCode = -1;  // -1 when it did not exit normally
    std::string output; // standard output and standard error, as they came
};

// Runs `command` with /bin/sh, standard error joined to standard output.
ShellRun RunShell(const std::string& command);

// `text` as one single-quoted shell word.
std::string Quoted(const std::string& text);

// The lines of a text, without their ends; no empty ones.
std::set<std::string> LineSet(const std::string& text);

} // namespace installtest
