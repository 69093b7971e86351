// The DCB display of both board roots: channel dump with decoded DCBs and BCUs, and the coloured overview of DCB 0.
#include "boards/dma/dcb_display.h"

#include <cctype>

#include "devlib/dev_types.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/wexal_dcb.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "framework/wexal_test_base.h"
#include "platform/number_text.h"

namespace dcbdisplay {

namespace {

constexpr COLORREF kBlue = 0xFF0000;
constexpr COLORREF kDarkRed = 0x0000C0;
constexpr int kNoChannel = 200;  // a gap in the overview order

// clang-format off
const char* const kShortNames[kChannels] = {
    "BVi0", "BVi1", "BVi2", "BVi3", "BVo ", "EDPo", "AUBi", "    ", "    ", "TSi ", "    ", "    ", "TMo0", "TMo1", "TSo ", "    ",
    "TMi0", "TMi1", "    ", "    ", "BAo ", "AUCi", "AMiA", "AMiB", "YJAi", "YJBi", "    ", "    ", "YJAo", "YJBo", "    ", "    ",
    "BAi0", "BAi1", "BAi2", "BAi3", "YJEo", "YJCo", "VUCi", "EDRi", "AUCo", "AMo ", "D1o ", "    ", "CFGi", "CAi1", "D1Fi", "D2Ai",
    "D2o ", "EDRo", "AUBo", "    ", "CBGi", "CAi2", "D1Ai", "D2Fi", "Co  ", "VUCo", "YJEi", "YJCi", "CAi3", "CAi4", "D1Bi", "D2Bi",
};

const int kOverviewOrder[] = {
    0, 1, 2, 3, 4, 16, 12, kNoChannel, kNoChannel, 24, 28, 25, 29, 59, 37, 58, 36, 46, 62, 54, 42, 55, 63, 47, 48,
    44, 52, 45, 53, 60, 61, 56, 39, 49, 38, 57, 17, 13, 22, 23, 41, 21, 40, 32, 33, 34, 35, 20, 6, 50,
};
// clang-format on

RegisterPtr DCBAt(const RegisterPtr& bar0, int channel, int dcb) {
    return bar0 + static_cast<std::ptrdiff_t>((kDCBBase + kChannelBytes * channel + 32 * dcb) / 4);
}

BufferControlUnit BCUAt(const RegisterPtr& bar0, DWORD n) { return BufferControlUnit(bar0 + (kBCUBase + 16 * n) / 4); }

const char* InputFormatName(int format) {
    switch (format) {
    case INPUT_FORMAT_422: return "INPUT_FORMAT_422";
    case INPUT_FORMAT_4444: return "INPUT_FORMAT_4444";
    default: return "INPUT_FORMAT_UNKNOWN";
    }
}

// Sixteen values of a words 5-7 field, comma-separated.
template <class Field>
CString SixteenValues(const Field& field) {
    CString text;
    for (int i = 0; i < 16; ++i) {
        DWORD value = 0;
        field.GetSample(i, &value);
        text.AppendFormat(i ? ",%u" : "%u", value);
    }
    return text;
}

// Gains read through the same loop as the remap samples.
struct GainField {
    const WexalDCBAAlpha& alpha;
    BOOL GetSample(int i, DWORD* out) const { return alpha.GetGain(i, out); }
};

void PrintDecoded(CWexalTestBase& out, const RegisterPtr& bar0, int channel, const WexalDCB& dcb) {
    const WexalDCBOp& op = dcb.GetOpField();
    const WexalDCBPort& port = dcb.GetPortField();
    const DWORD* w = dcb.GetWords();
    out.PrintColor("  DMA Context Block (DCB) {\n", kColorBlack);
    out.PrintColorFormat(kColorBlack,
                         "    OP {\n      Next[%u]  ForceBCU[%u]  RepeatLine[%u]  IntEn[%u]  WaitDMA[%u]  16bit[%u]\n"
                         "      Pack[%s]  InputFormat[%s]\n      BCU[ Increment[%u]  Sequence[%u]  Pointer[%u] ]\n    }\n",
                         op.GetNext(), op.GetForceBCU(), op.GetRepeatLine(), op.GetIntEn(), op.GetWaitDMA(), op.Get16bit(),
                         PackName(op.GetPack()), InputFormatName(op.GetInputFormat()), op.GetBCUIncrement(),
                         op.GetBCUSequence(), op.GetBCUPointer());
    out.PrintColorFormat(kColorBlack,
                         "    Port {\n      Tag[0x%03X=%u]\n      Next Context ID[%u]\n      Secondary Control[%u]\n    }\n",
                         port.GetTag(), port.GetTag(), port.GetContextID(), port.GetSecondaryControl());
    out.PrintColorFormat(kColorBlack,
                         "    {\n      Start Addr[0x%08X]\n      Line Length[Initial[%u], %u]\n      Lines[%u] Pad[%u]\n    }\n",
                         dcb.GetStartAddress(), dcb.GetInitialLineLength(), dcb.GetLineLength(), dcb.GetLines(), dcb.GetPad());
    switch (channel) {
    case 12: case 13: case 16: case 17:
        // The bus address is word 7 : word 6, high half first.
        out.PrintColorFormat(kColorBlack, "    PCIAddress[0x%08X%08X]\n", w[7], w[6]);
        break;
    case 22: case 23:
        out.PrintColor("    Sample[" + SixteenValues(dcb.GetARemapField()) + "]\n", kColorBlack);
        break;
    case 41:
        out.PrintColor("    Gain[" + SixteenValues(GainField{dcb.GetAAlphaField()}) + "]\n", kColorBlack);
        break;
    default: break;
    }
    const BufferControlUnit bcu = BCUAt(bar0, op.GetBCUPointer());
    out.PrintColorFormat(kColorBlack,
                         "  Buffer Control Unit (BCU) {\n      Stop[%u]  Go[%u]  Read[%u]  Write[%u]\n"
                         "      BufferCapacity[%u]  Lines/Slice[%u]\n"
                         "      LinesWrittenToNextSlice[%u]  LinesReadFromNextSlice[%u]\n"
                         "      ValidSlicesInBuffer[%u]  CurrentBufferSequence[%u]\n  }\n\n",
                         bcu.GetStop(), bcu.GetGo(), bcu.GetRead(), bcu.GetWrite(), bcu.GetBufferCapacity(),
                         bcu.GetLinesPerSlice(), bcu.GetLinesWrittenToNextSlice(), bcu.GetLinesReadFromNextSlice(),
                         bcu.GetValidSlicesInBuffer(), bcu.GetCurrentBufferSequence());
    out.PrintColor("  }\n", kColorBlack);
}

void ShowChannel(CWexalTestBase& out, const RegisterPtr& bar0, int channel, const CString& title, bool decoded) {
    const DWORD base = kDCBBase + kChannelBytes * static_cast<DWORD>(channel);
    out.PrintColorFormat(kColorBlack, "%s[0x%08X]:\n", title.c_str(), base);
    const CPPVarDesc* block = out.GetDMACRB(channel);
    const char* name = block && block->name ? block->name : "Channel?";
    WexalDCB dcb;
    for (int w = 1; w <= 128; ++w) {
        if (w % 8 == 1) dcb = DCBAt(bar0, channel, (w - 1) / 8);
        if (w % 4 == 1) out.PrintColorFormat(kColorBlack, "%s[%d] 0x%08X:  ", name, w / 8, base + 4 * (w - 1));
        out.PrintColorFormat(kColorBlack, "0x%08X  ", dcb.GetWords()[(w - 1) % 8]);
        if (w % 8 == 0) out.PrintColorFormat(kColorBlack, "\n  BCU_Ptr[%u]\n", dcb.GetOpField().GetBCUPointer());
        else if (w % 4 == 0) out.PrintColor("\n", kColorBlack);
        if (w % 8 == 0 && decoded) PrintDecoded(out, bar0, channel, dcb);
    }
    out.PrintColor("\n", kColorBlack);
}

COLORREF SliceColour(const BufferControlUnit& bcu) {
    if (bcu.GetValidSlicesInBuffer() == 0) return kColorBlack;
    return bcu.GetValidSlicesInBuffer() == bcu.GetBufferCapacity() ? kBlue : kColorGreen;
}

CString BCUFields(DWORD n, const BufferControlUnit& bcu) {
    CString text;
    text.Format("%03X %03X %03X %03X %01X%01X%01X%01X\n", n, bcu.GetValidSlicesInBuffer(), bcu.GetLinesPerSlice(),
                bcu.GetBufferCapacity(), bcu.GetWrite(), bcu.GetRead(), bcu.GetGo(), bcu.GetStop());
    return text;
}

void ShowOverview(CWexalTestBase& out, const RegisterPtr& bar0) {
    out.PrintColor("Color Key: \n", kColorBlack);
    out.PrintColor(" Channel Disabled (OFF)              ", kBlue);
    out.PrintColor("             --- SCT=0\n", kColorBlack);
    out.PrintColor(" Channel Enabled, I or Y != 0 (RUN)  ", kColorRed);
    out.PrintColor("             --- SCT=BSZ\n", kBlue);
    out.PrintColor(" Channel Enabled, I and Y == 0 (EN)  ", kColorBlack);
    out.PrintColor("             --- SCT!=BSZ AND SCT!=0\n", kColorGreen);
    out.PrintColor(" Channel Enabled, I&Y==0 & Chan Active (ACT)  \n", kDarkRed);
    out.PrintColor("      E=ElementSize, F=InputFormat, P=Pack, LK=ChainPtr, D=ContextID\n", kColorBlack);
    out.PrintColor("NAME CH LLLL PPPP YYYY IIII ---SA--- D E F P LK TAG --- BCU SCT SSZ BSZ WRGS\n", kColorBlack);
    for (const int channel : kOverviewOrder) {
        if (channel == kNoChannel) continue;
        WexalDCB dcb;
        dcb = DCBAt(bar0, channel, 0);
        const WexalDCBOp& op = dcb.GetOpField();
        const char* state = "EN ";
        COLORREF colour = kColorBlack;
        if (!(bar0[static_cast<std::ptrdiff_t>((kControlBase + 4 * channel) / 4)] & 1)) {
            state = "OFF";
            colour = kBlue;
        } else if (dcb.GetInitialLineLength() || dcb.GetLines()) {
            state = "RUN";
            colour = kColorRed;
        } else if (out.GetBoardIF().IsChannelPresent(channel)) {
            state = "ACT";
            colour = kDarkRed;
        }
        out.PrintColorFormat(colour, "%s %02d %04X %04X %04X %04X %08X %01X %01X %01X %01X %02X %03X %s",
                             kShortNames[channel], channel, dcb.GetLineLength(), dcb.GetPad(), dcb.GetLines(),
                             dcb.GetInitialLineLength(), dcb.GetStartAddress(), dcb.GetPortField().GetContextID(),
                             op.Get16bit(), static_cast<DWORD>(op.GetInputFormat()), op.GetPack(), op.GetNext(),
                             dcb.GetPortField().GetTag(), state);
        const DWORD pointer = op.GetBCUPointer();
        const BufferControlUnit bcu = BCUAt(bar0, pointer);
        out.PrintColor(" " + BCUFields(pointer, bcu), SliceColour(bcu));
        // A reading channel (bit 2 of its number) chains into the next BCU when its Read flag is up, a
        // writing one when its Write flag is; the last BCU has none after it.
        const DWORD chained = (channel & 4) ? bcu.GetRead() : bcu.GetWrite();
        if (chained && pointer + 1 < static_cast<DWORD>(BufferControlUnit::kCount)) {
            const BufferControlUnit next = BCUAt(bar0, pointer + 1);
            out.PrintColor(CString(' ', 54) + BCUFields(pointer + 1, next), SliceColour(next));
        }
    }
}

}  // namespace

const char* PackName(DWORD pack) {
    switch (pack) {
    case WEXAL_DCBPACK_NONE: return "WEXAL_DCBPACK_NONE";
    case WEXAL_DCBPACK_4X: return "WEXAL_DCBPACK_4X";
    case WEXAL_DCBPACK_FFF: return "WEXAL_DCBPACK_FFF";
    case WEXAL_DCBPACK_WWWX: return "WEXAL_DCBPACK_WWWX";
    case WEXAL_DCBPACK_XXXW: return "WEXAL_DCBPACK_XXXW";
    case WEXAL_DCBPACK_RESV7: return "WEXAL_DCBPACK_RESV7";
    default: return "WEXAL_DCBPACK_UNKNOWN";
    }
}

DWORD ShowDCBInfo(CWexalTestBase& out, RegisterPtr bar0, const CString& text, bool withOverview) {
    if (!bar0) return kRunPassed;
    if (text.Left(8) == "Channel=") {
        CString number = text.Mid(8);
        number.TrimLeft();
        // Only a decimal number starting the value names a channel ("Channel=x" names none); one
        // past the channels, however many digits it has, names none either.
        if (!std::isdigit(static_cast<unsigned char>(number[0]))) return kRunPassed;
        const platform::FieldScan read =
            platform::ReadField(number.c_str(), platform::NumberForm::Decimal, platform::NumberField{0, kChannels - 1});
        if (read.fit != platform::NumberFit::Fits) return kRunPassed;
        const int channel = static_cast<int>(read.value);
        CString expand;
        const bool hexOnly = CParamString(text).GetValue("EXPAND", expand) && expand.CompareNoCase("HEX_ONLY") == 0;
        ShowChannel(out, bar0, channel, text, !hexOnly);
    } else if (withOverview && text.Left(8) == "All DCB0") {
        ShowOverview(out, bar0);
    }
    return kRunPassed;
}

}  // namespace dcbdisplay
