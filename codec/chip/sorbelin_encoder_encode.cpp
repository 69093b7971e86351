// CSorbelinEncoder's Encode test: DSP and table set-up per VCID, the encode run over DMA and the section-by-section compare with the reference frames.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "codec/chip/sorbelin_encoder.h"
#include "devlib/devices.h"
#include "devlib/dma_channel.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/byte_order.h"
#include "framework/hw/dma_report.h"
#include "framework/hw/oxd.h"
#include "framework/hw/wexal_dcb.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "images/file_buffer.h"
#include "images/file_error.h"
#include "images/unpacked_image.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/host_ui.h"
#include "platform/number_text.h"

namespace {

constexpr DWORD kCacheFlush = 0x40004;
constexpr DWORD kMarkerBytes[4] = {0x60, 0x0D, 0xC0, 0xDE};
constexpr DWORD kPatchRevision = 0x840;
constexpr int kMaxListed = 20;

DWORD BigEndian(const BYTE* at) { return DWORD{at[0]} << 24 | DWORD{at[1]} << 16 | DWORD{at[2]} << 8 | at[3]; }
DWORD Word(const BYTE* at) {
    DWORD w;
    std::memcpy(&w, at, 4);
    return w;
}

// SAVE=: the frames to save, at most 15; a count above (however many digits it has) saves 15.
// A value that is no count, not a number or below 0, saves none, as one that does not read.
DWORD ReadSaveCount(const CParamString& options) {
    CString value;
    if (!options.GetValue("SAVE", value)) return 0;
    constexpr DWORD kMost = 15;
    const platform::FieldScan read = platform::ReadField(value.c_str(), platform::NumberForm::Decimal, {0, kMost});
    if (read.fit == platform::NumberFit::Fits) return static_cast<DWORD>(read.value);
    if (read.fit == platform::NumberFit::None) return 0;
    const char* typed = value.c_str();
    while (*typed == ' ' || *typed == '\t') ++typed;
    return *typed == '-' ? 0 : kMost;
}

}  // namespace

bool CSorbelinEncoder::FindVariable(const char* name, CString& value) const {
    const auto it = m_environment.find(name);
    if (it == m_environment.end()) return false;
    value = it->second;
    return true;
}

