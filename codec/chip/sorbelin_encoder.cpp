// CSorbelinEncoder: construction with the default environment and lists, dispatch, help, environment, revision, DDR wait.
#include "codec/chip/sorbelin_encoder.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>
#include <string>

#include "codec/dsp/zyv_file.h"
#include "devlib/wexal_spaces.h"
#include "framework/arg_number.h"
#include "framework/list_selector.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "platform/clock.h"
#include "platform/host_ui.h"

namespace {

constexpr const char* kReferenceFolder = "$(CWD)\\testdata\\VCID\\$(VCID_LIST)\\";

// Every keyword of the dispatcher, in the order they are tried.
enum Code { kNone, kShowRevID, kCompareFiles, kRAMInit, kVideoBypass, kEncode, kSetEnvironment, kClearEnvironment, kDumpRegs,
            kModifyListImage, kModifyListOnFail, kDetermineZyvPackage };
struct Keyword {
    const char* text;
    Code code;
};
constexpr Keyword kKeywords[] = {
    {"Show RevID", kShowRevID},
    {"Compare Files", kCompareFiles},
    {"RAM_Init", kRAMInit},
    {"\"Video:Bypass\"", kVideoBypass},
    {"Encode", kEncode},
    {"Set Environment", kSetEnvironment},
    {"Clear Environment", kClearEnvironment},
    {"Dump Regs", kDumpRegs},
    {"Modify List Image", kModifyListImage},
    {"Modify List OnFail", kModifyListOnFail},
    {"Determine Zyv Package", kDetermineZyvPackage},
};

// The last keyword that starts the command, and the rest of the command after it, leading blanks
// removed (the whole command so trimmed when none matches).
Code MatchKeyword(const CString& command, CString& arguments) {
    Code code = kNone;
    arguments = command;
    for (const Keyword& k : kKeywords) {
        if (command.Find(k.text) != 0) continue;
        code = k.code;
        arguments = command.Mid(static_cast<int>(std::char_traits<char>::length(k.text)));
    }
    arguments.TrimLeft(" \t\r\n");
    return code;
}

const char* const kEncodeHelp[] = {
    "    For each VCID in list",
    "      FlushDMAStreams  - All streams to/from sorbelin",
    "         (COLAIN,COLBIN,COLAOUT,COLBOUT,EXPB_IN)",
    "      Download Microcode to DSP",
    "      Set state of DSP to RUN",
    "      Create DSP Encode Table List handle",
    "      Scan through VCIDs in GUWTxxx.oxd adding tables to DSP memory",
    "      Enable RAM clock on Sorbelin",
    "      Program Sorbelin",
    "      Load the encode table list from the DSP to the sorbelin",
    "      Set the mode in the DSP to ZorvHD Encode",
    "      Initialize Context RAM in Sorbelin",
    "",
    "      For each IMAGE in list",
    "        Create/Initialize source image",
    "        Flush Wexals DMA channels - To be used for this test",
    "            either (COLAIN,COLAOUT) or (COLBIN,COLBOUT)",
    "",
    "        Clear all 16 DCBs for this DCB channel in the HW.",
    "",
    "        Enable Sulveth SDRAM clock",
    "",
    "        Set Wexal BCU \"Sorbelin to Wexal\" to Go",
    "        Setup \"Sorbelin to Wexal\" DCB[1...N]",
    "          for each DCB in channel",
    "            Initialize DCB in HW",
    "            Clear wexal memory associated with DCB",
    "            Flush the PCI cache",
    "",
    "        Set Wexal BCU \"Wexal to Sorbelin\" to Go",
    "        Setup \"Wexal to Sorbelin\" DCB[1...N]",
    "          for each DCB in channel",
    "            Initialize DCB in HW",
    "            Write wexal memory associated with DCB with image ",
    "            Flush the PCI cache",
    "",
    "        Set Force update using Context ID = 0",
    "        Trigger \"Sorbelin to Wexal\" DMA",
    "        Trigger \"Wexal to Sorbelin\" DMA",
    "",
    "        Check TIMEOUT:  Read DCB0 on \"Sorbelin To Wexal\" channel",
    "        Flush the PCI cache - Safety precaution",
    "        Analyze \"Sorbelin to Wexal\" DCB channel",
    "        Read/Compare data",
    "        if FAIL execute OnFail commands",
    "",
    "SYNTAX:   Encode [IMG=$(IMG_LIST)] [FRAMES=n] [VERBOSE=n] [-ChipScope] [-NoReset]",
    "IMG         When set to $(IMG_LIST) will iterate through each of the images",
    "            in the image list.  If it is not set then the environment variable",
    "            DECOMPRESS_IMAGE will represent the source image and COMPRESS_IMAGE",
    "            will represent the compare to image.s",
    "FRAMES      Specifies how many frames to test 1 ... 15  default=1",
    "VERBOSE     Sets verbosity level for test",
    "ChipScope   If set pauses after programming to allow chipscope trigger",
    "NoReset     If set does not perform a reset after test is run",
    "",
};

}  // namespace

