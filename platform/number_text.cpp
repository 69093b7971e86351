// Numbers as the station's texts write them: the shared digit scan.
#include "platform/number_text.h"

#include <cctype>

namespace platform {

int DigitValue(char c, int base) {
    const auto u = static_cast<unsigned char>(c);
    const int d = std::isdigit(u) ? c - '0' : std::isxdigit(u) ? std::tolower(u) - 'a' + 10 : -1;
    return d < base ? d : -1;
}

UnsignedScan ScanUnsigned(const char* text) {
    UnsignedScan scan{text, 0, false, false};
    const char* p = text;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2], 16) >= 0) {
        scan.hex = true;
        p += 2;
    }
    const int base = scan.hex ? 16 : 10;
    const char* first = p;
    for (int d; (d = DigitValue(*p, base)) >= 0; ++p) {
        if (scan.value > (UINT64_MAX - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base)) scan.overflow = true;
        scan.value = scan.value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    }
    if (p != first) scan.end = p;
    return scan;
}

}  // namespace platform
