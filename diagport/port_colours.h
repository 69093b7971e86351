// The colours the diagnostics port prints in, beside the result screen's own.
#pragma once

#include "framework/result_screen.h"
#include "platform/types.h"

constexpr COLORREF kColorDarkRed = 0x0000C0;
constexpr COLORREF kColorBlue = 0xFF0000;
