#include "states/Scenario.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <string>

namespace {

// MENDRIX_CRASH_SEED replays a sample; crash_states (make crash-states) sets
// MENDRIX_CRASH_SAMPLE=large for the larger one.
crashstates::Sample ChosenSample() {
    crashstates::Sample sample;
    if (const char* seed = std::getenv("MENDRIX_CRASH_SEED")) {
        sample.seed = std::stoull(seed);
    }
    const char* size = std::getenv("MENDRIX_CRASH_SAMPLE");
    if (size != nullptr && std::string(size) == "large") {
        sample.allUpTo = 64;
        sample.perBoundary = 4;
        sample.perScenario = 2000;
    } else {
        sample.allUpTo = 8;
        sample.perBoundary = 1;
        sample.perScenario = 0;
    }
    return sample;
}

// Power lost at any moment of a rebuild: after the next verify and check every table holds
// the records it had before the rebuild or the rebuilt ones, opens on each of its indexes,
// has no journal or staging folder left, and any backup is a byte-identical copy.
TEST(CrashStates, EveryCrashStateOfARebuildRecovers) {
    const crashstates::Sample sample = ChosenSample();
    std::cout << "crash states: seed " << sample.seed << " (MENDRIX_CRASH_SEED replays it)\n";
    std::size_t operations = 0;
    std::size_t checked = 0;
    std::size_t failures = 0;
    const auto scenarios = crashstates::Scenarios();
    for (const auto& scenario : scenarios) {
        const crashstates::Figures figures =
            crashstates::CheckScenario(scenario, sample, std::cout);
        std::cout << scenario.name << ": " << figures.operations << " operations recorded, "
                  << figures.generated << " crash states made at " << figures.boundaries
                  << " boundaries, " << figures.checked << " distinct checked, "
                  << figures.failures.size() << " failures\n";
        EXPECT_GT(figures.checked, figures.operations / 4) << scenario.name;
        for (std::size_t i = 0; i < std::min<std::size_t>(figures.failures.size(), 3); ++i) {
            ADD_FAILURE() << figures.failures[i];
        }
        operations += figures.operations;
        checked += figures.checked;
        failures += figures.failures.size();
    }
    std::cout << "all: " << scenarios.size() << " scenarios, " << operations
              << " operations recorded, " << checked << " crash states checked, " << failures
              << " failures\n";
}

} // namespace
