// The result texts of breakout-box commands, by conduit result code.
#include "breakout/yorb_error_text.h"

namespace {

// Indexed by result code; 1 and 2 carry no text.
const char* const kTexts[] = {
    "Ignored?",
    nullptr,
    nullptr,
    "probable program error.",
    "the wrong type (string, int, array, etc).",
    "an incorrect length.",
    "a constant type, but a value must be set.",
    "input parameters are missing or wrong.",
    "a parameters is missing or the wrong type.",
    "value or symbol is not valid.",
    "time out expired.",
    "buffer or device overrun.",
    "Timeout on send.",
    "Timeout on receive.",
    "not a recognized Yorb Command.",
    "not a parameter to the Yorb Command.",
    "compiled an invalid Yorb symbolic constant.",
    "Yorb send command would not compile.",
    "Yorb reply would no decompile.",
    "The cable to the BoB is not connected.",
    "Device reports no support for this command.",
    "Device reports problem on this command.",
};

}  // namespace

const char* CYorbErrorText::Lookup(DWORD code) {
    if (code >= sizeof kTexts / sizeof kTexts[0]) return "Unrecognized error code";
    return kTexts[code];
}
