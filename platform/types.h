// Fixed-width Windows-style names for hardware words and the few Win32 value types the library uses.
#pragma once

#include <cstdint>
#include <cstddef>

using DWORD = uint32_t;
using WORD = uint16_t;
using BYTE = uint8_t;
using UINT = uint32_t;
using BOOL = int32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using ULONGLONG = uint64_t;
using LONGLONG = int64_t;
using COLORREF = uint32_t;  // 0x00BBGGRR

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Symbol visibility for the shared objects; everything else stays hidden.
#define PEX_EXPORT __attribute__((visibility("default")))
