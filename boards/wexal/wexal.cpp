// CWexal: construction, keyword dispatch, help, list commands, "Flush DMA" and the board helpers its sub-tests share.
#include "boards/wexal/wexal.h"

#include <cstdio>
#include <cstring>

#include "framework/arg_number.h"
#include "framework/list_selector.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "platform/clock.h"

namespace {

struct KeywordEntry {
    const char* keyword;
    DWORD code;
};

// Run's table, in the order the keywords are tried; none is a prefix of another.
constexpr KeywordEntry kRunKeywords[] = {
    {"CRC", CWexal::kCRC},
    {"IMAGE_LIST", CWexal::kImageList},
    {"RESOLUTION_LIST", CWexal::kResolutionList},
    {"\"Video Utility Client:YCbCr_8bit Image\"", CWexal::kVideoUtility8Bit},
    {"\"Host Transfer:Unpacked Image\"", CWexal::kHostUnpacked},
    {"\"Host Transfer:Packed Image\"", CWexal::kHostPacked},
    {"Modify Image/Resolution List", CWexal::kModifyLists},
    {"\"Save BMP Image\"", CWexal::kSaveBMP},
    {"Save Memory To File", CWexal::kSaveMemory},
    {"Dump Memory", CWexal::kDumpMemory},
    {"Clear Memory", CWexal::kClearMemory},
    {"Flush DMA", CWexal::kFlushDMA},
    {"Address Memory Test", CWexal::kAddressTest},
    {"March Memory Test", CWexal::kMarchTest},
    {"Random Memory Test", CWexal::kRandomTest},
    {"\"DMA Memory Test\"", CWexal::kDMAMemoryTest},
    {"\"DMA Memory Stress Test\"", CWexal::kDMAStressTest},
};

// Help's own table; only "Save Memory To File" and "Save BMP Image" have a help text.
constexpr KeywordEntry kHelpKeywords[] = {
    {"IMAGE_LIST", CWexal::kImageList},
    {"RESOLUTION_LIST", CWexal::kResolutionList},
    {"\"Video Utility Client:Unpacked Image\"", 0x2100},
    {"\"Video Utility Client:Packed Image\"", 0x1100},
    {"\"Host Transfer:Unpacked Image\"", CWexal::kHostUnpacked},
    {"\"Host Transfer:Packed Image\"", CWexal::kHostPacked},
    {"Modify Image/Resolution List", CWexal::kModifyLists},
    {"\"Save BMP Image\"", CWexal::kSaveBMP},
    {"Save Memory To File", CWexal::kSaveMemory},
};

// Every keyword is tried against the whole text; the last match stands. rest is what follows the
// keyword, leading white space removed; code 0 and an empty rest when nothing matched.
template <size_t N>
DWORD MatchKeyword(const KeywordEntry (&table)[N], const CString& text, CString& rest) {
    DWORD code = 0;
    rest.Empty();
    for (const KeywordEntry& entry : table) {
        const int length = static_cast<int>(std::strlen(entry.keyword));
        if (text.Left(length) == entry.keyword) {
            code = entry.code;
            rest = text.Mid(length);
            rest.TrimLeft();
        }
    }
    return code;
}

}  // namespace

CWexal::CWexal(CString name) : CWexalTreeMapTB(name) {
    SetCodeName(name);
    const int preset = StrListPreset(IsRegression(), IsEngineering());
    if (!m_imageList.SetDefaults(preset, TRUE)) PrintColor("Image Mode is UNDEFINED\n", kColorRed);
    if (!m_resolutionList.SetDefaults(preset)) PrintColor("Resolution Mode is UNDEFINED\n", kColorRed);
}

CWexal::~CWexal() = default;

DWORD CWexal::GetClockValue() { return m_clockValue; }

DWORD CWexal::SetClockValue(DWORD v) {
    m_clockValue = v;
    return v;
}

void CWexal::SetParent(CWexalTreeMapTB* parent) {
    m_parent = parent;
    AddToMap(parent);
}

