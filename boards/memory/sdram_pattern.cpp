// CSDRAM_QD_blockWR: marked writes through window 1, clean rewrites through window 2, checks through window 1.
#include "boards/memory/sdram_pattern.h"

#include <algorithm>
#include <cstring>

#include "boards/memory/mem_test.h"
#include "boards/wexal/wexal.h"
#include "devlib/wexal_spaces.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"

CSDRAM_Pattern::CSDRAM_Pattern(CString name, DWORD fill) : CWexalTreeMapTB(name) {
    SetCodeName(name);
    DWORD* p = m_pattern;
    auto four = [&p](DWORD value) { p = std::fill_n(p, 4, value); };
    four(0x00000000);
    four(0xFFFFFFFF);
    four(0x55555555);
    four(0xAAAAAAAA);
    for (int bit = 0; bit < 8; ++bit) four(0x01010101u << bit);
    for (int bit = 0; bit < 8; ++bit) four(~(0x01010101u << bit));
    four(0);
    p = std::fill_n(p, 8, fill);
    four(0);
    p = std::fill_n(p, 12, 0);  // words 96-107: SetBlockWords
    p = std::fill_n(p, 16, 0);
    const DWORD tail[4] = {0x12345678, 0x23456789, 0x3456789A, 0x456789AB};
    std::copy(tail, tail + 4, p);
}

void CSDRAM_Pattern::SetParent(CWexalTreeMapTB* parent) {
    m_parent = parent;
    AddToMap(parent);
}

CWexalTreeMapTB* CSDRAM_Pattern::GetParent() { return m_parent; }

void CSDRAM_Pattern::SetBlockWords(DWORD blockAddress, DWORD rangeStart, BOOL marked) {
    std::fill_n(m_pattern + 96, 4, marked ? (kMarker | ((blockAddress >> 8) & 0xFFFF)) : 0);
    std::fill_n(m_pattern + 100, 4, rangeStart);
    std::fill_n(m_pattern + 104, 4, blockAddress);
}

CSDRAM_QD_blockWR::CSDRAM_QD_blockWR(CString name) : CSDRAM_Pattern(name, kFillWord) {}

void CSDRAM_QD_blockWR::ShowHelp() {
    PrintRule(72, 0, kColorGreen);
    PrintColor("RAMblock: Tests 512-byte blocks of the SDRAM through both SDRAM windows\n\n", kColorBlack);
    PrintColor("Command formats:\n   RAMblockWR  addr\n   RAMblockWR  addr1-addr2\n\n"
               " This tests either the 512-byte block at SDRAM location 'addr'\n"
               "or the range of SDRAM locations from 'addr1' to 'addr2'.  The\n"
               "testing occurs in three steps:\n"
               " 1) A 512-byte pattern is written to each 512-byte block in the\n"
               "   SDRAM address range specified.  That pattern varies slightly\n"
               "   based on the address and it is smudged with four DWORDs of\n"
               "   value 0xBAD0xxxx.\n"
               " 2) A 512-byte pattern is written to each 512-byte block in the\n"
               "   SDRAM address range specified.  That pattern varies slightly\n"
               "   based on the address and is not smudged.  These writes are\n"
               "   performed using a different subwindow than in step 1.\n"
               " 3) The 512-byte patterns are read back using the same subwindow\n"
               "   as in step 1.  Those patterns are compared to the unsmudged\n"
               "   version of the patterns and all differences are reported.\n"
               " The tests passes if the data read is the same as the data\n"
               "written.\n",
               kColorBlack);
    PrintRule(72, 0, kColorGreen);
}

void CSDRAM_QD_blockWR::AlignRange(ULONGLONG from, ULONGLONG to, DWORD& first, DWORD& last, DWORD& rangeStart) {
    DWORD start = static_cast<DWORD>(std::min<ULONGLONG>(from, 0xFFFFFFFF));
    const DWORD end = static_cast<DWORD>(std::min<ULONGLONG>(to, 0xFFFFFFFF)) & kAlignMask;
    if (start > end) start = end;
    rangeStart = start;
    first = start & kAlignMask;
    last = end;
}

DWORD CSDRAM_QD_blockWR::WriteBlocks(int window, DWORD first, DWORD last, DWORD rangeStart, BOOL marked) {
    CWexalSDRAMSpace* sdram = m_boardIF.GetWexalSDRAMSpace();
    for (DWORD block = first;; block += kBlockBytes) {
        if (CWexal::IsStopRequested()) return kRunStopped;
        SetBlockWords(block, rangeStart, marked);
        void* target = sdram ? sdram->GetSDRAMPointer(static_cast<KWO_RAMWINTYPE>(window), block, kBlockBytes) : nullptr;
        if (!target) return 0;
        std::memcpy(target, m_pattern, kBlockBytes);
        if (block >= last) break;
    }
    sdram->FlushSDRAM(0);
    return 1;
}

DWORD CSDRAM_QD_blockWR::Run(CString arguments) {
    PrintHeader("SDRAM 512-byte blocks through both windows", "");
    PrintColor("\n", kColorBlack);
    if (CWexal::IsStopRequested()) return kRunStopped;

    // The range is hexadecimal with or without its 0x prefixes.
    CString range = SkipCommandWord(arguments);
    range.Replace("0x", "");
    range.Replace("0X", "");
    ULONGLONG from = 0, to = 0;
    GetListRange(range, 0, from, to, 1);
    DWORD first = 0, last = 0, rangeStart = 0;
    AlignRange(from, to, first, last, rangeStart);

    // Step 1 smudges every block through window 1; step 2 must overwrite it through window 2.
    for (const auto& [window, marked] : {std::pair{1, TRUE}, std::pair{2, FALSE}}) {
        const DWORD written = WriteBlocks(window, first, last, rangeStart, marked);
        if (written == kRunStopped) return kRunStopped;
        if (written == 0) {
            PrintColor(kNoSdramWindow, kColorRed);
            return kRunFailed;
        }
    }

    CWexalSDRAMSpace* sdram = m_boardIF.GetWexalSDRAMSpace();
    DWORD result = kRunPassed;
    for (DWORD block = first;; block += kBlockBytes) {
        if (CWexal::IsStopRequested()) return kRunStopped;
        SetBlockWords(block, rangeStart, FALSE);
        const void* source = sdram ? sdram->GetSDRAMPointer(KWO_RAMWIN_1, block, kBlockBytes) : nullptr;
        if (!source) {
            PrintColor(kNoSdramWindow, kColorRed);
            return kRunFailed;
        }
        if (std::memcmp(source, m_pattern, kBlockBytes) != 0) {
            DWORD actual[kBlockWords];
            std::memcpy(actual, source, kBlockBytes);
            PrintColorFormat(kColorRed, "512-byte SDRAM block at 0x%8.8X failed the R/W check.\n", block);
            PrintCompare("Addr %sExpected%s  %s.Actual.%s\n", "+%3.3X", 0, 4, 8, kBlockWords, m_pattern, actual);
            result = kRunFailed;
        }
        if (block >= last) break;
    }
    if (result == kRunPassed) PrintColor("Pass\n", kColorGreen);
    return result;
}
