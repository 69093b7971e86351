// CMemTestA and CMemTestB: write every memory line through SDRAM window 2, flush, read back, list differences.
#include "boards/memory/mem_test.h"

#include <cstring>

#include "boards/wexal/wexal.h"
#include "devlib/wexal_spaces.h"
#include "framework/arg_number.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"

namespace {

constexpr platform::NumberField kPatternField{0, 0xFF};

}  // namespace

CString SkipCommandWord(const CString& arguments) {
    CString text = arguments;
    text.TrimLeft();
    if (text.IsEmpty() || (text[0] >= '0' && text[0] <= '9') || text[0] == '-') return text;
    const int blank = text.FindOneOf(" \t");
    if (blank < 0) return CString();
    CString rest = text.Mid(blank);
    rest.TrimLeft();
    return rest;
}

CMemTest::CMemTest(CString name) : CWexalTreeMapTB(name) { SetCodeName(name); }

void CMemTest::SetParent(CWexalTreeMapTB* parent) {
    m_parent = parent;
    AddToMap(parent);
}

CWexalTreeMapTB* CMemTest::GetParent() { return m_parent; }

void CMemTest::ShowHelp() {
    PrintRule(72, 0, kColorGreen);
    PrintColor(HelpText(), kColorBlack);
    PrintRule(72, 0, kColorGreen);
}

ULONGLONG CMemTest::GetMemorySize() {
    const CDevAddrSpace* sdram = m_boardIF.GetSDRAMSpace();
    return sdram ? sdram->GetSize() : 0;
}

BOOL CMemTest::GetLine(int n, BYTE*& pointer, DWORD& address) {
    pointer = nullptr;
    if (n < 0 || n >= kLineCount) return FALSE;
    const ULONGLONG at = n == 0 ? 0 : ULONGLONG{1} << (n + 5);
    if (at >= GetMemorySize()) return FALSE;
    address = static_cast<DWORD>(at);
    CWexalSDRAMSpace* sdram = m_boardIF.GetWexalSDRAMSpace();
    if (sdram) pointer = static_cast<BYTE*>(sdram->GetSDRAMPointer(KWO_RAMWIN_2, address, kMappingBytes));
    return TRUE;
}

BOOL CMemTest::WriteLines(const BYTE* pattern, BOOL byLine) {
    BYTE* line = nullptr;
    DWORD address = 0;
    for (int n = 0; GetLine(n, line, address); ++n) {
        if (!line) return FALSE;
        if (byLine)
            std::memset(line, n & 0xFF, kLineBytes);
        else
            std::memcpy(line, pattern, kLineBytes);
    }
    CWexalSDRAMSpace* sdram = m_boardIF.GetWexalSDRAMSpace();
    if (!sdram) return FALSE;
    sdram->FlushSDRAM(0);
    return TRUE;
}

BOOL CMemTest::CheckLines(const BYTE* pattern, BOOL byLine) {
    BOOL passed = TRUE;
    BYTE* line = nullptr;
    DWORD address = 0;
    for (int n = 0; GetLine(n, line, address); ++n) {
        if (!line) return FALSE;
        DWORD expected[kLineWords];
        DWORD actual[kLineWords];
        if (byLine)
            std::memset(expected, n & 0xFF, sizeof expected);
        else
            std::memcpy(expected, pattern, sizeof expected);
        std::memcpy(actual, line, sizeof actual);
        if (std::memcmp(expected, actual, sizeof expected) == 0) continue;
        PrintCompare("   SDRAM %sExpected%s  %s.Actual.%s\n", "%08X", address, 4, 4, kLineWords, expected, actual);
        passed = FALSE;
    }
    return passed;
}

DWORD CMemTest::Begin(const char* description) {
    PrintHeader(description, "");
    PrintColor("\n", kColorBlack);
    return CWexal::IsStopRequested() ? kRunStopped : 0;
}

BOOL CMemTest::TestPattern(const BYTE* pattern, BOOL byLine, const CString& passed, DWORD& result) {
    if (!WriteLines(pattern, byLine)) {
        PrintColor(kNoSdramWindow, kColorRed);
        return FALSE;
    }
    if (CheckLines(pattern, byLine))
        PrintGreen(passed);
    else
        result = kRunFailed;
    return TRUE;
}

