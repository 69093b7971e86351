// ParseTclNumber: the Tcl commands' reading of numeric arguments.
#include "boards/tcl/tcl_number.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

bool ParseTclNumber(const char* text, DWORD* out) {
    if (!text || !out) return false;
    const size_t length = std::strlen(text);
    if (length == 0) return true;  // nothing to read: the preset value stands
    if (std::strstr(text, "0x")) {
        for (size_t i = 2; i < length; ++i)
            if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
        // Read as "%x" would: the digits in front of the x ("10x5" reads 0x10), or after a leading 0x.
        *out = static_cast<DWORD>(std::strtoull(text, nullptr, 16));
        return true;
    }
    for (size_t i = 0; i < length; ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    *out = static_cast<DWORD>(std::strtoull(text, nullptr, 10));
    return true;
}