int CSorbelinEncoder::Encode(CString params, DWORD frames, DWORD verbose) {
    const CParamString options(params);
    const bool chipScope = options.IsSwitch("ChipScope", FALSE), master = options.IsSwitch("MASTER", FALSE);
    auto red = [this](const CString& text) { PrintColor(text, kColorRed); };
    auto progress = [this, verbose](const CString& text) {
        if (verbose > 1) PrintColor(text, kColorGreen);
    };
    CString line;
    const std::vector<DWORD> vcids = GetVCIDList();
    // A run that tests nothing has not passed.
    if (vcids.empty()) return 0;
    for (const DWORD vcid : vcids) {
        if (StopRequested()) return kTestStopped;
        PrintColorFormat(kColorBlack, "Test VCID[0x%04X = %lu]\n", vcid, static_cast<unsigned long>(vcid));
        FlushDMAStreams();
        CString microcode;
        if (!FindVariable("DSP_MICRO", microcode)) {
            red("ERROR:  Unable to find DSP_MICRO environment variable!\n");
            return 0;
        }
        if (ExpandPathMacros(microcode, TRUE, TRUE) != kPathFound) {
            line.Format("ERROR:  Unable to get OXD[%s].\n", microcode.c_str());
            red(line);
            return 0;
        }
        if (!m_dsp || !m_dsp->DownloadMicrocode(microcode, 1)) {
            red("ERROR:  Unable to download DSP microcode!\n");
            return 0;
        }
        progress(microcode + " microcode is downloaded\n");
        if (!m_dsp->SetStateByName("Run", 1)) {
            red("ERROR:  Unable to start the DSP!\n");
            return 0;
        }
        progress("DSP state is run\n");
        const DWORD revision = m_dsp->GetMicrocodeRevision();
        if (revision > 26) {
            if (!m_dsp->InitializeFirmware(1)) {
                line.Format("ERROR:  Unable to initialize the DSP!\n        Microcode Revision = %lu\n", static_cast<unsigned long>(revision));
                red(line);
                return 0;
            }
            progress("DSP is initialized\n");
        }
        if (!m_dsp->InitializeFirmwareMode("Encode", 1)) {
            red("ERROR:  Unable to create \"Encode\" table list!\n");
            return 0;
        }
        progress("Encode table list created\n");
        CString image;
        if (!FindVariable("ENCODE_IMAGE", image)) {
            red("ERROR:  Unable to find ENCODE_IMAGE environment variable!\n");
            return 0;
        }
        if (DetermineFilenameOXD(image, 0, 0, static_cast<int>(verbose)) == 2) {
            line.Format("ERROR:  Unable to get OXD[%s].\n", image.c_str());
            red(line);
            return 0;
        }
        const std::vector<CString> packages = GetSupportedPackages(image);
        CString directory;
        if (!FindVariable("ZYV_DIRECTORY", directory)) {
            red("ERROR:  Unable to find ZYV_DIRECTORY environment variable!\n");
            return 0;
        }
        // Each of the three refusals below ends the run as failed: the host has nothing to stop.
        if (ExpandPathMacros(directory, TRUE, TRUE) == kPathNotFound || directory.IsEmpty()) {
            red("ERROR:  Unable to determine ZYV directory\n");
            return 0;
        }
        if (!CheckZyvPackage(directory, microcode, image, 1)) return 0;
        std::vector<EncodeTableSet> sets;
        try {
            sets.reserve(packages.size());
            for (const CString& entry : packages)
                sets.emplace_back(CString(FormatPackageName(directory, entry)));
        } catch (const std::bad_alloc&) {
            red("ERROR:  Unable to allocate memory for VCID_PARAMS\n");
            return 0;
        }
        int tested = -1;
        if (!LoadTableSets(sets, vcid, verbose, tested)) {
            for (EncodeTableSet& set : sets)
                for (DspTableEntry* t : {&set.encodeTable, &set.resolutionTable})
                    if (t->dspAddress) m_dsp->Dealloc(t->dspAddress, t->size, 1);
            return 0;
        }
        if (!SetSDRAMClock(1)) return 0;
        CString programmed = image;
        if (!m_dsp->ProgramFPGA(programmed, 1)) {
            red("ERROR:  Unable to program Sorbelin!\n");
            return 0;
        }
        SetProgramFlag(1);
        if (verbose > 1) {
            CString tag;
            const bool known = COxd(image, 1).GetRevision(tag) && tag != "Unknown";
            line.Format("Sorbelin programmed with %s, Revision = %s\n", image.c_str(), known ? tag.c_str() : "Unknown");
            PrintColor(line, kColorGreen);
        }
        if (chipScope) platform::MessageBox("Trigger chipscope now", "...", 0x50000);
        if (!m_dsp->LoadTableList(1)) {
            red("ERROR:  Unable to load table(encode) list!\n");
            return 0;
        }
        progress("DSP Encode list is loaded\n");
        if (!m_dsp->SetMode("Zorv HD Encode", 1)) {
            red("ERROR:  Unable to set DSP mode to \"Zorv HD Encode\"!\n");
            return 0;
        }
        progress("Mode set to \"Zorv HD Encode\"!\n");
        if (tested < 0) {
            line.Format("ERROR:  Encoder does not support VCID[0x%04X]\n", vcid);
            red(line);
            return 0;
        }
        EncodeTableSet& set = sets[static_cast<size_t>(tested)];
        if (!SetupEncoderContext(0, set.tableOffset, set.package, verbose)) {
            red("ERROR:  Unable to setup encoder!\n");
            return 0;
        }
        progress("Encoder has been setup\n");
        if (verbose > 1) {
            progress("DSP MODE:  " + m_dsp->GetMode() + "\n");
            progress("DSP STATE:  " + m_dsp->GetState() + "\n");
        }
        if (!RunImages(options, set.package, vcid, image, frames, verbose, master)) return StopRequested() ? kTestStopped : 0;
        if (!m_dsp->SetStateByName("Halt", 1)) {
            red("ERROR:  Unable to stop the DSP!\n");
            return 0;
        }
        progress("DSP halted\n");
        progress("Done\n");
    }
    return 1;
}

