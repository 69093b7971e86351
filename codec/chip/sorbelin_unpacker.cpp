// CSorbelinUnpacker: construction, keyword dispatch and options, pattern fills, chip set-up and status, frame CRC report.
#include "codec/chip/sorbelin_unpacker.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "codec/chip/sorbelin_harness.h"
#include "devlib/devices.h"
#include "devlib/wexal_spaces.h"
#include "framework/arg_number.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "images/image_crc.h"
#include "images/packed_image.h"
#include "platform/clock.h"

namespace {

constexpr DWORD kShowRevID = 1, kRamInit = 2, kContextRamTest = 3, kSetDcmPhase = 4, kUnpackSW = 5, kMemBistTest = 6,
                kMemBistScan = 7, kSaveAlpha = 0x1008, kSaveImage = 0x2008, kShowStatus = 9, kShowContextRam = 10,
                kWexalMemory = 11, kMemBistRange = 12, kVideoAlpha = 0x1100, kVideoImage = 0x2100, kVideoMixed = 0x3100,
                kVideoBypass = 0x4100, kVideoImageMask = 0xA100, kExpansionAlpha = 0x1200, kExpansionImage = 0x2200,
                kExpansionBypass = 0x4200, kExpansionImageMask = 0xA200, kExpansionMixed = 0x3200, kNotImplemented = 0x3300;

struct Keyword {
    const char* text;
    DWORD code;
};
constexpr Keyword kKeywords[] = {
    {"Show RevID", kShowRevID},
    {"RAM_Init", kRamInit},
    {"Show Status", kShowStatus},
    {"Show Context Ram", kShowContextRam},
    {"\"Context RAM\"", kContextRamTest},
    {"\"Set DCM Phase\"", kSetDcmPhase},
    {"\"MemBist Test\"", kMemBistTest},
    {"\"MemBist Scan\"", kMemBistScan},
    {"\"MemBist Range\"", kMemBistRange},
    {"\"Test Wexal Memory\"", kWexalMemory},
    {"\"Video:Alpha\"", kVideoAlpha},
    {"\"Video:Image\"", kVideoImage},
    {"\"Video:Mixed\"", kVideoMixed},
    {"\"Video:Bypass\"", kVideoBypass},
    {"\"Video:Image:Mask\"", kVideoImageMask},
    {"\"Save Image\"", kSaveImage},
    {"\"Save Alpha\"", kSaveAlpha},
    {"\"Expansion:Alpha\"", kExpansionAlpha},
    {"\"Expansion:Image\"", kExpansionImage},
    {"\"Expansion:Bypass\"", kExpansionBypass},
    {"\"Expansion:Image:Mask\"", kExpansionImageMask},
    {"\"Expansion:Mixed\"", kExpansionMixed},
    {"\"Expansion:Video:Image:Alpha\"", kNotImplemented},
    {"\"Unpack Image SW\"", kUnpackSW},
};

bool TakesFrames(DWORD code) {
    switch (code) {
    case kUnpackSW: case kMemBistScan: case kMemBistRange: case kVideoAlpha: case kVideoImage: case kVideoMixed:
    case kVideoBypass: case kVideoImageMask: case kExpansionAlpha: case kExpansionImage: case kExpansionBypass:
    case kExpansionImageMask: case kExpansionMixed: case kNotImplemented:
        return true;
    default:
        return false;
    }
}

// The largest picture side the context RAM takes.
constexpr long kMaxSide = 4095;

const CString kSeparator = CString(std::string(76, '-').c_str()) + "\n";

}  // namespace

struct CSorbelinUnpacker::Options {
    long width = 0, height = 0;
    bool useResolutionList = true;
    int frames = 1;
    DWORD verbose = 1;
    CString file;
    bool fileGiven = false;
};

