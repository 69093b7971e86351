// Number arguments of the CWexal and memory-clock commands, read from their KEY=value text.
#pragma once

#include "framework/arg_number.h"
#include "framework/param_string.h"
#include "platform/cstring.h"
#include "platform/types.h"

// The "%d" value of key; FALSE (value untouched) when the key is missing, holds no number or one
// past an int (the test checks RefusedInts first to say so).
inline BOOL ReadIntArgument(const CParamString& params, const char* key, int& value) {
    const ArgNumber read = ReadArgValue(params, key, platform::NumberForm::Decimal, platform::kSigned32Field);
    if (read.state != ArgRead::Read) return FALSE;
    value = static_cast<int>(read.value);
    return TRUE;
}

// The size DIM= of the text gives, as "%ld ,%ld" reads it (blanks allowed around the comma), each an
// int; Absent without DIM= or two numbers there, Refused (naming DIM) for one past an int.
inline ArgSize ReadDimValue(const CString& text) {
    CString dim;
    if (!CParamString(text).GetValue("DIM", dim)) return ArgSize{};
    return ReadArgSize(dim.c_str(), true, platform::kSigned32Field, "DIM");
}