CMemTestA::CMemTestA(CString name) : CMemTest(name) {}

const char* CMemTestA::HelpText() const {
    return "MemTestA: Tests each memory line of the Brimola SDRAM\n\n"
           " For X = (0x00, 0xFF, 0x55, 0xAA, <bParam>, ~<bParam>)\n"
           " For L = (0, 64, 128, 256, 512, ..., 2^29)\n\n"
           " For each L and X combination - write 64 bytes of X to SDRAM\n"
           "address L, flush SDRAM, then read back and compare.\n\n"
           "Syntax:   MemTestA <optional:bParam>\n"
           "Examples: MemTestA 0xC7\n"
           "          MemTestA\n";
}

DWORD CMemTestA::Run(CString arguments) {
    if (const DWORD stopped = Begin("SDRAM memory lines, constant patterns")) return stopped;

    BYTE patterns[6] = {0x00, 0xFF, 0x55, 0xAA, 0, 0};
    int count = 4;
    // The pattern is one byte: a wider number is refused, not cut to its low byte, however many
    // digits it has. Its value and its width come from one reading of the item.
    const ArgNumber pattern = ReadListNumber(SkipCommandWord(arguments), 0, 0, kPatternField, "bParam");
    if (pattern.state == ArgRead::Refused) {
        PrintColor(pattern.refusal, kColorRed);
        return kRunFailed;
    }
    if (pattern.state == ArgRead::Read) {
        const ULONGLONG value = static_cast<ULONGLONG>(pattern.value);
        patterns[4] = static_cast<BYTE>(value);
        patterns[5] = static_cast<BYTE>(~value);
        count = 6;
    }

    DWORD result = kRunPassed;
    for (int i = 0; i < count; ++i) {
        BYTE line[kLineBytes];
        std::memset(line, patterns[i], sizeof line);
        CString passed;
        passed.Format("Writing 0x%02X passed", patterns[i]);
        if (!TestPattern(line, FALSE, passed, result)) return kRunFailed;
    }
    return result;
}

CMemTestB::CMemTestB(CString name) : CMemTest(name) {}

const char* CMemTestB::HelpText() const {
    return "MemTestB: Tests Brimola SDRAM memory with varying patterns.\n\n"
           " For X = (0x00, [0+n], [-1+3n], [0x55+13n], [0xAA+0x55n], L)\n"
           " For L = (0, 64, 128, 256, 512, ..., 2^29)\n\n"
           " For each L and X combination - write 64 bytes of X to SDRAM\n"
           "address L, flush SDRAM, then read back and compare.\n\n"
           "Syntax:   MemTestB\n"
           "Example:  MemTestB\n";
}

DWORD CMemTestB::Run(CString) {
    if (const DWORD stopped = Begin("SDRAM memory lines, stepped patterns")) return stopped;

    CZorvDevice* device = GetDevice();
    CString intro;
    intro.Format(" Address lines test for %s SDRAM (size is %dMBytes).\n", device ? device->GetTag().c_str() : "",
                 static_cast<int>(GetMemorySize() >> 20));
    PrintColor(intro, kColorBlack);

    static const BYTE kSteps[5][2] = {{0x00, 0x00}, {0x00, 0x01}, {0xFF, 0x03}, {0x55, 0x0D}, {0xAA, 0x55}};
    DWORD result = kRunPassed;
    for (const auto& step : kSteps) {
        BYTE line[kLineBytes];
        for (DWORD k = 0; k < kLineBytes; ++k) line[k] = static_cast<BYTE>(step[0] + k * step[1]);
        CString passed;
        passed.Format("Writing <x = 0x%02X; x += 0x%02X> passed", step[0], step[1]);
        if (!TestPattern(line, FALSE, passed, result)) return kRunFailed;
    }
    if (!TestPattern(nullptr, TRUE, "Writing <x = LoopNum> passed", result)) return kRunFailed;
    return result;
}
