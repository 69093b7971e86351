// Number arguments of the CWexal and memory-clock commands, read from their KEY=value text.
#pragma once

#include <cstdio>

#include "framework/param_string.h"
#include "platform/cstring.h"
#include "platform/types.h"

// The "%d" value of key; FALSE (value untouched) when the key is missing or holds no number.
inline BOOL ReadIntArgument(const CParamString& params, const char* key, int& value) {
    CString text;
    if (!params.GetValue(key, text)) return FALSE;
    return std::sscanf(text.c_str(), "%d", &value) == 1;
}
