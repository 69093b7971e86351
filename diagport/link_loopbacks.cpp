// SCRport: a frame from SDRAM out through a board-link FPGA's port and back, looped inside the FPGA
// or by the connector on the port, in each of the four transfer formats.
#include <cstdio>
#include <cstring>

#include "devlib/dma_channel.h"
#include "diagport/port_colours.h"
#include "diagport/port_dma.h"
#include "diagport/scr_port.h"
#include "framework/arg_number.h"
#include "framework/hw/wexal_dcb.h"
#include "framework/param_string.h"

namespace {

using namespace portdma;

constexpr DWORD kStatus = 0x4010, kFpga = 0x4014, kRam = 0x4018, kSyncFlags = 0x58110;
constexpr DWORD kDone = 1u << 15, kChipSelect = 1u << 9, kCodeShift = 16, kCodeMask = 7u << 16;
constexpr DWORD kSdramEnable = 1, kLinkEnables = 3u << 3, kLoopbackMode = 1u << 8;
constexpr DWORD kWords = 0x300, kBytes = kWords * 4, kDestination = 0x1000000;
constexpr DWORD kMaxWaitMs = 256;

struct LinkPort {
    const char* token;
    char letter;
    DWORD device;
    int outbound, inbound;
    DWORD context, clockBit, syncBit;
};
constexpr LinkPort kPorts[] = {
    {"CFESK", 'C', 3, 37, 59, 0x98000, 1u << 1, 1u << 3},
    {"EFESK", 'E', 4, 36, 58, 0xA0000, 1u << 2, 1u << 2},
};

struct Format {
    DWORD is16bit;
    int inputFormat;
    const char* inbound;
    const char* outbound;
    const char* summary;
};
constexpr Format kFormats[4] = {
    {0, INPUT_FORMAT_422, "inbound Size: 8-bit Format: 4-2-2\n", "outbound Size: 8-bit Format: 4-2-2\n",
     "Test 0 -- SIZE: 8-Bit FORMAT: 4-2-2 "},
    {0, INPUT_FORMAT_4444, "inbound Size: 8-bit Format: 4x4\n", "outbound Size: 8-bit Format: 4x4\n",
     "Test 1 -- SIZE: 8-Bit FORMAT: 4x4 "},
    {1, INPUT_FORMAT_422, "Size: 16-bit Format: 4-2-2\n", "Size: 16-bit Format: 4-2-2\n", "Test 2 -- SIZE: 16-Bit FORMAT: 4-2-2 "},
    {1, INPUT_FORMAT_4444, "inbound Size: 16-bit Format: 4x4\n", "outbound Size: 16-bit Format: 4x4\n",
     "Test 3 -- SIZE: 16-Bit FORMAT: 4x4 "},
};

}  // namespace

DWORD SCRport::VantrelExternalLoopback(CString args, int verbose) { return VantrelLoopback(args, verbose, false); }

DWORD SCRport::VantrelInternalLoopback(CString args, int verbose) { return VantrelLoopback(args, verbose, true); }