CSorbelinUnpacker::CSorbelinUnpacker(CNuxaDSP* dsp, CDremolun* bridge, CJastel* controller, CString name)
    : CSorbelin(dsp, bridge, controller, std::move(name)), m_memTests(*this, CSorbelinMemTests::kUnpacker, controller) {
    SetCodeName(GetName());
    ResetCRCs();
    const int preset = StrListPreset(IsRegression(), IsEngineering());
    if (!GetImageList()->SetDefaults(preset, TRUE)) PrintColor("Image Mode is UNDEFINED\n", kColorRed);
    if (!GetResolutionList()->SetDefaults(preset)) PrintColor("Resolution Mode is UNDEFINED\n", kColorRed);
    for (DWORD i = 0; i < 16; ++i) m_contextAddress[i] = kContextRam + 8 * i;
}

DWORD CSorbelinUnpacker::GetNextRunStage(DWORD previous) {
    return previous == 0 ? kStageBase : previous == kStageBase ? kStageRunTest : kStageNone;
}

int CSorbelinUnpacker::GetChipFromName(DWORD verbose) {
    CString name = GetName();
    name.TrimRight();
    const char last = name.IsEmpty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(name[name.GetLength() - 1])));
    const int alpha = std::isalpha(static_cast<unsigned char>(last)) ? 1 : 0;
    const int value = alpha ? last - 64 : 0;
    if (verbose >= 5) {
        CString line;
        line.Format("CSorbelinUnpacker::ClassName[%s] String[%c] Char[%c] isAlpha[%d] Value[%d]\n", name.c_str(), last, last, alpha, value);
        PrintColor(line, kColorBlack);
    }
    return value;
}

void CSorbelinUnpacker::HelpTest(CString name) {
    CString line;
    line.Format("\nHelp is not available for:\n  CSorbelinUnpacker %s\n", name.c_str());
    PrintColor(line, kColorBlack);
}