CWexalTreeMapTB* CWexal::GetParent() { return m_parent; }

CStrListImages* CWexal::GetImageList() { return &m_imageList; }

CStrListResolutions* CWexal::GetResolutionList() { return &m_resolutionList; }

int CWexal::DefaultVerbose() { return IsEngineering() && !IsRegression() ? 2 : 1; }

DWORD CWexal::Run(CString command) {
    if (!GetParent()) {
        PrintColor("ERROR:  CWexal has no parent test; it runs only inside a board root.\n", kColorRed);
        return kRunFailed;
    }
    CString arguments;
    DWORD code = MatchKeyword(kRunKeywords, command, arguments);
    if (!GetDevice()) {
        PrintColor("Board Device is NULL\n", kColorRed);
        return kRunFailed;
    }

    long x = 0, y = 0;
    const ArgSize dim = ReadArgDim(command, true);
    const bool hasDim = dim.state == ArgRead::Read;
    if (hasDim) {
        x = static_cast<long>(dim.x);
        y = static_cast<long>(dim.y);
    }

    DWORD frames = 1;
    const ArgNumber framesRead = ReadArgAfter(command, "FRAMES=", platform::NumberForm::Decimal,
                                              platform::NumberField{1, kMaxFrames}, "FRAMES");
    if (framesRead.state != ArgRead::Absent) {
        code |= kFramesFlag;
        if (framesRead.state == ArgRead::Refused) {
            PrintColor("Number of frames must be between 1 and 15.", kColorRed);
            return kRunFailed;
        }
        frames = static_cast<DWORD>(framesRead.value);
    }

    int verbose = DefaultVerbose();
    const ArgNumber verboseRead =
        ReadArgValue(CParamString(command), "VERBOSE", platform::NumberForm::Decimal, platform::kSigned32Field);
    for (const CString& refusal : {dim.refusal, verboseRead.refusal}) {
        if (refusal.IsEmpty()) continue;
        PrintColor(refusal, kColorRed);
        return kRunFailed;
    }
    if (verboseRead.state == ArgRead::Read) verbose = static_cast<int>(verboseRead.value);
    const DWORD verboseLevel = static_cast<DWORD>(verbose);

    switch (code) {
    case kImageList: return RunListCommand(m_imageList, arguments);
    case kResolutionList: return RunListCommand(m_resolutionList, arguments);
    case kModifyLists: return ModifyLists();
    case kSaveMemory: return SaveMemoryToFile(static_cast<int>(code), arguments, verbose, FALSE) ? kRunPassed : kRunFailed;
    case kSaveBMP: return SaveBMPImage(code, arguments, 1, verboseLevel, FALSE) ? kRunPassed : kRunFailed;
    case kDumpMemory: return DumpMemory(arguments) == 1 ? kRunPassed : kRunFailed;
    case kClearMemory: return ClearMemory(arguments) == 1 ? kRunPassed : kRunFailed;
    case kFlushDMA: return FlushDMACommand(arguments);
    case kCRC: return ComputeCRC(arguments) == 1 ? kRunPassed : kRunFailed;
    case kAddressTest: return Addr_Mem_Test(arguments);
    case kMarchTest: return March_Mem_Test(arguments);
    case kRandomTest: return RandomMemTest(arguments);
    case kDMAMemoryTest: return DMA_MemoryTest(arguments);
    case kDMAStressTest: return DMA_MemoryStressTest(arguments);
    case kHostPacked:
    case kHostPacked | kFramesFlag:
    case kHostUnpacked:
    case kHostUnpacked | kFramesFlag:
    case kVideoUtility8Bit:
    case kVideoUtility8Bit | kFramesFlag:
        return RunImageHarness(code, command, arguments, hasDim, x, y, frames, verboseLevel);
    default:
        ReportNotRecognized(command);
        return kRunFailed;
    }
}

void CWexal::ReportNotRecognized(const CString& command) {
    PrintColor("\n\nERROR:  CWexal\n\"" + command + "\"\n Not recognized as a valid test\n", kColorRed);
}

