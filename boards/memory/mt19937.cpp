// The Mersenne Twister MT19937 in its 1998 form: seeding, twisting and tempered block output.
#include "boards/memory/mt19937.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kN = CMersenneTwister1998::kStateWords;
constexpr int kM = 397;
constexpr DWORD kMatrixA = 0x9908B0DF;
constexpr DWORD kUpperMask = 0x80000000;
constexpr DWORD kLowerMask = 0x7FFFFFFF;

// Four words at a time (GCC and Clang vector extensions); the generator fills whole memory
// blocks, so twisting and tempering must keep up with the memory.
typedef DWORD Lanes __attribute__((vector_size(16)));
constexpr int kLanes = 4;

inline Lanes Load(const DWORD* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store(DWORD* p, Lanes v) { std::memcpy(p, &v, sizeof v); }

inline Lanes Splat(DWORD v) { return Lanes{v, v, v, v}; }

template <class T>
inline T Temper(T y) {
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680;
    y ^= (y << 15) & 0xEFC60000;
    y ^= y >> 18;
    return y;
}

template <class T>
inline T Mix(T upper, T lower, T far) {
    const T y = (upper & kUpperMask) | (lower & kLowerMask);
    // 0 - (y & 1) is all ones for an odd y: the matrix is added without a branch.
    return far ^ (y >> 1) ^ ((0 - (y & 1)) & kMatrixA);
}

}  // namespace

void CMersenneTwister1998::Seed(DWORD seed) {
    m_state[0] = seed;
    for (int i = 1; i < kN; ++i) m_state[i] = 69069u * m_state[i - 1];
    m_index = kN;
}

void CMersenneTwister1998::Twist() {
    if (m_index == kN + 1) Seed(kDefaultSeed);
    DWORD* s = m_state;
    // Word k takes the old words k, k + 1 and k + 397 (below 227) or the new word k - 227: every
    // word read is either not yet rewritten or rewritten at least 227 words earlier, so four
    // neighbours can be computed together.
    int k = 0;
    for (; k + kLanes <= kN - kM; k += kLanes) Store(s + k, Mix(Load(s + k), Load(s + k + 1), Load(s + k + kM)));
    for (; k < kN - kM; ++k) s[k] = Mix(s[k], s[k + 1], s[k + kM]);
    for (; k + kLanes <= kN - 1; k += kLanes)
        Store(s + k, Mix(Load(s + k), Load(s + k + 1), Load(s + k + kM - kN)));
    for (; k < kN - 1; ++k) s[k] = Mix(s[k], s[k + 1], s[k + kM - kN]);
    s[kN - 1] = Mix(s[kN - 1], s[0], s[kM - 1]);
    m_index = 0;
}

DWORD CMersenneTwister1998::Next() {
    if (m_index >= kN) Twist();
    return Temper(m_state[m_index++]);
}

void CMersenneTwister1998::Fill(DWORD* out, size_t count, DWORD mask) {
    const Lanes masks = Splat(mask);
    while (count) {
        if (m_index >= kN) Twist();
        const size_t run = std::min<size_t>(count, static_cast<size_t>(kN - m_index));
        const DWORD* state = m_state + m_index;
        size_t i = 0;
        for (; i + kLanes <= run; i += kLanes) Store(out + i, Temper(Load(state + i)) ^ masks);
        for (; i < run; ++i) out[i] = Temper(state[i]) ^ mask;
        m_index += static_cast<int>(run);
        out += run;
        count -= run;
    }
}

CMersenneTwister1998& SharedMemTestGenerator() {
    static CMersenneTwister1998 generator;
    return generator;
}
