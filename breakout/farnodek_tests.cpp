// CFarnoDeKTests: the audio loopback through the breakout box, its pattern, DMA set-up and mismatch report.
#include "breakout/farnodek_tests.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "devlib/devices.h"
#include "devlib/wexal_spaces.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"

namespace {

constexpr COLORREF kRed = kColorRed, kGreen = kColorGreen, kBlack = kColorBlack;
constexpr int kChannelOut = 20, kChannelIn = 32;
constexpr DWORD kClearWord = 0x5A5A5A5A;

// BAR0 byte offsets.
constexpr DWORD kDcbArea = 0x60000, kBcuArea = 0x70000, kChannelControl = 0x58000;
constexpr DWORD kAudioSetupA = 0x48044, kAudioSetupB = 0x48048, kAudioEnable = 0xE8010;

// DCB 1 of each channel: one frame of 128 + 255 x 128 DWORDs, 16-bit, input format 1, through BCU 2
// (in) or 3 (out).
constexpr DWORD kDcbIn[8] = {0x01006000, 0, CFarnoDeKTests::kDestination, 0x00FF0080, 0x00000080, 0, 0, 0};
constexpr DWORD kDcbOut[8] = {0x01806000, 0, CFarnoDeKTests::kSource, 0x00FF0080, 0x00000080, 0, 0, 0};
// LinesPerSlice 2, BufferCapacity 3, Go, LinesWrittenToNextSlice 2, LinesReadFromNextSlice 2.
constexpr DWORD kBcu[4] = {0x20036002, 0x00000000, 0xF002F002, 0xFFC00000};

bool StopRequested() {
    const int* flag = g_StopFlag();
    return flag && *flag != 0;
}

}  // namespace

CFarnoDeKTests::CFarnoDeKTests(CString name) : CWexalTreeMapTB(name) { SetCodeName(name); }

void CFarnoDeKTests::SetParent(CWexalTreeMapTB* parent) {
    m_parent = parent;
    AddToMap(parent);
}

void CFarnoDeKTests::ShowHelp() {
    PrintRule(72, 0, kGreen);
    PrintBlack("FarnoDeK: Test for FarnoDeK.\n");
    PrintRule(72, 0, kGreen);
}

void CFarnoDeKTests::FillPattern(DWORD* pattern) {
    DWORD x = 0x12345678;
    for (DWORD i = 0; i < static_cast<DWORD>(kBlockDwords); ++i) {
        x = ((i + 13) * (x + 4)) ^ (0x111000 + 0x1000 * i);
        pattern[i] = x & 0xFFFFFF00;
    }
}

int CFarnoDeKTests::DumpWindows(int first, int last, Window windows[2]) {
    int s = first & ~3, e = (last + 4) & ~3;
    const int span = e - s;
    if (span > 40) {
        windows[0] = {s, 20};
        windows[1] = {e - 16, 16};
        return 2;
    }
    if (span < 40) {
        s -= ((40 - span) / 2) & ~3;
        e += ((44 - span) / 2) & ~3;
        if (s < 0) s = 0, e = 40;
        else if (e > kBlockDwords) s = kBlockDwords - 40, e = kBlockDwords;
    }
    windows[0] = {s, e - s};
    return 1;
}

void CFarnoDeKTests::ReportMismatch(const DWORD* expected, const DWORD* actual) {
    int first = 0, last = kBlockDwords - 1;
    while (expected[first] == actual[first]) ++first;
    while (expected[last] == actual[last]) --last;
    // Counts by category: 16 back, 8 back, 8 forward, 16 forward, no match.
    int counts[5] = {}, errors = 0;
    DWORD bits = 0;
    for (int i = first; i <= last; ++i) {
        const DWORD got = actual[i];
        if (got == expected[i]) continue;
        ++errors;
        if (i < kBlockDwords - 8 && got == expected[i + 8]) ++counts[2];
        else if (i >= 8 && got == expected[i - 8]) ++counts[1];
        else if (i < kBlockDwords - 16 && got == expected[i + 16]) ++counts[3];
        else if (i >= 16 && got == expected[i - 16]) ++counts[0];
        else {
            ++counts[4];
            bits |= expected[i] ^ got;
        }
    }
    PrintRed("\nFailed on final comparison.");
    PrintColorFormat(kBlack, " Of the %d DWORDs that were DMA'ed,", kBlockDwords);
    PrintColorFormat(kRed, " %d", errors);
    PrintColor(" differ from the originals.\n", kBlack);
    PrintColorFormat(kBlack, " Of those %d errors:\n", errors);
    static const char* const kLabels[5] = {
        "   the number which match the test pattern 16 DWORDs back is: ",
        "   the number which match the test pattern  8 DWORDs back is: ",
        "   the number which match the test pattern  8 DWORDs forward is: ",
        "   the number which match the test pattern 16 DWORDs forward is: ",
        "   the number which do not seem to match any expected value is: "};
    for (int c = 0; c < 5; ++c) {
        if (!counts[c]) continue;
        PrintColor(kLabels[c], kBlack);
        PrintColorFormat(kRed, "%d\n", counts[c]);
    }
    if (counts[4]) {
        PrintColor("   with differences occuring in these bit positions: ", kBlack);
        PrintColorFormat(kRed, "%8.8X\n", bits);
    }
    Window windows[2];
    const int n = DumpWindows(first, last, windows);
    const char* headers[2] = {"DMA+ %sExpected%s  %sPost-DMA%s\n", "   ...\n"};
    for (int w = 0; w < n; ++w)
        PrintCompare(headers[w], "%4.3X", static_cast<DWORD>(windows[w].from), 1, 8, windows[w].count,
                     expected + windows[w].from, actual + windows[w].from);
}

