// SCRport: a frame through a PPP port of the main FPGA to the keyer and back, turned round inside the
// keyer or passed on through the FPGA pair of the same letter.
#include <cstdio>
#include <cstring>

#include "devlib/dma_channel.h"
#include "diagport/port_colours.h"
#include "diagport/port_dma.h"
#include "diagport/scr_port.h"
#include "framework/arg_number.h"
#include "framework/param_string.h"

namespace {

using portdma::ClearBits;
using portdma::SetBits;

constexpr DWORD kRam = 0x4018, kRamEnables = 0x1F, kKeyerId = 0xBFC8, kKeyerDcm = 0xBFD0;
constexpr DWORD kPortControl = 0x3C4, kControlTwo = 0x3C8;
constexpr DWORD kLoopback = 1u << 15, kPassthru = 1u << 14;
constexpr DWORD kDatapathResets = 0x50000, kRequiredDcms = 0x47u << 24;
constexpr DWORD kPairId = 0x3FC8, kPairDatapath = 0x3FD0, kDdrControl[2] = {0x1FC4, 0x27C4}, kDdrStatus[2] = {0x1FFC, 0x27FC};
constexpr DWORD kDdrDone = 3u << 18, kUnconfigured = 0xFFFFFFFF;
constexpr const char* kDefaultPairFile = "$(CWD)\\testdata\\TAZU$(VPDVER).oxd";

struct PppChannel {
    const char* loopToken;
    const char* pairToken;
    char letter;
    int outbound, inbound;
    DWORD context, keyerBlock, syncBit, pairWindow;
    int device;
};
constexpr PppChannel kChannels[] = {
    {"YJP-PPA", "SulvethA", 'A', 28, 24, 0x88000, 0x8C00, 1u << 0, 0x18000, 1},
    {"YJP-PPB", "SulvethB", 'B', 29, 25, 0x90000, 0xAC00, 1u << 1, 0x1C000, 2},
};

}  // namespace

DWORD SCRport::PPPKerzilLoopback(CString args, int verbose) { return PPPLoopback(args, verbose, false); }

DWORD SCRport::PPPKerzilToSulveth(CString args, int verbose) { return PPPLoopback(args, verbose, true); }

DWORD SCRport::PPPLoopback(const CString& args, int verboseLevel, bool throughPair) {
    const PppChannel* channel = nullptr;
    for (const PppChannel& c : kChannels)
        if (!channel && std::strstr(args.c_str(), throughPair ? c.pairToken : c.loopToken)) channel = &c;
    if (!channel) {
        PrintColor(throughPair ? "No SulvethA or SulvethB defined" : "No YJP-PPA or YJP-PPB defined", kColorRed);
        return kRunFailed;
    }
    const CParamString params(args);
    const ArgNumber full = ReadArgValue(params, "FULL_TEST", platform::NumberForm::Decimal, platform::kSigned32Field);
    if (full.state == ArgRead::Refused) {
        PrintColor(full.refusal, kColorRed);
        return kRunFailed;
    }
    const int fullTest = full.state == ArgRead::Read ? static_cast<int>(full.value) : 1;
    CString value;
    CString wanted = kDefaultPairFile;
    if (throughPair && params.GetValue("FPGA", value)) wanted = value;
    const RegisterPtr bar0 = m_boardIF.GetMainBoardRegisters();
    if (!bar0) {
        PrintColor("BrimolaBAR0 not setup or Brimola not found in system", kColorRed);
        return kRunFailed;
    }
    const DWORD controlTwo = channel->keyerBlock + kControlTwo;
    const DWORD savedLoopback = bar0[controlTwo / 4] & kLoopback;
    // LOOPBACK goes back to what it was on every way out from here.
    const auto restore = [&] { bar0[controlTwo / 4] = (bar0[controlTwo / 4] & ~kLoopback) | savedLoopback; };
    const auto fail = [&] {
        restore();
        return kRunFailed;
    };
    PrintColor("----------------------------------------------\n", kColorBlack);
    PrintColor(throughPair ? FormatString("VelkoDRUN %c-Channel PPP Kerzil to Sulveth%c Started: ", channel->letter, channel->letter)
                           : FormatString("VelkoDRUN %c-Channel PPP Kerzil Loopback  Started: ", channel->letter),
               kColorBlue);
    PrintDateTime(kColorBlue);
    PrintColor("\n", kColorBlack);
    PrintColor("Initializing SDRAM Controller\n", kColorBlack);
    SetBits(bar0, kRam, kRamEnables);
    if ((bar0[kKeyerId / 4] >> 20) == 0xFFF) {
        PrintColor("ERROR: Kerzil has not been downloaded\n", kColorDarkRed);
        return fail();
    }
    if (!throughPair) {
        PrintColor(FormatString("BUF LEN = 0x%X\n", 0x300), kColorBlack);
        const DWORD dcm = bar0[kKeyerDcm / 4];
        PrintColor(FormatString("Kerzil DCM Status: 0x%X", dcm), kColorBlack);
        if ((dcm & kRequiredDcms) != kRequiredDcms) {
            PrintColor(" Some DCMs not locked\n", kColorRed);
            PrintColor(" LockTAPB(26) LockTAPA(25) LockMain(24)\n", kColorBlue);
            PrintColor(" LockMain2(30) LockUlt(29) LockAOPB(28) LockAOPA(27)\n", kColorBlue);
            if (!(dcm & 1u << 25)) PrintColor(" LockTAPA is not locked\n", kColorRed);
            if (!(dcm & 1u << 26)) PrintColor(" LockTAPB is not locked\n", kColorRed);
            return fail();
        }
        PrintColor("\n", kColorBlack);
    } else if (!PreparePair(bar0, channel->letter, channel->device, channel->pairWindow, channel->keyerBlock, wanted)) {
        return fail();
    }
    CWexalDMAChannel* out = PortChannel(channel->outbound);
    CWexalDMAChannel* in = PortChannel(channel->inbound);
    if (!in || !out) {
        PrintColor(FormatString("DMA Channels %d and %d are not available\n", channel->outbound, channel->inbound), kColorDarkRed);
        return fail();
    }
    FrameRun run;
    run.bar0 = bar0;
    run.in = in;
    run.out = out;
    run.context = channel->context;
    run.syncBit = channel->syncBit;
    run.fullTest = fullTest;
    run.verbose = static_cast<DWORD>(verboseLevel);
    run.announceFill = run.debugLine = run.abortMessage = throughPair;
    run.contextText = "Setting up Context as F\n";
    run.title = throughPair ? FormatString("VelkoDRUN %c-Channel PPP Kerzil to Sulveth", channel->letter)
                            : FormatString("VelkoDRUN %c-Channel PPP Kerzil Loopback", channel->letter);
    if (!throughPair)
        run.beforeContext = [&] {
            PrintColor("Programming Loopback Mode in Kerzil\n", kColorBlack);
            SetBits(bar0, controlTwo, kLoopback);
        };
    run.leave = [&](bool finished) {
        if (finished) PrintColor("Take Kerzil out of Loopback\n", kColorBlack);
        restore();
    };
    return RunFrameLoop(run);
}

