// Tests of the 1998 Mersenne Twister: published outputs and the standard library's engine as the reference.
#include "boards/memory/mt19937.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <vector>

namespace {

// std::mt19937 twists and tempers as the 1998 generator does but seeds another way: it is given the
// 1998 seeding (each word 69069 times the one before) as its state.
std::mt19937 Reference(uint32_t seed) {
    std::stringstream state;
    for (int i = 0; i < 624; ++i, seed *= 69069u) state << seed << ' ';
    std::mt19937 engine;
    state >> engine;
    return engine;
}

TEST(MersenneTwister1998, BlockFillsFollowTheReferenceAcrossStateBoundaries) {
    for (const uint32_t seed : {4357u, 1u, 160u, 0xFFFFFFFFu}) {
        std::mt19937 reference = Reference(seed);
        CMersenneTwister1998 generator;
        generator.Seed(seed);
        // Uneven chunks, single words and a complement mask, so chunks straddle the 624-word twists.
        std::vector<DWORD> got;
        for (size_t chunk : {1u, 623u, 2u, 1000u, 1248u, 7u}) {
            std::vector<DWORD> block(chunk);
            generator.Fill(block.data(), chunk, 0xFFFFFFFF);
            for (DWORD v : block) got.push_back(~v);
            got.push_back(generator.Next());
        }
        for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], reference()) << "seed " << seed << " word " << i;
    }
    EXPECT_EQ(Reference(4357)(), 0xD13C8AF5u);  // the 1998 generator's first output, as published
    EXPECT_EQ(CMersenneTwister1998().Next(), 0xD13C8AF5u);  // never seeded: it seeds itself with 4357
}

}  // namespace