CSorbelinEncoder::CSorbelinEncoder(CNuxaDSP* dsp, CDremolun* bridge, CJastel* controller, CString name)
    : CSorbelin(dsp, bridge, controller, std::move(name)) {
    SetEnvironment("VARIABLE=VCID_LIST VALUE=(0x4D6,0x4E3,0x4E4,0x4E5)");
    SetEnvironment("VARIABLE=ENCODE_IMAGE VALUE=$(ZORV)\\GUWT$(VPDVER).oxd");
    SetEnvironment("VARIABLE=DSP_MICRO VALUE=$(ZORV)\\KAWF0101.OXD");
    SetEnvironment("VARIABLE=ZYV_DIRECTORY VALUE=$(ZORV)");
    SetEnvironment(InstalledPackageDate() >= kSecondReferenceDate
                       ? "VARIABLE=COMPRESS_IMAGE VALUE=$(CWD)\\testdata\\VCID\\$(VCID_LIST)\\Encoded_2.img"
                       : "VARIABLE=COMPRESS_IMAGE VALUE=$(CWD)\\testdata\\VCID\\$(VCID_LIST)\\Encoded_1.img");
    SetEnvironment("VARIABLE=DECOMPRESS_IMAGE VALUE=$(CWD)\\testdata\\VCID\\Decoded_$(X)_$(Y)_$(P).img");
    SetDefaultLists(*GetImageList(), *GetResolutionList(), 2 * (IsRegression() ? 1 : 0) + (IsEngineering() ? 1 : 0));
    GetOnFailList()->Add("@FILE=$(CWD)\\testdata\\OnFail.txt");
}

DWORD CSorbelinEncoder::GetNextRunStage(DWORD previous) {
    return previous == 0 ? kStageBase : previous == kStageBase ? kStageRunTest : kStageNone;
}

DWORD CSorbelinEncoder::InstalledPackageDate() { return GetZyvPackageDate(GetDriversDirectory()); }

int CSorbelinEncoder::GetChipFromName(DWORD verbose) {
    const CString name = GetName();
    const char last = name.IsEmpty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(name[name.GetLength() - 1])));
    const int alpha = std::isalpha(static_cast<unsigned char>(last)) ? 1 : 0;
    const int value = alpha ? last - 0x40 : 0;
    if (verbose >= 5) {
        CString line;
        const char text[2] = {last, '\0'};
        line.Format("CSorbelinEncoder::ClassName[%s] String[%s] Char[%c] isAlpha[%d] Value[%d]\n", name.c_str(), text, last, alpha, value);
        PrintColor(line, kColorBlack);
    }
    return value;
}

BOOL CSorbelinEncoder::SetEnvironment(const CString& text) {
    const CParamString params(text);
    CString variable, value;
    if (!params.GetValue("VARIABLE", variable)) {
        PrintColor("VARIABLE not found\n", kColorRed);
        return FALSE;
    }
    if (!params.GetValue("VALUE", value)) {
        PrintColor("VALUE not found\n", kColorRed);
        return FALSE;
    }
    m_environment[variable] = value;
    CString line;
    line.Format("%s = %s\n", variable.c_str(), value.c_str());
    PrintColor(line, kColorBlack);
    return TRUE;
}

