// CSorbelin: run stages and result mapping, help, base commands, programming through the DSP, reset.
#include "codec/chip/sorbelin.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <vector>

#include "codec/dsp/zyv_file.h"
#include "devlib/arg_list.h"
#include "devlib/devices.h"
#include "devlib/wexal_spaces.h"
#include "framework/arg_number.h"
#include "framework/hw/oxd.h"
#include "framework/list_selector.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "images/file_error.h"
#include "platform/number_text.h"
#include "platform/files.h"
#include "platform/host_ui.h"
#include "platform/process.h"

CSorbelin::CSorbelin(CNuxaDSP* dsp, CDremolun* bridge, CJastel* controller, CString name)
    : CWexalTreeMapTB(name), m_dsp(dsp), m_bridge(bridge), m_controller(controller) {
    SetCodeName(name);
}

CSorbelin::~CSorbelin() = default;

void CSorbelin::ShowRevisionID(DWORD id) { PrintColorFormat(kColorBlack, "Revision ID register = [0x%08X]\n", id); }

int CSorbelin::SaveImageFile(const CImage& image, const CString& path, int format) {
    const images_detail::SaveOutcome saved = images_detail::SaveImageFile(image, path, format);
    images_detail::ReportSaveFailure(saved);
    return saved.result == 1 ? 1 : 0;
}

bool CSorbelin::FramesFit(DWORD resultStart, unsigned long long resultEnd, unsigned long long sourceStart, unsigned long long sourceEnd) {
    CDevAddrSpace* sdram = m_boardIF.GetSDRAMSpace();
    const ULONGLONG size = sdram ? sdram->GetSize() : 0;
    const ULONGLONG end = std::max(resultEnd, sourceEnd);
    if (end <= 0x100000000ull && (!size || end <= size)) return true;
    PrintColorFormat(kColorRed, "The frames do not fit the board's SDRAM: results 0x%08X..0x%08llX, sources 0x%08llX..0x%08llX\n", resultStart,
                     resultEnd, sourceStart, sourceEnd);
    return false;
}

std::optional<long long> CSorbelin::ReadArtwork(CWexalBAR0Space& bar0, int capacity) {
    char buffer[80] = {};
    capacity = std::min(capacity, static_cast<int>(sizeof buffer) - 1);
    int length = 0;
    // A failed read leaves the length at 0.
    bar0.GetVPDField("ZA", capacity, buffer, &length);
    if (length <= 0) return std::nullopt;
    // The field may be longer than the buffer: only what was copied is read.
    buffer[std::min(length, capacity)] = '\0';
    // A number too long for an int reads as its largest value, not as whatever overflow leaves.
    return std::strtoll(buffer, nullptr, 10);
}

void CSorbelin::SetParent(CWexalTreeMapTB* parent) {
    m_parent = parent;
    AddToMap(parent);
}

DWORD CSorbelin::GetNextRunStage(DWORD) { return kStageNone; }

DWORD CSorbelin::ReadVerbosity(const CString& command) {
    const ArgNumber level = ReadArgValue(CParamString(command), "VERBOSE", platform::NumberForm::Decimal, platform::kSigned32Field);
    if (level.state == ArgRead::Read) return static_cast<DWORD>(level.value);
    return IsEngineering() && !IsRegression() ? 2 : 1;
}

bool CSorbelin::ReadFileName(const CString& value, CString& file) {
    if (value.IsEmpty() || value[0] != '"') {
        const int blank = value.Find(' ', 1);
        file = blank < 0 ? value : value.Left(blank);
        return true;
    }
    const int close = value.Find('"', 1);
    if (close < 0) {
        PrintColor("Invalid file name", kColorRed);
        return false;
    }
    // The quotes only hold the name's blanks.
    const int blank = value.Find(' ', close + 1);
    file = value.Mid(1, close - 1) + (blank < 0 ? value.Mid(close + 1) : value.Mid(close + 1, blank - close - 1));
    return true;
}