DWORD CSorbelinUnpacker::RunTest(CString command) {
    // 1. The last keyword that starts the command.
    DWORD code = 0;
    CString arguments;
    for (const Keyword& k : kKeywords) {
        if (command.Find(k.text) != 0) continue;
        code = k.code;
        arguments = command.Mid(static_cast<int>(std::char_traits<char>::length(k.text)));
        arguments.TrimLeft(" \t\r\n");
    }
    Options o;
    // 2. DIM=: sizes the context RAM cannot take are refused before anything is made.
    const ArgSize size = ReadArgDim(command, false);
    if (size.state == ArgRead::Refused) {
        PrintColor(size.refusal, kColorRed);
        return 0;
    }
    if (size.count >= 1) o.width = static_cast<long>(size.x);
    if (size.count >= 2) o.height = static_cast<long>(size.y);
    if (size.state == ArgRead::Read) {
        o.useResolutionList = false;
        if (o.width < 0 || o.height < 0 || o.width > kMaxSide || o.height > kMaxSide) {
            PrintColorFormat(kColorRed, "DIM=(%ld,%ld) is out of range: width and height must be 0 to %ld\n", o.width, o.height, kMaxSide);
            return 0;
        }
    }
    // 3. FRAMES=.
    const ArgNumber framesRead =
        ReadArgAfter(command, "FRAMES=", platform::NumberForm::Decimal, platform::NumberField{1, 15}, "FRAMES");
    const bool framesGiven = framesRead.state != ArgRead::Absent;
    if (framesGiven) {
        if (framesRead.state == ArgRead::Refused) {
            PrintColor("Number of frames must be between 1 and 15.", kColorRed);
            return 0;
        }
        o.frames = static_cast<int>(framesRead.value);
    }
    // 4. Verbose level (Run refused one past an int); 5. FILE=.
    o.verbose = ReadVerbosity(command);
    const int fileAt = command.Find("FILE=");
    if (fileAt >= 0) {
        CString rest = command.Mid(fileAt + 5);
        rest.TrimLeft(" \t");
        if (!ReadFileName(rest, o.file)) return 0;
        o.fileGiven = true;
    }
    if (framesGiven && !TakesFrames(code)) code = 0;
    DWORD result = 0;
    switch (code) {
    case 0: {
        CString line = "\n\nERROR:  CSorbelinUnpacker\n\"" + command + "\"\n Not recognized as a valid test\n";
        PrintColor(line, kColorRed);
        return 0;
    }
    case kShowRevID:
        ShowRevisionID(m_bridge ? m_bridge->ReadDataFixed(kRevision) : 0u);
        return 1;
    case kRamInit: result = RAMInit(1); break;
    case kShowStatus: ShowStatus(o.verbose); return 1;
    case kShowContextRam: ShowContextRam(); return 1;
    case kContextRamTest: return static_cast<DWORD>(m_memTests.TestContextRAM(m_pattern));
    case kSetDcmPhase: return static_cast<DWORD>(m_memTests.SetDCMPhase(arguments, 1));
    case kMemBistTest: {
        DWORD status = 0;
        return static_cast<DWORD>(m_memTests.MemBistTest(arguments, &status));
    }
    case kMemBistScan: return static_cast<DWORD>(m_memTests.MemBistScan("", arguments));
    case kMemBistRange: return m_memTests.MemBistRange(arguments);
    case kWexalMemory: {
        CString upper = command;
        upper.MakeUpper();
        CString value;
        if (!CParamString(upper).GetValue("ADDRESS", value, FALSE)) {
            PrintColor("Unable to find wexal address on command line\n", kColorRed);
            return 0;
        }
        // Past 32 bits is no wexal address either: never its first eight digits.
        DWORD address = 0;
        if (value.GetLength() < 3 || value[0] != '0' || !ReadPrefixedWord(value, address)) {
            PrintColor("Wexal address on command line is not in the format 0xFCE32BA0.\n", kColorRed);
            return 0;
        }
        return TestWexalMemory(address, o.width, o.height, static_cast<int>(o.verbose));
    }
    case kVideoBypass:
    case kExpansionBypass: {
        CString upper = command;
        upper.MakeUpper();
        CString value;
        if (!CParamString(upper).GetValue("SIZE", value, FALSE)) {
            PrintColor("Unable to find SIZE parameter", kColorRed);
            break;
        }
        unsigned long long multiplier = 1;
        int cut = value.Find("MB");
        if (cut >= 0) multiplier = 0x100000;
        else if ((cut = value.Find("KB")) >= 0) multiplier = 0x400;
        if (cut >= 0) value = value.Left(cut);
        // The count is checked against what its unit leaves of 32 bits before it is multiplied, so
        // no product wraps past 64 bits into a small size.
        const platform::FieldScan number = platform::ReadField(
            value.c_str(), platform::NumberForm::Decimal, {0, static_cast<int64_t>(0xFFFFFFFFull / multiplier)});
        if (number.fit != platform::NumberFit::Fits) {
            PrintColor("Unrecognized size", kColorRed);
            return 0;
        }
        const DWORD bytes = static_cast<DWORD>(static_cast<unsigned long long>(number.value) * multiplier);
        PrintColorFormat(kColorGreen, "Size=%ld\n", static_cast<long>(bytes));
        result = BypassBufferTest(code | (framesGiven ? kFramesGiven : 0), arguments, bytes, o.frames, static_cast<int>(o.verbose));
        break;
    }
    case kSaveImage: return SaveImage(arguments, o.file, static_cast<DWORD>(o.width), static_cast<DWORD>(o.height));
    case kSaveAlpha: return SaveAlpha(arguments, o.file, static_cast<DWORD>(o.width), static_cast<DWORD>(o.height));
    case kNotImplemented:
        PrintColor("Test not implemented yet!\n", kColorRed);
        return 0;
    case kUnpackSW: return UnpackImageSW(o.file, static_cast<DWORD>(o.width), static_cast<DWORD>(o.height), static_cast<DWORD>(o.frames));
    case kVideoMixed:
    case kExpansionMixed: {
        HarnessRequest request;
        request.command = command;
        request.width = o.width;
        request.height = o.height;
        request.dimensionsGiven = o.useResolutionList ? FALSE : TRUE;
        request.verbose = o.verbose;
        HarnessOptions options;
        options.rampStride4 = true;
        options.unknownPatternFails = true;
        const DWORD tripCode = code | (framesGiven ? kFramesGiven : 0);
        result = CImagePatternHarness(*this, options).RunFull(request, [&](Unpacked::Alpha::YCbCr_10_6& a, Unpacked::Image::YCbCr_10_6& i) {
            return static_cast<BOOL>(VideoMixedTest(tripCode, arguments, &a, &i, o.frames, static_cast<int>(o.verbose)));
        });
        break;
    }
    case kVideoAlpha: case kVideoImage: case kVideoImageMask: case kExpansionAlpha: case kExpansionImage: case kExpansionImageMask:
        result = SingleResolution(code | (framesGiven ? kFramesGiven : 0), command, arguments, o);
        break;
    default:
        PrintColor("\n\nERROR:  CSorbelinUnpacker\n\"" + command + "\"\n Not recognized as a valid test\n", kColorRed);
        return 0;
    }
    // 7. An expansion test leaves the chip reset unless told otherwise.
    if (code & kExpansionPort) {
        CString upper = command;
        if (upper.MakeUpper().Find("-NORESET") < 0) {
            Reset(1);
            RAMInit(1);
        }
    }
    return result;
}