BOOL CSorbelinEncoder::SetDefaultLists(CStrList& images, CStrList& resolutions, int mode) {
    const DWORD date = InstalledPackageDate();
    CString line;
    line.Format("Zyv package date = %lu\n", static_cast<unsigned long>(date));
    PrintColor(line, kColorBlack);
    resolutions.FreeStrings();
    images.FreeStrings();
    if (mode < 0 || mode > 3) {
        PrintColor("Image Mode is UNDEFINED\n", kColorRed);
        return FALSE;
    }
    static const char* const kFull[][2] = {
        {"DIAGONAL_LINES", "E_DLine"}, {"GRID", "E_Grid"}, {"SOLID=(Y=400:CB=50:CR=640)", "E_Solid"}, {"SOLID=(Y=0:CB=0:CR=0)", "E_SolidFlat"},
        {"HORZ_WEDGE", "E_HW"}, {"HORZ_WEDGE_BLUE2RED", "E_HWB2R"}, {"HORZ_WEDGE_RED2BLUE", "E_HWR2B"}, {"VERT_WEDGE", "E_VW"},
        {"VERT_WEDGE_BLUE2RED", "E_VWB2R"}, {"VERT_WEDGE_RED2BLUE", "E_VWR2B"}, {"STAMP_LINEAR", "E_StampLinear"},
    };
    static const char* const kPlain[][2] = {{"HORZ_WEDGE_BLUE2RED", "E_HWB2R"}, {"VERT_WEDGE_RED2BLUE", "E_VWR2B"}, {"STAMP_LINEAR", "E_StampLinear"}};
    auto add = [&](const char* pattern, const char* file) { images.Add(CString(pattern) + "=>" + kReferenceFolder + file + ".img"); };
    if (mode == 0) {
        for (const auto& e : kPlain) add(e[0], e[1]);
    } else {
        for (const auto& e : kFull) add(e[0], e[1]);
    }
    add("RANDOM SEED=0x12345678", date < kSecondReferenceDate ? "E_RandS_1" : "E_RandS_2");
    images.Add("Env.$(DECOMPRESS_IMAGE)=>Env.$(COMPRESS_IMAGE)");
    return TRUE;
}

DWORD CSorbelinEncoder::GetRevisionID() {
    const bool selected = m_bridge && SelectChip();
    const DWORD low = selected ? m_bridge->ReadDataFixed(kRevisionLow) & 0xFFFF : 0;
    const DWORD high = selected ? m_bridge->ReadDataFixed(kRevisionHigh) & 0xFFFF : 0;
    CString line;
    line.Format("CSorbelinEncoder::GetRevisionID() LO[0x%08X] = [0x%08X]\n", kRevisionLow, low);
    Print(line);
    line.Format("CSorbelinEncoder::GetRevisionID() HI[0x%08X] = [0x%08X]\n", kRevisionHigh, high);
    Print(line);
    return high << 16 | low;
}

BOOL CSorbelinEncoder::RAMInit(DWORD verbose) { return WaitDDRInit(verbose); }

BOOL CSorbelinEncoder::ClearStatus() {
    if (!m_bridge || !SelectChip()) return TRUE;
    m_bridge->WriteDataFixed(kStatus, 0xFFFF);
    m_bridge->WriteDataFixed(kInterruptEnable, 0);
    return TRUE;
}

BOOL CSorbelinEncoder::WaitDDRInit(DWORD verbose) {
    if (GetProgramFlag() == 0) return TRUE;
    if (!m_bridge) return FALSE;
    SelectChip();
    ClearStatus();
    m_bridge->WriteDataFixed(kDDRStart, 3);
    Sleep(1);
    struct Sequence {
        DWORD bit;
        const char* received;
        const char* stuck;
    };
    static const Sequence kSequences[2] = {
        {1, "Status[0x%08X]  R2B DDR done received\n", "ERROR:  Waiting for R2B_DDR_Done to clear\n"},
        {2, "Status[0x%08X]  Coeff DDR done received\n", "ERROR:  Waiting for Coeff_DDR_Done to clear\n"},
    };
    DWORD done = 0;
    for (int round = 0; round < 100; ++round) {
        DWORD status = m_bridge->ReadDataFixed(kStatus) & 0xFFFF;
        for (const Sequence& s : kSequences) {
            if (!(status & s.bit)) continue;
            if (verbose > 1) {
                CString line;
                line.Format(s.received, status);
                PrintColor(line, kColorGreen);
            }
            m_bridge->WriteDataFixed(kStatus, s.bit);
            bool cleared = false;
            for (int read = 0; read < 10 && !cleared; ++read) {
                status = m_bridge->ReadDataFixed(kStatus) & 0xFFFF;
                cleared = !(status & s.bit);
                if (!cleared) Sleep(1);
            }
            if (!cleared && verbose > 1) PrintColor(s.stuck, kColorGreen);
            done |= s.bit;
        }
        if (done == 3) break;
        Sleep(1);
    }
    if (done == 3) {
        SetProgramFlag(0);
        return TRUE;
    }
    if (verbose > 1) {
        static const char* const kMissing[3] = {"R2B DDR not received\nCoeff DDR not received\n", "Coeff DDR not received\n",
                                                "R2B DDR not received\n"};
        PrintColor(kMissing[done], kColorGreen);
    }
    return FALSE;
}

