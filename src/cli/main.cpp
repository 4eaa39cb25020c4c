#include <iostream>
#include <string>

namespace {

int Usage() {
    std::cerr << "usage: mendrix-cli info TABLE | dump TABLE\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    (void)argv;
    if (argc < 2) {
        return Usage();
    }
    return Usage();
}