DWORD CSorbelinUnpacker::SingleResolution(DWORD code, const CString& command, const CString& arguments, const Options& o) {
    const bool alpha = (code & 0xF000) == 0x1000;
    if (o.width == 0 || o.height == 0) {
        PrintColor("Unable to read either XSize or YSize", kColorRed);
        return 0;
    }
    const DWORD w = static_cast<DWORD>(o.width), h = static_cast<DWORD>(o.height);
    Unpacked::Alpha::YCbCr_10_6 alphaImage(alpha ? w : 0, alpha ? h : 0);
    Unpacked::Image::YCbCr_10_6 image(alpha ? 0 : w, alpha ? 0 : h, 0);
    image.SetSampleFormat(code & kMask ? kSampleFormat8Bit : kSampleFormatFull);
    const int verbose = static_cast<int>(o.verbose);
    if (alpha && o.fileGiven) {
        if (!alphaImage.LoadRawFile(o.file)) {
            PrintColorFormat(kColorRed, "ERROR:  Unable to open\n%s\n", o.file.c_str());
            return 0;
        }
        return VideoAlphaTest(code, arguments, &alphaImage, o.frames, verbose);
    }
    DWORD result = 0;
    for (const CString& entry : GetImageList()->GetEntries()) {
        if (StopRequested()) return kTestStopped;
        PrintColor(kSeparator, kColorBlack);
        ShowProgrammedInfo();
        PrintColorFormat(kColorBlack, "%s IMAGE=%s DIM=(%ld,%ld)\n", command.c_str(), entry.c_str(), o.width, o.height);
        PrintTimeStamp();
        PrintColor("\n", kColorBlack);
        PrintColor(kSeparator, kColorBlack);
        const int filled = FillByEntry(entry, alpha ? nullptr : &image, alpha ? &alphaImage : nullptr);
        if (filled != 1) return 0;
        result = alpha ? VideoAlphaTest(code, arguments, &alphaImage, o.frames, verbose)
                       : VideoImageTest(code, arguments, &image, o.frames, verbose);
        if (result == 0) return 0;
    }
    return result;
}

