// The original runtime's generator: the same seed gives the same numbers as on the original platform.
#include "platform/runtime.h"

#include <gtest/gtest.h>

#include <vector>

TEST(RuntimeTest, RandMatchesTheOriginalRuntime) {
    // The well-known sequence of that runtime after srand(1).
    platform::srand(1);
    for (int v : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(platform::rand(), v);
    platform::srand(12345);
    EXPECT_EQ(platform::rand(), 7584);
}

// A batch of draws is the same draws one by one, and leaves the generator where they would: for
// batches below, at and around the widths the batch is made in.
TEST(RuntimeTest, BatchedDrawsAreTheDrawsOneByOne) {
    for (const size_t count : {size_t{0}, size_t{1}, size_t{7}, size_t{15}, size_t{16}, size_t{17}, size_t{31}, size_t{40},
                               size_t{1020}, size_t{1021}}) {
        platform::srand(static_cast<unsigned>(count) * 2654435761u);
        std::vector<int> want(count);
        for (int& v : want) v = platform::rand();
        const int next = platform::rand();
        platform::srand(static_cast<unsigned>(count) * 2654435761u);
        std::vector<int> got(count, -1);
        platform::RandFill(got.data(), count);
        EXPECT_EQ(got, want) << count;
        EXPECT_EQ(platform::rand(), next) << count;
    }
}
