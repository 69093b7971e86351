// CResultScreen: the one output sink; turns colour mark-up into formatted runs in the host's control.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "platform/cstring.h"
#include "platform/host_ui.h"
#include "platform/types.h"

// Colours of the report (COLORREF 0x00BBGGRR).
constexpr COLORREF kColorBlack = 0x000000;
constexpr COLORREF kColorWhite = 0xFFFFFF;
constexpr COLORREF kColorRed = 0x0000FF;
constexpr COLORREF kColorGreen = 0x00A000;

// The mark-up vocabulary: "~*NAME*~" sets the text colour, "~*BACK_NAME*~" the background,
// "~*ULINE*~" and "~*NO_ULINE*~" switch underline.
struct ColourName {
    const char* name;
    COLORREF value;
};
inline constexpr ColourName kColourTable[15] = {
    {"BLACK", 0x000000},  {"DKGRAY", 0x606060},   {"GRAY", 0x909090},   {"LTGRAY", 0xC0C0C0},
    {"WHITE", 0xFFFFFF},  {"DKRED", 0x0000C0},    {"RED", 0x0000FF},    {"LTRED", 0x8080FF},
    {"DKYELLOW", 0x00C0E8}, {"YELLOW", 0x00F0FF}, {"LTYELLOW", 0x80FFFF}, {"GREEN", 0x00A000},
    {"DKBLUE", 0x900000}, {"BLUE", 0xFF0000},     {"LTBLUE", 0xFFC8BE},
};

// A copy of one PrintColor call, kept until the next test header (only the latest kKeptTaps of them).
struct tagSOutputTap {
    int kind = 1;
    COLORREF colour = 0;
    DWORD reserved = 0;
    CHARFORMAT2 format;  // what the text was printed with
    CString text;        // as given, mark-up included
};

class CResultScreen {
public:
    CResultScreen();
    virtual ~CResultScreen();
    CResultScreen(const CResultScreen&) = delete;
    CResultScreen& operator=(const CResultScreen&) = delete;

    // Asks the host (code 1) with the caller's value, keeping the control's selection; answers
    // the host's result, or 0 without a host or control.
    virtual uintptr_t NotifyHost(uintptr_t value);
    // Empties the window first when clear is exactly 1, then asks the host (code 2); 0 without a host.
    virtual uintptr_t NotifyHostResult(uintptr_t value, BOOL clear);
    // Empties the window; FALSE without a control.
    virtual BOOL Clear();
    // Prints text in the colour, background and underline given as mark-up; colours that are not
    // in the table leave the current one. The format is put back afterwards.
    virtual void PrintStyled(const CString& text, COLORREF colour, COLORREF background, BOOL underline);
    // Records a tap and prints text in the colour with underline off (mark-up in the text still
    // applies); the format is put back afterwards.
    virtual void PrintColor(const CString& text, COLORREF colour);
    // Prints text with mark-up; format changes stay in force after the call. Without a control
    // the mark-up still takes effect but no text goes anywhere.
    virtual void Print(const CString& text);
    virtual void ClearOutputTaps();

    // Taps kept: nothing reads them back, and a test that prints without a header in between
    // must not grow the host without bound, so only the latest ones stay.
    static constexpr size_t kKeptTaps = 256;

    void SetHost(CTestHost* host) { m_host = host; }
    CTestHost* GetHost() const { return m_host; }
    // The host's output control, asked afresh; null without a host.
    CRichEditCtrl* GetHostRichEdit() const;
    // Appends text at the end of the control as it is (no mark-up, no format) and selects it.
    void AppendToHostWindow(const CString& text);
    // Answers the next run of plain text in rest and removes it (and any known mark-up before it,
    // which changes the current format) from rest. The answer may be empty.
    CString NextSegment(CString& rest);

    const CHARFORMAT2& GetFormat() const { return m_format; }
    // The latest taps since the last ClearOutputTaps, oldest first.
    const std::deque<tagSOutputTap>& GetOutputTaps() const { return m_taps; }
    // The format a new screen starts with: 9 pt Courier New, black on white, no effects.
    static CHARFORMAT2 InitialFormat();

private:
    std::string_view NextSegmentOf(std::string_view& rest);
    void AppendRun(std::string_view run, CRichEditCtrl* ctrl);

    CHARFORMAT2 m_format;
    std::deque<tagSOutputTap> m_taps;
    CTestHost* m_host = nullptr;
    std::string m_runBuffer;  // NUL-terminated copy of the run being appended
};

// The process-wide result screen, constructed on first use.
CResultScreen& GetResultScreen();
