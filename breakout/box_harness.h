// The dispatch values of the breakout-box tests and the description of one image-list run.
#pragma once

#include <functional>
#include <span>
#include <vector>

#include "platform/cstring.h"
#include "platform/types.h"

class CImage;
class CStrList;
struct ProjectFormatEntry;

namespace box {

constexpr DWORD kFramesGiven = 0x1000000;  // or-ed into the test code when the command carries FRAMES=
constexpr DWORD kMaxFrames = 15;           // DCBs 1-15 of a channel

// One keyword of a test's Run: matched as a case-sensitive prefix of the command.
struct Keyword {
    const char* text;
    DWORD code;
    bool takesFrames;  // the command may carry FRAMES=
};

// The values one Run reads from its command.
struct RunValues {
    CString command;
    DWORD code = 0;
    CString arguments;  // after the keyword, left-trimmed
    long width = 0, height = 0;
    bool useLists = true;  // false when DIM= gave both numbers
    DWORD frames = 1;
    int verbose = 1;
};

// What the image patterns are drawn into.
enum class PatternImages {
    Unpacked,        // 10-bit image and alpha, both filled, full value range
    UnpackedFormat,  // 10-bit image (alpha sent blank), values kept within 4-1019
    EightBit,        // 8-bit image (alpha sent blank), 10-bit SOLID values scaled to 8 bits
};

// One image-list run: the list of resolution entries and what a pair does.
struct ImageListForm {
    CStrList* resolutions;                 // sizes ("DIM=(x,y)") or format names
    const std::vector<ProjectFormatEntry>* formats;  // null: the entries are sizes
    PatternImages images;
    const char* pairFormat;  // the summary line: result mark, pattern, [format name,] width, height
    bool progress;           // drives the host's progress bar
    // Frames the format's path returns late; the pair sends that many more so FRAMES are compared.
    std::function<DWORD(DWORD format)> delay;
    // The image loopback of one pair: alpha, image, format number, frames. Nonzero passed.
    std::function<int(CImage& alpha, CImage& image, DWORD format, DWORD frames)> loopback;
};

}  // namespace box
