// CSorbelinPacker: dispatcher, options, chip set-up, port CRCs, displays and image saves of the packer test.
#include "codec/chip/sorbelin_packer.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "codec/chip/sorbelin_harness.h"
#include "devlib/devices.h"
#include "devlib/perf_list.h"
#include "devlib/wexal_spaces.h"
#include "framework/arg_number.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/dcb_list.h"
#include "framework/hw/dma_report.h"
#include "framework/hw/wexal_dcb.h"
#include "platform/clock.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "images/image_crc.h"
#include "images/multi_image_file.h"

CSorbelinPacker::CSorbelinPacker(CNuxaDSP* dsp, CDremolun* bridge, CJastel* controller, CString name)
    : CSorbelin(dsp, bridge, controller, name), m_memTests(*this, CSorbelinMemTests::kPacker, controller) {
    ResetVideoPortCRCs();
    const int preset = (IsRegression() ? 2 : 0) | (IsEngineering() ? 1 : 0);
    if (!GetImageList()->SetDefaults(preset, 1)) PrintColor("Image Mode is UNDEFINED\n", kColorRed);
    if (!GetResolutionList()->SetDefaults(preset)) PrintColor("Resolution Mode is UNDEFINED\n", kColorRed);
    for (DWORD i = 0; i < 16; ++i) m_contextRam[i] = kContextRam + 8 * i;
}

DWORD CSorbelinPacker::GetNextRunStage(DWORD previous) {
    return previous == 0 ? kStageBase : previous == kStageBase ? kStageRunTest : kStageNone;
}

namespace {

enum Code : DWORD {
    kShowRevID = 1, kRAMInit = 2, kContextRAM = 3, kSetDCMPhase = 4, kShowStatus = 6, kShowContextRam = 7, kMemBistTest = 8, kMemBistScan = 9,
    kVideoAlpha = 0x500, kVideoImage = 0x900, kVideoMixed = 0xD00, kSaveImage = 0x805, kSaveAlpha = 0x405,
};

// DCB 1 of a channel as the round trips' template: the frames lie line after line, whatever line
// spacing an earlier test (an encoder run's fields) left in it.
WexalDCB FrameTemplate(CWexalDMAChannel& channel) {
    WexalDCB t;
    channel.GetDCB(1, &t);
    t.SetPad(0);
    return t;
}

}  // namespace

DWORD CSorbelinPacker::RunTest(CString command) {
    static const struct {
        const char* keyword;
        DWORD code;
    } kKeywords[] = {
        {"Show RevID", kShowRevID},
        {"Show Status", kShowStatus},
        {"Show Context Ram", kShowContextRam},
        {"RAM_Init", kRAMInit},
        {"\"Context RAM\"", kContextRAM},
        {"\"Set DCM Phase\"", kSetDCMPhase},
        {"\"MemBist Test\"", kMemBistTest},
        {"\"MemBist Scan\"", kMemBistScan},
        {"\"Video:Alpha\"", kVideoAlpha},
        {"\"Video:Image\"", kVideoImage},
        {"\"Video:Mixed\"", kVideoMixed},
        {"\"Save Image\"", kSaveImage},
        {"\"Save Alpha\"", kSaveAlpha},
    };
    // The bridge serves both chips: point it at this test's chip first.
    SelectChip();
    DWORD code = 0;
    CString rest;
    for (const auto& row : kKeywords) {
        const size_t n = std::strlen(row.keyword);
        if (command.Left(static_cast<int>(n)) != row.keyword) continue;
        code = row.code;
        rest = command.Mid(static_cast<int>(n));
        rest.TrimLeft();
    }
    HarnessRequest request;
    request.command = command;
    const ArgSize size = ReadArgDim(command, false);
    if (size.state == ArgRead::Refused) {
        PrintColor(size.refusal, kColorRed);
        return 0;
    }
    if (size.count >= 1) request.width = static_cast<long>(size.x);
    if (size.count >= 2) request.height = static_cast<long>(size.y);
    request.dimensionsGiven = size.count == 2;
    long frames = 1;
    const ArgNumber framesRead =
        ReadArgAfter(command, "FRAMES=", platform::NumberForm::Decimal, platform::NumberField{1, 15}, "FRAMES");
    if (framesRead.state != ArgRead::Absent) {
        code |= kFramesFlag;
        if (framesRead.state == ArgRead::Refused) {
            PrintColor("Number of frames must be between 1 and 15.", kColorRed);
            return 0;
        }
        frames = static_cast<long>(framesRead.value);
    }
    request.verbose = ReadVerbosity(command);
    CString file;
    const int fileAt = command.Find("FILE=");
    if (fileAt >= 0) {
        CString value = command.Mid(fileAt + 5);
        value.TrimLeft();
        if (!ReadFileName(value, file)) return 0;
    }
    // Sizes the picture classes cannot hold are refused before any picture is built.
    const bool video = (code & ~kFramesFlag) == kVideoAlpha || (code & ~kFramesFlag) == kVideoImage || (code & ~kFramesFlag) == kVideoMixed;
    if ((video || code == kSaveImage || code == kSaveAlpha) && (request.width < 0 || request.height < 0 || request.width > 4095 || request.height > 4095)) {
        CString line;
        line.Format("Invalid resolution DIM=(%ld,%ld)\n", request.width, request.height);
        PrintColor(line, kColorRed);
        return 0;
    }
    CImagePatternHarness harness(*this);
    const DWORD verbose = request.verbose;
    switch (code) {
    case kShowRevID: ShowRevisionID(GetRevisionID()); return 1;
    case kShowStatus: ShowStatus(); return 1;
    case kShowContextRam: ShowContextRam(); return 1;
    case kRAMInit: return RAMInit(1);
    case kContextRAM: return static_cast<DWORD>(m_memTests.TestContextRAM(m_pattern));
    case kSetDCMPhase: return static_cast<DWORD>(m_memTests.SetDCMPhase(rest, 1));
    case kMemBistTest: {
        DWORD status = 0;
        return static_cast<DWORD>(m_memTests.MemBistTest(rest, &status));
    }
    case kMemBistScan:
    case kMemBistScan | kFramesFlag: return static_cast<DWORD>(m_memTests.MemBistScan(file, rest));
    case kVideoImage:
    case kVideoImage | kFramesFlag:
        return harness.RunImage(request, [&](Unpacked::Image::YCbCr_10_6& image) {
            return VideoImage(code, rest, image, static_cast<DWORD>(frames), verbose);
        });
    case kVideoAlpha:
    case kVideoAlpha | kFramesFlag:
        return harness.RunAlpha(request, [&](Unpacked::Alpha::YCbCr_10_6& alpha) {
            return VideoAlpha(code, rest, alpha, static_cast<DWORD>(frames), verbose);
        });
    case kVideoMixed:
    case kVideoMixed | kFramesFlag:
        return harness.RunFull(request, [&](Unpacked::Alpha::YCbCr_10_6& alpha, Unpacked::Image::YCbCr_10_6& image) {
            return VideoMixed(code, rest, alpha, image, static_cast<DWORD>(frames), verbose);
        });
    case kSaveImage: return SaveImage(rest, file, request.width, request.height);
    case kSaveAlpha: return SaveAlpha(rest, file, request.width, request.height);
    default: break;
    }
    PrintColor("\n\nERROR:  CSorbelinPacker\n\"" + command + "\" Not recognized as a valid test\n", kColorRed);
    return 0;
}

BOOL CSorbelinPacker::RAMInit(DWORD verbose) {
    if (verbose > 1) PrintColor("CSorbelinPacker::RAMInit()\n", kColorBlack);
    if (!m_bridge) return 0;
    m_bridge->WriteDataFixed(kDDRControl, 1);
    DWORD status = 0;
    for (int poll = 0; poll < 100; ++poll) {
        status = m_bridge->ReadDataFixed(kDDRControl);
        if (status & 0x10000) {
            if (verbose > 1) PrintColor("64Bit DDR Init done received\n", kColorGreen);
            return 1;
        }
        Sleep(1);
    }
    CString line;
    line.Format("ERROR:  Timeout (%d milliseconds) waiting for DDR init done: Status[0x%08X]  Mask[0x%08X]", 100, status, 0x10000u);
    PrintRed(line);
    return 0;
}

namespace {

const int kResolutions[28][2] = {
    {160, 120}, {180, 120}, {180, 121}, {180, 144}, {64, 64},    {256, 4},     {320, 180},  {320, 240},   {360, 240},  {360, 242},
    {360, 270}, {360, 288}, {480, 258}, {480, 270}, {512, 384},  {640, 360},   {640, 480},  {720, 480},   {720, 486},  {720, 540},
    {720, 576}, {960, 517}, {960, 540}, {1024, 768}, {1280, 720}, {1440, 1080}, {1920, 1080}, {2048, 1536},
};

}  // namespace

