// Byte order of stored 32-bit words: files and firmware images keep them big-endian.
#pragma once

#include "platform/types.h"

// The value with its four bytes in reverse order.
inline DWORD SwapDword(DWORD value) { return __builtin_bswap32(value); }
