// Byte order and file helpers.
#include "devlib/utility.h"

#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/message_pump.h"

DWORD SwapBytes(DWORD v) { return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24); }

char* FindMostRecentFile(const char* pattern) {
    if (!pattern || !*pattern) return nullptr;
    const CString found = platform::FindMostRecentFile(pattern);
    if (found.IsEmpty()) return nullptr;
    char* out = static_cast<char*>(std::malloc(static_cast<size_t>(found.GetLength()) + 1));
    if (out) std::memcpy(out, found.c_str(), static_cast<size_t>(found.GetLength()) + 1);
    return out;
}

void HandleMessages() { platform::RunMessagePump(); }