BOOL CSorbelinEncoder::SetContext(int index, CImage* image) {
    if (index < 0 || index >= 16 || !image || image->GetWidth() != 480 || image->GetHeight() != 320) return FALSE;
    const DWORD id = static_cast<DWORD>(index);
    const DWORD entry[4] = {480 | id << 12 | 320u << 16, 0, kBypassVCID, 0};
    return WriteContextEntry(entry);
}

BOOL CSorbelinEncoder::EnableVideoInput() {
    if (!m_bridge || !SelectChip()) return TRUE;
    m_bridge->WriteDataFixed(kControl, 2);
    return TRUE;
}

BOOL CSorbelinEncoder::SetSDRAMClock(DWORD verbose) {
    if (!m_controller || !m_controller->RAMClockEnable(1, static_cast<unsigned>(verbose))) {
        PrintColor("ERROR:  Unable to set SulvthSDRAMClock\n", kColorRed);
        return FALSE;
    }
    return TRUE;
}

DWORD CSorbelinEncoder::GetExpectedRevision() {
    const int chip = GetChipFromName(1);
    if (chip == 1) return 0x160;
    if (chip != 2) return 0;
    CWexalBAR0Space* bar0 = m_boardIF.GetWexalBAR0Space();
    if (!bar0) {
        PrintColor("ERROR:  CSorbelinEncoder::GetExpectedRevision()  pBar0Space is NULL\n", kColorRed);
        return 0;
    }
    const std::optional<long long> artwork = ReadArtwork(*bar0, 63);
    return artwork && *artwork < 2 ? 0x160 : 0x170;
}

BOOL CSorbelinEncoder::InitRegs(DWORD verbose) {
    if (!m_bridge || !SelectChip()) return FALSE;
    const DWORD bridge = m_bridge->ReadIdentification();
    CString line;
    if (bridge >> 20 != kBridgeId) {
        line.Format("ERROR: Bad Dremolun ID = 0x%08X", bridge);
        PrintColor(line, kColorRed);
        return FALSE;
    }
    const DWORD major = bridge >> 12 & 0xFF, minor = bridge & 0xFFF;
    line.Format("Dremolun Rev[0x%02X.0x%03X]\n", major, minor);
    PrintColor(line, kColorBlack);
    if (major < 1) {
        PrintColor("WARNING: Dremolun Major rev not high enough\n", kColorRed);
        return FALSE;
    }
    if (minor < 1) {
        PrintColor("ERROR: Dremolun Minor rev not high enough\n", kColorRed);
        return FALSE;
    }
    const DWORD expected = GetExpectedRevision();
    const DWORD revision = GetRevisionID();
    if (revision >> 20 != expected) {
        line.Format("Incorrect Sorbelin rev expected[0x%03X]  Received(DevID[0x%03X]  Major[0x%03X]  Minor[0x%02X]  full[0x%08X])\n", expected,
                    revision >> 20, revision >> 12 & 0xFF, revision & 0xFFF, revision);
        PrintColor(line, kColorRed);
        return FALSE;
    }
    return WaitDDRInit(verbose);
}

void CSorbelinEncoder::ShowStatus() {
    const DWORD status = m_bridge && SelectChip() ? m_bridge->ReadDataFixed(kStatus) & 0xFFFF : 0;
    static const struct {
        const char* format;
        int bit;
    } kBits[] = {{"R2B_DDR_Done=%d\n", 0},   {"Coeff_DDR_Done=%d\n", 1}, {"CodeTableLoadDone=%d\n", 2},     {"ByteCostError=%d\n", 11},
                 {"PadByteError=%d\n", 12}, {"NewFrame=%d\n", 13},      {"PatternGeneratorDone=%d\n", 14}, {"DCM_NoLock=%d\n", 15}};
    for (const auto& b : kBits) {
        CString line;
        line.Format(b.format, static_cast<int>(status >> b.bit & 1));
        PrintColor(line, kColorBlack);
    }
}