BOOL CSorbelinPacker::CheckTransferSize(DWORD channel, const DWORD dcb[8], CString& report) {
    const DWORD bytes = ((dcb[3] & 0xFFFF) + (dcb[3] >> 16) * (dcb[4] & 0xFFFF)) * 4;
    BOOL result = 1;
    bool matched = false;
    CString line;
    for (const auto& r : kResolutions) {
        const DWORD w = static_cast<DWORD>(r[0]), h = static_cast<DWORD>(r[1]);
        if (bytes == Packed::Alpha::YCbCr_8_2::GetSizeFor(w, h) + Packed::Alpha::YCbCr_8_2::GetPadFor(w, h)) {
            line.Format("~*BLACK*~~*BACK_WHITE*~Transfer size matches Alpha[%d,%d]\n~*BLACK*~~*BACK_WHITE*~", r[0], r[1]);
            report += line;
            matched = true;
        }
        if (bytes == Packed::Image::YCbCr_8_2::GetSizeFor(w, h) + Packed::Image::YCbCr_8_2::GetPadFor(w, h)) {
            line.Format("~*BLACK*~~*BACK_WHITE*~Transfer size matches Image[%d,%d]\n~*BLACK*~~*BACK_WHITE*~", r[0], r[1]);
            report += line;
            matched = true;
        }
    }
    if (!matched) {
        report += "~*RED*~~*BACK_WHITE*~Transfer size does not match any common resolution\n.~*BLACK*~~*BACK_WHITE*~";
        result = 0;
    }
    // The packer's channels move whole 4096-byte pages; the check is made on the largest common
    // picture, whose packed size is such a multiple, so it never reports.
    if (channel == 24 || channel == 25 || channel == 58) {
        if (Packed::Image::YCbCr_8_2::GetSizeFor(2048, 1536) % 4096 != 0) {
            report += "~*RED*~~*BACK_WHITE*~Image size is not modulo 4096.~*BLACK*~~*BACK_WHITE*~\n";
            result = 0;
        }
    }
    report += "\n";
    return result;
}

int CSorbelinPacker::GetChipFromName(DWORD verbose) {
    CString name = GetName();
    const char last = name.IsEmpty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(name[name.GetLength() - 1])));
    const int alpha = std::isalpha(static_cast<unsigned char>(last)) ? 1 : 0;
    const int value = alpha ? last - 0x40 : 0;
    if (verbose >= 5) {
        name.TrimRight();
        CString line;
        const char one[2] = {last, '\0'};
        line.Format("CSorbelinPacker::ClassName[%s] String[%s] Char[%c] isAlpha[%d] Value[%d]\n", name.c_str(), one, last, alpha, value);
        PrintColor(line, kColorBlack);
    }
    return value;
}

void CSorbelinPacker::HelpTest(CString name) {
    CString line;
    line.Format("\nHelp is not available for:\n  CSorbelinPacker %s\n", name.c_str());
    PrintColor(line, kColorBlack);
}

DWORD CSorbelinPacker::GetRevisionID() { return m_bridge ? m_bridge->ReadDataFixed(kChipId) : 0; }

void CSorbelinPacker::ResetVideoPortCRCs() {
    m_crcIn = m_crcOut = 0;
    if (!m_bridge) return;
    m_bridge->WriteDataFixed(kDCMControl, 0x100);
    Sleep(1);
    m_bridge->WriteDataFixed(kDCMControl, 0);
}

void CSorbelinPacker::GetVideoPortCRCs(DWORD* in, DWORD* out) {
    if (m_bridge && m_crcIn == 0) m_crcIn = m_bridge->ReadDataFixed(kCrcIn);
    if (m_bridge && m_crcOut == 0) m_crcOut = m_bridge->ReadDataFixed(kCrcOut);
    *in = m_crcIn;
    *out = m_crcOut;
}

void CSorbelinPacker::CheckChipCRCs(const CImage* source, const CImage* expected, const CImage* readBack, DWORD frames) {
    if (!IsEngineering() || !m_bridge) return;
    const DWORD chipIn = m_bridge->ReadDataFixed(kCrcIn), chipOut = m_bridge->ReadDataFixed(kCrcOut);
    PrintColor("\nCalculating CRCs\n", kColorBlack);
    const CRC32_D64<Unpacked::Image::YCbCr_10_6> unpacked;
    const CRC32_D64<Packed::Image::YCbCr_8_2> packed;
    DWORD crc[3] = {0, 0, 0};
    const CImage* images[3] = {source, expected, readBack};
    for (DWORD f = 0; f < frames; ++f) {
        for (int i = 0; i < 3; ++i) {
            if (!images[i]) continue;
            PrintColor(".", kColorBlack);
            crc[i] = i == 0 ? images[i]->ComputeCRC(unpacked, crc[i], 1) : images[i]->ComputeCRC(packed, crc[i], 1);
        }
    }
    PrintColor("\n", kColorBlack);
    static const char* const kLines[3] = {"SRC Unpacked Image:\tSorbelinCRC[0x%08X]  CalculatedCRC[0x%08X]\n",
                                          "DST Packed Image:\tSorbelinCRC[0x%08X]  CalculatedCRC[0x%08X]\n",
                                          "RTV Packed Image:\tSorbelinCRC[0x%08X]  CalculatedCRC[0x%08X]\n"};
    for (int i = 0; i < 3; ++i) {
        if (!images[i]) continue;
        const DWORD chip = i == 0 ? chipIn : chipOut;
        CString line;
        line.Format(kLines[i], chip, crc[i]);
        PrintColor(line, chip == crc[i] ? kColorGreen : kColorRed);
    }
}

BOOL CSorbelinPacker::InitRegs(DWORD verbose) {
    const RegisterPtr bridgeRegs = m_bridge ? m_bridge->GetRegisterBase() : RegisterPtr();
    const DWORD id = bridgeRegs ? static_cast<DWORD>(bridgeRegs[0x48 / 4]) : 0;
    CString line;
    if (id >> 20 != kBridgeId) {
        line.Format("ERROR: Bad Dremolun ID = 0x%08X", id);
        PrintRed(line);
        return 0;
    }
    if (verbose > 1) {
        line.Format("Dremolun Rev[0x%02X.0x%03X]\n", (id >> 12) & 0xFF, id & 0xFFF);
        PrintColor(line, kColorBlack);
    }
    if ((id & 0xFF000) < 0x1000) {
        PrintRed("ERROR: Dremolun Major rev not high enough\n");
        return 0;
    }
    if ((id & 0xFFF) == 0) {
        PrintRed("ERROR: Dremolun Minor rev not high enough\n");
        return 0;
    }
    const DWORD expected = GetExpectedDeviceID();
    const DWORD value = m_bridge->ReadDataFixed(kChipId);
    if (expected != value >> 20) {
        line.Format("Incorrect Sorbelin rev expected[0x%03X]  Received(DevID[0x%03X]  Major[0x%03X]  Minor[0x%02X]  full[0x%08X])\n", expected,
                    value >> 20, (value >> 12) & 0xFF, value & 0xFFF, value);
        PrintRed(line);
        return 0;
    }
    return WaitDDRInitDone(verbose);
}

BOOL CSorbelinPacker::WaitDDRInitDone(DWORD verbose) {
    m_bridge->WriteDataFixed(kDDRControl, 1);
    Sleep(1);
    for (int poll = 0; poll < 100; ++poll) {
        const DWORD value = m_bridge->ReadDataFixed(kDDRControl);
        if ((value & 0x10001) == 0x10001) {
            if (verbose > 1) PrintColor("64Bit DDR Init done received\n", kColorGreen);
            return 1;
        }
        Sleep(1);
    }
    PrintRed("Timeout waiting for DDR SDRAM Init done.\n");
    return 0;
}

BOOL CSorbelinPacker::SetContext(DWORD context, DWORD width, DWORD height, DWORD low, DWORD high) {
    if (width >= 4096 || height >= 4096 || height < 3 || context > 15 || !m_bridge) return 0;
    m_bridge->WriteDataFixed(kContextRam + 8 * context, height << 16 | width);
    m_bridge->WriteDataFixed(kContextRam + 8 * context + 4, high << 16 | (low & 0xFFFF));
    return 1;
}

DWORD CSorbelinPacker::GetExpectedDeviceID() {
    if (GetChipFromName(1) != 2) return 0x120;
    CWexalBAR0Space* bar0 = m_boardIF.GetWexalBAR0Space();
    if (!bar0) {
        PrintColor("ERROR:  CSorbelin::Packer()  pBar0Space is NULL\n", kColorRed);
        return 0;
    }
    const std::optional<long long> artwork = ReadArtwork(*bar0, 79);
    if (artwork && *artwork < 2) return 0x120;
    return 0x130;
}

void CSorbelinPacker::ShowStatus() {
    if (!m_bridge) return;
    const DWORD s1 = m_bridge->ReadDataFixed(kFifoStatus1), s2 = m_bridge->ReadDataFixed(kFifoStatus2);
    const DWORD bist = m_bridge->ReadDataFixed(kMemBist64);
    CString line;
    line.Format("Packer fifo:\tStatus1[0x%08X]  Status2[0x%08X]\nMembist Control:\tStatus[64bit=0x%08X] \"<-- Clears on read\"\n", s1, s2, bist);
    PrintColor(line, kColorBlack);
    DWORD revision = 0;
    GetProgrammedRevision(&revision);
    if (revision < kCrcRevision) return;
    DWORD in = 0, out = 0;
    GetVideoPortCRCs(&in, &out);
    line.Format("PACKER CRC Video Port IN = 0x%08X\n", in);
    PrintColor(line, kColorBlack);
    line.Format("PACKER CRC Video Port OUT = 0x%08X\n", out);
    PrintColor(line, kColorBlack);
}

void CSorbelinPacker::ShowContextRam() {
    if (!m_bridge) return;
    for (DWORD n = 0; n < 16; ++n) {
        const DWORD w0 = m_bridge->ReadDataFixed(m_contextRam[n]), w1 = m_bridge->ReadDataFixed(m_contextRam[n] + 4);
        CString line;
        line.Format("ContextRam[%d]:  ID[%d]  Width[%d]  Height[%d]  InFormat[%d]  OutFormat[%d]\n", static_cast<int>(n), (w0 >> 12) & 0xF,
                    w0 & 0xFFF, (w0 >> 16) & 0xFFF, w1 & 0xFFFF, w1 >> 16);
        PrintColor(line, kColorBlack);
    }
}