DWORD CFarnoDeKTests::Run(CString command) {
    PrintHeader(command, GetCodeName());
    if (StopRequested()) return kRunStopped;

    // No board or no controller block reads as a connector without a clock.
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    if (!board || !(board->GetBoBStatusByte(0x10) & 1)) {
        PrintRed("Cannot Test BoB: No BoB clock detected.");
        return kRunFailed;
    }
    PrintColorFormat(kBlack,
                     "BoB Audio In 1 and BoB Audio Out DMA Loopback test:\n %d bytes will be DMA'd through these "
                     "channels and the\n loopback cable...",
                     static_cast<int>(kBlockBytes));
    const RegisterPtr regs = m_boardIF.GetRegisters();
    CWexalBAR0Space* bar0 = m_boardIF.GetWexalBAR0Space();
    CWexalSDRAMSpace* sdram = m_boardIF.GetWexalSDRAMSpace();
    if (!regs || !bar0 || !sdram) {
        PrintRed("\nError in access to SDRAM.");
        return kRunFailed;
    }
    // Boards of hardware revision 0 need the audio path set up by hand.
    if (board->GetBoBStatusByte(1) == 0) {
        regs[kAudioSetupA / 4] = 0x08000023;
        regs[kAudioSetupB / 4] = 0x00080100;
    }

    Wexal_TrackDCB records[3] = {{kChannelOut, "BoB Audio Output ", kSource, 0, 0, 10},
                                 {kChannelIn, "BoB Audio Input 1", kDestination, 0, 0, 1},
                                 {64, nullptr, 0, 0, 0, 0}};
    auto fail = [&](const char* line) {
        if (line) PrintRed(line);
        bar0->ResetDCBs(records);
        return kRunFailed;
    };
    // The direct host window (0) is not offered by every board; window 1 reaches the same memory.
    auto* mapped = static_cast<DWORD*>(sdram->GetSDRAMPointer(KWO_RAMWIN_0, kSource, 2 * kBlockBytes));
    if (!mapped) mapped = static_cast<DWORD*>(sdram->GetSDRAMPointer(KWO_RAMWIN_1, kSource, 2 * kBlockBytes));
    if (!mapped) return fail("\nError in access to SDRAM.");
    regs[kAudioEnable / 4] = 0x01000000;
    DWORD* source = mapped;
    DWORD* destination = mapped + kBlockDwords;

    const auto expected = std::make_unique<DWORD[]>(kBlockDwords);
    const auto clear = std::make_unique<DWORD[]>(kBlockDwords);
    const auto readBack = std::make_unique<DWORD[]>(kBlockDwords);
    FillPattern(expected.get());
    std::fill_n(clear.get(), kBlockDwords, kClearWord);
    // Both blocks must hold what was written before the DMA can say anything.
    const struct {
        DWORD* block;
        const DWORD* content;
        const char* failure;
    } writes[2] = {{source, expected.get(), "\nFailed on SDRAM readback (of test pattern)."},
                   {destination, clear.get(), "\nFailed on SDRAM readback (of clear-out value)."}};
    for (const auto& w : writes) {
        std::memcpy(w.block, w.content, kBlockBytes);
        sdram->FlushSDRAM(0);
        std::memcpy(readBack.get(), w.block, kBlockBytes);
        if (std::memcmp(readBack.get(), w.content, kBlockBytes) != 0) return fail(w.failure);
    }

    bar0->ResetDCBs(records);
    if (StopRequested()) return kRunStopped;
    regs[(kChannelControl + 4 * kChannelOut) / 4] = 1;
    regs[(kChannelControl + 4 * kChannelIn) / 4] = 1;
    (regs + (kDcbArea + 0x200 * kChannelIn + 0x20) / 4).WriteBlock(kDcbIn, 8);
    (regs + (kBcuArea + 16 * 2) / 4).WriteBlock(kBcu, 4);
    (regs + (kDcbArea + 0x200 * kChannelOut + 0x20) / 4).WriteBlock(kDcbOut, 8);
    (regs + (kBcuArea + 16 * 3) / 4).WriteBlock(kBcu, 4);
    records[0].end = kSource + kBlockBytes;
    records[1].end = kDestination + kBlockBytes;

    if (!bar0->TripDCBs(records)) {
        CString text, piece;
        for (int r = 0; r < 2; ++r) {
            const DWORD done = records[r].progress - records[r].start, all = records[r].end - records[r].start;
            piece.Format("  Channel #%d (%s): ", records[r].channel, records[r].name);
            text += piece;
            if (all > done) piece.Format("~*RED*~0x%6.6X~*BLACK*~ of 0x%6.6X DWORDs DMA'd.\n", done, all);
            else piece.Format("all 0x%6.6X DWORDs transfered.\n", all);
            text += piece;
        }
        Print("~*BLACK*~DMA(s) ~*RED*~failed to complete:~*BLACK*~\n");
        Print(text);
        return fail(nullptr);
    }

    sdram->FlushSDRAM(0);
    std::memcpy(readBack.get(), destination, kBlockBytes);
    if (std::memcmp(readBack.get(), expected.get(), kBlockBytes) == 0) {
        PrintGreen(" Passed.\n");
        return kRunPassed;
    }
    ReportMismatch(expected.get(), readBack.get());
    return fail(nullptr);
}