std::vector<DWORD> CSorbelinEncoder::GetVCIDList() {
    std::vector<DWORD> list;
    const auto it = m_environment.find("VCID_LIST");
    if (it == m_environment.end()) {
        PrintColor("ERROR:  Unable to find VCID_LIST environment variable!\n", kColorRed);
        return list;
    }
    CString value = it->second;
    value.MakeUpper();
    // A VCID as "0X%X" or "(%lu)" reads it, but whole: a number past 32 bits (or below 0) is
    // refused with its red line and the list is empty, never a VCID cut to its low bits.
    CString refusal;
    auto parse = [&refusal](const CString& text, DWORD& vcid) {
        const char* p = text.c_str();
        platform::NumberForm form = platform::NumberForm::Hex;
        if (p[0] == '0' && p[1] == 'X') p += 2;
        else if (p[0] == '(') ++p, form = platform::NumberForm::Decimal;
        else return false;
        const platform::FieldScan read = platform::ReadField(p, form, platform::kUnsigned32Field);
        if (read.fit == platform::NumberFit::OutOfRange && refusal.IsEmpty())
            refusal = RefusedArgument("VCID_LIST", text, platform::kUnsigned32Field);
        if (read.fit != platform::NumberFit::Fits) return false;
        vcid = static_cast<DWORD>(read.value);
        return true;
    };
    auto refused = [&] {
        if (refusal.IsEmpty()) return false;
        PrintColor(refusal, kColorRed);
        list.clear();
        return true;
    };
    DWORD vcid = 0;
    if (value.Find(',') < 0) {
        const bool read = parse(value, vcid);
        if (refused()) return list;
        if (!read) {
            PrintColor("ERROR:  Invalid VCID in VCID list\n", kColorRed);
            return list;
        }
        list.push_back(vcid);
        return list;
    }
    std::string text;
    for (const char c : value.str())
        if (c != '(' && c != ')' && c != ' ' && c != '\t' && c != '\r' && c != '\n') text += c;
    for (size_t at = 0; at <= text.size();) {
        size_t end = text.find(',', at);
        if (end == std::string::npos) end = text.size();
        if (parse(CString(text.substr(at, end - at).c_str()), vcid)) list.push_back(vcid);
        at = end + 1;
    }
    refused();
    return list;
}

int CSorbelinEncoder::CompareFiles(CString arguments) {
    if (arguments.Find("$(VCID_LIST)") < 0) return CSorbelin::CompareFiles(arguments);
    const std::vector<DWORD> vcids = GetVCIDList();
    if (vcids.empty()) {
        PrintColor("$(VCID_LIST) specified but VCID_LIST environment variable not defined\n", kColorRed);
        // A failure, not a stop.
        return 0;
    }
    int overall = 1;
    for (const DWORD vcid : vcids) {
        CString text, command = arguments;
        text.Format("%04X", vcid);
        command.Replace("$(VCID_LIST)", text);
        PrintColor(command, kColorBlack);
        const int r = CompareFiles(command);
        if (r == static_cast<int>(kRunStopped)) return r;
        if (r == 1) {
            PrintColor(" Pass\n", kColorGreen);
        } else {
            PrintColor(" FAIL\n", kColorRed);
            if (overall == 1) overall = r;
        }
    }
    return overall;
}

int CSorbelinEncoder::GetCodecStatus(DWORD* status) {
    if (!status) return 2;
    // The whole word: the FPGA's errors live in bits 16-31.
    *status = m_bridge && SelectChip() ? m_bridge->ReadDataFixed(kCodecStatus) : 0;
    return (*status & kCodecErrorMask) ? 2 : 1;
}

void CSorbelinEncoder::ShowCodecStatus() {
    DWORD status = 0;
    if (GetCodecStatus(&status) == 1) {
        PrintColor("CODEC STATUS:  OK\n", kColorGreen);
        return;
    }
    static const struct {
        int bit;
        const char* text;
    } kErrors[] = {
        {0, "CODEC ERROR: STATS_EDMA_TIMEOUT_ERROR\n"},
        {1, "CODEC ERROR: QSF_EDMA_TIMEOUT_ERROR\n"},
        {2, "CODEC ERROR: VLC_EDMA_TIMEOUT_ERROR\n"},
        {3, "CODEC ERROR: FMT_FRAME_EDMA_TIMEOUT_ERROR\n"},
        {4, "CODEC ERROR: INVALID_FRAME_MISSING_SIGNATURE\n"},
        {15, "CODEC ERROR: FIRMWARE_ERROR\n"},
        {16, "CODEC ERROR: FPGA_DCM_NO_LOCK_ERROR\n"},
        {17, "CODEC ERROR: FPGA_DEC_PIPE_1_TOO_SLOW_ERROR\n"},
        {18, "CODEC ERROR: FPGA_DEC_PIPE_2_TOO_SLOW_ERROR\n"},
        {19, "CODEC ERROR: FPGA_ENC_TARGET_SIZE_EXCEEDED_ERROR\n"},
        {20, "CODEC ERROR: FPGA_ENC_PADDED_SIZE_EXCEEDED_ERROR\n"},
        {21, "CODEC ERROR: FPGA_DEC_FRAME_TYPE_ERROR\n"},
        {22, "CODEC ERROR: CRC1_OR_CRC2_ERROR\n"},
        {31, "CODEC ERROR: DSP_NMI_INT_ERROR\n"},
    };
    CString line;
    line.Format("DSP CODEC STATUS[0x%08X]\n", status);
    PrintColor(line, kColorRed);
    for (const auto& e : kErrors)
        if (status >> e.bit & 1) PrintColor(e.text, kColorRed);
}