DWORD CSorbelinPacker::SaveImage(const CString& rest, const CString& file, long width, long height) { return Save(true, rest, file, width, height); }

DWORD CSorbelinPacker::SaveAlpha(const CString& rest, const CString& file, long width, long height) { return Save(false, rest, file, width, height); }

namespace {

// Gives read, a picture of the expected packing's geometry, the expected's sample format, and no
// block where the expected has none. Its bytes are not packed: a frame is read into it before any
// compare looks at them, so packing the source into it too would only be thrown away.
template <class PackedT>
void ShapeReadBack(PackedT& read, const PackedT& expected) {
    if (!expected.GetBuffer()) read.Free();
    read.SetSampleFormat(expected.GetSampleFormat());
}

template <class Unpacked, class PackedT>
DWORD SaveFrames(CSorbelinPacker& test, bool dual, DWORD source, DWORD address, const CString& file, int format, DWORD width, DWORD height) {
    PackedT packed(width, height, PackedT::GetPadFor(width, height));
    if (!packed.GetBuffer()) packed.Allocate();
    if (!packed.GetBuffer() || !test.ReadMemory(address, packed.GetBuffer(), packed.GetSize() + packed.GetOffset())) return 0;
    if (!dual) return CSorbelin::SaveImageFile(packed, file, format);
    Unpacked unpacked(width, height);
    if (!unpacked.GetBuffer()) unpacked.Allocate();
    if (!unpacked.GetBuffer() || !test.ReadMemory(source, unpacked.GetBuffer(), unpacked.GetSize())) return 0;
    if (format == 1) {
        const bool p = CSorbelin::SaveImageFile(packed, file + ".P", 1) != 0;
        const bool u = CSorbelin::SaveImageFile(unpacked, file + ".U", 1) != 0;
        return p && u ? 1 : 0;
    }
    CMultiImageFile<Unpacked, PackedT> pair;
    return pair.Save(file, unpacked, packed, 0) == 1 ? 1 : 0;
}

}  // namespace

DWORD CSorbelinPacker::Save(bool image, const CString& rest, const CString& file, long width, long height) {
    const CString& text = rest;
    if (width <= 0 || height <= 0) {
        PrintColor("Unable to read either XSize or YSize.  Use DIM=(XSize, YSize).\n", kColorRed);
        return 0;
    }
    if (file.IsEmpty()) {
        PrintColor("Unable to read filename.  Use FILE=filename.\n", kColorRed);
        return 0;
    }
    const CString syntax = CString("SYNTAX:  \"") + (image ? "Save Image" : "Save Alpha") + "\" ADDRESS=0x00001000 DIM=(720,486) FILE=C:\\Test.Img\n";
    const ArgNumber formatRead = ReadArgAfter(text, "FORMAT=", platform::NumberForm::Decimal, platform::kSigned32Field, "FORMAT");
    // An address past 32 bits is refused whole, never read as its first eight digits.
    const ArgNumber addressRead =
        ReadArgAfter(text, "ADDRESS=", platform::NumberForm::Prefixed, platform::kUnsigned32Field, "ADDRESS");
    if (addressRead.state == ArgRead::Refused) {
        PrintColor(addressRead.refusal, kColorRed);
        return 0;
    }
    if (formatRead.state == ArgRead::Refused) {
        PrintColor(formatRead.refusal, kColorRed);
        return 0;
    }
    int format = formatRead.state == ArgRead::Read ? static_cast<int>(formatRead.value) : 0;
    if (format > 1) format = 1;
    if (format < 0) {
        PrintColor("Invalid FORMAT: use 0 or 1\n", kColorRed);
        return 0;
    }
    const int addressAt = text.Find("ADDRESS=");
    unsigned int address = 0;
    bool dual = false;
    DWORD source = 0;
    if (addressRead.state == ArgRead::Read) address = static_cast<unsigned int>(addressRead.value);
    if (addressAt < 0 || addressRead.state != ArgRead::Read) {
        // A channel or DCB number past an int is refused, not cut to another one.
        const bool dcbForm = addressAt >= 0 && text.Mid(addressAt, 13) == "ADDRESS=@DCB(";
        const ArgInts dcb = dcbForm ? ReadArgInts(text.c_str() + addressAt + 13, 3, "DCB") : ArgInts{};
        if (dcb.state == ArgRead::Refused) {
            PrintColor(dcb.refusal, kColorRed);
            return 0;
        }
        const bool read = dcb.state == ArgRead::Read;
        const int s = read ? dcb.values[0] : -1, d = read ? dcb.values[1] : -1, n = read ? dcb.values[2] : -1;
        auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
        if (!read || s < 0 || d < 0 || s >= 64 || d >= 64 || n < 0 || n > 15 || !board) {
            PrintColor("Unrecognized WEXAL ADDRESS.\n", kColorRed);
            PrintColor(syntax, kColorRed);
            return 0;
        }
        DWORD src[8] = {}, dst[8] = {};
        board->GetDMAChannel(s)->GetDCBWords(n, src);
        board->GetDMAChannel(d)->GetDCBWords(n, dst);
        CString line;
        line.Format("Wexal Address:  Src[0x%08X]  Dst[0x%08X]\n", src[2], dst[2]);
        PrintColor(line, kColorBlack);
        source = src[2];
        address = dst[2];
        dual = true;
    }
    const DWORD w = static_cast<DWORD>(width), h = static_cast<DWORD>(height);
    return image ? SaveFrames<Unpacked::Image::YCbCr_10_6, Packed::Image::YCbCr_8_2>(*this, dual, source, address, file, format, w, h)
                 : SaveFrames<Unpacked::Alpha::YCbCr_10_6, Packed::Alpha::YCbCr_8_2>(*this, dual, source, address, file, format, w, h);
}

// One round trip's pictures and geometry: an image (4:2:2, BCU 2, destination where DCB 1 of the
// destination channel already points) or an alpha (BCU 3, destination at 0x1000).
struct CSorbelinPacker::Trip {
    bool image = true;
    CImage* source = nullptr;
    Packed::Image::YCbCr_8_2* dstImage = nullptr;
    Packed::Image::YCbCr_8_2* rtvImage = nullptr;
    Packed::Alpha::YCbCr_8_2* dstAlpha = nullptr;
    Packed::Alpha::YCbCr_8_2* rtvAlpha = nullptr;
    DWORD width = 0, height = 0, size = 0, pad = 0;
};

bool CSorbelinPacker::PrepareTrip(Trip& trip, const CImage& source, DWORD format, DWORD verbose) {
    const int chip = GetChipFromName(1);
    if (chip != 1 && chip != 2) {
        PrintColor("Unrecognized Chip\n", kColorRed);
        return false;
    }
    PrintColor(chip == 1 ? "Test Sorbelin A\n" : "Test Sorbelin B\n", kColorGreen);
    trip.width = source.GetWidth();
    trip.height = source.GetHeight();
    if (format == kFormatImage) {
        CString line;
        line.Format("Width = %ld  Height = %ld\n", static_cast<long>(trip.width), static_cast<long>(trip.height));
        PrintColor(line, kColorGreen);
    }
    if (!InitRegs(verbose)) {
        PrintColor("InitRegs failed.\n", kColorRed);
        return false;
    }
    if (!SetContext(0, trip.width, trip.height, format, format)) {
        PrintColor("SetContext failed.\n", kColorRed);
        return false;
    }
    return true;
}

BOOL CSorbelinPacker::VideoImage(DWORD code, CString rest, Unpacked::Image::YCbCr_10_6& source, DWORD frames, DWORD verbose) {
    (void)code;
    (void)rest;
    Trip trip;
    if (!PrepareTrip(trip, source, kFormatImage, verbose)) return 0;
    const DWORD w = trip.width, h = trip.height;
    CString line;
    trip.size = Packed::Image::YCbCr_8_2::GetSizeFor(w, h);
    trip.pad = Packed::Image::YCbCr_8_2::GetPadFor(w, h);
    if (verbose > 1) {
        line.Format("WidthSrc[%d]  HeightSrc[%d]  SizeData[%ld]  SizePad[%ld]\n", static_cast<int>(w), static_cast<int>(h), static_cast<long>(trip.size),
                    static_cast<long>(trip.pad));
        PrintColor(line, kColorBlack);
    }
    const DWORD format = source.GetSampleFormat();
    source.SetSampleFormat(kSampleFormatFull);
    Packed::Image::YCbCr_8_2 dst(source, trip.pad), rtv(w, h, trip.pad);
    source.SetSampleFormat(format);
    ShapeReadBack(rtv, dst);
    if (!dst.GetBuffer()) PrintColor("NULL pointer for dstImage\n", kColorRed);
    if (!rtv.GetBuffer()) PrintColor("NULL pointer for rtvImage\n", kColorRed);
    if (!dst.GetBuffer() || !rtv.GetBuffer()) return 0;
    trip.image = true;
    trip.source = &source;
    trip.dstImage = &dst;
    trip.rtvImage = &rtv;
    return RoundTrip(trip, frames, verbose);
}

