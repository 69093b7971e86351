// Little-endian loads and stores of the 16- and 32-bit words that image blocks and files hold.
#pragma once

#include <bit>
#include <cstring>

#include "platform/types.h"

namespace images_detail {

inline WORD LoadLE16(const BYTE* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

inline void StoreLE16(BYTE* p, WORD v) {
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
}

inline DWORD LoadLE32(const BYTE* p) {
    DWORD v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    return v;
}

inline void StoreLE32(BYTE* p, DWORD v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}

inline uint64_t LoadLE64(const BYTE* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

inline void StoreLE64(BYTE* p, uint64_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    std::memcpy(p, &v, 8);
}

}  // namespace images_detail
