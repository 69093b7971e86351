// SCRport: one kilobyte out of SDRAM through one DMA channel and back through another: the
// breakout-box audio loop (20 to 32, over the loopback connector) and the video utility client (38 to 57).
#include <algorithm>

#include "devlib/devices.h"
#include "devlib/dma_channel.h"
#include "diagport/port_colours.h"
#include "diagport/port_dma.h"
#include "diagport/scr_port.h"
#include "framework/hw/wexal_dcb.h"

namespace {

using namespace portdma;

constexpr DWORD kStatus = 0x4010, kSdramControl = 0x4018, kAudioControl = 0xE8010;
constexpr DWORD kVucInOp = 0x64C20, kVucOutOp = 0x67220;
constexpr int kAudioOut = 20, kAudioIn = 32, kVucIn = 38, kVucOut = 57;
constexpr const char* kDashes46 = "----------------------------------------------\n";

}  // namespace

CWexalDMAChannel* SCRport::PortChannel(int n) {
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    return board ? board->GetDMAChannel(n) : nullptr;
}

bool SCRport::WaitForDCB(CWexalDMAChannel* watched, CWexalDMAChannel* out, DWORD maxWaitMs) {
    WexalDCB live;
    DWORD elapsed = 10;
    watched->GetDCB(0, &live);
    bool timedOut = false;
    while (live.GetInitialLineLength() != 0 && !timedOut) {
        PrintColor(FormatString("%dms sec: Y and I 0x%08X 0x%08X\n", elapsed, live.GetLines(), live.GetInitialLineLength()), kColorBlue);
        if (elapsed > maxWaitMs) {
            PrintColor(FormatString("Waiting for the DCB to complete exceeded the maxtime of %dms\n", maxWaitMs), kColorRed);
            WexalDCB words;
            for (CWexalDMAChannel* channel : {out, watched}) {
                channel->GetDCB(0, &words);
                const char* which = channel == out ? "Outbound" : "Inbound";
                PrintColor(FormatString("%s Memory Read DCB Word 2 (Y 0x%04X and I 0x%04X)\n", which, words.GetLines(),
                                        words.GetInitialLineLength()),
                           kColorRed);
                PrintColor(FormatString("%s Memory Read DCB Word 3 (L 0x%04X P 0x%04X)\n", which, words.GetLineLength(), words.GetPad()),
                           kColorRed);
            }
            timedOut = true;
        }
        Delay(10);
        watched->GetDCB(0, &live);
        elapsed += 10;
    }
    return !timedOut;
}

DWORD SCRport::FarnoDeKAudioLoopback(CString, int verboseLevel) {
    const DWORD verbose = static_cast<DWORD>(verboseLevel);
    PrintColor(kDashes46, kColorBlack);
    PrintColor("DMA BOB Audio Loopback Test\n", kColorBlue);
    const RegisterPtr bar0 = ChooseBAR0("Testing Brimola\n", "Testing Nuxa\n");
    if (!bar0) return kRunFailed;
    CWexalDMAChannel* in = PortChannel(kAudioIn);
    CWexalDMAChannel* out = PortChannel(kAudioOut);
    if (!in || !out) {
        PrintColor("DMA Channels 20 and 32 are not available\n", kColorDarkRed);
        return kRunFailed;
    }
    in->Flush();
    out->Flush();
    if (!(bar0[kStatus / 4] & 1)) {
        PrintColor("Loopback connector is not present\n", kColorDarkRed);
        return kRunFailed;
    }
    PrintColor("Initializing SDRAM Controller\n", kColorBlack);
    bar0[kSdramControl / 4] = bar0[kSdramControl / 4] | 1;
    bar0[kAudioControl / 4] = 0x01000000;
    PrintColor("Filling the SDRAM\n", kColorBlack);
    // The low byte stays 0: the loop carries 24-bit samples.
    DWORD pattern[256], zeros[256] = {};
    for (DWORD i = 0; i < 256; ++i) pattern[i] = 0x100 * (i + 1);
    WriteMemory(pattern, 0, sizeof pattern);
    PrintColor("Reading the filled data from SDRAM\n", kColorBlack);
    PrintColor(kRule, kColorBlack);
    if (VerifySDRAM(pattern, 0, sizeof pattern, verbose)) return kRunFailed;
    PrintColor(kRule, kColorBlack);
    PrintColor("Zeroing at 0x800\n", kColorBlack);
    WriteMemory(zeros, 0x800, sizeof zeros);
    PrintColor("Reading from location 0x800 onwards....\n", kColorBlack);
    PrintColor(kRule, kColorBlack);
    if (VerifySDRAM(zeros, 0x800, sizeof zeros, verbose)) return kRunFailed;
    PrintColor(kRule, kColorBlack);
    PrintColor(FormatString("Initializing DCB 1 Channel %d\n", kAudioIn), kColorBlack);
    LoadDcb(*in, 1, {0, 0, 0x800, 2, 2, nullptr});
    PrintColor("Initialising BCU 2\n", kColorBlack);
    SetRunningBcu(m_boardIF, 2);
    PrintColor(FormatString("Initialising DCB 1 Channel %d\n", kAudioOut), kColorBlack);
    LoadDcb(*out, 1, {0, 0, 0x000, 2, 3, nullptr});
    PrintColor("Initialising BCU 3\n", kColorBlack);
    SetRunningBcu(m_boardIF, 3);
    out->Trigger(1);
    in->Trigger(1);
    Delay(10);
    FlushSdramWrites();
    PrintColor("Reading the BAI data at 0x800 from SDRAM\n", kColorBlack);
    PrintColor(kRule, kColorBlack);
    if (VerifySDRAM(pattern, 0x800, sizeof pattern, verbose)) {
        PrintColor("BoB Audio loopback test failed\n", kColorDarkRed);
        return kRunFailed;
    }
    PrintColor("BoB Audio loopback test passed\n", kGreen);
    return kRunPassed;
}