BOOL CSorbelinPacker::VideoAlpha(DWORD code, CString rest, Unpacked::Alpha::YCbCr_10_6& source, DWORD frames, DWORD verbose) {
    (void)code;
    (void)rest;
    Trip trip;
    if (!PrepareTrip(trip, source, kFormatAlpha, verbose)) return 0;
    const DWORD w = trip.width, h = trip.height;
    trip.size = Packed::Alpha::YCbCr_8_2::GetSizeFor(w, h);
    trip.pad = Packed::Alpha::YCbCr_8_2::GetPadFor(w, h);
    Packed::Alpha::YCbCr_8_2 dst(source, trip.pad), rtv(w, h, trip.pad);
    if (!rtv.GetBuffer()) rtv.Allocate();
    if (!dst.GetBuffer()) PrintColor("NULL pointer for dstImage\n", kColorRed);
    if (!rtv.GetBuffer()) PrintColor("NULL pointer for rtvImage\n", kColorRed);
    if (!dst.GetBuffer() || !rtv.GetBuffer()) return 0;
    trip.image = false;
    trip.source = &source;
    trip.dstAlpha = &dst;
    trip.rtvAlpha = &rtv;
    return RoundTrip(trip, frames, verbose);
}

namespace {

struct Head {
    WexalDCB dcb;
    DWORD tag = 0, lines = 0, initial = 0, length = 0, pad = 0;
    bool Finished(DWORD frames) const { return lines == 0 && initial == 0 && tag == frames; }
};

Head ReadHead(CWexalDMAChannel* channel) {
    WexalDCB dcb;
    channel->GetDCB(0, &dcb);
    return {dcb, dcb.GetPortField().GetTag(), dcb.GetLines(), dcb.GetInitialLineLength(), dcb.GetLineLength(), dcb.GetPad()};
}

// "Frame Size Dst: ..." and "Frame Size Src: ...": lines, initial and line length and pad of both status DCBs.
CString FrameSizes(const Head& dst, const Head& src) {
    CString line;
    line.Format("Frame Size Dst: Y=%d; I=%d; L=%d; P=%d.\nFrame Size Src: Y=%d; I=%d; L=%d; P=%d.\n", static_cast<int>(dst.lines),
                static_cast<int>(dst.initial), static_cast<int>(dst.length), static_cast<int>(dst.pad), static_cast<int>(src.lines),
                static_cast<int>(src.initial), static_cast<int>(src.length), static_cast<int>(src.pad));
    return line;
}

// The end of a round trip: each channel's control strobed with 0x80, then 1.
void ReleaseChannels(const RegisterPtr& bar0, DWORD srcNumber, DWORD dstNumber) {
    bar0[(0x58000 + 4 * srcNumber) / 4] = 0x80;
    bar0[(0x58000 + 4 * srcNumber) / 4] = 1;
    bar0[(0x58000 + 4 * dstNumber) / 4] = 0x80;
    bar0[(0x58000 + 4 * dstNumber) / 4] = 1;
}

// What one frame's compare counts errors in: the samples of its whole pixel pairs (a packed
// picture), or its pixels (a packed alpha). The totals are out of these, summed over the frames
// compared, so a total never exceeds what was looked at.
long ComparedPerFrame(bool image, DWORD pixels) { return image ? 4L * (pixels / 2) : static_cast<long>(pixels); }

// Compares a packed image frame read back with the expected one a pixel pair (four samples) at a
// time; answers the number of samples whose 8-bit or 2-bit part differs. The first 20 bad pairs
// are shown in red while the frame has no more than 80 bad samples, each at the frame's start plus
// the planes' offsets (after a blank line with blankLine).
long ComparePackedImage(CTestBase& test, const Packed::Image::YCbCr_8_2& expected, const Packed::Image::YCbCr_8_2& read, DWORD pixels,
                        DWORD start, DWORD plane2, DWORD plane8, bool blankLine) {
    const BYTE *e8 = expected.Get8BitPlane(), *e2 = expected.Get2BitPlane(), *r8 = read.Get8BitPlane(), *r2 = read.Get2BitPlane();
    long errors = 0;
    int reports = 0;
    CString line;
    // Blocks of pairs whose two planes match byte for byte are passed over at memory speed.
    constexpr DWORD kBlockPairs = 4096;
    const DWORD pairs = pixels / 2;
    for (DWORD i = 0; i + 1 < pixels; i += 2) {
        const DWORD g = i / 2;
        if (g % kBlockPairs == 0 && pairs - g >= kBlockPairs && std::memcmp(e2 + g, r2 + g, kBlockPairs) == 0 &&
            std::memcmp(e8 + 4 * g, r8 + 4 * g, 4 * kBlockPairs) == 0) {
            i += 2 * kBlockPairs - 2;
            continue;
        }
        int wrong = 0;
        for (int s = 0; s < 4; ++s)
            if (((e2[g] >> (2 * s)) & 3) != ((r2[g] >> (2 * s)) & 3) || e8[4 * g + s] != r8[4 * g + s]) ++wrong;
        if (!wrong) continue;
        errors += wrong;
        if (errors > 80 || reports >= 20) continue;
        ++reports;
        line.Format(blankLine ? "\nOffset[0x%08X]  2bit[0x%08X]  8bit[0x%08X]\n" : "Offset[0x%08X]  2bit[0x%08X]  8bit[0x%08X]\n", i,
                    start + plane2 + i / 2, start + plane8 + 2 * i);
        test.PrintColor(line, kColorRed);
        for (int side = 0; side < 2; ++side) {
            const BYTE* p8 = side ? r8 : e8;
            const BYTE* p2 = side ? r2 : e2;
            const char* label = side ? "Read:\t" : "Expected:";
            line.Format("\t%s\tY0[0x%02X:%01X]  CB[0x%02X:%01X]\n\t%s\tY1[0x%02X:%01X]  CR[0x%02X:%01X]\n", label, p8[4 * g + 1], (p2[g] >> 2) & 3,
                        p8[4 * g], p2[g] & 3, label, p8[4 * g + 3], (p2[g] >> 6) & 3, p8[4 * g + 2], (p2[g] >> 4) & 3);
            test.PrintColor(line, kColorRed);
        }
    }
    return errors;
}

// Compares a packed alpha frame read back with the expected one; answers the number of pixels whose
// 8-bit or 2-bit part differs, and hands report(pixel, expected 2 bits, read 2 bits) the first 20
// of them while the frame has no more than 80.
template <class Report>
long ComparePackedAlpha(const Packed::Alpha::YCbCr_8_2& expected, const Packed::Alpha::YCbCr_8_2& read, DWORD pixels, Report report) {
    const BYTE *e8 = expected.Get8BitPlane(), *e2 = expected.Get2BitPlane(), *r8 = read.Get8BitPlane(), *r2 = read.Get2BitPlane();
    long errors = 0;
    int reports = 0;
    // A frame holds the counted 2-bit bytes only: when the pixel count is 4n + 1 the last pixel's
    // field lies in a byte that the picture keeps but no frame carries, so its 8-bit byte decides.
    const DWORD twoBitBytes = Packed::Alpha::YCbCr_8_2::GetSizeFor(expected.GetWidth(), expected.GetHeight()) - pixels;
    for (DWORD p = 0; p < pixels; ++p) {
        const int shift = static_cast<int>(2 * (p % 4));
        const bool carried = p / 4 < twoBitBytes;
        const DWORD ef = carried ? (e2[p / 4] >> shift) & 3 : 0, rf = carried ? (r2[p / 4] >> shift) & 3 : 0;
        if (ef == rf && e8[p] == r8[p]) continue;
        if (++errors > 80 || reports >= 20) continue;
        ++reports;
        report(p, ef, rf);
    }
    return errors;
}

// Compares a source frame read back from start with what was written there, eight bytes at a time
// (both 10-bit samples of each word, bits 15..6 of each half); answers the number of words that
// differ. The first 20 differing pairs are shown in red while the frame has no more than 80, each
// followed by detail(expected, read).
template <class Detail>
long CompareSourceFrame(CTestBase& test, const BYTE* want, const BYTE* read, DWORD bytes, DWORD start, Detail detail) {
    long errors = 0;
    int reports = 0;
    CString line;
    for (DWORD at = 0; at + 8 <= bytes; at += 8) {
        DWORD ex[2], rd[2];
        std::memcpy(ex, want + at, 8);
        std::memcpy(rd, read + at, 8);
        const bool bad0 = ((ex[0] ^ rd[0]) & 0xFFC0FFC0) != 0, bad1 = ((ex[1] ^ rd[1]) & 0xFFC0FFC0) != 0;
        if (!bad0 && !bad1) continue;
        errors += (bad0 ? 1 : 0) + (bad1 ? 1 : 0);
        if (errors > 80 || reports >= 20) continue;
        ++reports;
        line.Format("Offset[0x%08X]:  SRC[0x%08X]\nOffset[0x%08X]:  SRC[0x%08X]\n"
                    "                 Expected[0x%08X]  Read[0x%08X]  EX xor RD[0x%08X]\n"
                    "                 Expected[0x%08X]  Read[0x%08X]  EX xor RD[0x%08X]\n",
                    at, start, at + 4, start, ex[0], rd[0], ex[0] ^ rd[0], ex[1], rd[1], ex[1] ^ rd[1]);
        test.PrintColor(line, kColorRed);
        detail(ex, rd);
    }
    return errors;
}

// A frame that failed its compare, saved with its source as .\Zorv.<kind>.Packed.<frame>.
template <class Source, class Read>
void SaveFailedFrame(const char* kind, DWORD frame, const Source& source, const Read& read) {
    CString path;
    path.Format(".\\Zorv.%s.Packed.%d", kind, static_cast<int>(frame));
    CMultiImageFile<Source, Read> pair;
    pair.Save(path, source, read, 0);
}

}  // namespace