int CSorbelinUnpacker::FillByEntry(const CString& entry, Unpacked::Image::YCbCr_10_6* image, Unpacked::Alpha::YCbCr_10_6* alpha) {
    auto is = [&](const char* word) { return entry == word; };
    auto say = [&](const char* text) { PrintColor(text, kColorBlack); };
    if (is("DIAGONAL_LINES")) {
        say("Test Diagonal Lines\n");
        if (image) image->FillDiagonalLines(1, 0, 0x3FF);
        if (alpha) alpha->FillDiagonalLines(1, 0);
    } else if (is("GRID")) {
        say("Test Grid\n");
        if (image) image->FillGrid(1, 0, 0x3FF);
        if (alpha) alpha->FillGrid(1);
    } else if (entry.Left(5) == "SOLID") {
        WORD y = 502, cb = 512, cr = 512;
        const CString refusal = CImagePatternHarness::ReadSolid(entry, y, cb, cr);
        if (!refusal.IsEmpty()) {
            PrintColor(refusal, kColorRed);
            return 0;
        }
        if (image) {
            PrintColorFormat(kColorBlack, "Test Solid:  Y=%d, Cb=%d, Cr=%d\n", y, cb, cr);
            image->FillSolid(y, cb, cr);
        } else {
            PrintColorFormat(kColorBlack, "Test Solid:  Intensity=%d\n", y);
        }
        if (alpha) alpha->FillSolid(y);
    } else if (entry.Left(10) == "HORZ_WEDGE" && (is("HORZ_WEDGE") || is("HORZ_WEDGE_RED2BLUE") || is("HORZ_WEDGE_BLUE2RED"))) {
        const DWORD mode = is("HORZ_WEDGE") ? 0 : is("HORZ_WEDGE_RED2BLUE") ? 1 : 2;
        static const char* const kText[3] = {"Greyscale", "Red to Blue", "Blue to Red"};
        if (image) PrintColorFormat(kColorBlack, "Test Horizontal Wedge:  %s\n", kText[mode]);
        else say("Test Horizontal Wedge\n");
        if (image) image->FillHorzWedge(mode, 0, 0x3FF);
        if (alpha) alpha->FillHorzRamp();
    } else if (is("VERT_WEDGE") || is("VERT_WEDGE_RED2BLUE") || is("VERT_WEDGE_BLUE2RED")) {
        const DWORD mode = is("VERT_WEDGE") ? 0 : is("VERT_WEDGE_RED2BLUE") ? 1 : 2;
        static const char* const kText[3] = {"Greyscale", "Red to Blue", "Blue to Red"};
        if (image) PrintColorFormat(kColorBlack, "Test Vertical Wedge:  %s\n", kText[mode]);
        else say("Test Vertical Wedge\n");
        if (image) image->FillVertWedge(mode, 0, 0x3FF);
        if (alpha) alpha->FillVertRamp();
    } else if (entry.Left(6) == "RANDOM") {
        say("Test Random Data\n");
        DWORD seed = 0;
        if (!ReadRandomSeed(entry, seed)) {
            PrintColor("SEED not understood\n", kColorRed);
            return 0;
        }
        PrintColorFormat(kColorBlack, "SEED=0x%08X\n", seed);
        if (image) image->FillRandom(seed, 1, 0, 0x3FF);
        if (alpha) alpha->FillRandom(seed);
    } else {
        PrintColorFormat(kColorRed, "Unrecognized pattern=%s\n", entry.c_str());
        return 0;
    }
    return 1;
}

// ---- Chip set-up and status ----

BOOL CSorbelinUnpacker::InitRegs(DWORD verbose) {
    const RegisterPtr base = m_bridge ? m_bridge->GetRegisterBase() : RegisterPtr();
    auto id = [&] { return base ? base[0x48 / 4].Read() : 0u; };
    DWORD value = id();
    if (value >> 20 != 0x110) {
        CString line;
        line.Format("ERROR: Bad Dremolun ID = 0x%08X", value);
        PrintRed(line);
        return FALSE;
    }
    value = id();
    if (verbose > 1) PrintColorFormat(kColorBlack, "Dremolun Rev[0x%02X.0x%03X]\n", (value >> 12) & 0xFF, value & 0xFFF);
    if (((id() >> 12) & 0xFF) == 0) {
        PrintRed("ERROR: Dremolun Major rev not high enough\n");
        return FALSE;
    }
    if ((id() & 0xFFF) == 0) {
        PrintRed("ERROR: Dremolun Minor rev not high enough\n");
        return FALSE;
    }
    const DWORD expected = GetExpectedDeviceId();
    const DWORD chip = m_bridge->ReadDataFixed(kRevision);
    if (expected != chip >> 20) {
        CString line;
        line.Format("Incorrect Sorbelin rev expected[0x%03X]  Received(DevID[0x%03X]  Major[0x%03X]  Minor[0x%02X]  full[0x%08X])\n", expected,
                    chip >> 20, (chip >> 12) & 0xFF, chip & 0xFFF, chip);
        PrintRed(line);
        return FALSE;
    }
    return WaitDDRInit64(verbose);
}