DWORD SCRport::PlayVUC(CString, int verboseLevel) {
    const DWORD verbose = static_cast<DWORD>(verboseLevel);
    const RegisterPtr bar0 = ChooseBAR0(nullptr, nullptr);
    if (!bar0) return kRunFailed;
    PrintColor(kDashes46, kColorBlack);
    PrintColor("DMA VUC Test\n422 - 8 bit\n", kColorBlue);
    PrintColor(kDashes46, kColorBlack);
    CWexalDMAChannel* in = PortChannel(kVucIn);
    CWexalDMAChannel* out = PortChannel(kVucOut);
    if (!in || !out) {
        PrintColor("DMA Channels 38 and 57 are not available\n", kColorDarkRed);
        return kRunFailed;
    }
    for (DWORD i = 0; i < kScratchWords; ++i) g_PatternBuffer[i] = 0x100 * i + ((i + 1) & 0xFF);
    std::fill(g_ReadBackBuffer, g_ReadBackBuffer + 256, 0u);
    PrintColor("Filling the SDRAM\n", kColorBlack);
    WriteMemory(g_PatternBuffer, 0x1C, 1024);
    FlushSdramWrites();
    PrintColor("Reading the filled data from SDRAM...\n", kColorBlack);
    std::fill(g_ReadBackBuffer, g_ReadBackBuffer + 256, 0u);
    // A read that fails is an error of its own: the cleared buffer must not stand for SDRAM data.
    int errors = ReadMemory(0x1C, g_ReadBackBuffer, 1024) ? 0 : 1;
    CompareWords(*this, g_PatternBuffer, g_ReadBackBuffer, 256, verbose, 0, errors);
    const auto summary = [&] {
        if (verbose == 0)
            PrintColor(FormatString("%d Errors found checking filled Data.\n", errors), errors ? kColorDarkRed : kGreen);
    };
    summary();
    PrintColor(kRule, kColorBlack);
    PrintColor("Zeroing at 0x800\n", kColorBlack);
    ClearSDRAM(0x800, 1024, 0);
    FlushSdramWrites();
    PrintColor("Reading from location 0x800 onwards....\n", kColorBlack);
    PrintColor(kRule, kColorBlack);
    std::fill(g_ReadBackBuffer, g_ReadBackBuffer + 256, 0u);
    if (!ReadMemory(0x800, g_ReadBackBuffer, 1024)) ++errors;
    CompareWords(*this, nullptr, g_ReadBackBuffer, 256, verbose, 0, errors);
    summary();
    PrintColor(FormatString("Flush DMA Channel %d\n", kVucIn), kColorBlack);
    in->Flush();
    PrintColor(FormatString("Flush DMA Channel %d\n", kVucOut), kColorBlack);
    out->Flush();
    Delay(500);
    const auto reportOp = [&](const char* name, DWORD offset) {
        PrintColor(FormatString("\nAddress of SCRport_Wexal.Brimola_ptr->DMACRB.%s[1].op.dw = 0x%08X\n", name,
                                (bar0 + offset / 4).ByteOffset()),
                   kColorBlack);
        PrintColor(FormatString("DMACRB.%s[1] = 0x%X. Needs to be 0x%X \n", name, offset, offset), kColorBlack);
        PrintColor(FormatString("\nSCRport_Wexal.Brimola_ptr->DMACRB.%s[1].op.dw = 0x%08X\n", name,
                                static_cast<DWORD>(bar0[offset / 4])),
                   kColorBlack);
    };
    PrintColor(FormatString("Initialising DCB 1 Channel %d\n", kVucOut), kColorBlack);
    LoadDcb(*out, 1, {0, 0, 0x81C, 1, 2, nullptr});
    reportOp("VUtilOut", kVucOutOp);
    PrintColor("Initialising BCU 2\n", kColorBlack);
    SetRunningBcu(m_boardIF, 2);
    PrintColor(FormatString("Initialising DCB 1 Channel %d\n", kVucIn), kColorBlack);
    LoadDcb(*in, 1, {0, 0, 0x01C, 1, 3, nullptr});
    reportOp("VUtilIn", kVucInOp);
    PrintColor("Initialising BCU 3\n", kColorBlack);
    SetRunningBcu(m_boardIF, 3);
    PrintColor(FormatString("Starting DCB %d Channel Out\n", kVucIn), kColorBlack);
    in->Trigger(1);
    Delay(50);
    PrintColor(FormatString("Starting DCB 0 %d Channel - Out\n", kVucOut), kColorBlack);
    out->Trigger(1);
    Delay(10);
    FlushSdramWrites();
    PrintColor("Reading the VUC data at 0x81C from SDRAM\n", kColorBlack);
    PrintColor(kRule, kColorBlack);
    if (VerifySDRAM(g_PatternBuffer, 0x81C, 1024, verbose)) {
        PrintColor("Video Utility Client test failed\n", kColorDarkRed);
        return kRunFailed;
    }
    PrintColor("Video Utility Client test passed\n", kGreen);
    return errors ? kRunFailed : kRunPassed;
}