bool CSorbelinPacker::MatchesInPlace(DWORD start, const BYTE* want, DWORD bytes) {
    CWexalSDRAMSpace* sdram = m_boardIF.GetWexalSDRAMSpace();
    return sdram && sdram->HoldsInPlace(start, want, bytes);
}

BOOL CSorbelinPacker::RoundTrip(Trip& trip, DWORD frames, DWORD verbose) {
    const int chip = GetChipFromName(1);
    const DWORD srcNumber = chip == 1 ? 28 : 29, dstNumber = chip == 1 ? 24 : 25, portOffset = chip == 1 ? 0x88000 : 0x90000;
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    const RegisterPtr bar0 = m_boardIF.GetRegisters();
    CWexalDMAChannel* src = board ? board->GetDMAChannel(static_cast<int>(srcNumber)) : nullptr;
    CWexalDMAChannel* dst = board ? board->GetDMAChannel(static_cast<int>(dstNumber)) : nullptr;
    if (!src || !dst || !bar0) {
        PrintColor("pColl_X is NULL\n", kColorRed);
        return 0;
    }
    const DWORD w = trip.width, h = trip.height, frameBytes = trip.size + trip.pad;
    const DWORD bcuNumber = trip.image ? 2 : 3;
    const CImage& source = *trip.source;
    const DWORD sourceBytes = source.GetSize() + source.GetOffset();
    CImage* expected = trip.image ? static_cast<CImage*>(trip.dstImage) : static_cast<CImage*>(trip.dstAlpha);
    CImage* received = trip.image ? static_cast<CImage*>(trip.rtvImage) : static_cast<CImage*>(trip.rtvAlpha);

    WexalDCB dstTemplate = FrameTemplate(*dst), srcTemplate = FrameTemplate(*src);
    const DWORD dstStart = trip.image ? dstTemplate.GetStartAddress() : 0x1000;
    const ULONGLONG dstEnd = ULONGLONG{dstStart} + ULONGLONG{frames} * frameBytes;
    // Each source frame takes w DWORDs a line, whatever part of them the picture fills.
    if (!FramesFit(dstStart, dstEnd, dstEnd, dstEnd + ULONGLONG{frames} * 4 * w * h)) return 0;
    const DWORD srcStart = static_cast<DWORD>(dstEnd);
    CString line;
    line.Format("Dst:  TAddr[0x%08X] [X=%ld, Y=%ld, Pix=%ld, imgSize=%ld, padSize=%ld, img=0x%08X]\n", dstStart, static_cast<long>(w),
                static_cast<long>(h), 10L, static_cast<long>(trip.size), static_cast<long>(trip.pad),
                static_cast<DWORD>(reinterpret_cast<uintptr_t>(expected->GetBuffer())));
    PrintColor(line, kColorGreen);
    line.Format("Src:  TAddr[0x%08X] [X=%ld, Y=%ld, Pix=%ld, imgSize=%ld, padSize=%ld, img=0x%08X]\n", srcStart, static_cast<long>(w),
                static_cast<long>(h), static_cast<long>(trip.image ? 4 : 2), static_cast<long>(source.GetSize()), static_cast<long>(source.GetOffset()),
                static_cast<DWORD>(reinterpret_cast<uintptr_t>(source.GetBuffer())));
    PrintColor(line, kColorGreen);
    line.Format("Rtv:  [X=%ld, Y=%ld, Pix=%ld, imgSize=%ld, padSize=%ld, img=0x%08X]\n", static_cast<long>(w), static_cast<long>(h), 10L,
                static_cast<long>(trip.size), static_cast<long>(trip.pad), static_cast<DWORD>(reinterpret_cast<uintptr_t>(received->GetBuffer())));
    PrintColor(line, kColorGreen);
    if (!m_controller || !m_controller->RAMClockEnable(1, 1)) {
        PrintColor("ERROR:  Unable to set SulvthSDRAMClock\n", kColorRed);
        return 0;
    }
    Sleep(1);
    const DWORD plane2 = trip.image ? trip.pad : w * h;
    const DWORD plane8 = trip.image ? trip.pad + w * h / 2 : 0;
    if (trip.image) {
        line.Format("Source Image[0x%08X]  Destination Image[0x%08X]\nWrite 0x%08X image bytes and 0x%08X pad bytes to src\n"
                    "Destination Image 2 bit[0x%08X]   Destination Image 8 bit[0x%08X]\n",
                    srcStart, dstStart, source.GetSize(), source.GetOffset(), plane2, plane8);
        PrintColor(line, kColorGreen);
        bar0[0x40004 / 4] = 0xFF;
        Sleep(1);
    }
    src->Flush();
    dst->Flush();
    DWORD pages = frameBytes / 4096;
    if (!trip.image) {
        line.Format("usXSize=%ld {0x%04X}, usYSize = %ld {0x%04X}\n", 1024L, 1024u, static_cast<long>(pages), pages);
        PrintColor(line, kColorGreen);
    }
    if ((pages & 0xFFFF) == 0) pages = 1;
    dstTemplate.GetOpField().Set16bit(0);
    dstTemplate.GetOpField().SetBCUPointer(static_cast<WORD>(bcuNumber));
    dstTemplate.SetStartAddress(dstStart);
    dstTemplate.SetInitialLineLength(1024);
    dstTemplate.SetLineLength(1024);
    dstTemplate.SetLines(static_cast<WORD>(pages - 1));
    const DCBList dstList = dstTemplate.MakeDCBList(1, frames);
    std::vector<WexalDCB> dstFrames, srcFrames;
    for (DCBList it = dstList; it != DCBList::End(dstList); ++it) {
        const WexalDCB d = *it;
        dst->SetDCB(static_cast<int>(d.GetPortField().GetTag()), &d);
        dstFrames.push_back(d);
        line.Format("DST Image:  Tag[%d]:  Addr[0x%08X]  [%d, %d, %d]\n", static_cast<int>(d.GetPortField().GetTag()), d.GetStartAddress(),
                    static_cast<int>(d.GetInitialLineLength()), static_cast<int>(d.GetLineLength()), static_cast<int>(d.GetLines()));
        PrintColor(line, kColorBlack);
    }
    srcTemplate.GetOpField().Set16bit(1);
    srcTemplate.GetOpField().SetBCUPointer(static_cast<WORD>(bcuNumber));
    srcTemplate.SetStartAddress(srcStart);
    srcTemplate.SetInitialLineLength(static_cast<WORD>(w));
    srcTemplate.SetLineLength(static_cast<WORD>(w));
    srcTemplate.SetLines(static_cast<WORD>(h - 1));
    const DCBList srcList = srcTemplate.MakeDCBList(1, frames);
    for (DCBList it = srcList; it != DCBList::End(srcList); ++it) {
        const WexalDCB d = *it;
        src->SetDCB(static_cast<int>(d.GetPortField().GetTag()), &d);
        srcFrames.push_back(d);
        line.Format(trip.image ? "SRC Image:  Tag[%d]  Addr[0x%08X]  [%d, %d, %d]  DCBAddr[0x%08X]\n" : "SRC Image:  Tag[%d]  Addr[0x%08X]  [%d, %d, %d]\n",
                    static_cast<int>(d.GetPortField().GetTag()), d.GetStartAddress(), static_cast<int>(d.GetInitialLineLength()),
                    static_cast<int>(d.GetLineLength()), static_cast<int>(d.GetLines()), d.GetStartAddress());
        PrintColor(line, trip.image ? kColorBlack : kColorGreen);
        if (!WriteMemory(source.GetBuffer(), d.GetStartAddress(), sourceBytes)) return 0;
        bar0[0x40004 / 4] = 0xFF;
        Sleep(1);
    }
    BufferControlUnit bcu(m_boardIF, static_cast<int>(bcuNumber));
    bcu.Clear();
    bcu.SetGo(1);
    bar0[portOffset / 4] = 0;
    line.Format("Context[0x%08X]\n", portOffset);
    PrintColor(line, kColorBlack);
    Sleep(1);
    dst->Trigger(1);
    src->Trigger(1);

    // Wait for both chains: 1 ms per 20000 DWORDs of packed frames, plus 20 ms.
    Head dstHead = ReadHead(dst), srcHead = ReadHead(src);
    const DWORD moved = static_cast<DWORD>(std::max(dstFrames.size(), srcFrames.size())) * frameBytes / 4;
    CPerformanceList timer;
    timer.SetMilliTimeout(moved / 20000 + 20, -1);
    PrintColor(FrameSizes(dstHead, srcHead), kColorBlack);
    Sleep(1);
    LONGLONG frequency = 0, t0 = 0, t1 = 0, t2 = 0;
    QueryPerformanceFrequency(&frequency);
    if (frequency) QueryPerformanceCounter(&t0);
    t1 = t0;
    BOOL result = 1;
    bool timedOut = false;
    DWORD limit = frames;
    LONGLONG k2q = 0;
    for (;;) {
        dstHead = ReadHead(dst);
        srcHead = ReadHead(src);
        if (srcHead.Finished(frames) && frequency) {
            QueryPerformanceCounter(&t1);
            k2q = (t1 - t0) * 1000 / frequency;
        }
        if (dstHead.Finished(frames)) break;
        if (timer.IsTimeout()) {
            timedOut = true;
            break;
        }
    }
    if (!timedOut) {
        LONGLONG q2k = 0;
        if (frequency) {
            QueryPerformanceCounter(&t2);
            q2k = (t2 - t1) * 1000 / frequency;
        }
        Print(FormatTransferDone(0, k2q, q2k, moved * 4, "SorbelinToWexal", dstHead.dcb, "WexalToSorbelin", srcHead.dcb));
    } else {
        result = 0;
        Print("\n");
        limit = dstHead.tag;
        for (int i = 0; i < 10; ++i) {
            if (i > 0) {
                Sleep(1);
                dstHead = ReadHead(dst);
                srcHead = ReadHead(src);
            }
            LONGLONG now = 0;
            if (frequency) QueryPerformanceCounter(&now);
            const int elapsed = frequency ? static_cast<int>((now - t0) * 1000 / frequency) : 0;
            CString report = FormatTransferTimeout(elapsed, moved * 4, "SorbelinToWexal", dstHead.dcb, "WexalToSorbelin", srcHead.dcb);
            // An alpha's reports follow one another without the blank line.
            if (!trip.image) report = report.Left(report.GetLength() - 1);
            Print(report);
        }
        ReportFrames("Wexal to Sorbelin", srcNumber, 1);
        ReportFrames("Sorbelin to Wexal", dstNumber, 1);
    }
    timer.Clear();
    bar0[0x40004 / 4] = 0xFF;
    Sleep(1);
    if (trip.image && verbose > 1) {
        line.Format("GET:  XSize = %ld YSize = %ld ImageSize = %ld  PadSize = %ld\n", static_cast<long>(w), static_cast<long>(h),
                    static_cast<long>(trip.size), static_cast<long>(trip.pad));
        PrintColor(line, kColorGreen);
    }

    const bool detailed = verbose > 1 && IsEngineering() && !IsRegression();
    const char* announce = trip.image ? "Read/Compare DST Image #:  " : "Read/Compare Image #:  ";
    long total = 0, compared = 0;
    const DWORD pixels = w * h;
    for (DWORD k = 1; k <= limit && k <= dstFrames.size() && k <= srcFrames.size(); ++k) {
        const WexalDCB& frame = dstFrames[k - 1];
        const DWORD start = frame.GetStartAddress();
        if (detailed) line.Format("%s%d\n", announce, static_cast<int>(k));
        else line.Format(k == 1 ? "%s%d " : "%.0s%d ", announce, static_cast<int>(k));
        PrintColor(line, kColorBlack);
        compared += ComparedPerFrame(trip.image, pixels);
        long frameErrors = 0;
        // A finished frame that came back byte for byte as expected has nothing to count; only
        // one that differs (or a memory that cannot be read in place) is read back and walked.
        if (!timedOut && MatchesInPlace(start, expected->GetBuffer(), MovedBytes(*received))) continue;
        ReadMemory(start, received->GetBuffer(), MovedBytes(*received));
        if (trip.image) {
            frameErrors = ComparePackedImage(*this, *trip.dstImage, *trip.rtvImage, pixels, start, plane2, plane8, false);
        } else {
            const BYTE* e8 = trip.dstAlpha->Get8BitPlane();
            const BYTE* r8 = trip.rtvAlpha->Get8BitPlane();
            const DWORD alpha2 = static_cast<DWORD>(trip.dstAlpha->Get2BitPlane() - e8);
            frameErrors = ComparePackedAlpha(*trip.dstAlpha, *trip.rtvAlpha, pixels, [&](DWORD p, DWORD ef, DWORD rf) {
                line.Format("\nOffset[0x%08X]  Addr8bit[0x%08X]  Addr2bit[0x%08X]\n", p, start + p, start + alpha2 + p / 4);
                PrintColor(line, kColorRed);
                line.Format("\tExpected:\tAlpha[0x%02X:%01X]\n", e8[p], ef);
                PrintColor(line, kColorRed);
                line.Format("\tRead:\t\tAlpha[0x%02X:%01X]\n", r8[p], rf);
                PrintColor(line, kColorRed);
            });
        }
        if (frameErrors) {
            result = 0;
            total += frameErrors;
            if (trip.image) SaveFailedFrame("Image", k, static_cast<const Unpacked::Image::YCbCr_10_6&>(source), *trip.rtvImage);
            else SaveFailedFrame("Alpha", k, static_cast<const Unpacked::Alpha::YCbCr_10_6&>(source), *trip.rtvAlpha);
        }
    }
    PrintColor("\n", kColorBlack);
    if (total > 0) {
        if (trip.image) {
            // The source frames as they lie in SDRAM: a fault there shows here, not in the packer.
            Unpacked::Image::YCbCr_10_6 copy(source, 0);
            const BYTE* want = source.GetBuffer();
            for (DWORD k = 1; k <= limit && k <= srcFrames.size(); ++k) {
                const DWORD start = srcFrames[k - 1].GetStartAddress();
                if (detailed) line.Format("Read/Compare SRC Image #:  %d\n", static_cast<int>(k));
                else line.Format(k == 1 ? "Read/Compare SRC Image #:  %d " : "%d ", static_cast<int>(k));
                PrintColor(line, kColorBlack);
                if (!copy.GetBuffer() || !ReadMemory(start, copy.GetBuffer(), sourceBytes)) {
                    result = 0;
                    continue;
                }
                // The pixel pairs only: a pad after them is not compared.
                const long errors = CompareSourceFrame(*this, want, copy.GetBuffer(), 4 * pixels, start, [&](const DWORD* ex, const DWORD* rd) {
                    const auto samples = [&](const DWORD* v, const char* label) {
                        CString text;
                        text.Format("\t%s\tY0[0x%08X:%01X]  CB[0x%08X:%01X]\n\t%s\tY1[0x%08X:%01X]  CR[0x%08X:%01X]\n", label, (v[0] >> 24) & 0xFF,
                                    (v[0] >> 22) & 3, (v[0] >> 8) & 0xFF, (v[0] >> 6) & 3, label, (v[1] >> 24) & 0xFF, (v[1] >> 22) & 3, (v[1] >> 8) & 0xFF,
                                    (v[1] >> 6) & 3);
                        PrintColor(text, kColorBlack);
                    };
                    samples(ex, "Expected:");
                    samples(rd, "Read:\t");
                });
                if (errors) result = 0;
            }
            PrintColor("\n", kColorBlack);
        }
        line.Format("Total %ld errors out of %ld\n", total, compared);
        PrintColor(line, kColorRed);
    } else if (!timedOut) {
        PrintColor("Passed\n", kColorGreen);
    }
    ReleaseChannels(bar0, srcNumber, dstNumber);
    return result;
}