bool CSorbelin::SelectChip() {
    const int chip = GetChipFromName(1);
    if (!m_bridge || (chip != 1 && chip != 2)) return false;
    m_bridge->SetDSPBlock(chip);
    return true;
}

DWORD CSorbelin::Run(CString command) {
    // A level cut to an int would run every stage at a level nobody typed.
    if (const CString refused = RefusedInts(CParamString(command), {"VERBOSE"}); !refused.IsEmpty()) {
        PrintColor(refused, kColorRed);
        return kRunFailed;
    }
    const DWORD verbose = ReadVerbosity(command);
    SelectChip();
    DWORD result = kRunFailed;
    bool claimed = false;
    for (DWORD stage = GetNextRunStage(0); stage != kStageNone && !claimed; stage = GetNextRunStage(stage)) {
        if (stage == kStageBase) {
            claimed = RunBaseCommand(command, verbose, result);
        } else if (stage == kStageRunTest) {
            claimed = true;
            const DWORD outcome = RunTest(command);
            // A test that stops early says 2; only the host's stop request makes that a stop.
            result = outcome == 1 ? kRunPassed : outcome == kTestStopped && StopRequested() ? kRunStopped : kRunFailed;
            if (outcome <= 1) {
                CString upper = command;
                if (upper.MakeUpper().Find("-NORESET") < 0) {
                    Reset(1);
                    RAMInit(verbose);
                }
            }
        }
    }
    return result;
}

DWORD CSorbelin::Help(CString name) {
    if (name == "Reset" || name == "RAM_Init" || name.Find("Program") == 0) ReportNoHelp("CSorbelin", name);
    else HelpTest(name);
    return kRunPassed;
}

void CSorbelin::ReportNoHelp(const char* className, const CString& name) {
    PrintColor(CString("\nHelp is not available for:\n  ") + className + " " + name + "\n", kColorBlack);
}

void CSorbelin::ReportNotRecognized(const char* className, const CString& command) {
    PrintColor(CString("\n\nERROR:  ") + className + "\n\"" + command + "\" Not recognized as a valid test\n", kColorRed);
}

bool CSorbelin::RunBaseCommand(const CString& command, DWORD verbose, DWORD& result) {
    auto starts = [&](const char* keyword) { return command.Find(keyword) == 0; };
    if (starts("Reset")) {
        Reset(1);
        result = kRunPassed;
    } else if (starts("RAM_Init")) {
        result = RAMInit(verbose) == 1 ? kRunPassed : kRunFailed;
    } else if (starts("Program")) {
        result = Program(command, static_cast<int>(verbose));
    } else if (starts("Show Programmed Info")) {
        ShowProgrammedInfo();
        result = kRunPassed;
    } else if (starts("Show OXD Info")) {
        result = ShowOXDInfo(command);
    } else if (starts("Show ZYV Info")) {
        result = ShowZYVInfo(command);
    } else if (starts("Compare Files")) {
        const int compared = CompareFiles(command);
        result = compared == 1 ? kRunPassed : compared == static_cast<int>(kRunStopped) ? kRunStopped : kRunFailed;
    } else if (starts("IMAGE_LIST")) {
        result = ListCommand(m_images, command.Mid(10));
    } else if (starts("Modify Image/Resolution List")) {
        result = ModifyLists();
    } else if (starts("Show DCB Info")) {
        result = ShowDCBInfo();
    } else if (starts("FileMap")) {
        CString rest = command.Mid(7);
        rest.TrimLeft(" \t");
        result = FileMap(rest);
    } else if (starts("RESOLUTION_LIST")) {
        result = ListCommand(m_resolutions, command.Mid(15));
    } else {
        return false;
    }
    return true;
}

namespace {

class BlackPrinter : public CStrListPrinter {
public:
    explicit BlackPrinter(CSorbelin& test) : m_test(test) {}
    void Print(const CString& text) override { m_test.PrintColor(text, kColorBlack); }

private:
    CSorbelin& m_test;
};

}  // namespace

