// Small helpers of the device library: byte order and the newest file matching a pattern.
#pragma once

#include "platform/types.h"

// The DWORD with its four bytes in reverse order.
PEX_EXPORT DWORD SwapBytes(DWORD value);
// The path of the most recently modified file matching pattern (* and ? in its last component), in a
// block the caller releases with free(); null when nothing matches.
PEX_EXPORT char* FindMostRecentFile(const char* pattern);
