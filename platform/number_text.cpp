// Numbers as the station's texts write them: the shared digit scan.
#include "platform/number_text.h"

#include <cctype>

namespace platform {

int DigitValue(char c, int base) {
    const auto u = static_cast<unsigned char>(c);
    const int d = std::isdigit(u) ? c - '0' : std::isxdigit(u) ? std::tolower(u) - 'a' + 10 : -1;
    return d < base ? d : -1;
}

namespace {

// Adds the digits of base at p to scan's value (marking an overflow past 64 bits); answers the end
// of the digits.
const char* AddDigits(const char* p, int base, UnsignedScan& scan) {
    for (int d; (d = DigitValue(*p, base)) >= 0; ++p) {
        if (scan.value > (UINT64_MAX - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base)) scan.overflow = true;
        scan.value = scan.value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    }
    return p;
}

}  // namespace

UnsignedScan ScanUnsigned(const char* text) {
    UnsignedScan scan{text, 0, false, false};
    const char* p = text;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2], 16) >= 0) {
        scan.hex = true;
        p += 2;
    }
    const char* end = AddDigits(p, scan.hex ? 16 : 10, scan);
    if (end != p) scan.end = end;
    return scan;
}

FieldScan ReadField(const char* text, NumberForm form, NumberField field) {
    FieldScan result{NumberFit::None, 0, text, false};
    if (!text) return result;
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
    bool negative = false;
    if (form != NumberForm::Prefixed && (*p == '-' || *p == '+')) negative = *p++ == '-';
    UnsignedScan scan = ScanUnsigned(p);
    switch (form) {
    case NumberForm::Decimal:
        // "0x10" is the number 0 followed by text, as scanf's %d reads it.
        if (scan.hex) scan = UnsignedScan{p + 1, 0, false, false};
        break;
    case NumberForm::Prefixed:
        if (!scan.hex) scan.end = p;
        break;
    case NumberForm::Hex:
        if (!scan.hex) {
            // Bare digits are hexadecimal in this form.
            scan = UnsignedScan{p, 0, false, true};
            scan.end = AddDigits(p, 16, scan);
        }
        break;
    case NumberForm::Either: break;
    }
    if (scan.end == p) return result;
    result.end = scan.end;
    result.hex = scan.hex;
    result.fit = NumberFit::OutOfRange;
    // Magnitudes past what an int64_t holds are out of every field.
    const uint64_t kMagnitudeLimit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    if (scan.overflow || scan.value > kMagnitudeLimit) return result;
    const int64_t value = negative ? static_cast<int64_t>(0 - scan.value) : static_cast<int64_t>(scan.value);
    if (value < field.min || value > field.max) return result;
    result.fit = NumberFit::Fits;
    result.value = value;
    return result;
}

}  // namespace platform