DWORD CSorbelin::ListCommand(CStrList& list, const CString& arguments) {
    BlackPrinter printer(*this);
    return RunStrListCommand(list, arguments, printer) == 1 ? kRunPassed : kRunFailed;
}

DWORD CSorbelin::ModifyLists() {
    // The sheet offers the plain-run presets (image preset 0) whatever the run mode.
    CStrListImages images;
    CStrListResolutions resolutions;
    BlackPrinter printer(*this);
    if (!LoadStrListPresets(images, resolutions, 0, printer)) return kRunFailed;
    COptionsSheetListSelector sheet(platform::GetMainWnd());
    sheet.SetImageResolutionSources(images, resolutions);
    sheet.SetImageResolutionSelections(m_images, m_resolutions);
    sheet.DoModal();
    // After Cancel the selections are still the lists handed in, so they come back unchanged.
    const int kept = sheet.GetImageResolutionSelections(m_images, m_resolutions);
    if (StopRequested()) return kRunStopped;  // the host's stop cancelled the sheet
    return kept == 1 ? kRunPassed : kRunFailed;
}

void CSorbelin::Reset(int verbose) {
    if (!SelectChip()) return;
    m_bridge->WriteDataFixed(kChipReset, 1);
    if (verbose > 1) PrintColor("Chip reset\n", kColorBlack);
}

DWORD CSorbelin::DetermineFilenameOXD(CString& file, int, int, int verbose) {
    if (file.Find("$(VPDVER)") >= 0) {
        CString revision;
        CWexalBAR0Space* bar0 = m_boardIF.GetWexalBAR0Space();
        int length = 0;
        if (bar0 && bar0->GetVPDField(kVpdRevisionKey, 0, nullptr, &length) == PCI_VPD::VPD_OK && length > 0) {
            std::vector<char> field(static_cast<size_t>(length) + 1, '\0');
            if (bar0->GetVPDField(kVpdRevisionKey, length, field.data(), &length) == PCI_VPD::VPD_OK) revision = field.data();
        }
        file.Replace("$(VPDVER)", revision);
    }
    if (ExpandPathMacros(file, TRUE, TRUE) == kPathNotFound) {
        if (verbose >= 1) PrintColor("ERROR:  CSorbelin::DetermineFilenameOXD()  Unable to find file[" + file + "]\n", kColorRed);
        return kRunFailed;
    }
    return kRunPassed;
}

DWORD CSorbelin::Program(const CString& arguments, int verbose) {
    CString file;
    if (!CParamString(arguments).GetValueAsWritten("FILE", file)) {
        PrintColor("ERROR:  FILE= not specified on the command line.\n", kColorRed);
        return kRunFailed;
    }
    return ProgramFile(file, verbose);
}

DWORD CSorbelin::ProgramImage(const CString& file) {
    SelectChip();
    return ProgramFile(file, static_cast<int>(ReadVerbosity("")));
}

DWORD CSorbelin::ProgramFile(CString file, int verbose) {
    if (DetermineFilenameOXD(file, 0, 0, 1) != kRunPassed) return kRunFailed;
    if (!m_dsp || !m_dsp->ProgramFPGA(file, verbose)) {
        PrintColor("ERROR:  Unable to program[" + file + "]\n", kColorRed);
        return kRunFailed;
    }
    const COxd image(file, 1);
    CString revision;
    image.GetRevision(revision);
    m_programmedFile = file;
    m_programmedRevision = revision;
    SetProgramFlag(1);
    if (verbose >= 1) PrintColor("Programmed[" + file + "] Revision[" + revision + "]\n", kColorGreen);
    return kRunPassed;
}

