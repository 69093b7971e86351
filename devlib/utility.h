// Small helpers of the device library: byte order, the newest file matching a pattern, the host's message dispatch.
#pragma once

#include "platform/types.h"

// The DWORD with its four bytes in reverse order.
PEX_EXPORT DWORD SwapBytes(DWORD value);
// The path of the most recently modified file matching pattern (* and ? in its last component), in a
// block the caller releases with free(); null when nothing matches.
PEX_EXPORT char* FindMostRecentFile(const char* pattern);
// Dispatches the host process's pending window messages through the pump the host installed in the
// platform layer (platform::SetMessagePump); returns at once when none is installed.
PEX_EXPORT void HandleMessages();
