// CTestDCB ("DispDCB"): argument checks, the DCB's words read through BAR0, and each field of the channel's layout.
#include "boards/dma/test_dcb.h"

#include <cctype>

#include "boards/dma/dcb_display.h"
#include "devlib/arg_list.h"
#include "framework/result_screen.h"
#include "platform/number_text.h"

namespace {

// clang-format off
const char* const kChannelNames[dcbdisplay::kChannels] = {
    "BVideoIn0", "BVideoIn1", "BVideoIn2", "BVideoIn3", "VUtilIn", "EDRIn", "EDPOut", "Ch07",
    "Ch08", "BARIn1", "BARIn2", "BARIn3", "BVideoOut", "BAROut1", "BAROut2", "BAROut3",
    "BAudioIn1", "BAudioIn2", "BAudioIn3", "BAudioIn4", "PCIWrite1", "PCIWrite2", "MixerInA", "MixerInB",
    "AUtilOut", "MixerOut", "Ch26", "VUtilOut", "Ch28", "ExPortOut", "CodecOut", "Ch31",
    "Ch32", "Ch33", "FGIn", "BGIn", "CompAIn1", "CompAIn2", "BAudioOut", "AUtilIn",
    "DSK1Out", "DSK2Out", "Ch42", "Ch43", "CompAIn3", "CompAIn4", "DSK1AIn", "DSK2AIn",
    "Ch48", "Ch49", "PCIRead1", "PCIRead2", "CompFGIn", "CompBGIn", "DSK1FGIn", "DSK1BGIn",
    "EDROut", "CodecIn", "ExPortIn", "CompOut", "DSK2FGIn", "DSK2BGIn", "PPPFGOut", "PPPBGOut",
};
// clang-format on

DWORD Bits(DWORD word, int first, int count) { return word >> first & ((1u << count) - 1); }

// A field of two's complement bits, as the layout declares it signed.
int SignedBits(DWORD word, int first, int count) {
    return static_cast<int>(word << (32 - first - count)) >> (32 - count);
}

// A subscript is a decimal number and nothing else; one that names no DCB of a channel (outside
// 0-15, however many digits it has) is kept apart as out of bounds, never cut to one that does.
enum class Subscript { Missing, OutOfBounds, Read };
Subscript ReadSubscript(const CString& text, int& value) {
    if (text.IsEmpty() || !std::isdigit(static_cast<unsigned char>(text[text[0] == '-' ? 1 : 0]))) return Subscript::Missing;
    const platform::FieldScan read =
        platform::ReadField(text.c_str(), platform::NumberForm::Decimal, platform::NumberField{0, dcbdisplay::kDCBsPerChannel - 1});
    if (*read.end != '\0') return Subscript::Missing;
    if (read.fit != platform::NumberFit::Fits) return Subscript::OutOfBounds;
    value = static_cast<int>(read.value);
    return Subscript::Read;
}

const char kChannelsLine[] = " Channels: 01  02  03  04  05  06  07  08  09  10  11  12  13  14  15  16\n";

}  // namespace

CTestDCB::CTestDCB() { SetCodeName("DispDCB"); }

void CTestDCB::ShowHelp() {
    PrintBlack("DispDCB: Display specified DCB\nSyntax:  DispDCB <name>, <subscript>\nExample: DispDCB BARIn1, 7");
}

int CTestDCB::FindChannel(const CString& name) {
    for (int c = 0; c < dcbdisplay::kChannels; ++c)
        if (name == kChannelNames[c]) return c;
    return -1;
}