CString CSorbelinEncoder::FormatPackageName(const CString& directory, const CString& entry) {
    CString name;
    const CString last = entry.GetLength() > 4 ? entry.Right(4) : entry;
    name.Format("%s\\ZM%s.zyv", directory.c_str(), last.c_str());
    return name;
}

bool CSorbelinEncoder::LoadTableSets(std::vector<EncodeTableSet>& sets, DWORD vcid, DWORD verbose, int& tested) {
    CString line;
    for (size_t n = 0; n < sets.size(); ++n) {
        EncodeTableSet& set = sets[n];
        CString name = set.package.GetFileName();
        if (verbose > 1) PrintColorFormat(kColorGreen, "ZYV:  %s\n", name.c_str());
        if (ExpandPathMacros(name, TRUE, TRUE) != kPathFound) {
            line.Format("ERROR:  Unable to get ZYV[%s].\n", name.c_str());
            PrintColor(line, kColorRed);
            if (!platform::FileExists(name.c_str())) {
                line.Format("VCID:  %s  ZYV NOT FOUND\n", name.c_str());
                PrintStyled(line, kColorRed, kColorWhite, FALSE);
            }
            return false;
        }
        set.package = CZyvFile(name);
        if (set.package.Load() != CZyvFile::kLoaded) {
            line.Format("ERROR:  Unable to open ZYV[%s]\n", name.c_str());
            PrintColor(line, kColorRed);
            return false;
        }
        if (set.package.GetNumberOfBinaryTables() != 3) {
            PrintColor("ERROR:  Requires 3 ZYV tables!\n", kColorRed);
            return false;
        }
        for (DspTableEntry* t : {&set.encodeTable, &set.resolutionTable}) {
            t->type = t == &set.encodeTable ? CZyvFile::kTableEncode : CZyvFile::kTableResolution;
            const BYTE* data = nullptr;
            DWORD size = 0;
            if (!set.package.GetTable(t->type, data, size) || !data || !size) {
                PrintColor("ERROR:  Unable to retrieve table!\n", kColorRed);
                return false;
            }
            const DWORD address = m_dsp->Alloc(size, 2, 1);
            if (!address) {
                PrintColor("ERROR:  Allocate memory for DSP table!\n", kColorRed);
                return false;
            }
            *t = {t->type, data, size, address};
            if (!m_dsp->WriteMemory(data, address, size, 1)) {
                PrintColor("ERROR:  Unable to write table to DSP memory!\n", kColorRed);
                return false;
            }
        }
        const DWORD packageVcid = set.package.GetVCID();
        if (verbose > 2 || (IsEngineering() && packageVcid == vcid && verbose > 1)) PrintColor(set.package.FormatResolutionInfo(), kColorGreen);
        if (!m_dsp->AddEncodeTableList(packageVcid, set.encodeTable.dspAddress, set.encodeTable.size, set.resolutionTable.dspAddress,
                                       set.resolutionTable.size, &set.tableOffset, 1)) {
            PrintColor("ERROR:  Unable to add to table(encode) list!\n", kColorRed);
            return false;
        }
        if (verbose > 1)
            PrintColorFormat(kColorGreen,
                             "VCID[0x%04X, %ld] CRC[0x%08X]  table is added to Encode list.\n\tEncode[Address=0x%08X, Size=%ld]\n"
                             "\tResolution[Address=0x%08X, Size=%ld]\n\tTableOffset[%ld]\n",
                             packageVcid, static_cast<long>(packageVcid), set.package.GetFileCrc(), set.encodeTable.dspAddress,
                             static_cast<long>(set.encodeTable.size), set.resolutionTable.dspAddress, static_cast<long>(set.resolutionTable.size),
                             static_cast<long>(set.tableOffset));
        if (packageVcid == vcid) tested = static_cast<int>(n);
    }
    return true;
}