namespace {

struct BitText {
    int bit;
    const char* text;
};

// The texts of the set bits of value, tested in table order.
CString SetBits(DWORD value, const BitText* table, size_t count) {
    CString text;
    for (size_t i = 0; i < count; ++i)
        if (value >> table[i].bit & 1) text += table[i].text;
    return text;
}

const BitText kStatusBits[] = {
    {15, "\tOne or more of the PLLs are not locked\n\tor have gone out of lock since last cleared.\n\t(After power up, this bit will be 1 and must\n"
         "\tbe cleared by the firmware.\n"},
    {14, "\tPattern Generator has completed the generation of a frame\n"},
    {13, "\tSet to a 1 by receipt of a new frame. The Context ID Register\n\tmay now be read.\n"},
    {12, "\tERROR:  The packer padding operation has exceeded the\n\tallotted space as specified by the Padded Byte Count\n"
         "\tparameter. Compressed data output is no longer valid.\n\tOnly the data up to the padded byte cost is sent.\n"
         "\tIf bitstream exceeds padded byte cost, the end of\n\tframe is not sent.\n"},
    {11, "\tERROR:  The packer compressed data byte count exceeds target\n\tbyte cost, but is less than the padded byte count. Compressed\n"
         "\tdata should be recoverable by DSP for debug.  However,\n\tthe amount of compressed data exceeds the maximum allowable size.\n"},
    {2, "\tTable Load operation has completed.\n"},
    {1, "\tCoefficient DDR SDRAM initialization sequence has completed.\n"},
    {0, "\tR2B DDR SDRAM initialization sequence has completed.\n"},
};

const char* const kInterruptNames[][2] = {
    {"\tDCM No Lock interrupt enabled\n", "\tDCM No Lock interrupt received\n"},
    {"\tPattern Generator Done interrupt enabled\n", "\tPattern Generator Done interrupt received\n"},
    {"\tNew context interrupt enabled\n", "\tNew context interrupt received\n"},
    {"\tPad Byte Error interrupt enabled\n", "\tPad Byte Error interrupt received\n"},
    {"\tByte Cost Error interrupt enabled\n", "\tByte Cost Error interrupt received\n"},
    {"\tCode Table Load Done interrupt enabled\n", "\tCode Table Load Done interrupt received\n"},
    {"\tCoeff DDR Done interrupt enabled\n", "\tCoeff DDR Done interrupt received\n"},
    {"\tR2B DDR Done interrupt enabled\n", "\tR2B DDR Done interrupt received\n"},
};
constexpr int kInterruptBits[] = {15, 14, 13, 12, 11, 2, 1, 0};

}  // namespace

