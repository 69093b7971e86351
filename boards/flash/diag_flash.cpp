// CDiagFlash: segment table, board check, OXD file choice, and the program, compare and report operations.
#include "boards/flash/diag_flash.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "boards/flash/flash_image_id.h"
#include "devlib/wexal_spaces.h"
#include "framework/hw/flash_image_file.h"
#include "framework/hw/flash_prom.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"

namespace {

// Image data is copied into flash words as they lie in memory.
static_assert(std::endian::native == std::endian::little);

constexpr DWORD kBothBoards = 3, kAlternative = 0x80000000;
constexpr int kMainBoard = 1, kCodecBoard = 2;
constexpr int kLedWord = 0x10 / 4;
constexpr DWORD kLedNonSafe = 0x40, kLedPcix = 0x80;
constexpr int kVpdRevisionRoom = 79;
constexpr int kRevisionChars = 4;
constexpr int kBlock = static_cast<int>(CDiagFlash::kBlockWords);

int BlockOf(int word) { return word & ~(kBlock - 1); }

// File word i: the odd last byte takes the high half the flash holds.
WORD FileWord(const std::vector<BYTE>& data, size_t i, WORD flash) {
    const BYTE high = 2 * i + 1 < data.size() ? data[2 * i + 1] : static_cast<BYTE>(flash >> 8);
    return static_cast<WORD>(data[2 * i] | high << 8);
}

const char* const kUsage =
    "flash [PROGRAM] [CHECK] [REPORT] {SAFE,PCI,PCIX}[=path.oxd]\n"
    "\n"
    "  Keys, as the test reads them:\n"
    "    MODE=   any of PROG, CHECK and REPORT; NOPROG, NOCHECK and NOREPORT\n"
    "            take one out again. Name several inside parentheses:\n"
    "            MODE=(PROG CHECK REPORT)\n"
    "    DEVICE= the flash segment: PROM, SAFE, PCIX, PCI, SAF6, PCI6, LABX,\n"
    "            TEST, EXP or VPD (any case)\n"
    "    FILE=   the OXD file, or a file-name template: the most recently\n"
    "            modified matching file is used. $(VPDVER) stands for the\n"
    "            board's VPD revision, $(CWD) for the program folder.\n"
    "\n"
    "  Any combination of the operations may be given; they always run in\n"
    "  the order PROGRAM, CHECK, REPORT, and each runs only when the one\n"
    "  before it passed.\n"
    "\n"
    "  PROGRAM needs an OXD file. It erases the image's part of the segment,\n"
    "          writes the image and, after it, an Image ID Report telling\n"
    "          which file was installed, by whom and when.\n"
    "  CHECK   needs an OXD file. It compares the segment with the file and\n"
    "          fails at the first difference, showing the words around it.\n"
    "  REPORT  shows the Image ID Report of the segment: where the image\n"
    "          came from and when it was installed.\n"
    "\n"
    "  The image must fit its segment. PROM is the whole device: its room is\n"
    "  that of the segment the image belongs to, and it holds no report.\n"
    "\n"
    "  Diagnostic images:\n"
    "    LABX  0x100000 words from 0x300000 (the rest of the flash)\n"
    "    TEST  0x0E0000 words from 0x300000\n"
    "  Images programmed there can make the Pexano base board and the\n"
    "  codec board fail: the expansion and product data areas lie behind.\n"
    "\n"
    "  Examples:\n"
    "    MODE=(PROG CHECK REPORT) DEVICE=PCIX FILE=$(CWD)\\testdata\\ZVKX$(VPDVER).oxd\n"
    "    MODE=REPORT DEVICE=SAFE\n";

}  // namespace