BOOL CSorbelin::GetProgrammedRevision(DWORD* revision) {
    if (!revision) return FALSE;
    *revision = 0;
    if (m_programmedRevision.IsEmpty()) return FALSE;
    char* end = nullptr;
    const unsigned long value = std::strtoul(m_programmedRevision.c_str(), &end, 16);
    if (end == m_programmedRevision.c_str()) return FALSE;
    *revision = static_cast<DWORD>(value);
    return TRUE;
}

void CSorbelin::ShowProgrammedInfo() {
    PrintColor("Programmed File[" + m_programmedFile + "]  Revision[" + m_programmedRevision + "]\n", kColorBlack);
}

DWORD CSorbelin::ShowOXDInfo(const CString& arguments) {
    CString file;
    if (!CParamString(arguments).GetValueAsWritten("FILE", file)) {
        PrintColor("ERROR:  FILE= not specified on the command line.\n", kColorRed);
        return kRunFailed;
    }
    if (DetermineFilenameOXD(file, 0, 0, 1) != kRunPassed) return kRunFailed;
    const COxd image(file, 1);
    if (!image.IsValid()) {
        PrintColor("ERROR:  Unrecognized file[" + file + "]\n", kColorRed);
        return kRunFailed;
    }
    PrintColor("OXD FILE:  " + file + "\n", kColorBlack);
    for (const char letter : {'N', 'R', 'B', 'X'}) {
        CString value, line;
        if (!image.GetTag(letter, value)) continue;
        line.Format("  %c: %s\n", letter, value.c_str());
        PrintColor(line, kColorBlack);
    }
    return kRunPassed;
}

DWORD CSorbelin::ShowZYVInfo(const CString& arguments) {
    CString file;
    if (!CParamString(arguments).GetValueAsWritten("FILE", file)) {
        PrintColor("ERROR:  FILE= not specified on the command line.\n", kColorRed);
        return kRunFailed;
    }
    ExpandPathMacros(file, TRUE, TRUE);
    CString line;
    CFileFind find;
    if (find.FindFile(file) && (find.FindNextFile(), find.IsDirectory())) {
        std::map<CString, DWORD> sums;
        const DWORD date = DetermineZyvPackage(file, sums);
        for (const auto& [name, crc] : sums) {
            line.Format("%s  CRC[0x%08X]\n", name.c_str(), crc);
            PrintColor(line, kColorBlack);
        }
        line.Format("Zyv files[%s] date[%u]\n", file.c_str(), date);
        PrintColor(line, date ? kColorGreen : kColorRed);
        return date ? kRunPassed : kRunFailed;
    }
    CZyvFile zyv(file);
    if (zyv.Load() != CZyvFile::kLoaded) {
        PrintColor("ERROR:  " + zyv.GetLoadError() + "\n", kColorRed);
        return kRunFailed;
    }
    line.Format("VCID[0x%X]  %s  %s  Raster[%u x %u]  Lines[%u of %u]  MaxFrame[%u]  Tables[%u]  CRC[0x%08X]\n", zyv.GetVCID(),
                zyv.Is10Bit() ? "10-bit" : "8-bit", zyv.GetFrameLayout() == CZyvFile::kFrameLayoutFields ? "Fields" : "Frame",
                zyv.GetRasterWidth(), zyv.GetRasterHeight(), zyv.GetLinesPerFrame(), zyv.GetTotalLinesPerFrame(),
                zyv.GetMaxCompressedFrameSize(), zyv.GetNumberOfBinaryTables(), zyv.GetFileCrc());
    PrintColor(line, kColorBlack);
    PrintColor(zyv.FormatResolutionInfo(), kColorBlack);
    return kRunPassed;
}

