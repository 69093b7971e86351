// The boards' I2C clock synthesiser settings: the named register sets, register files and the clock they give.
#pragma once

#include <array>

#include "platform/cstring.h"
#include "platform/types.h"

namespace clocksynth {

struct RegisterWrite {
    DWORD reg = 0;
    DWORD value = 0;
};

// One setting: its name (at most kMaxName characters), the reference it expects and the writes
// that program it, in order.
struct Setting {
    static constexpr int kMaxName = 79;
    static constexpr int kWrites = 10;
    CString name;
    DWORD referenceHz = 0;
    std::array<RegisterWrite, kWrites> writes{};
};

// Row 0 "Reserved" (a register file's working row, everything zero), then the 16 fixed settings
// from "40,100Mhz" to "80,160Mhz". Built afresh on every call, so a register file changes row 0
// for one command only.
constexpr int kSettingRows = 17;
std::array<Setting, kSettingRows> MakeSettings();

// Reads a register file's text (lines split at line feeds, empty ones skipped) into row 0:
// MODE=name names the setting to look for (cut to kMaxName characters) and becomes row 0's name,
// FREQUENCY=Hz its reference, any other line fills the next of its ten writes ("REG[n]=0xVV" in
// hexadecimal or decimal forms; a line that reads as neither leaves that write as it was). Lines
// beyond the ten writes are ignored. Answers the setting name, "" without a MODE line. A number
// its field does not hold (a register or frequency past 32 bits or negative, a value past the
// register's byte) ends the reading: refusal (when given) gets the red line naming it, and the
// file must not be programmed; refusal is empty otherwise.
CString ReadRegisterFile(const CString& text, Setting& row0, CString* refusal = nullptr);

// The synthesiser's output in Hz from the values of the first five writes (registers 0 to 4):
// reference x P / (2^post x A x B x Q). 0 when Q is 0 (a row without its divider registers).
double ClockHz(const Setting& setting);

}  // namespace clocksynth