const FlashSegmentInfo CDiagFlash::kSegments[] = {
    {"PROM", 0x000000, 0, FALSE, kBothBoards, {nullptr, nullptr, nullptr}},
    {"SAFE", 0x000000, 0x100000, TRUE, kBothBoards, {"ZVKS", nullptr, nullptr}},
    {"PCIX", 0x100000, 0x100000, TRUE, kBothBoards, {"ZVKX", "PUVI", "KEZO"}},
    {"PCI", 0x200000, 0x100000, TRUE, kBothBoards, {"ZVKP", nullptr, nullptr}},
    {"SAF6", 0x000000, 0x180000, TRUE, kBothBoards, {"ZVKS", nullptr, nullptr}},
    {"PCI6", 0x200000, 0x180000, TRUE, kBothBoards, {"ZVKP", nullptr, nullptr}},
    {"LABX", 0x300000, 0x100000, FALSE, kBothBoards, {nullptr, nullptr, nullptr}},
    {"TEST", 0x300000, 0x0E0000, TRUE, kBothBoards, {nullptr, nullptr, nullptr}},
    {"EXP", 0x3E0000, 0x2000, FALSE, 1, {"LOJT", nullptr, nullptr}},
    {"EXP", 0x3E0000, 0x2000, FALSE, kAlternative | 2, {"RYVD", nullptr, nullptr}},
    {"VPD", 0x3F0000, 0x2000, FALSE, 1, {"HUXO", nullptr, nullptr}},
    {"VPD", 0x3F0000, 0x2000, FALSE, kAlternative | 2, {"MIZB", nullptr, nullptr}},
    {nullptr, 0, 0, FALSE, kBothBoards, {nullptr, nullptr, nullptr}},
};

CDiagFlash::CDiagFlash(CString name) : CWexalTreeMapTB(name) {
    SetCodeName(name);
    m_boardSpecificIds = (GetReleaseId() & kReleaseGrenlo) == kReleaseGrenlo;
}

void CDiagFlash::SetParent(CWexalTreeMapTB* parent) {
    m_parent = parent;
    AddToMap(parent);
}

void CDiagFlash::ShowHelp() {
    PrintRule(72, 0, kColorGreen);
    PrintColor(kUsage, kColorBlack);
    PrintRule(72, 0, kColorGreen);
}

const FlashSegmentInfo* CDiagFlash::FindSegment(const CString& name) {
    for (const FlashSegmentInfo* s = kSegments; s->name; ++s)
        if (name.CompareNoCase(s->name) == 0) return s;
    return nullptr;
}

bool CDiagFlash::Stopped() { return *g_StopFlag() != 0; }

int CDiagFlash::BoardType() {
    if (GetBoardIF().GetCodecBoardRegisters()) return kCodecBoard;
    return GetBoardIF().GetMainBoardRegisters() ? kMainBoard : 0;
}

bool CDiagFlash::VerifyBoard(const FlashSegmentInfo* segment) {
    if (!segment) return false;
    const int type = BoardType();
    if (!type) {
        PrintColor("This test cannot be run without an Brimola or Nuxa Board installed.\n", kColorRed);
        return false;
    }
    if (segment->boards & static_cast<DWORD>(type)) return true;
    for (const FlashSegmentInfo* s = segment + 1; s->name && (s->boards & kAlternative); ++s)
        if (s->boards & static_cast<DWORD>(type)) return true;
    PrintColor("This test cannot be run with this type of board.\n", kColorRed);
    return false;
}

bool CDiagFlash::AttachFlash(CFlashPROM& flash) {
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    if (!board || !board->GetControllerRegisters()) return false;
    flash.Attach(board->GetControllerRegisters() + static_cast<int>(CFlashPROM::kPortOffset - 0x4000) / 4);
    return true;
}

