#include "tutil/Sessions.h"

#include "engine/ErrorCodes.h"

#include <gtest/gtest.h>

namespace {

TEST(Sessions, HandlesAreNonZeroDistinctAndDieWithClose) {
    tutil::SessionRegistry registry;
    std::uint16_t a = 0;
    std::uint16_t b = 0;
    ASSERT_EQ(registry.Open(&a), 0);
    ASSERT_EQ(registry.Open(&b), 0);
    EXPECT_NE(a, 0);
    EXPECT_NE(a, b);
    EXPECT_TRUE(registry.IsOpen(a));
    EXPECT_EQ(registry.Close(a), 0);
    EXPECT_FALSE(registry.IsOpen(a));
    EXPECT_EQ(registry.Close(a), engine::err::UtilityInvalidSession);
    EXPECT_EQ(registry.Close(999), engine::err::UtilityInvalidSession);
    EXPECT_EQ(registry.Open(nullptr), engine::err::InvalidArgument);
}

TEST(Sessions, TooManyOpenSessionsFail) {
    tutil::SessionRegistry registry;
    std::uint16_t handle = 0;
    for (std::size_t i = 0; i < tutil::SessionRegistry::kMaxSessions; ++i) {
        ASSERT_EQ(registry.Open(&handle), 0);
    }
    EXPECT_EQ(registry.Open(&handle), engine::err::UtilityTooManySessions);
    ASSERT_EQ(registry.Close(handle), 0);
    EXPECT_EQ(registry.Open(&handle), 0);
}

} // namespace
