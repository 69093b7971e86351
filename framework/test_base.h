// CTestBase: the root of every test object: run/help/print slots, report helpers, list readers.
#pragma once

#include "framework/arg_number.h"
#include "platform/cstring.h"
#include "platform/types.h"

// Run results every test returns.
constexpr DWORD kRunPassed = 1;
constexpr DWORD kRunFailed = 2;   // failed or unable to run
constexpr DWORD kRunStopped = 3;  // the host's stop flag was set

// The host calls Run and Help on the owner of a test record; every print of a test goes through
// its three print slots, so a derived class can divert output (e.g. before the host attached).
class CTestBase {
public:
    CTestBase() = default;
    virtual ~CTestBase();
    CTestBase(const CTestBase&) = delete;
    CTestBase& operator=(const CTestBase&) = delete;

    // Runs the test with its argument text; answers kRunPassed, kRunFailed or kRunStopped.
    virtual DWORD Run(CString command) = 0;
    // Empties the result screen's output taps.
    virtual void ClearOutputTaps();
    virtual void EmptyHook();
    // Shows the help page (the sub-test argument is not used by default); answers kRunPassed.
    virtual DWORD Help(CString subTest);
    virtual void ShowHelp();
    virtual void PrintStyled(CString text, COLORREF colour, COLORREF background, BOOL underline);
    virtual void PrintColor(CString text, COLORREF colour);
    // Text with colour mark-up ("~*RED*~").
    virtual void Print(CString text);

    const CString& GetCodeName() const { return m_codeName; }
    void SetCodeName(const CString& name) { m_codeName = name; }

    // Local time "MM/DD - hh:mm:ss" in black, no line end.
    void PrintTimeStamp();
    // Rule of dashes, time stamp, then "<name> (<description>)"; the code name stands in for an
    // empty name. Name and description longer than 52 in all go on two lines.
    void PrintHeader(CString description, CString name);
    // Expected against actual dump. headerFormat takes four %s (dot fillers) and may be null, as may
    // addressFormat (one conversion for the row address, base + index * step). perLine outside 1..10
    // means 8. Prints nothing when count is below 1.
    void PrintCompare(const char* headerFormat, const char* addressFormat, DWORD base, DWORD step,
                      int perLine, int count, const DWORD* expected, const DWORD* actual);
    void PrintCompareDwords(int count, const DWORD* expected, const DWORD* actual);
    // width '=' and a line end; a width below 0 or above 80 means 72.
    void PrintRule(int width, int unused, COLORREF colour);
    void PrintGreen(CString text);  // text + "\n" in green
    void PrintRed(CString text);
    void PrintBlack(CString text);
    void PrintColorFormat(COLORREF colour, const char* format, ...) __attribute__((format(printf, 3, 4)));

    // The index-th comma-separated item, leading white space removed; FALSE when there is none.
    static BOOL GetListItem(CString list, int index, CString& item);
    // The index-th item read with ParseNumber; it must start with a decimal digit. value is 0 on failure.
    static BOOL GetListNumber(CString list, int index, ULONGLONG& value, int mode);
    // The index-th item read as GetListNumber reads it, held to field (of unsigned values): Absent
    // when GetListNumber finds no number there; Refused, naming name and the item as typed, when
    // the number is past the field or past 64 bits, so that it is never cut to fit.
    static ArgNumber ReadListNumber(CString list, int index, int mode, platform::NumberField field, const char* name);
    // The index-th item as "a-b", "a", "-b" (from 0) or "a-" (to all ones); 0 and 0 on failure,
    // which a bound too wide for 64 bits is.
    static BOOL GetListRange(CString list, int index, ULONGLONG& from, ULONGLONG& to, int mode);
    // Mode 1 reads hexadecimal; mode 0 reads "0x..." as hexadecimal and anything else as signed
    // decimal (digits up to the first non-digit). FALSE for empty text, an unreadable long
    // hexadecimal number or a number too wide for 64 bits (never cut to fit); value is 0 then.
    static BOOL ParseNumber(CString text, ULONGLONG& value, int mode);

    // Text printed before the host attached, kept as plain text until GetTestList takes it.
    static void BufferPreHostText(const CString& text);
    // Answers the buffered text ("" when none); with release the buffer is dropped.
    static CString TakePreHostText(BOOL release);

protected:
    int m_reserved = 0;
    CString m_codeName;  // board roots set it to their class name; records publish it
};
