// The codec board's fill patterns.
#include "boards/roots/fill_pattern.h"

#include "framework/arg_number.h"
#include "platform/number_text.h"

namespace fillpattern {

namespace {

using platform::FieldScan;
using platform::NumberFit;

// V: the last ten characters read as "0x%08X", 0 when they are not "0x" and hexadecimal digits.
// false, with the refusal, for a number no 32-bit word holds: a negative one there, or a 0x number
// ending the command that is wider (its last ten characters alone would be read as another value).
bool CommandValue(const CString& command, DWORD& value, CString* refusal) {
    value = 0;
    const CString tail = command.Right(10);
    const FieldScan inTail = tail.Left(2) == "0x"
                                 ? platform::ReadField(tail.c_str() + 2, platform::NumberForm::Hex, platform::kUnsigned32Field)
                                 : FieldScan{NumberFit::None, 0, tail.c_str(), false};
    const CString last = command.Mid(command.ReverseFind(' ') + 1);
    const FieldScan whole = platform::ReadField(last.c_str(), platform::NumberForm::Prefixed, platform::kUnsigned32Field);
    const bool wider = whole.fit == NumberFit::OutOfRange && *whole.end == '\0';
    if (inTail.fit == NumberFit::OutOfRange || wider) {
        if (refusal) *refusal = RefusedArgument(command.Left(13), wider ? last : tail, platform::kUnsigned32Field);
        return false;
    }
    if (inTail.fit == NumberFit::Fits) value = static_cast<DWORD>(inTail.value);
    return true;
}

}  // namespace

bool Apply(std::vector<DWORD>& words, DWORD first, DWORD end, const CString& command, CString* refusal) {
    if (refusal) refusal->Empty();
    if (first > end || end > words.size()) return false;
    const DWORD count = end - first;
    DWORD* w = words.data() + first;
    DWORD value = 0;
    const bool stepped = command.Left(13) == "Specify DWord" || command.Left(13) == "Increment XOR";
    if (stepped && !CommandValue(command, value, refusal)) return false;
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
        for (DWORD i = 0; i < count; i += 4) w[i / 4] = value;
    } else if (command.Left(13) == "Increment XOR") {
        for (DWORD a = 0; a < count; a += 4) w[a / 4] = (a | a << 8 | a << 16 | a << 24) ^ value;
    } else {
        return false;
    }
    return true;
}

}  // namespace fillpattern