bool CSorbelinEncoder::RunImages(const CParamString& options, CZyvFile& package, DWORD vcid, const CString& image, DWORD frames, DWORD verbose,
                                 bool master) {
    CString line;
    const DWORD bits = package.Is10Bit() ? 10 : 8;
    const DWORD width = package.GetRasterWidth();
    DWORD height = package.GetTotalLinesPerFrame();
    if (!height) height = package.GetLinesPerFrame();
    if (!height) height = package.GetRasterHeight();
    const DWORD frameBytes = package.GetMaxCompressedFrameSize();
    const bool fields = package.GetFrameLayout() == CZyvFile::kFrameLayoutFields;
    // The receive chain spans one unit beyond its last one.
    const unsigned long long chain = 16ull * (fields ? frameBytes / 2 : frameBytes);
    if (frameBytes < 16 || frameBytes % 8 || chain > kReceiveArea) {
        line.Format("ERROR:  MaxCompressedFrameSize[%lu] of VCID[0x%04X] does not fit the receive area\n", static_cast<unsigned long>(frameBytes), vcid);
        PrintColor(line, kColorRed);
        return false;
    }
    std::vector<CString> entries;
    CString value;
    if (!options.GetValue("IMG", value)) entries.push_back("Env.$(DECOMPRESS_IMAGE)=>Env.$(COMPRESS_IMAGE)");
    else if (value == "$(IMG_LIST)") entries = GetImageList()->GetEntries();
    else entries.push_back(value);
    CString tag;
    unsigned int imageRevision = 0;
    const bool patch = COxd(image, 1).GetRevision(tag) && std::sscanf(tag.c_str(), "%X", &imageRevision) == 1 && imageRevision < kPatchRevision;
    for (const CString& text : entries) {
        if (StopRequested()) return false;
        CKeyValue entry(text, "=>");
        CString reference = entry.GetValue();
        if (reference == "Env.$(COMPRESS_IMAGE)" && !FindVariable("COMPRESS_IMAGE", reference)) {
            PrintColor("ERROR:  Unable to find COMPRESS_IMAGE environment variable\n", kColorRed);
            return false;
        }
        CString hex;
        hex.Format("%X", vcid);
        reference.Replace("$(VCID_LIST)", hex);
        if (ExpandPathMacros(reference, TRUE, TRUE) == kPathNotFound) {
            line.Format("ERROR: Unable to find COMPRESS_IMAGE[%s]\n", reference.c_str());
            PrintColor(line, kColorRed);
            return false;
        }
        CFileBuffer expected;
        if (!expected.LoadFile(reference)) {
            line.Format("ERROR: Unable to read destination image[%s]\n", reference.c_str());
            PrintColor(line, kColorRed);
            return false;
        }
        // The frame compared is the file's last frameBytes: a shorter file has none.
        if (expected.nSize < frameBytes) {
            line.Format("ERROR:  FileEncodeLength[%lu] < CompressedFrameSize[%lu]\n", static_cast<unsigned long>(expected.nSize),
                        static_cast<unsigned long>(frameBytes));
            PrintColor(line, kColorRed);
            return false;
        }
        if (patch) {
            // Images before the CRC end each field of the reference frame in the end marker.
            BYTE* frame = expected.pData + expected.nSize - frameBytes;
            for (const DWORD end : {frameBytes, fields ? frameBytes / 2 : frameBytes})
                for (int i = 0; i < 4; ++i) frame[end - 4 + static_cast<DWORD>(i)] = static_cast<BYTE>(kMarkerBytes[i]);
        }
        if (verbose > 1) PrintColorFormat(kColorGreen, "DstImg Compressed:  %s\n", reference.c_str());
        bool passed = false;
        if (bits == 8) {
            Image::YCbCr_8bit picture(width, height);
            passed = BuildSourceImage8(entry, &picture, vcid, static_cast<int>(verbose)) &&
                     EncodeAndCompare8(options.GetText(), package, picture, expected, frames, verbose, master);
        } else {
            Unpacked::Image::YCbCr_10_6 picture(width, height);
            passed = BuildSourceImage10(entry, &picture, vcid, static_cast<int>(verbose)) &&
                     EncodeAndCompare10(options.GetText(), package, picture, expected, frames, verbose, master);
        }
        if (!passed) {
            PrintColor("ERROR:  Encode failed!\n", kColorRed);
            return false;
        }
        if (verbose > 1) PrintColorFormat(kColorGreen, "Encoder processed %lu frames.\n", static_cast<unsigned long>(frames));
        if (master) {
            // The reference this run read now holds the frame the chip produced.
            if (!expected.SaveFile(reference)) {
                PrintColor(images_detail::SaveFailureText("ERROR:  Unable to save " + reference + "\n", errno), kColorRed);
                return false;
            }
            PrintColor("Image Saved - " + CString(platform::MapPath(reference.c_str()).c_str()) + "\n", kColorGreen);
        }
    }
    return true;
}

