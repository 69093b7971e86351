// Numbers as the station's texts write them: decimal, or 0x and hexadecimal digits; never octal.
#pragma once

#include <cstdint>

namespace platform {

// The value of c as a digit of base (10 or 16), or -1.
int DigitValue(char c, int base);

struct UnsignedScan {
    const char* end;  // just past the digits; the text itself when no digit stands there
    uint64_t value;   // meaningless when overflow is set
    bool overflow;    // the digits go past 64 bits
    bool hex;
};

// The digits of an unsigned number at text: "0x" followed by hexadecimal digits, otherwise decimal
// digits, where a leading 0 does not make the number octal ("010" is ten, as a tester means it).
// Costs one pass over the digits.
UnsignedScan ScanUnsigned(const char* text);

}  // namespace platform
