// The codec board's fill patterns: the words its DSP and codec tests take as their data pattern.
#pragma once

#include <vector>

#include "platform/cstring.h"
#include "platform/types.h"

namespace fillpattern {

// Refills words[first, end) by the pattern command names: "Zero", "Unique Byte" and
// "Incrementing" (the whole command), "Specify DWord" and "Increment XOR" (its first 13
// characters; the value V is the command's last ten characters read as "0x%08X", 0 when they are
// not). The last two step through the range four words at a time and write one word per step, so
// they cover its first quarter only. False, nothing written, for any other command or a range
// outside words, and for a V that no 32-bit word holds (a negative one, or a 0x number ending the
// command that is wider): refusal (when given) then holds the red line naming it, else it is empty.
bool Apply(std::vector<DWORD>& words, DWORD first, DWORD end, const CString& command, CString* refusal = nullptr);

}  // namespace fillpattern
