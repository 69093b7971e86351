// ParseTclNumber: how the Tcl test's commands read a numeric argument (hexadecimal with 0x, else decimal).
#pragma once

#include "platform/types.h"

// true with *out set when text is a number: with "0x" anywhere in it, every character from the
// third on must be a hexadecimal digit (either case) and the value is read as hexadecimal; without
// it every character must be a decimal digit. A capital 0X, a sign, a blank or an exponent is
// refused, and so is a value wider than 32 bits (it would wrap). Leading zeros do not make a
// number octal. An empty text is accepted and leaves *out unchanged (callers preset it).
bool ParseTclNumber(const char* text, DWORD* out);
