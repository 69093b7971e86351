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

// The values a field can hold, both ends included.
struct NumberField {
    int64_t min;
    int64_t max;
};
inline constexpr NumberField kSigned32Field{INT32_MIN, INT32_MAX};
inline constexpr NumberField kUnsigned32Field{0, UINT32_MAX};

// How an argument writes its number; each form is what the scanf conversion the argument was read
// with finds after the blanks it skips.
enum class NumberForm {
    Decimal,   // an optional sign, decimal digits ("%d", "%ld", "%u", "%lu")
    Hex,       // an optional sign, an optional 0x, hexadecimal digits ("%X")
    Prefixed,  // 0x and hexadecimal digits, no sign ("0X%X")
    Either,    // an optional sign, then 0x and hexadecimal digits or decimal digits
};

enum class NumberFit {
    None,        // no number stands there
    Fits,        // value is the number typed
    OutOfRange,  // a number stands there that the field cannot hold, however many digits it has
};

struct FieldScan {
    NumberFit fit;
    int64_t value;    // the number typed when it fits, else 0
    const char* end;  // past the number when one stands there (fitting or not); the text otherwise
    bool hex;         // written in hexadecimal
};

// Reads the number at text in its form and answers whether it fits the field. A number outside the
// field is never cut to the field's width: 4294967297 is not 1 in a 32-bit field but OutOfRange.
// One pass over the digits.
FieldScan ReadField(const char* text, NumberForm form, NumberField field);

}  // namespace platform
