// CYorbErrorText: the fixed texts of the device library's command results.
#pragma once

#include "platform/types.h"

// The text a failed breakout-box command reports for a conduit result code. Codes 1 (success) and
// 2 (failure that keeps the caller's earlier text) have no text of their own.
class CYorbErrorText {
public:
    static constexpr DWORD kSuccess = 1;
    static constexpr DWORD kKeepText = 2;
    // The text for code, "Unrecognized error code" above the last known code; null for 1 and 2.
    static const char* Lookup(DWORD code);
};