DWORD CSorbelinUnpacker::GetExpectedDeviceId() {
    const int chip = GetChipFromName(1);
    if (chip == 1) return 0x140;
    if (chip != 2) return 0;
    auto* device = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    CWexalBAR0Space* bar0 = device ? device->GetBAR0Space() : nullptr;
    if (!bar0) {
        PrintColor("ERROR:  The board has no BAR0 register space: the product data cannot be read\n", kColorRed);
        return 0;
    }
    const std::optional<long long> artwork = ReadArtwork(*bar0, 79);
    if (artwork && *artwork < 2) return 0x140;
    return 0x150;
}

BOOL CSorbelinUnpacker::SetContextRamEntry(DWORD index, DWORD width, DWORD height, WORD inFormat, WORD outFormat) {
    if (width >= 4096 || height >= 4096 || height < 4 || index > 15 || !m_bridge) return FALSE;
    m_bridge->WriteDataFixed(m_contextAddress[index], height << 16 | width);
    m_bridge->WriteDataFixed(m_contextAddress[index] + 4, DWORD{outFormat} << 16 | inFormat);
    return TRUE;
}

BOOL CSorbelinUnpacker::WaitDDRInit64(DWORD verbose) {
    m_bridge->WriteDataFixed(kDdrControl, 1);
    Sleep(1);
    for (int i = 0; i < 100; ++i) {
        if ((m_bridge->ReadDataFixed(kDdrControl) & 0x10001) == 0x10001) {
            if (verbose > 1) PrintColor("64Bit DDR Init done received\n", kColorGreen);
            return TRUE;
        }
        Sleep(1);
    }
    PrintRed("Timeout waiting for DDR SDRAM Init done.\n");
    return FALSE;
}

BOOL CSorbelinUnpacker::RAMInit(DWORD verbose) {
    if (!m_bridge) return FALSE;
    BOOL result = TRUE;
    if (verbose > 1) PrintColor("CSorbelinUnpacker::RAMInit()\n", kColorBlack);
    DWORD revision = 0;
    GetProgrammedRevision(&revision);
    struct Step {
        DWORD start, bit;
        const char* done;
        const char* timeout;
    };
    const Step steps[2] = {
        {2, 0x20000, "32Bit DDR Init done received\n",
         "RAMInit() Timeout (%d milliseconds) waiting for 32Bit DDR Init done.\nReceived Status[0x%08X], Looking for bit(s)[0x%08X]\n"},
        {1, 0x10000, "64Bit DDR Init done received\n",
         "RAMInit() Timeout (%d milliseconds) waiting for 64Bit DDR Init done.\nReceived Status[0x%08X], Looking for bit(s)[0x%08X]\n"},
    };
    for (const Step& step : steps) {
        if (step.start == 2 && revision < 0x604) continue;
        m_bridge->WriteDataFixed(kDdrControl, step.start);
        DWORD status = 0;
        bool done = false;
        for (int i = 0; i < 100 && !done; ++i) {
            status = m_bridge->ReadDataFixed(kDdrControl);
            done = (status & step.bit) != 0;
            if (!done) Sleep(1);
        }
        if (done) {
            if (verbose > 1) PrintColor(step.done, kColorGreen);
            continue;
        }
        CString line;
        line.Format(step.timeout, 100, status, step.bit);
        PrintRed(line);
        result = FALSE;
    }
    return result;
}

void CSorbelinUnpacker::ShowStatus(DWORD verbose) {
    if (verbose <= 1 || !m_bridge) return;
    const DWORD fifo1 = m_bridge->ReadDataFixed(kFifo1), fifo2 = m_bridge->ReadDataFixed(kFifo2);
    DWORD revision = 0;
    GetProgrammedRevision(&revision);
    if (revision >= 0x604) {
        const DWORD bist32 = m_bridge->ReadDataFixed(kBist32);
        const DWORD bist64 = m_bridge->ReadDataFixed(kBist64);
        PrintColorFormat(kColorBlack,
                         "Unpacker fifo:\tStatus1[0x%08X]  Status2[0x%08X]\nMembist Control:\tStatus[32bit=0x%08X  64bit=0x%08X] \"<-- Clears on read\"\n",
                         fifo1, fifo2, bist32, bist64);
    } else {
        const DWORD bist64 = m_bridge->ReadDataFixed(kBist64);
        PrintColorFormat(kColorBlack, "Unpacker fifo:\tStatus1[0x%08X]  Status2[0x%08X]\nMembist Control:\tStatus[64bit=0x%08X] \"<-- Clears on read\"\n",
                         fifo1, fifo2, bist64);
    }
    if (revision >= 0x60B) {
        DWORD in = 0, out = 0, expansion = 0;
        GetCRCs(in, out, expansion);
        PrintColorFormat(kColorBlack, "Unpacker CRC Video Port IN = 0x%08X\n", in);
        PrintColorFormat(kColorBlack, "Unpacker CRC Video Port OUT = 0x%08X\n", out);
        PrintColorFormat(kColorBlack, "Unpacker CRC Expansion Port OUT = 0x%08X\n", expansion);
    }
}

