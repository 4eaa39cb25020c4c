// Build-time program: writes the sample database that the engine's built-in SAMPLES alias
// points at. Usage: sampledb DIRECTORY
#include "SampleDatabase.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: sampledb DIRECTORY\n";
        return 2;
    }
    try {
        sampledb::WriteSampleDatabase(argv[1]);
    } catch (const std::exception& e) {
        std::cerr << "sampledb: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