int CSorbelin::CompareFiles(CString arguments) {
    const CParamString params(arguments);
    CString names[2];
    for (int i = 0; i < 2; ++i) {
        if (!params.GetValueAsWritten(i == 0 ? "FILE1" : "FILE2", names[i])) {
            PrintColor(i == 0 ? "ERROR:  FILE1= not specified on the command line.\n" : "ERROR:  FILE2= not specified on the command line.\n",
                       kColorRed);
            return 0;
        }
        ExpandPathMacros(names[i], TRUE, TRUE);
    }
    CFile files[2];
    for (int i = 0; i < 2; ++i) {
        CFile::Status status;
        if (!CFile::GetStatus(names[i], status) || !files[i].Open(names[i], CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary)) {
            PrintColor("ERROR:  Unable to open[" + names[i] + "]\n", kColorRed);
            return 0;
        }
    }
    // Files of different lengths differ without a byte read; equal ones are compared in pieces, so
    // files of any size take no more memory than two pieces.
    const LONGLONG length = files[0].GetLength();
    platform::FileComparison outcome = platform::FileComparison::Different;
    if (length == files[1].GetLength()) outcome = platform::CompareFileContents(files[0], files[1], length, g_StopFlag());
    if (outcome == platform::FileComparison::Stopped) return static_cast<int>(kRunStopped);
    if (outcome == platform::FileComparison::FirstUnreadable || outcome == platform::FileComparison::SecondUnreadable) {
        PrintColor("ERROR:  Unable to read[" + names[outcome == platform::FileComparison::FirstUnreadable ? 0 : 1] + "]\n", kColorRed);
        return 0;
    }
    if (outcome == platform::FileComparison::Different) {
        PrintColor("ERROR:  FILE1[" + names[0] + "] does not match FILE2[" + names[1] + "]\n", kColorRed);
        return 0;
    }
    PrintColor("Files match\n", kColorGreen);
    return 1;
}

void CSorbelin::RunOnFailLine(const CString& text) {
    CString line = text;
    line.Trim();
    if (line.IsEmpty() || line[0] == '#') return;
    if (line.Find("@SYSCMD") == 0) {
        // Words as a command's: a double-quoted one keeps its blanks, so a program or an argument
        // may lie in a folder whose name holds one.
        ArgumentList list;
        list.Set(line.Mid(7).c_str());
        std::vector<std::string> words;
        for (int n = 0; const char* word = list.Index(n); ++n) words.emplace_back(word);
        if (words.empty()) return;
        const int code = platform::RunProcess(words[0], std::vector<std::string>(words.begin() + 1, words.end()));
        CString report;
        report.Format("OnFail: %s exit code %d\n", words[0].c_str(), code);
        PrintColor(report, code == 0 ? kColorBlack : kColorRed);
        return;
    }
    Run(line);
}

void CSorbelin::RunOnFail() {
    for (int i = 0; i < m_onFail.GetCount(); ++i) {
        const CString entry = m_onFail.GetAt(i);
        if (entry.Find("@FILE=") != 0) {
            RunOnFailLine(entry);
            continue;
        }
        CString path = entry.Mid(6);
        path.Trim();
        CFile file;
        CFile::Status status;
        if (ExpandPathMacros(path, TRUE, TRUE) == kPathNotFound || !CFile::GetStatus(path, status) ||
            !file.Open(path, CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary)) {
            PrintColor("ERROR:  Unable to open OnFail file[" + path + "]\n", kColorRed);
            continue;
        }
        // OnFail files are a few lines; a larger one is refused rather than read into memory.
        const LONGLONG length = file.GetLength();
        if (length < 0 || length > 0x10000) {
            PrintColor("ERROR:  OnFail file[" + path + "] is too large\n", kColorRed);
            continue;
        }
        std::string text(static_cast<size_t>(length), '\0');
        if (length > 0 && file.Read(text.data(), static_cast<UINT>(length)) != static_cast<UINT>(length)) {
            PrintColor("ERROR:  Unable to read OnFail file[" + path + "]\n", kColorRed);
            continue;
        }
        file.Close();
        for (size_t at = 0; at < text.size();) {
            const size_t end = text.find('\n', at);
            RunOnFailLine(CString(text.substr(at, end == std::string::npos ? std::string::npos : end - at).c_str()));
            at = end == std::string::npos ? text.size() : end + 1;
        }
    }
}

