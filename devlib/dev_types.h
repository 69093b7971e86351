// Small value types of the device library's interface: driver results, access information, register symbols.
#pragma once

#include "platform/types.h"

// Result of a driver call: status 1 is success; detail says more on failure.
struct Drv_Return {
    DWORD status = 0;
    DWORD detail = 0;
};

enum DrvStatus : DWORD {
    DRV_SUCCESS = 1,
    DRV_BAD_ARGUMENT = 2,  // detail: the size asked for
    DRV_NO_MEMORY = 3,     // detail: the size asked for
    DRV_NOT_OURS = 4,      // Free of a pointer the driver did not hand out
};

#ifndef PEX_LARGE_INTEGER_DEFINED
#define PEX_LARGE_INTEGER_DEFINED
// The Win32 64-bit value with its two halves.
union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
#endif

// How a space is addressed: the size is (item count) x itemUnits address units of unitBytes each.
struct PMD_AccessInfo {
    DWORD itemUnits = 1;   // address units per item: the space's size is item count x this
    DWORD readWidth = 4;   // natural access width in bytes
    DWORD writeWidth = 4;
    DWORD alignment = 1;   // required address alignment in bytes
    DWORD unitBytes = 1;   // bytes per address unit
};

// A named register or register block of a register space: its byte offset and size, and the
// registers inside it in address order (for example "DMACRB" holds one 512-byte block per channel).
struct CPPVarDesc {
    const char* name = nullptr;
    DWORD offset = 0;
    DWORD size = 0;
    int entryCount = 0;
    const CPPVarDesc* entries = nullptr;
};

// SDRAM windows of the Wexal SDRAM space; 1 and 2 reach the same memory. Window 0 is the board's
// direct host mapping, which the boards do not offer: pointers asked for through it are null.
enum KWO_RAMWINTYPE { KWO_RAMWIN_0 = 0, KWO_RAMWIN_1 = 1, KWO_RAMWIN_2 = 2 };

// One DMA channel that TripDCBs starts and follows (an array of them ends with a null name). The
// chain loaded from DCB 1 is expected to move the bytes from start to end; progress is start plus
// the bytes moved so far. last is the caller's and passes through untouched.
struct Wexal_TrackDCB {
    int channel = 64;
    const char* name = nullptr;
    DWORD start = 0;
    DWORD end = 0;
    DWORD progress = 0;
    DWORD last = 0;
};
