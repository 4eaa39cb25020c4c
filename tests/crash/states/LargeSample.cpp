// crash_states (make crash-states): the crash check with the larger sample.

#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::setenv("MENDRIX_CRASH_SAMPLE", "large", 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