void CSorbelinEncoder::DumpRegs() {
    if (!m_bridge || !SelectChip()) return;
    const DWORD status = m_bridge->ReadDataFixed(kStatus) & 0xFFFF;
    const DWORD control = m_bridge->ReadDataFixed(kControl) & 0xFFFF;
    const DWORD enable = m_bridge->ReadDataFixed(kInterruptEnable) & 0xFFFF;
    const DWORD interrupt = m_bridge->ReadDataFixed(kInterrupt) & 0xFFFF;
    const DWORD context = m_bridge->ReadDataFixed(kContextID) & 0xFFFF;
    ShowRevisionID(GetRevisionID());
    CString line, text;
    text.Format("Status[0x%04X]\n", status);
    text += SetBits(status, kStatusBits, std::size(kStatusBits));
    PrintColor(text, kColorBlack);
    text.Format("Control[0x%04X]\n", control);
    text += (control & 1) ? "\tCode tables may be loaded.\n\t(Video processing is disabled.)\n" : "\tCode table loading is ignored\n\t(Video may be  processed.)\n";
    text += (control & 2) ? "\tEnable video input from VelkoDrun input port.\n\t(Ignored when the PG Select bit is 1.)\n"
                          : "\tDisable video input from VelkoDrun input port.\n\tThis bit should be set only after all registers\n"
                            "\tare initialized and table loading has completed.\n";
    text += (control & 4) ? "\tDisable context updates from the VelkoDrun input\n\tport. The New Frame bit will still be set at the\n"
                            "\tbeginning of each frame, but context information\n\twill not change.\n"
                          : "\tEnable context updates from the VelkoDrun input port.\n";
    line.Format("\tContext[%d]\n", static_cast<int>(control >> 8 & 0xF));
    text += line;
    text += "\tSpecifies the context ID to be used with the next\n\tframe generated by the pattern generator. This field\n"
            "\tmay be loaded at the same time as the setting of the\n\tPG Start bit.\n";
    if (control & 0x4000)
        text += "\tSetting this bit to 1 initiates the generation of one\n\tframe of data from the pattern generator. For subsequent\n"
                "\tframes, this bit must be cleared to 0 prior to being set\n\tto 1 again.  (1=Start new frame, 0=Nothing)\n";
    if (control & 0x8000)
        text += "\tSelects whether the internal frame pattern generator\n\tshould be used instead of the normal Velko Drun port.\n"
                "\t(1=Pattern Generator, 0=Normal YJ port data)\n";
    PrintColor(text, kColorBlack);
    for (int kind = 0; kind < 2; ++kind) {
        const DWORD value = kind == 0 ? enable : interrupt;
        text.Format(kind == 0 ? "Interrupt Enable[0x%04X]\n" : "Interrupt[0x%04X]\n", value);
        for (size_t i = 0; i < std::size(kInterruptBits); ++i)
            if (value >> kInterruptBits[i] & 1) text += kInterruptNames[i][kind];
        PrintColor(text, kColorBlack);
    }
    text.Format("ContextID[0x%04X]\n\tContextID = %d\n\tContext Offset = 0x%08X\n", context, static_cast<int>(context & 0xF), context >> 4 & 0x3FF);
    PrintColor(text, kColorBlack);
    const DWORD vcid = (m_bridge->ReadDataFixed(kVCIDHigh) & 0xFFFF) << 16 | (m_bridge->ReadDataFixed(kVCIDLow) & 0xFFFF);
    line.Format("VCID[0x%04X]\n", vcid);
    PrintColor(line, kColorBlack);
    for (DWORD n = 0; n < 16; ++n) {
        const DWORD address = kContextRAM + 16 * n;
        DWORD word[4];
        for (DWORD w = 0; w < 4; ++w) word[w] = m_bridge->ReadDataFixed(address + 4 * w);
        line.Format("CRAM[%d]  Addr[0x%08X] ID[%d] VCID[0x%08X] Width[%d] Height[%d] bits[%d] offset[0x%08X]\n", static_cast<int>(n), address,
                    static_cast<int>(word[0] >> 12 & 0xF), word[2], static_cast<int>(word[0] & 0xFFF), static_cast<int>(word[0] >> 16 & 0xFFF),
                    (word[1] >> 16 & 1) ? 10 : 8, word[1] & 0x3FF);
        PrintColor(line, kColorBlack);
    }
    ShowCodecStatus();
}

DWORD CSorbelinEncoder::DetermineZyvPackageCommand(const CString& command, DWORD verbose) {
    CString path;
    if (!CParamString(command).GetValue("PATH", path)) {
        PrintColor("Unable to get PATH from command line\n", kColorRed);
        return 0;
    }
    if (ExpandPathMacros(path, TRUE, TRUE) == kPathNotFound) {
        PrintColor("Unable to expand PATH specified on the command line\n", kColorRed);
        return 0;
    }
    std::map<CString, DWORD> sums;
    const DWORD date = DetermineZyvPackage(path, sums);
    for (const auto& [file, crc] : sums) {
        CString line;
        line.Format("FILE[%s]  CRC[0x%08X]\n", file.c_str(), crc);
        PrintColor(line, kColorBlack);
    }
    if (verbose > 1) {
        CString line;
        line.Format("ZYV Package Date:  %lu\n", static_cast<unsigned long>(date));
        PrintColor(line, kColorBlack);
    }
    return date != 0 ? 1 : 0;
}

DWORD CSorbelinEncoder::ModifyListImage() {
    CStrListImages images;
    CStrListResolutions resolutions;
    SetDefaultLists(images, resolutions, 2 * (IsRegression() ? 1 : 0) + (IsEngineering() ? 1 : 0));
    COptionsSheetListSelector sheet(platform::GetMainWnd());
    sheet.SetImageResolutionSources(images, resolutions);
    sheet.SetImageResolutionSelections(*GetImageList(), *GetResolutionList());
    sheet.DoModal();
    const int kept = sheet.GetImageResolutionSelections(*GetImageList(), *GetResolutionList());
    return StopRequested() ? kTestStopped : static_cast<DWORD>(kept);  // the host's stop cancels the sheet
}