DWORD CWexal::Help(CString text) {
    CString rest;
    const DWORD code = MatchKeyword(kHelpKeywords, text, rest);
    if (code == kSaveMemory) {
        SaveMemoryToFile(static_cast<int>(code), rest, 0, TRUE);
    } else if (code == kSaveBMP) {
        SaveBMPImage(code, rest, 0, 0, TRUE);
    } else {
        CString line;
        line.Format("\nHelp is not available for:\n  CWexal %s\n", text.c_str());
        PrintColor(line, kColorBlack);
    }
    return kRunPassed;
}

DWORD CWexal::RunListCommand(CStrList& list, const CString& arguments) {
    CString output;
    const BOOL done = list.DoCommand(arguments, output);
    PrintColor(output, kColorBlack);
    return done == 1 ? kRunPassed : kRunFailed;
}

DWORD CWexal::ModifyLists() {
    const int preset = StrListPreset(IsRegression(), IsEngineering());
    // Cancel leaves the lists as they were handed in; only a preset outside 0-3 is a failure.
    CStrListImages images;
    CStrListResolutions resolutions;
    if (!images.SetDefaults(preset, TRUE)) {
        PrintColor("Image Mode is UNDEFINED\n", kColorRed);
        return kRunFailed;
    }
    if (!resolutions.SetDefaults(preset)) {
        PrintColor("Resolution Mode is UNDEFINED\n", kColorRed);
        return kRunFailed;
    }
    COptionsSheetListSelector sheet(platform::GetMainWnd());
    sheet.SetImageResolutionSources(images, resolutions);
    sheet.SetImageResolutionSelections(m_imageList, m_resolutionList);
    sheet.DoModal();
    sheet.GetImageResolutionSelections(m_imageList, m_resolutionList);
    return IsStopRequested() ? kRunStopped : kRunPassed;  // a stop cancels the sheet
}

DWORD CWexal::FlushDMACommand(const CString& arguments) {
    // A negative or overlong number is no channel either, not one cut to fit.
    const ArgNumber read = ReadArgValue(CParamString(arguments), "CHANNEL", platform::NumberForm::Decimal,
                                        platform::NumberField{0, kChannelCount - 1});
    if (read.state == ArgRead::Absent) return kRunFailed;
    if (read.state == ArgRead::Refused) {
        CString value;
        CParamString(arguments).GetValue("CHANNEL", value);
        CString line;
        line.Format("ERROR:  CHANNEL=%s is not a DMA channel (0 to 63)\n", value.c_str());
        PrintColor(line, kColorRed);
        return kRunFailed;
    }
    return FlushDMA(static_cast<DWORD>(read.value));
}

DWORD CWexal::FlushDMA(DWORD channel) {
    CWexalDMAChannel* dma = channel < kChannelCount ? GetDMAChannel(static_cast<int>(channel)) : nullptr;
    if (!dma) return kRunFailed;
    dma->Flush();
    return kRunPassed;
}

CWexalBoardDevice* CWexal::GetBoardDevice() { return dynamic_cast<CWexalBoardDevice*>(GetDevice()); }

CWexalDMAChannel* CWexal::GetDMAChannel(int channel) {
    CWexalBoardDevice* board = GetBoardDevice();
    return board ? board->GetDMAChannel(channel) : nullptr;
}

RegisterPtr CWexal::GetBar0() {
    const RegisterPtr main = m_boardIF.GetMainBoardRegisters();
    return main ? main : m_boardIF.GetCodecBoardRegisters();
}

ULONGLONG CWexal::GetSDRAMSize() {
    const CDevAddrSpace* sdram = m_boardIF.GetSDRAMSpace();
    return sdram ? sdram->GetSize() : 0;
}

void CWexal::PostWriteFlush() {
    if (const RegisterPtr bar0 = GetBar0()) bar0[kPostWriteRegister / 4] = 0xFF;
    Sleep(1);
}

bool CWexal::IsStopRequested() {
    const int* flag = g_StopFlag();
    return flag && *flag != 0;
}