DWORD SCRport::VantrelLoopback(const CString& args, int verboseLevel, bool internal) {
    const DWORD verbose = static_cast<DWORD>(verboseLevel);
    const LinkPort* port = nullptr;
    for (const LinkPort& p : kPorts)
        if (!port && std::strstr(args.c_str(), p.token)) port = &p;
    if (!port) {
        PrintColor("No CFESK or EFESK defined", kColorRed);
        return kRunFailed;
    }
    const ArgNumber full = ReadArgValue(CParamString(args), "FULL_TEST", platform::NumberForm::Decimal, platform::kSigned32Field);
    if (full.state == ArgRead::Refused) {
        PrintColor(full.refusal, kColorRed);
        return kRunFailed;
    }
    const int fullTest = full.state == ArgRead::Read ? static_cast<int>(full.value) : 1;
    const char* kind = internal ? "Internal" : "External";
    PrintColor("----------------------------------------------\n", kColorBlack);
    PrintColor(FormatString("DMA VelkoDRUN %c-Channel Vantrel %s Loopback ", port->letter, kind), kColorBlue);
    PrintDateTime(kColorBlue);
    PrintColor("\n", kColorBlack);
    const RegisterPtr bar0 = ChooseBAR0("Testing Brimola\n", "Testing Nuxa\n");
    if (!bar0) return kRunFailed;
    PrintColor(FormatString("BUF LEN = 0x%X\n", kWords), kColorBlack);
    PrintColor("Initializing SDRAM Controller\n", kColorBlack);
    SetBits(bar0, kRam, kSdramEnable);
    bar0[kFpga / 4] = (bar0[kFpga / 4] & ~kCodeMask) | port->device << kCodeShift;
    if (!(bar0[kFpga / 4] & kDone)) {
        PrintColor(FormatString("Vantrel (%d) : NOT LOADED\n", port->device), kColorDarkRed);
        return kRunFailed;
    }
    PrintColor(FormatString("Vantrel (%d) : LOADED\n", port->device), kColorBlack);
    if (!internal && !(bar0[kStatus / 4] & port->clockBit)) {
        PrintColor(FormatString("External Loopback Connector/Cable is NOT present for Vantrel %d\n", port->device), kColorDarkRed);
        return kRunFailed;
    }
    if (internal) {
        PrintColor("Power on Vantrel Port LVDS parts\n", kColorBlack);
        SetBits(bar0, kRam, kLinkEnables);
    } else {
        PrintColor("Power off, then on Ports LVDS parts\n", kColorBlack);
        ClearBits(bar0, kRam, kLinkEnables);
        SetBits(bar0, kRam, kLinkEnables);
        PrintColor("Reseting Vantrel\n", kColorBlack);
        ClearBits(bar0, kFpga, kChipSelect);
        Delay(1);
        SetBits(bar0, kFpga, kChipSelect);
        Delay(1);
        PrintColor("Clearing Loopback Mode in Jastel for Vantrel\n", kColorBlack);
        ClearBits(bar0, kRam, kLoopbackMode);
    }
    CWexalDMAChannel* out = PortChannel(port->outbound);
    CWexalDMAChannel* in = PortChannel(port->inbound);
    if (!in || !out) {
        PrintColor(FormatString("DMA Channels %d and %d are not available\n", port->outbound, port->inbound), kColorDarkRed);
        return kRunFailed;
    }
    // The internal loop is switched off again on every way out once it has been switched on.
    bool looped = false;
    FrameRun run;
    run.bar0 = bar0;
    run.in = in;
    run.out = out;
    run.context = port->context;
    run.syncBit = port->syncBit;
    run.fullTest = fullTest;
    run.verbose = verbose;
    run.announceFill = true;
    run.debugLine = true;
    run.abortMessage = true;
    run.contextText = "Setting up Context as F, Force Update\n";
    run.title = FormatString("DMA VelkoDRUN %c-Channel Vantrel %s Loopback", port->letter, kind);
    run.afterFlush = [&] {
        PrintColor(FormatString("Reset Vantrel - Device: %d\n", port->device), kColorBlack);
        ClearBits(bar0, kFpga, kChipSelect);
        Delay(1);
        SetBits(bar0, kFpga, kChipSelect);
        Delay(1);
        ClearBits(bar0, kFpga, kChipSelect);
        Delay(1);
    };
    if (internal)
        run.beforeContext = [&] {
            PrintColor("Programming Loopback Mode in Jastel for Vantrel\n", kColorBlack);
            SetBits(bar0, kRam, kLoopbackMode);
            looped = true;
        };
    run.leave = [&](bool) {
        if (looped) ClearBits(bar0, kRam, kLoopbackMode);
    };
    return RunFrameLoop(run);
}

