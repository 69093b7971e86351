// The wedge entries of the image-test lists: the keyword, the fill's direction and colour mode, and the line the harnesses print.
#pragma once

#include "platform/types.h"

struct WedgePattern {
    const char* keyword;
    bool horizontal;
    DWORD mode;  // 0 greyscale, 1 red to blue, 2 blue to red
    const char* message;
};

inline constexpr WedgePattern kWedgePatterns[] = {
    {"HORZ_WEDGE", true, 0, "Test Horizontal Wedge:  Greyscale\n"},
    {"HORZ_WEDGE_RED2BLUE", true, 1, "Test Horizontal Wedge:  Red to Blue\n"},
    {"HORZ_WEDGE_BLUE2RED", true, 2, "Test Horizontal Wedge:  Blue to Red\n"},
    {"VERT_WEDGE", false, 0, "Test Vertical Wedge:  Greyscale\n"},
    {"VERT_WEDGE_RED2BLUE", false, 1, "Test Vertical Wedge:  Red to Blue\n"},
    {"VERT_WEDGE_BLUE2RED", false, 2, "Test Vertical Wedge:  Blue to Red\n"},
};