BOOL CSorbelinPacker::ReadSequence(const CString& value, DWORD frames, DWORD kinds[16]) {
    CString text = value;
    bool repeat = false;
    const int dots = text.Find("...");
    if (dots >= 0 && dots == text.GetLength() - 3) {
        text = text.Left(dots);
        repeat = true;
    }
    CString tokens;
    for (int i = 0; i < text.GetLength(); ++i)
        if (text[i] != ' ' && text[i] != '\t' && text[i] != '\r' && text[i] != '\n') tokens += CString(text[i], 1);
    const DWORD n = frames < 15 ? frames : 15;
    DWORD stored = 0;
    bool bad = false;
    do {
        int from = 0;
        while (stored < n && from <= tokens.GetLength()) {
            int colon = tokens.Find(':', from);
            if (colon < 0) colon = tokens.GetLength();
            CString token = tokens.Mid(from, colon - from);
            from = colon + 1;
            token.MakeUpper();
            if (token == "I" || token == "A") {
                kinds[stored++] = token == "I" ? 1 : 2;
            } else {
                bad = true;
                break;
            }
        }
    // An empty token is a bad one, so a repeat always has a kind to repeat and ends.
    } while (repeat && !bad && stored < n);
    if (bad) {
        PrintColor("Bad token in SEQUENCE\n", kColorRed);
        return 0;
    }
    if (stored != frames) {
        CString line;
        line.Format("SEQUENCE count[%d] does not match number of frames specified[%d]\n", static_cast<int>(stored), static_cast<int>(frames));
        PrintColor(line, kColorRed);
        return 0;
    }
    return 1;
}

BOOL CSorbelinPacker::FlushPacker() {
    for (int i = 0; i < 10; ++i) {
        m_bridge->WriteDataFixed(kFlush, 0x10000);
        Sleep(1);
        if (!(m_bridge->ReadDataFixed(kFlush) & 0x10000)) return 1;
    }
    PrintColor("Unable to flush Sorbelin\n", kColorRed);
    return 0;
}

