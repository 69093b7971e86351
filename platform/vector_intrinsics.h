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
#endif
