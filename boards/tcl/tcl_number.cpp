// ParseTclNumber: the Tcl commands' reading of numeric arguments.
#include "boards/tcl/tcl_number.h"

#include <cctype>
#include <cstring>

namespace {

// The digits' value in the base, false when it does not fit 32 bits (a wider number would wrap
// to another address or value).
bool Accumulate(const char* digits, size_t count, unsigned base, DWORD* out) {
    unsigned long long value = 0;
    for (size_t i = 0; i < count; ++i) {
        const int c = std::toupper(static_cast<unsigned char>(digits[i]));
        value = value * base + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'A' + 10);
        if (value > 0xFFFFFFFFull) return false;
    }
    *out = static_cast<DWORD>(value);
    return true;
}

}  // namespace

bool ParseTclNumber(const char* text, DWORD* out) {
    if (!text || !out) return false;
    const size_t length = std::strlen(text);
    if (length == 0) return true;  // nothing to read: the preset value stands
    if (std::strstr(text, "0x")) {
        // Only a leading 0x gets past this (a later one puts its x at the third place or beyond).
        for (size_t i = 2; i < length; ++i)
            if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
        return Accumulate(text + 2, length - 2, 16, out);
    }
    for (size_t i = 0; i < length; ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    // Decimal also with leading zeros: 010 is ten, never octal eight.
    return Accumulate(text, length, 10, out);
}
