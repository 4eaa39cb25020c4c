// codespage FILE: writes the page of finding codes to FILE (docs/codes.md).
// codespage --check FILE: fails, saying how to bring it up to date, when FILE differs.
#include "CodesPage.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    const std::string args = argc == 3 ? argv[1] : "";
    if (argc != 2 && !(argc == 3 && args == "--check")) {
        std::cerr << "usage: codespage [--check] docs/codes.md\n";
        return 2;
    }
    const std::string file = argv[argc - 1];
    const std::string page = codespage::CodesPage();
    if (argc == 2) {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << page;
        out.close();
        return out ? 0 : 1;
    }
    std::ifstream in(file, std::ios::binary);
    const std::string current((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    if (current != page) {
        std::cerr << file << " is not the page the problem table makes. Bring it up to date with\n"
                  << "  cmake --build build --target codespage && build/tools/bin/codespage "
                  << file << "\nand commit it.\n";
        return 1;
    }
    return 0;
}
