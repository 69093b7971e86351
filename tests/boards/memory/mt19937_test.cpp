// Tests of the 1998 Mersenne Twister: published outputs and an independent word-at-a-time reference.
#include "boards/memory/mt19937.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The 1998 reference algorithm written out plainly: twist the whole state when it is used up.
class Reference {
public:
    explicit Reference(uint32_t seed) {
        mt[0] = seed;
        for (int i = 1; i < 624; ++i) mt[i] = static_cast<uint32_t>(69069ull * mt[i - 1]);
    }
    uint32_t Next() {
        if (index == 624) {
            for (int k = 0; k < 624; ++k) {
                const uint32_t y = (mt[k] & 0x80000000u) | (mt[(k + 1) % 624] & 0x7FFFFFFFu);
                mt[k] = mt[(k + 397) % 624] ^ (y >> 1) ^ (y % 2 ? 0x9908B0DFu : 0u);
            }
            index = 0;
        }
        uint32_t y = mt[index++];
        y ^= y >> 11;
        y ^= (y << 7) & 0x9D2C5680u;
        y ^= (y << 15) & 0xEFC60000u;
        return y ^ (y >> 18);
    }

private:
    uint32_t mt[624];
    int index = 624;
};

TEST(MersenneTwister1998, BlockFillsFollowTheReferenceAcrossStateBoundaries) {
    for (const uint32_t seed : {4357u, 1u, 160u, 0xFFFFFFFFu}) {
        Reference reference(seed);
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
        for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], reference.Next()) << "seed " << seed << " word " << i;
    }
    Reference published(4357);
    EXPECT_EQ(published.Next(), 0xD13C8AF5u);  // the reference's own first output, as published
    CMersenneTwister1998 unseeded;              // never seeded: it seeds itself with 4357
    EXPECT_EQ(unseeded.Next(), 0xD13C8AF5u);
}

}  // namespace