BOOL CSorbelinEncoder::EncodeAndCompare8(const CString& params, const CZyvFile& package, Image::YCbCr_8bit& image, CFileBuffer& reference,
                                         DWORD frames, DWORD verbose, BOOL master) {
    if (package.Is10Bit()) {
        PrintColor("ZYV[8bit] does not match IMG[10bit]\n", kColorRed);
        return FALSE;
    }
    return EncodeAndCompare(params, package, image, image.GetWidth() / 2, FALSE, reference, frames, verbose, master, "tag");
}

BOOL CSorbelinEncoder::EncodeAndCompare10(const CString& params, const CZyvFile& package, Unpacked::Image::YCbCr_10_6& image,
                                          CFileBuffer& reference, DWORD frames, DWORD verbose, BOOL master) {
    if (!package.Is10Bit()) {
        PrintColor("ZYV[10bit] does not match IMG[8bit]\n", kColorRed);
        return FALSE;
    }
    return EncodeAndCompare(params, package, image, image.GetWidth(), TRUE, reference, frames, verbose, master, "Tag");
}

BOOL CSorbelinEncoder::EncodeAndCompare(const CString& params, const CZyvFile& package, CImage& image, DWORD lineDwords, BOOL sixteenBit,
                                        CFileBuffer& reference, DWORD frames, DWORD verbose, BOOL master, const char* tagWord) {
    CString line;
    const CParamString options(params);
    const DWORD saveCount = ReadSaveCount(options);
    const bool saveOnFail = options.IsSwitch("SAVE_ON_FAIL", FALSE);
    if (!image.GetBuffer()) {
        PrintColor("NULL pointer for IMG\n", kColorRed);
        return FALSE;
    }
    const bool fields = package.GetFrameLayout() == CZyvFile::kFrameLayoutFields;
    const DWORD maxFrames = fields ? 7 : 15;
    if (frames < 1 || frames > maxFrames) {
        line.Format("Number of frames must be between 1 and %lu for this mode.", static_cast<unsigned long>(maxFrames));
        PrintColor(line, kColorRed);
        return FALSE;
    }
    if (verbose > 1) PrintColorFormat(0xFF0000, "--------- Number of frames %lu.\n", static_cast<unsigned long>(frames));
    const int chip = GetChipFromName(1);
    if (chip != 1 && chip != 2) {
        PrintColor("Unrecognized Chip", kColorRed);
        return FALSE;
    }
    if (verbose > 1) PrintColor(chip == 1 ? "Test Sorbelin A\n" : "Test Sorbelin B\n", kColorGreen);
    DWORD toChip = 0, fromChip = 0;
    GetChipDMAChannels(toChip, fromChip, nullptr);
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    CWexalDMAChannel* send = board ? board->GetDMAChannel(static_cast<int>(toChip)) : nullptr;
    CWexalDMAChannel* receive = board ? board->GetDMAChannel(static_cast<int>(fromChip)) : nullptr;
    const RegisterPtr bar0 = m_boardIF.GetRegisters();
    if (!send || !receive || !bar0) {
        PrintColor("pColl_X is NULL\n", kColorRed);
        return FALSE;
    }
    if (!m_controller || !m_controller->RAMClockEnable(1, 1)) {
        PrintColor("ERROR:  Unable to set SulvthSDRAMClock\n", kColorRed);
        return FALSE;
    }
    WexalDCB zero;
    for (int n = 1; n <= 15; ++n) {
        send->SetDCB(n, &zero);
        receive->SetDCB(n, &zero);
    }
    const DWORD frameBytes = package.GetMaxCompressedFrameSize();
    BufferControlUnit receiveBcu(bar0 + (BufferControlUnit::kBase + 16 * 4) / 4);
    receiveBcu.Clear();
    receiveBcu.SetGo(1);
    if (reference.nSize < frameBytes) {
        line.Format("ERROR:  FileEncodeLength[%lu] < CompressedFrameSize[%lu]\n", static_cast<unsigned long>(reference.nSize),
                    static_cast<unsigned long>(frameBytes));
        PrintColor(line, kColorRed);
        return FALSE;
    }
    const DWORD units = fields ? 2 * frames : frames;
    const DWORD step = fields ? frameBytes / 2 : frameBytes;
    std::vector<DWORD> starts(units + 1);
    for (DWORD k = 1; k <= units; ++k) {
        WexalDCB dcb;
        dcb.SetGeometryForSize(2 * step, FALSE);
        dcb.GetOpField().SetBCUPointer(4);
        dcb.GetOpField().SetNext(static_cast<BYTE>((k + 1) % (units + 1)));
        dcb.GetPortField().SetTag(static_cast<WORD>(k & 0xF));
        dcb.GetPortField().SetContextID(0);
        starts[k] = kReceiveBase + (k - 1) * step;
        dcb.SetStartAddress(starts[k]);
        receive->SetDCB(static_cast<int>(k), &dcb);
        ClearSDRAM(starts[k], 2 * step, 0);
        bar0[kCacheFlush / 4] = 0xFF;
        Sleep(1);
        if (verbose > 1)
            PrintColorFormat(kColorBlack, "DST Image:  Tag[%d]  Addr[0x%08X] [%d, %d, %d]  %s\n", static_cast<int>(k), starts[k],
                             static_cast<int>(dcb.GetInitialLineLength()), static_cast<int>(dcb.GetLineLength()), static_cast<int>(dcb.GetLines()),
                             "8bit");
    }
    BufferControlUnit sendBcu(bar0 + (BufferControlUnit::kBase + 16 * 2) / 4);
    sendBcu.Clear();
    sendBcu.SetGo(1);
    const DWORD pictureBytes = image.GetSize();
    const DWORD lines = fields ? image.GetHeight() / 2 : image.GetHeight();
    for (DWORD k = 1; k <= units; ++k) {
        const DWORD frame = fields ? (k - 1) / 2 : k - 1;
        const DWORD base = kSendBase + frame * pictureBytes;
        const bool secondField = fields && k % 2 == 0;
        WexalDCB dcb;
        dcb.GetOpField().SetBCUPointer(2);
        dcb.GetOpField().SetNext(static_cast<BYTE>((k + 1) % (units + 1)));
        dcb.GetOpField().Set16bit(sixteenBit);
        dcb.GetPortField().SetTag(static_cast<WORD>(k & 0xF));
        dcb.GetPortField().SetContextID(0);
        dcb.SetLineLength(static_cast<WORD>(lineDwords));
        dcb.SetInitialLineLength(static_cast<WORD>(lineDwords));
        dcb.SetLines(static_cast<WORD>(lines ? lines - 1 : 0));
        if (fields) dcb.SetPad(static_cast<WORD>(lineDwords));
        const DWORD start = base + (secondField ? lineDwords * 4 : 0);
        dcb.SetStartAddress(start);
        send->SetDCB(static_cast<int>(k), &dcb);
        if (!secondField && !WriteMemory(image.GetBuffer(), base, pictureBytes)) return FALSE;
        bar0[kCacheFlush / 4] = 0xFF;
        Sleep(1);
        if (verbose > 1)
            PrintColorFormat(kColorBlack, "SRC Image:  Tag[%d]:  Addr[0x%08X]  [%d, %d, %d] %s\n", static_cast<int>(k), start,
                             static_cast<int>(dcb.GetInitialLineLength()), static_cast<int>(dcb.GetLineLength()), static_cast<int>(dcb.GetLines()),
                             sixteenBit ? "16bit" : "8bit");
    }
    // The transfer-control word is the sending channel's.
    send->GetControlWord() = 0;
    Sleep(1);
    receive->GetControlWord() = 1;
    send->GetControlWord() = 1;
    const DWORD dwords = pictureBytes / 4 * units;
    const DWORD deadline = dwords / 20000 + 100;
    if (verbose > 1) PrintColorFormat(0xFF0000, "Search for tag[%lu]\n", static_cast<unsigned long>(units));
    const FramePairReport style{.inName = "SorbelinToWexal", .outName = "WexalToSorbelin", .q2kFromOutbound = false, .deadlineReports = true};
    DWORD tagReached = 0;
    BOOL result = TRUE;
    if (!WaitForFramePair(*this, *receive, *send, units, deadline, dwords * 4, 0, verbose > 1, style, &tagReached)) {
        result = FALSE;
        if (verbose <= 1) {
            WexalDCB in, out;
            receive->GetDCB(0, &in);
            send->GetDCB(0, &out);
            Print(FormatTransferTimeout(static_cast<int>(deadline), dwords * 4, style.inName, in, style.outName, out));
        } else {
            ReportFrames("Wexal to Sorbelin", toChip, 1);
            ReportFrames("Sorbelin to Wexal", fromChip, 1);
        }
    }
    board->GetMainRegisters()[1] = 0xFF;
    Sleep(1);
    if (verbose > 1)
        PrintColorFormat(kColorGreen, "GET:  XSize = %ld YSize = %ld ImageSize = %ld  PadSize = %ld\n", static_cast<long>(image.GetWidth()),
                         static_cast<long>(image.GetHeight()), static_cast<long>(pictureBytes), static_cast<long>(image.GetOffset()));
    DWORD expected = 0, received = 0, movedLines = 0, movedBytes = 0;
    ScanDescriptors(fromChip, 1, &expected, &received, &movedLines, &movedBytes);
    const DWORD receivedFrames = fields ? received / 2 : received;
    std::vector<BYTE> frame;
    try {
        frame.resize(frameBytes);
    } catch (const std::bad_alloc&) {
        PrintColor("ERROR:  Unable to allocate memory for compressed images\n", kColorRed);
        return FALSE;
    }
    if (master) {
        // The reference becomes exactly the first frame the chip produced.
        if (receivedFrames == 0 || !ReadMemory(starts[1], frame.data(), frameBytes)) {
            result = FALSE;
        } else {
            reference.Free();
            CFileBuffer copy(frame.data(), frameBytes);
            std::swap(reference.pData, copy.pData);
            std::swap(reference.nSize, copy.nSize);
        }
    } else if (!CompareFrames(reference, frame, starts, fields, frames, receivedFrames, image.GetHeight(), verbose, saveCount, saveOnFail,
                                    tagWord)) {
        result = FALSE;
    }
    // A failed run, a MASTER one too, reports the DSP's time-outs and runs the OnFail list.
    if (!result) {
        CString report;
        ReportDSPTimeouts(report);
        if (!report.IsEmpty()) PrintColor(report, kColorGreen);
        RunOnFail();
    }
    if (!master && verbose >= 1) PrintColor("\n", kColorBlack);
    return result;
}