DWORD CDiagFlash::Run(CString arguments) {
    PrintHeader(arguments, "");
    const CParamString params(arguments);
    CString mode, device, file;
    params.GetValue("MODE", mode);
    const bool hasDevice = params.GetValue("DEVICE", device);
    const bool hasFile = params.GetValue("FILE", file);
    bool check = mode.Find("CHECK") >= 0, prog = mode.Find("PROG") >= 0, report = mode.Find("REPORT") >= 0;
    if (mode.Find("NOCHECK") >= 0) check = false;
    if (mode.Find("NOPROG") >= 0) prog = false;
    if (mode.Find("NOREPORT") >= 0) report = false;

    const FlashSegmentInfo* segment = nullptr;
    if (hasDevice && !(segment = FindSegment(device))) {
        PrintColorFormat(kColorRed, "ERROR:  Unable to find DEVICE[%s]\n", device.c_str());
        return kRunFailed;
    }
    if ((prog || check) && hasFile && DetermineFilenameOXD(file, TRUE, 1) != kRunPassed) {
        PrintColorFormat(kColorRed, "ERROR:  %s not found\n", file.c_str());
        return kRunFailed;
    }
    if (!VerifyBoard(segment)) {
        PrintColor("ERROR:  Unable to verify board\n", kColorRed);
        return kRunFailed;
    }
    DWORD result = kRunPassed;
    if (prog) result = Program(file, segment);
    if (check && result == kRunPassed) result = Check(file, segment);
    if (report && result == kRunPassed) result = Report(*segment);
    return result;
}

DWORD CDiagFlash::DetermineFilenameOXD(CString& path, BOOL ask, DWORD verbose) {
    CWexalBAR0Space* bar0 = GetBoardIF().GetWexalBAR0Space();
    if (!bar0) {
        if (verbose > 1) PrintColor("ERROR:  CDiagFlash::DetermineFilenameOXD()  pBar0Space is NULL\n", kColorRed);
        return kRunFailed;
    }
    CString vpdRevision;
    for (const char* key : {"ZB", "ZC"}) {
        char field[kVpdRevisionRoom + 1] = {};
        int length = 0;
        if (bar0->GetVPDField(key, kVpdRevisionRoom, field, &length) == PCI_VPD::VPD_OK && length > 0)
            vpdRevision += CString(field, std::min(length, kRevisionChars));
    }
    path.Replace("$(VPDVER)", vpdRevision);
    // A file found only under the program's testdata folder is as good as one found in place.
    const int expanded = ExpandPathMacros(path, TRUE, TRUE);
    if (expanded != kPathFound && expanded != kPathFoundInTestData) return kRunFailed;
    if (FindFileOrAsk(path, "", "*.oxd", "OXD Files (*.oxd)|*.oxd| All Files (*.*)|*.*||", "JQV_OXD_IMAGE_PATH", ask,
                      TRUE) == 1) {
        if (verbose > 1)
            PrintColor("ERROR:  CDiagFlash::DetermineFilenameOXD()  Unable to get OXD filename.\n", kColorRed);
        return kRunFailed;
    }
    const int slash = std::max(path.ReverseFind('\\'), path.ReverseFind('/'));
    const CString base = slash >= 0 ? path.Mid(slash + 1) : path.Find(':') >= 0 ? path.Mid(path.Find(':') + 1) : path;
    const CString fileRevision = base.Mid(kRevisionChars, kRevisionChars);
    if (fileRevision != vpdRevision) {
        if (verbose > 1)
            PrintColorFormat(kColorRed,
                             "ERROR:  CDiagFlash::DetermineFilenameOXD()  VPD rev[%s] does not match rev in filename[%s]\n",
                             vpdRevision.c_str(), fileRevision.c_str());
        return kRunFailed;
    }
    if (verbose >= 1) PrintColor("OXD FILE:  " + path + "\n", kColorBlack);
    return kRunPassed;
}

bool CDiagFlash::IdMatches(const char* imageId, const FlashSegmentInfo& record, int boardType) const {
    auto equal = [imageId](const char* id) { return id && std::strncmp(id, imageId, 4) == 0; };
    if (equal(record.ids[0])) return true;
    if (!m_boardSpecificIds) return false;
    return (boardType == kMainBoard && equal(record.ids[1])) || (boardType == kCodecBoard && equal(record.ids[2]));
}

