// The Mersenne Twister MT19937 in its 1998 form (69069 seeding), the random memory test's stream.
#pragma once

#include <cstddef>

#include "platform/types.h"

// The 1998 reference generator: seeding sets word 0 to the seed and every following state word to
// 69069 times the one before (mod 2^32); outputs are tempered as in the reference code. A
// generator used before it was seeded seeds itself with kDefaultSeed. Seed 4357 starts
// 0xD13C8AF5, 0xFFC27482, ...
class CMersenneTwister1998 {
public:
    static constexpr DWORD kDefaultSeed = 4357;
    static constexpr int kStateWords = 624;

    void Seed(DWORD seed);
    DWORD Next();
    // The next count outputs, each XORed with mask; one pass over whole state blocks, so filling a
    // buffer costs about as much as copying it.
    void Fill(DWORD* out, size_t count, DWORD mask);

private:
    void Twist();

    DWORD m_state[kStateWords] = {};
    int m_index = kStateWords + 1;  // kStateWords + 1: never seeded
};

// The one generator state the library shares (the random memory test seeds it for every pass).
CMersenneTwister1998& SharedMemTestGenerator();
