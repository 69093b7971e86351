// The processor's vector intrinsics, for the code paths that choose them at run time.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
// GCC 12 takes the 512-bit intrinsics' deliberately undefined start values for uninitialised reads.
#if defined(__clang__)
#include <immintrin.h>
#else
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif

namespace platform {

// Whether the processor runs AVX2, asked once.
inline bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

}  // namespace platform
#endif
