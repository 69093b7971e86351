// The original runtime's generator: the same seed gives the same numbers as on the original platform.
#include "platform/runtime.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(RuntimeTest, RandMatchesTheOriginalRuntime) {
    // The well-known sequence of that runtime after srand(1).
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    platform::srand(1);
    for (int v : expected) EXPECT_EQ(platform::rand(), v);
    platform::srand(1);
    EXPECT_EQ(platform::rand(), 41);
    platform::srand(12345);
    EXPECT_EQ(platform::rand(), 7584);
    EXPECT_EQ(platform::rand(), 19164);
}

TEST(RuntimeTest, GetEnvReadsTheEnvironment) {
    ::setenv("PEX_RUNTIME_TEST", "on", 1);
    EXPECT_EQ(platform::GetEnv("PEX_RUNTIME_TEST"), "on");
    ::unsetenv("PEX_RUNTIME_TEST");
    EXPECT_EQ(platform::GetEnv("PEX_RUNTIME_TEST"), "");
    EXPECT_EQ(platform::GetEnv(nullptr), "");
}