DWORD CDiagFlash::ReadyImage(const CString& file, CFlashImageFile& image, const FlashSegmentInfo& segment,
                             std::vector<BYTE>& data) {
    const int status = image.Open(file);
    if (status == CFlashImageFile::kBadParameter || status == CFlashImageFile::kNotFound) {
        Print("  Error: ");
        PrintColor(image.GetStatusText(status), kColorRed);
        Print("\n");
        Print("  File:  \"" + (image.GetPath().IsEmpty() ? file : image.GetPath()) + "\"\n");
        return kRunFailed;
    }
    Print(CString("  Readying the") + (segment.size ? CString(" ") + segment.name : CString("")) +
          " image from file \"" + image.GetFileName() + "\"\n");
    if (status != CFlashImageFile::kReady) {
        Print("  Error: ");
        PrintColor(image.GetStatusText(status), kColorRed);
        Print("\n");
        return kRunFailed;
    }
    // Every programmed word counts, the half-filled last one of an odd image included.
    const int words = static_cast<int>((image.GetDataSize() + 1) / 2);
    const char* header = image.GetHeaderText();
    const size_t headerLength = header ? std::strlen(header) : 0;
    if (headerLength < 11 || header[5] != 'F' || header[10] != 'M') {
        PrintColor("  This OXD file does not contain a valid Brimola data.\n", kColorRed);
        return kRunFailed;
    }
    const char* imageId = header + 6;
    const int type = BoardType();
    const FlashSegmentInfo* owner = nullptr;
    const FlashSegmentInfo* best = nullptr;
    for (const FlashSegmentInfo* s = kSegments; s->name; ++s) {
        const bool matched = IdMatches(imageId, *s, type);
        if (matched && !owner) owner = s;
        if (m_boardSpecificIds ? !matched : !s->ids[0]) continue;
        const bool holds = s->size >= words;
        if (!best || (holds && (best->size < words || s->size < best->size)) ||
            (!holds && best->size < words && s->size > best->size))
            best = s;
    }
    const int capacity = segment.size ? segment.size : best ? best->size : 0;
    if (!owner && capacity == 0) {
        PrintColor("  This OXD file does not contain a valid Brimola data.\n", kColorRed);
        return kRunFailed;
    }
    // The EXP and VPD areas have a row per board under one name: a codec image checked against the
    // main board's row still belongs to the segment named.
    if (segment.size && owner && !IdMatches(imageId, segment, type) && std::strcmp(owner->name, segment.name) != 0)
        Print(CString("  Notice: This Wexal image was intended for ") + owner->name + ", not " + segment.name + ".\n");
    CString sizes;
    sizes.Format("  This OXD file contains %d 16-bit words of data.\n"
                 "  This Flash PROM segment contains %d 16-bit words of capacity.\n",
                 words, capacity);
    PrintColor(sizes, kColorBlack);
    if (capacity < words) {
        PrintColor("  There is not enough space in PROM for this Wexal image.\n", kColorRed);
        return kRunFailed;
    }
    data.resize(static_cast<size_t>(image.GetDataSize()));
    if (image.Read(data.data(), 0, image.GetDataSize()) != CFlashImageFile::kReady) {
        Print("  Error: ");
        PrintColor(image.GetStatusText(CFlashImageFile::kCannotRead), kColorRed);
        Print("\n");
        return kRunFailed;
    }
    return kRunPassed;
}

DWORD CDiagFlash::Program(const CString& file, const FlashSegmentInfo* segment) {
    if (!segment || file.IsEmpty()) return kRunFailed;
    CFlashImageFile image;
    std::vector<BYTE> data;
    DWORD result = ReadyImage(file, image, *segment, data);
    if (result == kRunPassed) {
        PrintColor("Programming...", kColorBlack);
        const std::string header = image.GetHeaderText();
        result = ProgramSteps(*segment, image.GetFileName(), header.c_str(), data);
        if (result == kRunPassed) PrintColor("Done.\n", kColorBlack);
    }
    image.Close();
    return result;
}