BOOL CSorbelinEncoder::CompareFrames(const CFileBuffer& reference, std::vector<BYTE>& frame, const std::vector<DWORD>& starts, bool fields,
                                     DWORD frames, DWORD receivedFrames, DWORD lines, DWORD verbose, DWORD saveCount, bool saveOnFail,
                                     const char* tagWord) {
    CString line;
    BOOL result = TRUE;
    bool saveAll = false;
    const DWORD frameBytes = static_cast<DWORD>(frame.size());
    if (verbose >= 1) PrintColor("Comparing images ... ", kColorBlack);
    const BYTE* want = reference.pData + reference.nSize - frameBytes;
    const DWORD header = BigEndian(want);
    const DWORD macroBlocks = GetMacroBlockStart(header, lines);
    for (DWORD i = 0; i < frames && i < receivedFrames; ++i) {
        // A frame of two fields starts with its first field's unit.
        const DWORD unit = fields ? 2 * i + 1 : i + 1;
        if (verbose >= 1) PrintColorFormat(kColorBlack, "%lu ", static_cast<unsigned long>(i));
        if (!ReadMemory(starts[unit], frame.data(), frameBytes)) result = FALSE;
        DWORD errors = 0, dsp = 0, macro = 0, data = 0, f0 = 0, f1 = 0;
        if (std::memcmp(frame.data(), want, frameBytes) != 0) {
            for (DWORD o = 0; o + 8 <= frameBytes; o += 8) {
                const DWORD e0 = Word(want + o), e1 = Word(want + o + 4), r0 = Word(frame.data() + o), r1 = Word(frame.data() + o + 4);
                if (e0 == r0 && e1 == r1) continue;
                if (errors == 0) {
                    line.Format("\nERROR:  Image[#%d]/Tag[%d] failed.  Address[0x%08X] Size[%lu]\n", static_cast<int>(i), static_cast<int>(unit & 0xF),
                                starts[unit], static_cast<unsigned long>(frameBytes));
                    PrintColor(line, kColorRed);
                }
                ++errors;
                if (o < macroBlocks) ++dsp;
                else if (o < header) ++macro;
                else if (e1 != r1 && o == frameBytes - 8) ++f1;
                else if (fields && e1 != r1 && o == frameBytes / 2 - 8) ++f0;
                else ++data;
                if (errors <= kMaxListed)
                    PrintColorFormat(kColorRed, "Offset[0x%08X]  EXP[0x%08X%08X]  RD[0x%08X%08X]  XOR[0x%08X%08X]\n", o, e1, e0, r1, r0, e1 ^ r1, e0 ^ r0);
            }
        }
        if (errors) {
            const DWORD iCrc = CheckFrameCRC(frame.data(), frameBytes, nullptr, nullptr, fields, TRUE) ? 0 : 1;
            if (fields)
                line.Format("\nERROR:  Image[#%d]/tag[%d] failed comparison.  HwHeaderSize[%lu]  Errors[%lu]\nSections:  DspSdram[%lu]  MacroBlock[%lu]  "
                            "Data[%lu]  fCRC[F0(%lu),F1(%lu)]  iCRC[%lu]\n\n",
                            static_cast<int>(i), static_cast<int>(unit & 0xF), static_cast<unsigned long>(header), static_cast<unsigned long>(errors),
                            static_cast<unsigned long>(dsp), static_cast<unsigned long>(macro), static_cast<unsigned long>(data),
                            static_cast<unsigned long>(f0), static_cast<unsigned long>(f1), static_cast<unsigned long>(iCrc));
            else
                line.Format("\nERROR:  Image[#%d]/%s[%d] failed comparison.  HwHeaderSize[%lu]  Errors[%lu]\nSections:  DspSdram[%lu]  MacroBlock[%lu]  "
                            "Data[%lu]  fCRC[%lu]  iCRC[%lu]\n\n",
                            static_cast<int>(i), tagWord, static_cast<int>(unit & 0xF), static_cast<unsigned long>(header),
                            static_cast<unsigned long>(errors), static_cast<unsigned long>(dsp), static_cast<unsigned long>(macro),
                            static_cast<unsigned long>(data), static_cast<unsigned long>(f1), static_cast<unsigned long>(iCrc));
            PrintColor(line, kColorRed);
            result = FALSE;
            if (saveOnFail) saveAll = true;
        }
        if (i < saveCount || saveAll) {
            CString name;
            name.Format("C:\\Zorv.Encode.%lu.img", static_cast<unsigned long>(i));
            CFileBuffer out(frame.data(), frameBytes);
            if (out.SaveFile(name)) {
                // The drive path lands in the station folder: name the file where it really is.
                PrintColorFormat(kColorGreen, "Save image [%s]\n", platform::MapPath(name.c_str()).c_str());
            } else {
                const int error = errno;
                CString what;
                what.Format("ERROR: Unable to write file for image #%d\n", static_cast<int>(i));
                PrintColor(images_detail::SaveFailureText(what, error), kColorRed);
                result = FALSE;
            }
        }
    }
    return result;
}