DWORD CTestDCB::Run(CString args) {
    PrintHeader(args, "Display DCB");
    ArgumentList list;
    list.Set(args.c_str());
    if (m_boardIF.ParseDevice(&list, 0, TRUE) != kRunPassed || m_boardIF.GetBAR0(TRUE) != kRunPassed) return kRunFailed;
    // "<name>, <subscript>": the comma may stand apart or close up to either side.
    CString rest;
    for (int i = 1; const char* word = list.Index(i); ++i) rest += CString(word) + " ";
    if (const int comma = rest.Find(','); comma >= 0) rest.SetAt(comma, ' ');
    ArgumentList parts;
    parts.Set(rest.c_str());
    const CString name = parts.Index(0) ? parts.Index(0) : "";
    const CString subscript = parts.Index(1) ? parts.Index(1) : "";
    int index = 0;
    if (name.IsEmpty()) {
        PrintRed("Error getting parameter 2");
        return kRunFailed;
    }
    const Subscript read = ReadSubscript(subscript, index);
    if (read == Subscript::Missing) {
        PrintRed("Error getting parameter 3");
        return kRunFailed;
    }
    const int channel = FindChannel(name);
    if (channel < 0) {
        PrintRed("Error in parameter 2 - DCB struct name not found");
        return kRunFailed;
    }
    if (read == Subscript::OutOfBounds) {
        PrintRed("Error in parameter 3 - index exceeds array bounds");
        return kRunFailed;
    }

    DWORD w[8];
    const DWORD block = dcbdisplay::kDCBBase + dcbdisplay::kChannelBytes * static_cast<DWORD>(channel);
    (m_boardIF.GetRegisters() + static_cast<std::ptrdiff_t>((block + 32 * index) / 4)).ReadBlock(w, 8);
    auto line = [this](const char* format, auto... values) { PrintColorFormat(kColorBlack, format, values...); };
    line("DCB offset: 0x%6.6X\n", block);
    line("WexalDCBOp: 0x%08X\n", w[0]);
    line("\tNext:  %02d, ForceBCU: %d, YRpt:  %d, Pack: 0x%x, Inten:    %d, Wait:   %d\n", Bits(w[0], 0, 6),
         Bits(w[0], 6, 1), Bits(w[0], 7, 1), SignedBits(w[0], 8, 3), Bits(w[0], 11, 1), Bits(w[0], 12, 1));
    line("\tWSize:  %d, IForm:    %d, BCUInc: %d, BCUSeq: 0x%X, BCUPtr: %d\n", Bits(w[0], 13, 1), Bits(w[0], 14, 1),
         Bits(w[0], 16, 1), Bits(w[0], 17, 6), w[0] >> 23);
    line("WexalDCBPort: 0x%08X\n", w[1]);
    const DWORD id = Bits(w[1], 0, 4), tag = Bits(w[1], 16, 12);
    switch (channel) {
    case 5: line("\tContext ID: %d, Field: %d, Task: %d, Tag: %d\n", id, Bits(w[1], 4, 1), Bits(w[1], 5, 1), tag); break;
    case 12: case 13:
        line("\tContext ID: %d, SConv: %d, CRound: %d, LRound: %d, Tag: %d\n", id, Bits(w[1], 4, 1), Bits(w[1], 5, 1),
             SignedBits(w[1], 6, 2), tag);
        break;
    case 16: case 17: line("\tContext ID: %d, SConv: %d, Tag: %d\n", id, Bits(w[1], 4, 1), tag); break;
    case 24: case 25: case 58: case 59:
        line("\tContext ID: %d, CRound: %d, LRound: %d, Tag: %d\n", id, Bits(w[1], 4, 1), SignedBits(w[1], 5, 2), tag);
        break;
    case 28: case 29: case 36: case 37: line("\tContext ID: %d, Tag: %d\n", id, tag); break;
    default: line("\tContextID: %d, SecCtrl: 0x%X, Tag: %d\n", id, Bits(w[1], 4, 6), tag); break;
    }
    line("SDRAM DMA Start address:       0x%08X\n", w[2]);
    line("Line length in DWORDs:         %d (0x%04X)\n", w[4] & 0xFFFF, w[4] & 0xFFFF);
    line("Number of lines (<=16383):     %d (0x%04X)\n", w[3] >> 16, w[3] >> 16);
    line("Initial line length in DWORDs: %d (0x%04X)\n", w[3] & 0xFFFF, w[3] & 0xFFFF);
    line("Interline SDRAM DWORD spacing: %d (0x%04X)\n", w[4] >> 16, w[4] >> 16);
    // Words 7 : 6 make one 64-bit value, the high half in word 7.
    const ULONGLONG upper = ULONGLONG{w[7]} << 32 | w[6];
    CString values;
    switch (channel) {
    case 12: case 13: case 16: case 17: line("PCI DMA address: 0x%016llX\n", static_cast<unsigned long long>(upper)); break;
    case 22: case 23:
        line("WexalDCBARemap (Audio): 0x%016llX\n", static_cast<unsigned long long>(upper));
        for (int i = 0; i < 16; ++i) values.AppendFormat(i ? "   %X" : "            %X", w[6 + i / 8] >> 4 * (i % 8) & 0xF);
        PrintColor(kChannelsLine + values + "\n", kColorBlack);
        break;
    case 41: {
        static constexpr int kShift[6] = {0, 5, 10, 16, 21, 26};
        line("WexalDCBAAlpha: (Gain) 0x%08X, 0x%08X, 0x%08X\n", w[5], w[6], w[7]);
        for (int i = 0; i < 16; ++i) values.AppendFormat(i ? "  %02X" : "           %02X", Bits(w[5 + i / 6], kShift[i % 6], 5));
        PrintColor(kChannelsLine + values + "\n", kColorBlack);
        break;
    }
    default: break;
    }
    return kRunPassed;
}