void CSorbelinUnpacker::ShowContextRam() {
    if (!m_bridge) return;
    for (int i = 0; i < 16; ++i) {
        const DWORD w0 = m_bridge->ReadDataFixed(m_contextAddress[i]), w1 = m_bridge->ReadDataFixed(m_contextAddress[i] + 4);
        PrintColorFormat(kColorBlack, "ContextRam[%d]:\tID[%d]\t\tWidth[%d]\tHeight[%d]\tInFormat[%d]\tOutFormat[%d]\n", i,
                         static_cast<int>((w0 >> 12) & 0xF), static_cast<int>(w0 & 0xFFF), static_cast<int>((w0 >> 16) & 0xFFF),
                         static_cast<int>(w1 & 0xFFFF), static_cast<int>(w1 >> 16));
    }
}

void CSorbelinUnpacker::ResetCRCs() {
    m_crc[0] = m_crc[1] = m_crc[2] = 0;
    if (!m_bridge) return;
    m_bridge->WriteDataFixed(kCrcReset, 0x100);
    Sleep(1);
    m_bridge->WriteDataFixed(kCrcReset, 0);
}

void CSorbelinUnpacker::GetCRCs(DWORD& videoIn, DWORD& videoOut, DWORD& expansionOut) {
    const DWORD registers[3] = {kCrcVideoIn, kCrcVideoOut, kCrcExpansionOut};
    for (int i = 0; i < 3; ++i)
        if (m_crc[i] == 0 && m_bridge) m_crc[i] = m_bridge->ReadDataFixed(registers[i]);
    videoIn = m_crc[0];
    videoOut = m_crc[1];
    expansionOut = m_crc[2];
}

BOOL CSorbelinUnpacker::CheckTransferSize(DWORD, const DWORD dcb[8], CString& report) {
    static const WORD kSizes[28][2] = {
        {160, 120}, {180, 120}, {180, 121}, {180, 144}, {64, 64},    {256, 4},     {320, 180},   {320, 240},  {360, 240}, {360, 242},
        {360, 270}, {360, 288}, {480, 258}, {480, 270}, {512, 384},  {640, 360},   {640, 480},   {720, 480},  {720, 486}, {720, 540},
        {720, 576}, {960, 517}, {960, 540}, {1024, 768}, {1280, 720}, {1440, 1080}, {1920, 1080}, {2048, 1536}};
    const DWORD size = 4 * ((dcb[3] >> 16) * (dcb[4] & 0xFFFF) + (dcb[3] & 0xFFFF));
    bool matched = false;
    for (const auto& s : kSizes) {
        const DWORD w = s[0], h = s[1];
        if (size == 2 * w * h) {
            report.AppendFormat("~*BLACK*~~*BACK_WHITE*~Transfer size matches Alpha[%d,%d]\n~*BLACK*~~*BACK_WHITE*~", static_cast<int>(w),
                                static_cast<int>(h));
            matched = true;
        }
        if (size == 4 * w * h) {
            report.AppendFormat("~*BLACK*~~*BACK_WHITE*~Transfer size matches Image[%d,%d]\n~*BLACK*~~*BACK_WHITE*~", static_cast<int>(w),
                                static_cast<int>(h));
            matched = true;
        }
    }
    if (!matched) report += "~*RED*~~*BACK_WHITE*~Transfer size does not match any common resolution\n.~*BLACK*~~*BACK_WHITE*~";
    report += "\n";
    return matched ? TRUE : FALSE;
}

