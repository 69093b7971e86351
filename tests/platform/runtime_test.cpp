// The original runtime's generator: the same seed gives the same numbers as on the original platform.
#include "platform/runtime.h"

#include <gtest/gtest.h>

TEST(RuntimeTest, RandMatchesTheOriginalRuntime) {
    // The well-known sequence of that runtime after srand(1).
    platform::srand(1);
    for (int v : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(platform::rand(), v);
    platform::srand(12345);
    EXPECT_EQ(platform::rand(), 7584);
}