DWORD CDiagFlash::ProgramSteps(const FlashSegmentInfo& segment, const CString& fileName, const char* headerText,
                               const std::vector<BYTE>& data) {
    CFlashImageID record;
    if (!AttachFlash(record.Flash())) return kRunFailed;
    CFlashPROM& flash = record.Flash();
    const int words = static_cast<int>((data.size() + 1) / 2);
    const int start = segment.start;
    const int lastImageBlock = BlockOf(start + words - 1);

    bool writeRecord = false;
    int firstRecordBlock = 0, lastRecordBlock = -1;
    if (segment.hasRecord) {
        record.SetGeometry(start, std::max(segment.size - words, 0), segment.size);
        record.SetRevisionFrom(headerText);
        record.SetTexts({CFlashImageID::InstallerText(fileName), headerText});
        if (const int address = record.GetRecordAddress(); address >= 0) {
            firstRecordBlock = BlockOf(address / 2);
            if (firstRecordBlock <= lastImageBlock) firstRecordBlock = lastImageBlock + kBlock;
            lastRecordBlock = BlockOf(start + segment.size - 1);
            writeRecord = lastRecordBlock >= firstRecordBlock;
        }
    }
    // An image that leaves no room for its record must not leave the old record behind it either:
    // the rest of the segment's last block is erased instead of kept.
    const bool eraseTail = segment.hasRecord && !writeRecord;

    const int imageBlocks = std::max((lastImageBlock >> 16) + 1 - (start >> 16), 1);
    const int recordBlocks = writeRecord ? (lastRecordBlock - firstRecordBlock) / kBlock + 1 : 0;
    Print("\n  " + CString('_', imageBlocks + recordBlocks) + "\n  ");

    for (int block = firstRecordBlock; writeRecord && block <= lastRecordBlock; block += kBlock) {
        Print("I");
        if (!flash.EraseBlock(block)) {
            PrintColor("\n  Flash device erase block failure.", kColorRed);
            return kRunFailed;
        }
        if (Stopped()) {
            PrintColor("...Aborting.", kColorRed);
            return kRunStopped;
        }
    }

    std::vector<WORD> buffer(kBlockWords);
    for (int done = 0; done < words;) {
        const int address = start + done;
        const int blockStart = BlockOf(address);
        const int offset = address - blockStart;
        const int count = std::min(kBlock - offset, words - done);
        if (offset > 0) flash.ReadArray(offset, blockStart, buffer.data());
        const size_t bytes = std::min(data.size() - 2 * static_cast<size_t>(done), 2 * static_cast<size_t>(count));
        if (bytes % 2) flash.ReadArray(1, address + count - 1, &buffer[static_cast<size_t>(offset + count - 1)]);
        std::memcpy(&buffer[static_cast<size_t>(offset)], data.data() + 2 * static_cast<size_t>(done), bytes);
        const int tail = kBlock - offset - count;
        if (tail > 0 && eraseTail)
            std::fill_n(buffer.begin() + offset + count, tail, WORD{0xFFFF});
        else if (tail > 0)
            flash.ReadArray(tail, address + count, &buffer[static_cast<size_t>(offset + count)]);
        Print("#");
        if (!flash.ProgramBlock(blockStart, buffer.data())) {
            PrintColor("\n  Flash device write block failure.", kColorRed);
            return kRunFailed;
        }
        if (Stopped()) {
            PrintColor("...Aborting.", kColorRed);
            return kRunStopped;
        }
        done += count;
    }

    if (writeRecord && !record.WriteId()) {
        PrintColor("\n  Unable to write Image ID to Flash device.", kColorRed);
        return kRunFailed;
    }
    Print("\n");
    return kRunPassed;
}

DWORD CDiagFlash::Check(const CString& file, const FlashSegmentInfo* segment) {
    if (!segment || file.IsEmpty()) return kRunFailed;
    CFlashImageFile image;
    std::vector<BYTE> data;
    DWORD result = ReadyImage(file, image, *segment, data);
    image.Close();
    if (result != kRunPassed) return result;
    PrintColor("Comparing...", kColorBlack);
    result = Compare(*segment, data);
    if (result == kRunPassed) PrintColor("Done.\n", kColorBlack);
    return result;
}