void CSorbelinUnpacker::ClearDCB(RegisterPtr dcb, RegisterRef control) {
    DWORD words[8];
    for (int i = 0; i < 8; ++i) words[i] = dcb[i].Read();
    control = 0;
    for (int i = 1; i <= 4; ++i) words[i] = 0;
    for (int i = 0; i < 8; ++i) dcb[i] = words[i];
    control = 0x80;
    control = 1;
    words[0] = 0;
    for (int i = 0; i < 8; ++i) dcb[i] = words[i];
}

BOOL CSorbelinUnpacker::UnpackImageSW(const CString& file, DWORD width, DWORD height, DWORD frames) {
    const unsigned long long frameBytes = 4ull * width * height;
    if (frameBytes * frames > 0xFFFFFFFFull) {
        PrintColorFormat(kColorRed, "Unpack Image SW:  %u frames of %u x %u do not fit a 4 GB file\n", frames, width, height);
        return FALSE;
    }
    const DWORD frameSize = static_cast<DWORD>(frameBytes);
    CFile in;
    if (!in.Open(file, CFile::modeRead | CFile::typeBinary)) return FALSE;
    if (static_cast<ULONGLONG>(in.GetLength()) != static_cast<ULONGLONG>(frameSize) * frames) return FALSE;
    const DWORD pad = Packed::Image::YCbCr_8_2::GetPadFor(width, height);
    for (DWORD n = 1; n <= frames; ++n) {
        Unpacked::Image::YCbCr_10_6 image(width, height, 0);
        in.Seek(static_cast<LONGLONG>(n - 1) * frameSize, CFile::begin);
        if (!image.GetBuffer() || in.Read(image.GetBuffer(), frameSize) != frameSize) return FALSE;
        const Packed::Image::YCbCr_8_2 packed(image, pad);
        CString name;
        name.Format("%s.%u", file.c_str(), n);
        if (!SaveImageFile(packed, name, 0)) return FALSE;
    }
    in.Close();
    return TRUE;
}

bool CSorbelinUnpacker::ReportsFrameCRCs() { return IsEngineering() == 1 && m_bridge; }

void CSorbelinUnpacker::FrameCRCReport(const CImage* srcPacked, const CImage* dstUnpacked, const CImage* rtvUnpacked, DWORD frames) {
    if (!ReportsFrameCRCs()) return;
    const DWORD chipIn = m_bridge->ReadDataFixed(kCrcVideoIn);
    const DWORD chipOut = m_bridge->ReadDataFixed(kCrcVideoOut);
    PrintColor("\nCalculating CRCs\n", kColorBlack);
    const CRC32_D64<Packed::Image::YCbCr_8_2> packedModel;
    const CRC32_D64<Unpacked::Image::YCbCr_10_6> unpackedModel;
    DWORD src = 0, dst = 0, rtv = 0;
    for (DWORD f = 0; f < frames; ++f) {
        if (srcPacked) {
            PrintColor(".", kColorBlack);
            src = srcPacked->ComputeCRC(packedModel, src, 1);
        }
        if (dstUnpacked) {
            PrintColor(".", kColorBlack);
            dst = dstUnpacked->ComputeCRC(unpackedModel, dst, 1);
        }
        if (rtvUnpacked) {
            PrintColor(".", kColorBlack);
            rtv = rtvUnpacked->ComputeCRC(unpackedModel, rtv, 1);
        }
    }
    PrintColor("\n", kColorBlack);
    auto line = [&](const char* format, DWORD chip, DWORD calculated) {
        PrintColorFormat(chip == calculated ? kColorGreen : kColorRed, format, chip, calculated);
    };
    if (srcPacked) line("SRC Packed Image:\tSorbelinCRC[0x%08X]  CalculatedCRC[0x%08X]\n", chipIn, src);
    if (dstUnpacked) line("DST Unpacked Image:\tSorbelinCRC[0x%08X]  CalculatedCRC[0x%08X]\n", chipOut, dst);
    if (rtvUnpacked) line("RTV Unpacked Image:\tSorbelinCRC[0x%08X]  CalculatedCRC[0x%08X]\n", chipOut, rtv);
}
