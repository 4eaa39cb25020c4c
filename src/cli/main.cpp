// mendrix-cli: the batch program; everything but the process itself is in the library.

#include "cli/Program.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argc > 1 ? argv + 1 : argv, argc > 1 ? argv + argc : argv);
    return cli::RunProgramOnStandardStreams(args);
}
