// SCRport: the message and LTC loopbacks of the breakout-box port, run with the loopback connector in place of the box.
#include "diagport/port_colours.h"
#include "diagport/scr_port.h"

namespace {

constexpr DWORD kStatus = 0x4010;
constexpr DWORD kPortStatus = 0x80000, kFrameCounter = 0x80208, kReply = 0x80210, kLtcIn = 0x80218;
constexpr DWORD kLtcOut = 0x80340, kMessageLow = 0x80380, kMessageHigh = 0x80384;
constexpr DWORD kSend = 0x80000000;

constexpr DWORD kMessageWords[16] = {0x10000000, 0x11111111, 0x22222222, 0x33333333, 0x44444444, 0x55555555,
                                     0x66666666, 0xAAAAAAAA, 0xBBBBBBBB, 0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00,
                                     0xF0F0F0F0, 0xCCCCCCCC, 0xAAAAAAAA, 0x00000000};
// Bit 31 of the LTC words stays clear: the input register does not carry it.
constexpr DWORD kLtcWords[16] = {0x10000000, 0x11111111, 0x22222222, 0x33333333, 0x44444444, 0x55555555,
                                 0x66666666, 0x2AAAAAAA, 0x3BBBBBBB, 0x7FFFFFFF, 0x7FFF0000, 0x7F00FF00,
                                 0x70F0F0F0, 0x4CCCCCCC, 0x5AAAAAAA, 0x00000000};

}  // namespace

// Board choice and connector check shared by both loopbacks; null after the message.
static RegisterPtr PrepareLoopback(SCRport& port, const CWexalBoardIF& board) {
    port.PrintColor("----------------------------------------------\n", kColorBlack);
    port.PrintColor("DMA BOB Audio Loopback Test\n", kColorBlue);
    RegisterPtr bar0;
    if ((bar0 = board.GetMainBoardRegisters())) {
        port.PrintColor("Testing Brimola\n", kColorBlue);
    } else if ((bar0 = board.GetCodecBoardRegisters())) {
        port.PrintColor("Testing Nuxa\n", kColorBlue);
    } else {
        port.PrintColor("BrimolaBAR0 and PNuxaBAR0 not setup", kColorRed);
        return RegisterPtr();
    }
    if (!(bar0[kStatus / 4] & 1)) {
        port.PrintColor("Loopback connector is not present\n", kColorDarkRed);
        return RegisterPtr();
    }
    return bar0;
}

// Reads the register 17 times and writes the last value back as often; answers that value.
static DWORD SaveRegister(const RegisterPtr& bar0, DWORD offset) {
    DWORD saved = 0;
    for (int i = 0; i < 17; ++i) saved = bar0[offset / 4];
    for (int i = 0; i < 17; ++i) bar0[offset / 4] = saved;
    return saved;
}

DWORD SCRport::FarnoDeKCOMLoopback(CString, int verbose) {
    const RegisterPtr bar0 = PrepareLoopback(*this, m_boardIF);
    if (!bar0) return kRunFailed;
    const DWORD saved = SaveRegister(bar0, kReply);
    int errors = 0;
    for (DWORD word : kMessageWords) {
        bar0[kMessageLow / 4] = word;
        bar0[kMessageHigh / 4] = kSend;
        Delay(10);
        const DWORD reply = bar0[kReply / 4];
        (void)static_cast<DWORD>(bar0[kFrameCounter / 4]);
        if (verbose) {
            PrintColor(FormatString("MSG-LO: 0x%X\nMSG-HI: 0x%X\n", word, kSend), kColorBlack);
            if (reply == word) PrintColor(FormatString("REPLY: 0x%X\n", word), kColorGreen);
        }
        if (reply != word) {
            PrintColor(FormatString("Expected REPLY: 0x%X Read REPLY: 0x%X\n", word, reply), kColorDarkRed);
            ++errors;
        }
        bar0[kReply / 4] = saved;
    }
    PrintColor("---\n", kColorBlack);
    PrintColor(FormatString("Summary: (%d W/R transactions tried)\n", 16), kColorBlack);
    if (errors) return kRunFailed;
    PrintColor("All REPLY reads passed\n", kColorGreen);
    return kRunPassed;
}

DWORD SCRport::LTCLoopback(CString, int verbose) {
    const RegisterPtr bar0 = PrepareLoopback(*this, m_boardIF);
    if (!bar0) return kRunFailed;
    const DWORD saved = SaveRegister(bar0, kLtcIn);
    auto idleBits = [&] {
        const DWORD status = bar0[kPortStatus / 4];
        return FormatString("LTCin_MT: 0x%X\nLTCout_MT: 0x%X\n", status >> 14 & 1, status >> 10 & 1);
    };
    int errors = 0;
    for (DWORD word : kLtcWords) {
        bar0[kLtcOut / 4] = word;
        Delay(10);
        const DWORD value = bar0[kLtcIn / 4];
        if (verbose) {
            PrintColor(idleBits(), kColorBlack);
            if (value == word) PrintColor(FormatString("LTC: 0x%X\n", value), kColorGreen);
        }
        if (value != word) {
            PrintColor(FormatString("Expected LTC: 0x%X Read LTC: 0x%X\n", word, value), kColorDarkRed);
            PrintColor(idleBits(), kColorDarkRed);
            ++errors;
        }
        bar0[kLtcIn / 4] = saved;
    }
    PrintColor("Done.\n", kColorBlack);
    return errors ? kRunFailed : kRunPassed;
}
