#pragma once

// The crash check of one rebuild: a table is made, the whole `mendrix-cli rebuild` of it is
// recorded (in this process), and every crash state the recording allows at each operation
// boundary (all where they are few, else a seeded sample) is written into a fresh folder,
// where what a user runs next, `verify` and then `check`, must find the table whole.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace crashstates {

struct Scenario {
    std::string name;
    std::string stem; // the table's name without .DB
    // Writes the table into the empty folder; returns the records a user had in it (values).
    std::function<std::vector<std::string>(const std::filesystem::path& dir)> make;
};

// Plain keyed table; encrypted table; table with blobs and secondary indexes; table whose
// header lost its field count, rebuilt from the structure in its index files.
std::vector<Scenario> Scenarios();

struct Figures {
    std::size_t operations = 0; // recorded by the rebuild
    std::size_t boundaries = 0; // operation boundaries with states checked
    std::size_t generated = 0;  // crash states made, before the same folder twice is dropped
    std::size_t checked = 0;    // distinct crash states checked
    std::vector<std::string> failures;
};

struct Sample {
    std::uint64_t seed = 1;
    // At a boundary with at most this many crash states all are checked; else the two ends
    // and states drawn at random until `perBoundary` new folders turned up (more where the
    // boundaries are few: `perScenario` spread over them), or eight times as many draws.
    std::uint64_t allUpTo = 16;
    std::uint64_t perBoundary = 4;
    std::uint64_t perScenario = 0;
};

// Records the scenario's rebuild and checks its crash states; `log` gets a line per boundary
// with a failure.
Figures CheckScenario(const Scenario& scenario, const Sample& sample, std::ostream& log);

} // namespace crashstates