DWORD CDiagFlash::Compare(const FlashSegmentInfo& segment, const std::vector<BYTE>& data) {
    CFlashPROM flash;
    if (!AttachFlash(flash)) return kRunFailed;
    const int words = static_cast<int>((data.size() + 1) / 2);
    const int start = segment.start;
    WORD run[kCompareRun];
    for (int done = 0; done < words;) {
        const int count = std::min({static_cast<int>(kCompareRun), words - done, kBlock - (start + done) % kBlock});
        flash.ReadArray(count, start + done, run);
        int differs = -1;
        for (int i = 0; i < count && differs < 0; ++i)
            if (FileWord(data, static_cast<size_t>(done + i), run[i]) != run[i]) differs = i;
        if (differs < 0) {
            done += count;
            continue;
        }
        // Show the words around the difference: from the line before its line, as far as the run allows.
        const int at = start + done + differs;
        const int window = std::max((at & ~7) - 8, start + done);
        const int length = std::min<int>(kCompareRun, static_cast<int>(CFlashPROM::kWords) - window) & ~1;
        std::vector<WORD> actual(static_cast<size_t>(length)), expected(static_cast<size_t>(length));
        flash.ReadArray(length, window, actual.data());
        for (int i = 0; i < length; ++i) {
            const int w = window - start + i;
            expected[static_cast<size_t>(i)] = w < words ? FileWord(data, static_cast<size_t>(w), actual[static_cast<size_t>(i)])
                                                         : actual[static_cast<size_t>(i)];
        }
        PrintColorFormat(kColorRed, "\nFlash PROM contents is not correct at word 0x%6.6X.\n", static_cast<unsigned>(at));
        PrintColorFormat(kColorBlack, "File and Flash contents for Flash locations 0x%6.6X to 0x%6.6X:\n",
                         static_cast<unsigned>(window), static_cast<unsigned>(window + length - 1));
        std::vector<DWORD> file(static_cast<size_t>(length / 2)), chip(static_cast<size_t>(length / 2));
        std::memcpy(file.data(), expected.data(), file.size() * 4);
        std::memcpy(chip.data(), actual.data(), chip.size() * 4);
        PrintCompareDwords(length / 2, file.data(), chip.data());
        return kRunFailed;
    }
    return kRunPassed;
}

DWORD CDiagFlash::Report(const FlashSegmentInfo& segment) {
    if (!segment.hasRecord) {
        Print("  This image type cannot contain report data: ");
        PrintColor(segment.name, kColorRed);
        Print(".\n");
        return kRunFailed;
    }
    CFlashImageID record;
    record.SetGeometry(segment.start, CFlashImageID::kReportRecordWords, segment.size);
    if (!AttachFlash(record.Flash()) || !record.ReadId()) {
        Print(CString("  No report available for PROM section ") + segment.name + ".\n");
        return kRunFailed;
    }
    CString note;
    const char* id = segment.ids[0];
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    if (board && id && std::strncmp(id, "ZVK", 3) == 0) {
        const DWORD led = board->GetControllerRegisters()[kLedWord];
        const char running = !(led & kLedNonSafe) ? 'S' : (led & kLedPcix) ? 'X' : 'P';
        const DWORD revision = board->GetWexalRegisters()[0] & 0xFFF;
        if (id[3] == running && static_cast<DWORD>(record.GetRevision() >> 4) != revision)
            note.Format(" ~*BACK_LTYELLOW*~(but running %3.3Xx)~*BACK_WHITE*~", static_cast<unsigned>(revision));
    }
    CString line;
    line.Format("\nPROM Image %s, rev %4.4X:%s\n", segment.name, static_cast<unsigned>(record.GetRevision()), note.c_str());
    Print(line);
    if (!record.GetTexts().empty()) Print(CString(record.GetTexts().front()) + "\n");
    return kRunPassed;
}
