// CMemTestA and CMemTestB: SDRAM data- and address-line tests over the memory lines, through window 2.
#pragma once

#include "framework/tree_map_tb.h"
#include "platform/cstring.h"
#include "platform/types.h"

// Memory line n is 64 bytes at SDRAM address 0 (n = 0) or 2^(n+5) (64, 128, ... 2^31) while that
// address lies inside the card's memory. Writing every line and then reading them all back finds
// data lines that do not hold a value and address lines that land one line on another.
class CMemTest : public CWexalTreeMapTB {
public:
    static constexpr int kLineCount = 27;
    static constexpr DWORD kLineBytes = 64;
    static constexpr int kLineWords = 16;
    static constexpr DWORD kMappingBytes = 256;

    explicit CMemTest(CString name);

    virtual void SetParent(CWexalTreeMapTB* parent);
    virtual CWexalTreeMapTB* GetParent();
    void ShowHelp() override;

    // Line n's window-2 pointer (null when the window gives none) and SDRAM address; FALSE when n
    // is 27 or more or the address is not below the memory size.
    BOOL GetLine(int n, BYTE*& pointer, DWORD& address);
    // Writes the 64-byte pattern (or, byLine, every byte equal to the line number's low byte) to
    // every line, then flushes the window. FALSE when the window gives no pointer.
    BOOL WriteLines(const BYTE* pattern, BOOL byLine);
    // Reads every line back and lists each line that differs; FALSE on any difference (or no pointer).
    BOOL CheckLines(const BYTE* pattern, BOOL byLine);
    // The card's memory size in bytes (0 without an SDRAM space).
    ULONGLONG GetMemorySize();

protected:
    // Header, then 3 when the host's stop flag is already set, else 0.
    DWORD Begin(const char* description);
    // Writes then checks one pattern: passed is printed in green when every line held it, else
    // result becomes 2. FALSE, after the red line, when there is no SDRAM window.
    BOOL TestPattern(const BYTE* pattern, BOOL byLine, const CString& passed, DWORD& result);
    virtual const char* HelpText() const = 0;

    CWexalTreeMapTB* m_parent = nullptr;
};

// Six constant byte patterns (0x00, 0xFF, 0x55, 0xAA and an optional byte with its complement).
class CMemTestA : public CMemTest {
public:
    explicit CMemTestA(CString name);
    DWORD Run(CString arguments) override;

protected:
    const char* HelpText() const override;
};

// Five stepped byte patterns and the line-number pattern.
class CMemTestB : public CMemTest {
public:
    explicit CMemTestB(CString name);
    DWORD Run(CString arguments) override;

protected:
    const char* HelpText() const override;
};

// The red line of the line and block tests when the board offers no SDRAM window.
inline constexpr const char* kNoSdramWindow = "Unable to find SDRAM address space.\n";

// The argument text of a test whose help shows its command word before the value: the text
// after that word when the text starts with a word that is not a number.
CString SkipCommandWord(const CString& arguments);