bool SCRport::PreparePair(const RegisterPtr& bar0, char letter, int device, DWORD window, DWORD keyerBlock, const CString& wanted) {
    const PairImages& pairs = m_pairImages;
    const bool pair = pairs.current && pairs.defaultFile && pairs.setCurrent && pairs.program;
    const CString current = pair ? pairs.current(letter) : CString();
    const CString defaultFile = pair ? pairs.defaultFile(letter) : CString();
    PrintColor("CurrentOXD:  " + current + "\n", kColorBlack);
    PrintColor("DefaultOXD:  " + defaultFile + "\n", kColorBlack);
    if (!pair || bar0[(window + kPairId) / 4] == kUnconfigured || defaultFile.IsEmpty()) {
        PrintColor(FormatString("ERROR: Sulveth %c has not been downloaded\n", letter), kColorDarkRed);
        return false;
    }
    if (current.CompareNoCase(wanted.c_str()) != 0) {
        const CString command = FormatString("Program DEVICE=%d FILE=%s", device, wanted.c_str());
        // A download that fails leaves the pair with no known image: it is reported, not recorded.
        if (pairs.program(command, static_cast<DWORD>(device)) != kRunPassed) {
            PrintColor(FormatString("ERROR: Sulveth %c could not be programmed\n", letter), kColorDarkRed);
            return false;
        }
        pairs.setCurrent(letter, wanted);
    }
    const DWORD controlTwo = keyerBlock + kControlTwo, portControl = keyerBlock + kPortControl;
    PrintColor("Programming NO Loopback in Kerzil\n", kColorBlack);
    ClearBits(bar0, controlTwo, kLoopback);
    SetBits(bar0, controlTwo, kPassthru);
    SetBits(bar0, portControl, 1u << 30);
    SetBits(bar0, portControl, 1u << 31);
    PrintColor(FormatString("Reset Kerzil %c channel Datapath\n", letter), kColorBlack);
    SetBits(bar0, kKeyerDcm, kDatapathResets);
    ClearBits(bar0, kKeyerDcm, kDatapathResets);
    PrintColor(FormatString("Reset Sulveth %c channel Datapath\n", letter), kColorBlack);
    SetBits(bar0, window + kPairDatapath, kDatapathResets);
    ClearBits(bar0, window + kPairDatapath, kDatapathResets);
    PrintColor("Programming Mask Skew/Scale of Sulveth SDRAM Control Regs\n", kColorBlack);
    bar0[(window + kDdrControl[0]) / 4] = 0x16;
    bar0[(window + kDdrControl[1]) / 4] = 0x16;
    Delay(10);
    static constexpr const char* kPass[2] = {"1st", "2st"};
    for (int pass = 0; pass < 2; ++pass)
        if ((bar0[(window + kDdrStatus[pass]) / 4] & kDdrDone) != kDdrDone) {
            PrintColor(FormatString("Initialization NOT completed in time: Sulveth %c %s-Pass DDR chips\n", letter, kPass[pass]),
                       kColorDarkRed);
            return false;
        }
    PrintColor("Initialization Complete.\n", kColorBlack);
    return true;
}
