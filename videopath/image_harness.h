// CImageHarness: the command of the keyer and FPGA-pair tests: list commands, and every pattern over every resolution through the bypass loopback.
#pragma once

#include <span>

#include "platform/cstring.h"
#include "platform/types.h"

class CKeyerPathTB;
class CResultScreen;
class CStrList;
class CStrListImages;
class CStrListResolutions;

// Command codes; they are also the keys of the tests' Help.
namespace harness {
constexpr DWORD kImageList = 2;
constexpr DWORD kResolutionList = 3;
constexpr DWORD kModifyLists = 4;
constexpr DWORD kModifySliders = 5;
constexpr DWORD kShowOffsets = 6;
constexpr DWORD kBypass = 0x10101;
constexpr DWORD kFramesGiven = 0x1000000;  // or-ed into the code when the command carries FRAMES=
constexpr long kMaxFrames = 15;
}  // namespace harness

// One keyword: a byte-wise, case-sensitive prefix of the command. inHelp: Help knows it too.
struct HarnessKeyword {
    const char* keyword;
    DWORD code;
    bool inHelp;
};

// One line of a help page: mark-up lines go through Print, the others are printed in black.
struct HarnessHelpLine {
    bool markup;
    const char* text;
};

// What one test class makes of the shared harness.
struct HarnessTraits {
    const char* className;                    // in the messages and the result lines
    std::span<const HarnessKeyword> keywords;  // in the order they are tried
    bool hexSolid;                            // SOLID values may be written 0x...
    bool refuseUndefinedPreset;               // "Modify Image/Resolution List" stops before the sheet
    std::span<const HarnessHelpLine> bypassHelp;
};

// The harness works on the test's lists, summary and parent; a test's own commands (codes other
// than the lists and the bypass run) go back to the test's RunOwnCommand.
class CImageHarness {
public:
    CImageHarness(CKeyerPathTB& test, const HarnessTraits& traits) : m_test(test), m_traits(traits) {}

    // 1 passed, 2 failed or unable to run, 3 when the host's stop flag ended the image runs.
    DWORD Run(const CString& command);
    // The bypass run's help page, "Help is not available!" for the other known commands, else the
    // not-recognised line. Answers 1.
    DWORD Help(const CString& command);

    // The code of the keyword command starts with (0 for none) and the rest after it, left-trimmed.
    DWORD Match(const CString& command, CString& rest, bool helpOnly) const;
    // Both lists as the current run mode presets them; false after "... Mode is UNDEFINED".
    bool LoadPresets(CStrListImages& images, CStrListResolutions& resolutions);
    void ReportNotRecognized(const CString& command);

private:
    enum class Fill { Done, Skip, Refused };

    DWORD ListCommand(CStrList& list, const CString& arguments);
    DWORD ModifyLists();
    DWORD RunImages(DWORD code, const CString& command, const CString& arguments, bool hasDim, long x, long y,
                    long frames);
    // Sets x and y from one resolution entry; false (after its red line) when the command must end.
    bool ReadResolution(const CString& entry, long& x, long& y, long frames);
    struct Images;
    Fill FillPattern(const CString& pattern, const CString& header, Images& images);
    // Copies the screen's text into the named log of the parent; false after a red line with the
    // cause when it did not all get there.
    bool AppendToLog(const char* name, CResultScreen& screen);
    // Hands the test's result lines to the parent's summary and empties the test's list.
    void PassSummaryUp(bool print);

    CKeyerPathTB& m_test;
    const HarnessTraits& m_traits;
};
