// The codec board's fill patterns.
#include "boards/roots/fill_pattern.h"

#include <cstdio>

namespace fillpattern {

namespace {

DWORD CommandValue(const CString& command) {
    unsigned value = 0;
    return std::sscanf(command.Right(10).c_str(), "0x%08X", &value) == 1 ? value : 0;
}

}  // namespace

bool Apply(std::vector<DWORD>& words, DWORD first, DWORD end, const CString& command) {
    if (first > end || end > words.size()) return false;
    const DWORD count = end - first;
    DWORD* w = words.data() + first;
    if (command == "Zero") {
        for (DWORD j = 0; j < count; ++j) w[j] = 0;
    } else if (command == "Unique Byte") {
        // Byte k of the range holds k mod 256, as the buffer lies in memory (little-endian words).
        std::vector<BYTE> bytes(4 * static_cast<size_t>(count));
        for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<BYTE>(k);
        for (DWORD j = 0; j < count; ++j)
            w[j] = bytes[4 * j] | bytes[4 * j + 1] << 8 | bytes[4 * j + 2] << 16 | static_cast<DWORD>(bytes[4 * j + 3]) << 24;
    } else if (command == "Incrementing") {
        for (DWORD j = 0; j < count; ++j) w[j] = j;
    } else if (command.Left(13) == "Specify DWord") {
        const DWORD value = CommandValue(command);
        for (DWORD i = 0; i < count; i += 4) w[i / 4] = value;
    } else if (command.Left(13) == "Increment XOR") {
        const DWORD value = CommandValue(command);
        for (DWORD a = 0; a < count; a += 4) w[a / 4] = (a | a << 8 | a << 16 | a << 24) ^ value;
    } else {
        return false;
    }
    return true;
}

}  // namespace fillpattern