BOOL CSorbelinPacker::VideoMixed(DWORD code, CString rest, const Unpacked::Alpha::YCbCr_10_6& alpha, const Unpacked::Image::YCbCr_10_6& image,
                                 DWORD frames, DWORD callerVerbose) {
    (void)code;
    const int chip = GetChipFromName(1);
    PrintColor(chip == 2 ? "Test Sorbelin B\n" : "Test Sorbelin A\n", kColorGreen);
    const CParamString params(rest);
    CString value;
    const bool noCrc = params.IsSwitch("NOCRC", FALSE);
    if (noCrc && callerVerbose > 1) PrintColor("CRC check is off\n", kColorBlack);
    MixedOptions options;
    if (!ReadMixedOptions(*this, params, false, options)) return 0;
    const long forceUpdate = options.forceUpdate;
    const long forceStall = options.forceStall;
    if (forceUpdate) PrintColor("FORCEUPDATE=1\n", kColorBlack);
    if (forceStall) PrintColor(forceStall == 1 ? "FORCESTALL=1\n" : "FORCESTALL=2\n", kColorBlack);
    DWORD kinds[16] = {1, 1, 2, 1, 1, 2, 1, 1, 2, 1, 1, 2, 1, 1, 2, 1};
    if (params.GetValue("SEQUENCE", value, FALSE) && !ReadSequence(value, frames, kinds)) return 0;
    ResetVideoPortCRCs();
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    const RegisterPtr bar0 = m_boardIF.GetRegisters();
    if (chip != 1 && chip != 2) PrintColor("Unrecognized Chip", kColorRed);
    if ((chip != 1 && chip != 2) || !bar0 || !board) {
        PrintColor("pColl_X is NULL\n", kColorRed);
        return 0;
    }
    const DWORD srcNumber = chip == 1 ? 28 : 29, dstNumber = chip == 1 ? 24 : 25, portOffset = chip == 1 ? 0x88000 : 0x90000;
    CWexalDMAChannel* src = board->GetDMAChannel(static_cast<int>(srcNumber));
    CWexalDMAChannel* dst = board->GetDMAChannel(static_cast<int>(dstNumber));
    if (!InitRegs(callerVerbose)) {
        PrintColor("InitRegs failed.\n", kColorRed);
        return 0;
    }
    const DWORD w = image.GetWidth(), h = image.GetHeight();
    if (!SetContext(0, w, h, kFormatImage, kFormatImage) || !SetContext(1, w, h, kFormatAlpha, kFormatAlpha)) {
        PrintColor("Unable to initialize Sorbelin registers for image\n", kColorRed);
        return 0;
    }
    CString line;
    if (callerVerbose > 1) {
        line.Format("WidthSrc[%d]  HeightSrc[%d]  SizeData[%ld]  dcbOut[%d]  dcbIn[%d]\n", static_cast<int>(w), static_cast<int>(h),
                    static_cast<long>(image.GetSize()), static_cast<int>(srcNumber), static_cast<int>(dstNumber));
        PrintColor(line, kColorBlack);
    }
    const DWORD imagePad = Packed::Image::YCbCr_8_2::GetPadFor(w, h), alphaPad = Packed::Alpha::YCbCr_8_2::GetPadFor(w, h);
    // The frames carry full 10-bit samples from the picture's first byte: a picture that already
    // holds them serves as it is, any other is copied so.
    std::optional<Unpacked::Image::YCbCr_10_6> copied;
    if (!image.GetBuffer() || image.GetOffset() != 0 || image.GetSampleFormat() != kSampleFormatFull) {
        copied.emplace(image, 0);
        copied->SetSampleFormat(kSampleFormatFull);
    }
    const Unpacked::Image::YCbCr_10_6& source = copied ? *copied : image;
    Packed::Image::YCbCr_8_2 dstImage(source, imagePad);
    Packed::Alpha::YCbCr_8_2 dstAlpha(alpha, alphaPad);
    const char* missing = !dstImage.GetBuffer() ? "NULL pointer for dstImage\n" : !dstAlpha.GetBuffer() ? "NULL pointer for dstAlpha\n" : nullptr;
    if (missing) {
        PrintColor(missing, kColorRed);
        return 0;
    }
    const DWORD n = frames < 15 ? frames : 15;
    const auto isAlpha = [&](DWORD i) { return kinds[i % 16] == 2; };
    // A frame's DMA moves the counted size in whole 4096-byte units; the host moves the block.
    const DWORD imageCounted = Packed::Image::YCbCr_8_2::GetSizeFor(w, h) + imagePad;
    const DWORD alphaCounted = Packed::Alpha::YCbCr_8_2::GetSizeFor(w, h) + alphaPad;
    const auto packedBytes = [&](bool a) { return a ? alphaCounted : imageCounted; };
    {
        // The destination frames from address 0, the unpacked sources 0x20000 after them.
        ULONGLONG dstEnd = 0;
        for (DWORD i = 0; i < n; ++i) dstEnd += std::max<DWORD>(packedBytes(isAlpha(i)) / 4096, 1) * 4096ull;
        if (!FramesFit(0, dstEnd, dstEnd + 0x20000, dstEnd + 0x20000 + ULONGLONG{n} * 4 * w * h)) return 0;
    }
    if (callerVerbose > 1) {
        line.Format("SET:  XSize = %ld YSize = %ld ImageSize = %ld  PadSize = %ld\n", static_cast<long>(w), static_cast<long>(h),
                    static_cast<long>(source.GetSize()), static_cast<long>(source.GetOffset()));
        PrintColor(line, kColorBlack);
    }
    if (!m_controller || !m_controller->RAMClockEnable(1, 1)) {
        PrintColor("ERROR:  Unable to set SulvthSDRAMClock\n", kColorRed);
        return 0;
    }
    Sleep(1);

    std::vector<WexalDCB> dstList, srcList;
    BOOL result = 1;
    bool timedOut = false;
    DWORD compare = n;
    DWORD verbose = callerVerbose;
    for (int pass = forceStall ? 0 : 1; pass < 2; ++pass) {
        verbose = pass == 0 ? 0 : callerVerbose;
        result = 1;
        timedOut = false;
        compare = n;
        dstList.clear();
        srcList.clear();
        src->Flush();
        if (!FlushPacker()) return 0;
        dst->Flush();
        WexalDCB dstTemplate = FrameTemplate(*dst), srcTemplate;
        dstTemplate.GetOpField().Set16bit(0);
        DWORD a = 0, totalDwords = 0;
        for (DWORD i = 0; i < n; ++i) {
            const bool al = isAlpha(i);
            DWORD pages = packedBytes(al) / 4096;
            if ((pages & 0xFFFF) == 0) pages = 1;
            const DWORD bytes = (pages & 0xFFFF) * 4096;
            DWORD length = 0x400;
            if (i == 0 && pass == 0) length = forceStall == 1 ? 0x200 : 0x800;
            WexalDCB d = dstTemplate;
            d.GetOpField().SetBCUPointer(al ? 3 : 2);
            d.SetStartAddress(a);
            d.SetLineLength(static_cast<WORD>(length));
            d.SetInitialLineLength(static_cast<WORD>(length));
            d.SetLines(static_cast<WORD>(pages - 1));
            d.GetPortField().SetTag(static_cast<WORD>((i + 1) & 0xF));
            d.GetOpField().SetNext(static_cast<BYTE>(forceUpdate ? 0 : (i + 2) % (n + 1)));
            d.GetPortField().SetContextID(static_cast<BYTE>(forceUpdate ? 2 : isAlpha((i + 1) % (n + 1)) ? 1 : 0));
            totalDwords += bytes / 4;
            dstList.push_back(d);
            dst->SetDCB(static_cast<int>((i + 1) & 0xF), &d);
            if (verbose > 1) {
                line.Format("DST Image:  Tag[%d]:  Addr[0x%08X]  [I=%d,W=%d,H=%d]\n", static_cast<int>((i + 1) & 0xF), a, static_cast<int>(length),
                            static_cast<int>(length), static_cast<int>(pages - 1));
                PrintColor(line, kColorBlack);
            }
            // Each destination frame starts out holding the expected packing at its own address.
            const CImage& expected = al ? static_cast<const CImage&>(dstAlpha) : static_cast<const CImage&>(dstImage);
            WriteMemory(expected.GetBuffer(), a, expected.GetSize() + expected.GetOffset());
            bar0[0x40004 / 4] = 0xFF;
            Sleep(1);
            a += bytes;
        }
        srcTemplate = FrameTemplate(*src);
        srcTemplate.GetOpField().Set16bit(1);
        a += 0x20000;
        for (DWORD j = 1; j <= n; ++j) {
            const bool al = isAlpha(j - 1);
            WexalDCB d = srcTemplate;
            d.GetOpField().SetBCUPointer(al ? 5 : 4);
            d.SetLineLength(static_cast<WORD>(w));
            d.SetInitialLineLength(static_cast<WORD>(w));
            d.SetLines(static_cast<WORD>(h - 1));
            d.GetPortField().SetTag(static_cast<WORD>(j & 0xF));
            d.SetStartAddress(a);
            d.GetOpField().SetNext(static_cast<BYTE>(forceUpdate ? 0 : (j + 1) % (n + 1)));
            d.GetPortField().SetContextID(static_cast<BYTE>(forceUpdate ? 2 : isAlpha(j % (n + 1)) ? 1 : 0));
            srcList.push_back(d);
            src->SetDCB(static_cast<int>(j & 0xF), &d);
            if (verbose > 1) {
                line.Format("SRC Image:  Tag[%d]:  Addr[0x%08X]  [I=%d,W=%d,H=%d]\n", static_cast<int>(j & 0xF), a, static_cast<int>(w),
                            static_cast<int>(w), static_cast<int>(h - 1));
                PrintColor(line, kColorBlack);
            }
            // An alpha frame carries the source alpha: its packing is what the chip must return.
            const CImage& data = al ? static_cast<const CImage&>(alpha) : static_cast<const CImage&>(source);
            WriteMemory(data.GetBuffer(), a, data.GetSize() + data.GetOffset());
            bar0[0x40004 / 4] = 0xFF;
            Sleep(1);
            a += 4 * w * h;
        }
        for (int unit : {2, 4, 3, 5}) {
            BufferControlUnit bcu(m_boardIF, unit);
            bcu.Clear();
            bcu.SetGo(1);
        }
        const auto wait = [&](DWORD tag, DWORD limitMs, DWORD index) {
            Head dstHead = ReadHead(dst), srcHead = ReadHead(src);
            if (verbose > 1) {
                if (index == 0) {
                    line.Format("Total destination size in DWORDS = %ld\n", static_cast<long>(totalDwords));
                    PrintColor(line, kColorBlack);
                }
                PrintColor(FrameSizes(dstHead, srcHead), kColorBlack);
            }
            CPerformanceList timer;
            Sleep(1);
            timer.SetMilliTimeout(limitMs, -1);
            LONGLONG frequency = 0, t0 = 0, t1 = 0;
            QueryPerformanceFrequency(&frequency);
            QueryPerformanceCounter(&t0);
            t1 = t0;
            for (;;) {
                dstHead = ReadHead(dst);
                srcHead = ReadHead(src);
                if (srcHead.Finished(tag)) QueryPerformanceCounter(&t1);
                if (dstHead.Finished(tag)) {
                    LONGLONG t2 = 0;
                    QueryPerformanceCounter(&t2);
                    const LONGLONG k2q = frequency ? (t1 - t0) * 1000 / frequency : 0, q2k = frequency ? (t2 - t1) * 1000 / frequency : 0;
                    if (verbose > 1) {
                        Print(FormatTransferDone(static_cast<int>(index), k2q, q2k, totalDwords * 4, "SorbelinToWexal", dstHead.dcb, "WexalToSorbelin",
                                                 srcHead.dcb));
                    }
                    return true;
                }
                if (timer.IsTimeout()) break;
            }
            compare = dstHead.tag;
            if (verbose > 1) Print("\n");
            for (int i = 0; i < 10; ++i) {
                if (verbose > 1) {
                    LONGLONG now = 0;
                    QueryPerformanceCounter(&now);
                    Print(FormatTransferTimeout(frequency ? static_cast<int>((now - t0) * 1000 / frequency) : 0, totalDwords * 4, "SorbelinToWexal",
                                                dstHead.dcb, "WexalToSorbelin", srcHead.dcb));
                }
                Sleep(1);
                dstHead = ReadHead(dst);
                srcHead = ReadHead(src);
            }
            if (verbose > 1) {
                ReportFrames("Wexal to Sorbelin", srcNumber, 1);
                ReportFrames("Sorbelin to Wexal", dstNumber, 1);
            }
            timedOut = true;
            result = 0;
            return false;
        };
        if (!forceUpdate) {
            bar0[portOffset / 4] = isAlpha(0) ? 1 : 0;
            Sleep(1);
            dst->Trigger(1);
            src->Trigger(1);
            wait(n, totalDwords / 20000 + 20, 0);
        } else {
            for (DWORD k = 1; k <= dstList.size(); ++k) {
                bar0[portOffset / 4] = isAlpha(k - 1) ? 1 : 0;
                Sleep(1);
                dst->Trigger(static_cast<int>(k));
                src->Trigger(static_cast<int>(k));
                const WexalDCB& d = dstList[k - 1];
                const DWORD limit = (d.GetLines() * d.GetLineLength() + d.GetInitialLineLength()) * 4 / 1000 / 20 + 20;
                if (!wait(k, limit, k)) break;
            }
        }
        bar0[0x40004 / 4] = 0xFF;
        Sleep(1);
    }
    verbose = callerVerbose;

    if (verbose > 1) {
        line.Format("GET:  XSize = %ld YSize = %ld ImageSize = %ld  PadSize = %ld\n", static_cast<long>(w), static_cast<long>(h),
                    static_cast<long>(dstImage.GetSize()), static_cast<long>(dstImage.GetOffset()));
        PrintColor(line, kColorGreen);
    }
    const bool detailed = verbose > 1 && IsEngineering() && !IsRegression();
    const DWORD pixels = w * h;
    long total = 0, compared = 0;
    bool previousBad = true, imageMatched = false;
    // The pictures frames are read back into, made at the first frame that needs one: a chain whose
    // frames all match where they lie needs none.
    std::optional<Packed::Image::YCbCr_8_2> rtvImage;
    std::optional<Packed::Alpha::YCbCr_8_2> rtvAlpha;
    for (DWORD k = 1; k <= dstList.size() && k <= srcList.size() && k <= compare; ++k) {
        const bool al = isAlpha(k - 1);
        const WexalDCB& d = dstList[k - 1];
        const WexalDCB& s = srcList[k - 1];
        const DWORD start = d.GetStartAddress();
        if (detailed) {
            line.Format(al ? "Read/Compare DST %s #%d:  Src[Tag=%d,Addr=0x%08X]  Dst[Tag=%d,Addr=0x%08X]\n"
                           : "Read/Compare Dst%s #%d:  Src[Tag=%d,Addr=0x%08X]  Dst[Tag=%d,Addr=0x%08X]\n",
                        al ? "Alpha" : "Image", static_cast<int>(k), static_cast<int>(s.GetPortField().GetTag()), s.GetStartAddress(),
                        static_cast<int>(d.GetPortField().GetTag()), start);
        } else {
            line = "";
            if (previousBad) line.Format("Read/Compare DST %s:  ", al ? "Alpha" : "Image");
            CString tag;
            tag.Format("%d ", static_cast<int>(d.GetPortField().GetTag()));
            line += tag;
        }
        PrintColor(line, kColorBlack);
        long frameErrors = 0;
        compared += ComparedPerFrame(!al, pixels);
        // A frame that came back exactly as expected is done without a copy; for the CRC check below
        // the picture read back last then holds the expected bytes.
        const CImage& want = al ? static_cast<const CImage&>(dstAlpha) : static_cast<const CImage&>(dstImage);
        if (!timedOut && MatchesInPlace(start, want.GetBuffer(), MovedBytes(want))) {
            previousBad = false;
            if (!al) imageMatched = true;
            continue;
        }
        if (!al) imageMatched = false;
        if (al ? !rtvAlpha : !rtvImage) {
            if (al) ShapeReadBack(rtvAlpha.emplace(alpha.GetWidth(), alpha.GetHeight(), alphaPad), dstAlpha);
            else ShapeReadBack(rtvImage.emplace(w, h, imagePad), dstImage);
            if (al ? !rtvAlpha->GetBuffer() : !rtvImage->GetBuffer()) {
                PrintColor(al ? "NULL pointer for rtvAlpha\n" : "NULL pointer for rtvImage\n", kColorRed);
                ReleaseChannels(bar0, srcNumber, dstNumber);
                return 0;
            }
        }
        if (al) {
            ReadMemory(start, rtvAlpha->GetBuffer(), MovedBytes(*rtvAlpha));
            const BYTE *e8 = dstAlpha.Get8BitPlane(), *e2 = dstAlpha.Get2BitPlane(), *r8 = rtvAlpha->Get8BitPlane();
            frameErrors = ComparePackedAlpha(dstAlpha, *rtvAlpha, pixels, [&](DWORD p, DWORD ef, DWORD rf) {
                line.Format("\nOffset[0x%08X]  Addr8bit[0x%08X]  Addr2bit[0x%08X]\n\tExpected:\tAlpha[0x%02X:%01X]\n\tRead:\t\tAlpha[0x%02X:%01X]\n", p,
                            static_cast<DWORD>(e8 - dstAlpha.GetBuffer()) + p, static_cast<DWORD>(e2 - dstAlpha.GetBuffer()) + p / 4, e8[p], ef, r8[p], rf);
                PrintColor(line, kColorRed);
            });
        } else {
            ReadMemory(start, rtvImage->GetBuffer(), MovedBytes(*rtvImage));
            const DWORD off2 = static_cast<DWORD>(dstImage.Get2BitPlane() - dstImage.GetBuffer());
            const DWORD off8 = static_cast<DWORD>(dstImage.Get8BitPlane() - dstImage.GetBuffer());
            frameErrors = ComparePackedImage(*this, dstImage, *rtvImage, pixels, start, off2, off8, true);
        }
        previousBad = frameErrors > 0;
        if (frameErrors) {
            result = 0;
            total += frameErrors;
            if (al) SaveFailedFrame("Alpha", k, alpha, *rtvAlpha);
            else SaveFailedFrame("Image", k, source, *rtvImage);
        }
    }
    if (total == 0) {
        PrintColor(timedOut ? "Timed out\n" : "Passed\n", timedOut ? kColorRed : kColorGreen);
    } else {
        // Each source frame read back where it was written, against what was written there.
        for (DWORD k = 1; k <= srcList.size() && k <= dstList.size(); ++k) {
            const bool al = isAlpha(k - 1);
            const CImage& want = al ? static_cast<const CImage&>(alpha) : static_cast<const CImage&>(source);
            const DWORD start = srcList[k - 1].GetStartAddress(), bytes = want.GetSize() + want.GetOffset();
            if (detailed) line.Format("Read/Compare SRC Image #:  %d\n", static_cast<int>(k));
            else line.Format(k == 1 ? "Read/Compare SRC Image #:  %d " : "%d ", static_cast<int>(srcList[k - 1].GetPortField().GetTag()));
            PrintColor(line, kColorBlack);
            std::vector<BYTE> copy(bytes);
            if (!ReadMemory(start, copy.data(), bytes)) {
                result = 0;
                continue;
            }
            if (CompareSourceFrame(*this, want.GetBuffer(), copy.data(), bytes, start, [](const DWORD*, const DWORD*) {})) result = 0;
        }
        PrintColor("\n", kColorBlack);
        line.Format("\nTotal %ld errors out of %ld\n", total, compared);
        PrintColor(line, kColorRed);
        // The CRC check reads the picture read back last: the expected packing when that frame
        // matched in place or no picture was read back.
        const bool readBackLast = rtvImage && !imageMatched;
        if (!noCrc) CheckChipCRCs(&source, &dstImage, readBackLast ? &*rtvImage : &dstImage, frames);
    }
    ReleaseChannels(bar0, srcNumber, dstNumber);
    return result;
}