DWORD SCRport::RunFrameLoop(const FrameRun& run) {
    const auto end = [&](DWORD result, bool finished = false) {
        if (run.leave) run.leave(finished);
        return result;
    };
    CWexalDMAChannel* in = run.in;
    CWexalDMAChannel* out = run.out;
    const DWORD verbose = run.verbose;
    BYTE results[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    int passed = 0, failed = 0;
    DWORD errors = 0, total = 0;
    bool timedOut = false;
    DWORD pattern[kWords], zeros[kWords];
    const char* rule = kRule;
    for (int t = 0; t < 4; ++t) {
        const Format& format = kFormats[t];
        results[t] = 0;
        if (run.announceFill) PrintColor("Filling the SDRAM\n", kColorBlack);
        for (DWORD i = 0, sinceDot = 0; i < kWords; ++i) {
            pattern[i] = (i % 256) * 0x01010101u + 0x03020100u;
            if (format.is16bit) pattern[i] &= 0xFFF8FFF8u;
            if (++sinceDot == 257) {
                PrintColor(".", kColorBlack);
                sinceDot = 0;
            }
        }
        PrintColor(".\n", kColorBlack);
        WriteMemory(pattern, 0, kBytes);
        PrintColor(FormatString("Reading the filled data from SDRAM at 0x%X\n", 0), kColorBlack);
        PrintColor(rule, kColorBlack);
        if (VerifySDRAM(pattern, 0, kBytes, verbose)) return end(kRunFailed);
        PrintColor(FormatString("Zeroing SDRAM at 0x%X\n", kDestination), kColorBlack);
        PrintColor(rule, kColorBlack);
        for (DWORD i = 0; i < kWords; ++i) {
            if (i % 256 == 0) PrintColor(".", kColorBlack);
            zeros[i] = 0;
        }
        PrintColor(".\n", kColorBlack);
        WriteMemory(zeros, kDestination, kBytes);
        PrintColor(FormatString("Check Zeroed Buffer at  0x%X\n", kDestination), kColorBlack);
        PrintColor(rule, kColorBlack);
        if (VerifySDRAM(zeros, kDestination, kBytes, verbose)) return end(kRunFailed);
        PrintColor(rule, kColorBlack);
        PrintColor(FormatString("Flush DMA Channel %d\n", in->GetChannel()), kColorBlack);
        in->Flush();
        PrintColor(FormatString("Flush DMA Channel %d\n", out->GetChannel()), kColorBlack);
        out->Flush();
        if (run.afterFlush) run.afterFlush();
        PrintColor(FormatString("Initializing DCB 1 Channel %d\n", in->GetChannel()), kColorBlack);
        PrintColor(format.inbound, kColorBlack);
        LoadDcb(*in, 1, {0, 0, kDestination, 2, 2, nullptr, format.is16bit, format.inputFormat, 0x100, 0x100});
        PrintColor("Initializing BCU 2\n", kColorBlack);
        SetRunningBcu(m_boardIF, 2);
        PrintColor(FormatString("Initializing DCB 1 Channel %d\n", out->GetChannel()), kColorBlack);
        PrintColor(format.outbound, kColorBlack);
        if (run.debugLine)
            PrintColor(FormatString("DEBUG: Outbound DCB1 DMA addr: 0x%X\n", 0x60020 + 0x200 * out->GetChannel()), kColorBlue);
        LoadDcb(*out, 1, {0, 0, 0, 2, 3, nullptr, format.is16bit, format.inputFormat, 0x100, 0x100});
        PrintColor("Initializing BCU 3\n", kColorBlack);
        SetRunningBcu(m_boardIF, 3);
        if (run.beforeContext) run.beforeContext();
        PrintColor(run.contextText, kColorBlack);
        run.bar0[run.context / 4] = 0xF;
        Delay(1);
        in->Trigger(1);
        out->Trigger(1);
        Delay(10);
        PrintColor(FormatString("Frame Size: Y=0x%X I=0x%X L=0x%X P=0x%X\n", 2, 0x100, 0x100, 0), kColorBlack);
        if (!WaitForDCB(in, out, kMaxWaitMs)) {
            ++errors;
            timedOut = true;
        }
        FlushSdramWrites();
        if (!timedOut) {
            PrintColor(FormatString("Reading the YJPI data at 0x%X from SDRAM\n", kDestination), kColorBlack);
            PrintColor(rule, kColorBlack);
            errors += VerifySDRAM(pattern, kDestination, kBytes, verbose);
            if (errors > static_cast<DWORD>(m_AbortCount)) {
                if (run.abortMessage) PrintColor("MAX ERROR COUNT EXCEEDED! aborting error printing....\n", kColorDarkRed);
                return end(kRunFailed);
            }
            if (run.bar0[kSyncFlags / 4] & run.syncBit) {
                PrintColor("Sync Error!!!\n", kColorRed);
                run.bar0[kSyncFlags / 4] = run.bar0[kSyncFlags / 4] | run.syncBit;
                ++errors;
            }
        }
        if (errors == 0) {
            results[t] = 1;
            PrintColor(FormatString("Test # %d PASSED\n", t), kGreen);
            ++passed;
        } else {
            PrintColor(FormatString("Test # %d  FAILED with %d errors\n", t, errors), kColorDarkRed);
            ++failed;
            total += errors;
            errors = 0;
        }
        if (run.fullTest == 0 || timedOut) break;
    }
    end(0, true);
    if (run.fullTest == 1)
        for (int t = 0; t < 4; ++t) {
            if (results[t] == 1) PrintColor(FormatString("%sPASSED\n", kFormats[t].summary), kGreen);
            if (results[t] == 0) PrintColor(FormatString("%sFAILED\n", kFormats[t].summary), kColorDarkRed);
        }
    if (passed) PrintColor(FormatString("%d # Tests PASSED\n", passed), kGreen);
    if (failed) {
        PrintColor(FormatString("%d # Tests FAILED\n", failed), kColorDarkRed);
        PrintColor(FormatString("%s FAILED with %d error(s)\nDONE.\n", run.title.c_str(), total), kColorDarkRed);
        return kRunFailed;
    }
    PrintColor(FormatString("%s PASSED\nDONE.\n", run.title.c_str()), kGreen);
    return kRunPassed;
}
