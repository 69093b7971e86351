// The numbers of a test's argument text, each checked against the field it lands in.
#pragma once

#include <initializer_list>

#include "framework/param_string.h"
#include "platform/number_text.h"

enum class ArgRead {
    Absent,   // the argument is not there, or holds no number: the caller keeps its default
    Read,     // value holds the number typed
    Refused,  // a number the field cannot hold: refusal names it; nothing may run
};

struct ArgNumber {
    ArgRead state = ArgRead::Absent;
    long long value = 0;
    CString refusal;  // the red line for a refused number, ending in a line end
};

// The line that refuses a number: "Argument NAME=typed does not fit its range min..max\n" (the
// range in decimal, whichever way the number was written).
CString RefusedArgument(const CString& name, const CString& typed, platform::NumberField field);

// The number written just after the first `prefix` of text (case matters), as scanf reads
// "FRAMES=%ld" there. name is the argument named in a refusal.
ArgNumber ReadArgAfter(const CString& text, const char* prefix, platform::NumberForm form,
                       platform::NumberField field, const char* name);

// The number of KEY=value (CParamString::GetValue, the key in any case). A value that does not
// begin with a number is Absent, as scanf leaves its variable alone.
ArgNumber ReadArgValue(const CParamString& params, const char* key, platform::NumberForm form,
                       platform::NumberField field);

// A 32-bit word written "0x..." as the "0X%8X" reads want it, but never cut to its first eight
// digits: false when the text does not start with one or it is past 32 bits.
bool ReadPrefixedWord(const CString& text, DWORD& value);

// Up to four decimal ints at text, each after a comma (blanks may follow the comma), as "%d,%d,%d"
// or "%d, %d, %d" read them: count says how many were read before one was missing. Refused, naming
// name and the number, when one of them does not fit an int.
struct ArgInts {
    ArgRead state = ArgRead::Absent;  // Read only when all `wanted` were read
    int count = 0;
    int values[4] = {};
    CString refusal;
};
ArgInts ReadArgInts(const char* text, int wanted, const char* name);

// The red line of the first of keys whose "%d" value does not fit an int, for a test that reads
// them one by one and must run nothing after a refusal; empty when every one fits or is absent.
CString RefusedInts(const CParamString& params, std::initializer_list<const char*> keys);

// Both numbers of a size "x, y" at text (blanks allowed around the comma when blankBeforeComma,
// else only after it, as the "%ld, %ld" and "%ld ,%ld" reads take them), decimal, each in field.
// Absent when fewer than two numbers stand there; a refusal names them as name=(x,y).
struct ArgSize {
    ArgRead state = ArgRead::Absent;
    long long x = 0, y = 0;
    int count = 0;  // numbers read before the read stopped (0, 1 or 2), as scanf would count them
    CString refusal;
};
ArgSize ReadArgSize(const char* text, bool blankBeforeComma, platform::NumberField field, const char* name);
// The size of the first "DIM=(x, y)" of a test's text, each an int, as "DIM=(%ld, %ld)" reads it
// there: Absent when that "DIM=" is not followed by '('.
ArgSize ReadArgDim(const CString& text, bool blankBeforeComma);

// The Y, CB and CR of a pattern entry's SOLID=(Y=..:CB=..:CR=..) group, each over its default in
// values (Y, Cb, Cr). With hex a value written 0x... is hexadecimal (a 32-bit word, as "0x%x" reads
// it), any other decimal (an int, as "%d"); a component holding no number keeps its default. field,
// when given, narrows both to what the sample is stored in. Refused, naming the component, when a
// value does not fit: the entry must not be drawn with a cut value.
struct SolidValues {
    ArgRead state = ArgRead::Absent;  // Read once the entry has a SOLID group
    long long values[3] = {};
    CString refusal;
};
SolidValues ReadSolidValues(const CString& entry, bool hex, long long y, long long cb, long long cr,
                            const platform::NumberField* field = nullptr);