BOOL CSorbelin::GetChipDMAChannels(DWORD& toChip, DWORD& fromChip, RegisterRef* controlWord) {
    const int chip = GetChipFromName(1);
    if (chip != 1 && chip != 2) return FALSE;
    toChip = chip == 1 ? 28 : 29;
    fromChip = chip == 1 ? 24 : 25;
    if (controlWord) {
        auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
        CWexalDMAChannel* channel = board ? board->GetDMAChannel(static_cast<int>(toChip)) : nullptr;
        *controlWord = channel ? channel->GetControlWord() : RegisterRef(nullptr, 0);
    }
    return TRUE;
}

DWORD CSorbelin::ShowDCBInfo() {
    DWORD channels[2] = {};
    if (!GetChipDMAChannels(channels[0], channels[1], nullptr)) {
        PrintColor("Unrecognized Chip\n", kColorRed);
        return kRunPassed;
    }
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    for (const DWORD number : channels) {
        CWexalDMAChannel* channel = board ? board->GetDMAChannel(static_cast<int>(number)) : nullptr;
        if (!channel) continue;
        for (int n = 0; n < 16; ++n) {
            DWORD words[8] = {};
            if (!channel->GetDCBWords(n, words)) continue;
            CString report;
            report.Format("Channel[%u] DCB[%d]  Next[%u]  Tag[%u]  Start[0x%08X]  Lines[%u]  LineLength[%u]  Initial[%u]\n", number, n,
                          words[0] & 0x3F, words[1] >> 16 & 0xFFF, words[2], words[3] >> 16, words[4] & 0xFFFF, words[3] & 0xFFFF);
            PrintColor(report, CheckTransferSize(number, words, report) ? kColorBlack : kColorRed);
        }
    }
    return kRunPassed;
}

void CSorbelin::FlushDMAStreams() {
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    if (!board) return;
    for (const int number : {24, 25, 28, 29, 58})
        if (CWexalDMAChannel* channel = board->GetDMAChannel(number)) channel->Flush();
}

BOOL CSorbelin::WriteContextEntry(const DWORD entry[4]) {
    if (!SelectChip()) return TRUE;
    const DWORD base = 0x60000100 + 16 * (entry[0] >> 12 & 0xF);
    for (DWORD i = 0; i < 4; ++i) m_bridge->WriteDataFixed(base + 4 * i, entry[i]);
    return TRUE;
}

std::vector<CString> CSorbelin::GetSupportedPackages(const CString& imagePath) {
    std::vector<CString> packages;
    const COxd image(imagePath, 1);
    CString text;
    if (!image.GetTag('X', text)) return packages;
    const std::string all = text.str();
    for (size_t at = 0; at < all.size();) {
        const size_t start = all.find_first_not_of(", \t", at);
        if (start == std::string::npos) break;
        const size_t end = all.find_first_of(", \t", start);
        packages.emplace_back(all.substr(start, end == std::string::npos ? std::string::npos : end - start).c_str());
        at = end == std::string::npos ? all.size() : end;
    }
    return packages;
}

BOOL CSorbelin::ShowTemperature(int verbose) {
    (void)verbose;
    const int chip = GetChipFromName(1);
    if (chip != 1 && chip != 2) return FALSE;
    DWORD setPoint = 0, reading = 0;
    if (!ReadTemperature(chip == 1 ? "2RHI" : "3RHI", &setPoint) || !ReadTemperature(chip == 1 ? "2TEMP" : "3TEMP", &reading)) {
        PrintColor("ERROR:  Unable to read the codec chip temperature\n", kColorRed);
        return FALSE;
    }
    CString line;
    line.Format("Sorbelin%c\t%d C\t\t%d C\n", chip == 1 ? 'A' : 'B', static_cast<int>(setPoint), static_cast<int>(reading));
    PrintColor(line, reading > setPoint ? kColorRed : kColorBlack);
    return TRUE;
}