DWORD CSorbelinEncoder::ModifyListOnFail() {
    // The sources are the list's own entries: the sheet can keep or drop them, not add any.
    COptionsSheetListSelector sheet(platform::GetMainWnd());
    sheet.SetSources(*GetOnFailList());
    sheet.SetSelections(*GetOnFailList());
    sheet.DoModal();
    const int kept = sheet.GetSelections(*GetOnFailList());
    return StopRequested() ? kTestStopped : static_cast<DWORD>(kept);  // the host's stop cancels the sheet
}

DWORD CSorbelinEncoder::VideoBypassCommand(const CString& arguments, long width, long height, DWORD frames, DWORD verbose) {
    PrintColor("This is an engineering test and is not intended to pass\n", kColorRed);
    // Sizes are refused before a picture of them is built.
    if (width < 0 || height < 0 || width > 0xFFFF || height > 0xFFFF) {
        PrintColorFormat(kColorRed, "Invalid resolution DIM=(%ld,%ld)\n", width, height);
        return 0;
    }
    if (static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height) * 2 > 0x800000) {
        PrintColor("Buffer size must be less than 8MB", kColorRed);
        return 0;
    }
    Image::YCbCr_8bit image(static_cast<DWORD>(width), static_cast<DWORD>(height));
    image.FillHorzWedge(2);
    return VideoBypass(kVideoBypass, arguments, image, frames, verbose) ? 1 : 0;
}

DWORD CSorbelinEncoder::RunTest(CString command) {
    CString arguments;
    const Code code = MatchKeyword(command, arguments);
    const CParamString params(command);
    const DWORD verbose = ReadVerbosity(command);
    DWORD frames = 1;
    // A frame count is a 32-bit word: a negative one or one past it is refused, never wrapped or cut.
    const ArgNumber framesRead = ReadArgValue(params, "FRAMES", platform::NumberForm::Decimal, platform::kUnsigned32Field);
    const bool framesGiven = framesRead.state == ArgRead::Read;
    if (framesGiven) frames = static_cast<DWORD>(framesRead.value);
    // DIM= is read as written, at its first occurrence.
    long width = 0, height = 0;
    const ArgSize size = ReadArgDim(command, false);
    if (size.count >= 1) width = static_cast<long>(size.x);
    if (size.count >= 2) height = static_cast<long>(size.y);
    for (const CString& refusal : {framesRead.refusal, size.refusal}) {
        if (refusal.IsEmpty()) continue;
        PrintColor(refusal, kColorRed);
        return 0;
    }
    // Only the keywords that move frames take FRAMES=.
    const bool takesFrames = code == kVideoBypass || code == kEncode;
    if (code != kNone && (!framesGiven || takesFrames)) {
        switch (code) {
        case kShowRevID: ShowRevisionID(GetRevisionID()); return 1;
        case kCompareFiles: return static_cast<DWORD>(CompareFiles(arguments));
        case kRAMInit: return RAMInit(verbose) ? 1 : 0;
        case kSetEnvironment: return SetEnvironment(arguments) ? 1 : 0;
        case kClearEnvironment: m_environment.clear(); return 1;
        case kDumpRegs: DumpRegs(); return 1;
        case kModifyListImage: return ModifyListImage();
        case kModifyListOnFail: return ModifyListOnFail();
        case kDetermineZyvPackage: return DetermineZyvPackageCommand(command, verbose);
        case kVideoBypass: return VideoBypassCommand(arguments, width, height, frames, verbose);
        case kEncode: {
            const int encoded = Encode(arguments, frames, verbose);
            return encoded == 1 || encoded == static_cast<int>(kTestStopped) ? static_cast<DWORD>(encoded) : 0;
        }
        default: break;
        }
    }
    PrintColor("\n\nERROR:  CSorbelinEncoder\n\"" + command + "\" Not recognized as a valid test\n", kColorRed);
    return 0;
}

void CSorbelinEncoder::HelpTest(CString name) {
    CString text;
    if (name.Find("Encode") == 0) {
        text.Format("CSorbelinEncoder %s\n", name.c_str());
        for (const char* line : kEncodeHelp) text += CString(line) + "\n";
    } else {
        text.Format("\nHelp is not available for:\n  %s\n", name.c_str());
    }
    PrintColor(text, kColorBlack);
}
