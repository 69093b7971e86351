// The box's video set-up: the project-format lists, formats and I/O mode, start and stop of video I/O, the Nulk's transport.
#include <iterator>
#include <span>
#include <utility>
#include <vector>

#include "breakout/external_io.h"
#include "breakout/yorb_commands.h"
#include "devlib/register_window.h"

namespace {

// Number n is row n - 1. Plain constants: the board roots build their tests while the library
// loads, before any table with a constructor would be ready.
struct FormatRow {
    const char* name;
    DWORD width, height;
};
constexpr FormatRow kProjectFormats[] = {
    {"HVHDProjFmt_1080I_2997FPS", 1920, 1080},  {"HVHDProjFmt_1080I_30FPS", 1920, 1080},
    {"HVHDProjFmt_1080P_2997FPS", 1920, 1080},  {"HVHDProjFmt_1080P_30FPS", 1920, 1080},
    {"HVHDProjFmt_1080I_25FPS", 1920, 1080},    {"HVHDProjFmt_1080P_25FPS", 1920, 1080},
    {"HVHDProjFmt_1080P_2397FPS", 1920, 1080},  {"HVHDProjFmt_1080P_24FPS", 1920, 1080},
    {"HVHDProjFmt_1080SF_25FPS", 1920, 1080},   {"HVHDProjFmt_1080SF_2997FPS", 1920, 1080},
    {"HVHDProjFmt_1080SF_30FPS", 1920, 1080},   {"HVHDProjFmt_1080SF_2397FPS", 1920, 1080},
    {"HVHDProjFmt_1080SF_24FPS", 1920, 1080},   {"HVHDProjFmt_720P_5997FPS", 1280, 720},
    {"HVHDProjFmt_720P_60FPS", 1280, 720},      {"HVHDProjFmt_720P_50FPS", 1280, 720},
    {"HVHDProjFmt_720P_2997FPS", 1280, 720},    {"HVHDProjFmt_720P_30FPS", 1280, 720},
    {"HVHDProjFmt_720P_25FPS", 1280, 720},      {"HVHDProjFmt_720P_2397FPS", 1280, 720},
    {"HVHDProjFmt_720P_24FPS", 1280, 720},      {"HVSDProjFmt_NTSC", 720, 486},
    {"HVSDProjFmt_PAL", 720, 576},              {"HVSDProjFmt_NTSCJ", 720, 486},
};

// The Bexi's HD formats by preset: manufacturing, engineering, regression, both.
constexpr DWORD kHdManufacturing[] = {1, 14};
constexpr DWORD kHdEngineering[] = {5, 1, 2, 7, 8, 6, 3, 4, 12, 13, 9, 10, 11, 20, 21, 19, 17, 18, 16, 14, 15};
constexpr DWORD kHdRegression[] = {1, 14, 15};
constexpr DWORD kHdBoth[] = {5, 1, 2, 7, 8, 6, 12, 13, 9, 10, 11, 14, 15};
constexpr std::span<const DWORD> kHdPresets[4] = {kHdManufacturing, kHdEngineering, kHdRegression, kHdBoth};

constexpr DWORD kFrameCounter = 0x80208;
constexpr int kIOModeVideo = 0, kIOModePlayCapture = 3;
constexpr DWORD kMaxNulkStartDelay = 64;

// A line of one number, formatted as the 32-bit system printed it.
CString Line(const char* format, DWORD value) {
    CString text;
    text.Format(format, static_cast<unsigned long>(value));
    return text;
}

}  // namespace

bool FindProjectFormat(DWORD format, ProjectFormatEntry* entry) {
    if (format < 1 || format > std::size(kProjectFormats)) return false;
    const FormatRow& row = kProjectFormats[format - 1];
    *entry = {row.name, format, row.width, row.height};
    return true;
}

DWORD HdLoopDelay(DWORD format) { return format == 3 || format == 4 || (format >= 6 && format <= 21) ? 3 : 2; }

const ProjectFormatEntry* FindProjectFormat(const ProjectFormatList& list, const CString& name) {
    for (const ProjectFormatEntry& entry : list)
        if (entry.name == name) return &entry;
    return nullptr;
}

DWORD CExternalIO::ReadFrameCounter() {
    RegisterPtr bar0 = m_boardIF.GetMainBoardRegisters();
    if (!bar0) bar0 = m_boardIF.GetCodecBoardRegisters();
    if (!bar0) return 0;
    return bar0[kFrameCounter / 4].Read() >> 24 & 0x3F;
}

void CExternalIO::PrintErrorText(const CYorbVideoDevice& command) { PrintColor(command.GetErrorText() + "\n\n", kRed); }

int CExternalIO::CommandStep(const CYorbVideoDevice& command, int sent, int verbose, const CString& failure,
                             const CString& progress, COLORREF colour) {
    if (!sent) {
        if (!failure.IsEmpty()) PrintColor(failure, kRed);
        PrintErrorText(command);
        return 0;
    }
    if (verbose > 1 && !progress.IsEmpty()) PrintColor(progress, colour);
    return 1;
}

int CExternalIO::SendFormats(CYorbVideoDevice& command, const char* device, DWORD project, DWORD input, int verbose,
                             const std::function<int()>& sendOutput, const CString& outputFailure,
                             const CString& outputLines) {
    CString mode;
    mode.Format("Type[%d]  Mode[%d]", kIOModeVideo, kIOModePlayCapture);
    return CommandStep(command, command.SetHVProjectFormat(static_cast<int>(project)), verbose,
                       Line("ERROR:  Unable to set PROJECT format = %lu\n", project), Line("PROJECT FORMAT:\t%lu\n", project),
                       kBlue) &&
           CommandStep(command, sendOutput(), verbose, outputFailure, outputLines, kBlue) &&
           CommandStep(command, command.SetHVInputFormat(static_cast<int>(input), 0), verbose,
                       Line("ERROR:  Unable to set INPUT format = %lu\n", input), Line("INPUT FORMAT:\t\t%lu\n", input), kBlue) &&
           CommandStep(command, command.SetIOMode(kIOModeVideo, kIOModePlayCapture), verbose,
                       CString("Unable to set ") + device + " IO Mode = " + mode + "\n", CString(device) + " IO Mode = " + mode + "\n",
                       kBlack);
}

int CExternalIO::DisableResizer(CYorbVideoDevice& command, int verbose) {
    return CommandStep(command, command.SetHVResizerEnable(0), verbose, "Unable to set Bexi ResizerEnable = 0\n",
                       "Bexi ResizerEnable = 0\n", kBlack);
}

int CExternalIO::StartVideoIO(CYorbVideoDevice& command, const char* device, DWORD delay, int verbose) {
    // The sum first, then its low six bits: the counter wraps at 64.
    const BYTE start = static_cast<BYTE>((ReadFrameCounter() + delay) & 0x3F);
    return CommandStep(command, command.SetStartIO(start, 0), verbose, CString("Unable to start ") + device + " IO\n",
                       CString(device) + " IO started\n", kBlack);
}

int CBexi::BuildFormatList(int preset) {
    if (preset < 0 || preset > 3) return 0;
    m_formats.clear();
    ProjectFormatEntry entry;
    for (DWORD format : kHdPresets[preset])
        if (FindProjectFormat(format, &entry)) m_formats.push_back(entry);
    return 1;
}

int CBexi::SetupVideoFormat(DWORD project, DWORD output, DWORD proxy, DWORD input, int verbose) {
    CYorbBexi command;
    if (!SetupYorbflow(&command, verbose)) return 0;
    CString failure, lines;
    failure.Format("ERROR:  Unable to set OUTPUT[%lu]/PROXY[%lu] format\n", static_cast<unsigned long>(output),
                   static_cast<unsigned long>(proxy));
    lines.Format("OUTPUT FORMAT:\t%lu\nPROXY FORMAT:\t%lu\n", static_cast<unsigned long>(output),
                 static_cast<unsigned long>(proxy));
    auto sendOutput = [&] { return command.SetHVOutputFormat(static_cast<int>(output), static_cast<int>(proxy), 0); };
    if (!SendFormats(command, "Bexi", project, input, verbose, sendOutput, failure, lines)) return 0;
    return DisableResizer(command, verbose);
}

int CBexi::StartIO(DWORD delay, int verbose) {
    CYorbBexi command;
    if (!SetupYorbflow(&command, verbose)) return 0;
    return StartVideoIO(command, "Bexi", delay, verbose);
}

int CBexi::StopIO(int verbose) {
    CYorbBexi command;
    return SetupYorbflow(&command, verbose) && CommandStep(command, command.SetStopIO(), verbose, "", "", kBlack);
}

int CNulk::SetupVideoFormat(DWORD project, DWORD output, DWORD input, int verbose) {
    CYorbNulk command;
    if (!SetupYorbflow(&command, verbose)) return 0;
    CString failure, lines;
    failure.Format("ERROR:  Unable to set OUTPUT[%lu] format\n", static_cast<unsigned long>(output));
    lines.Format("OUTPUT FORMAT:\t%lu\n", static_cast<unsigned long>(output));
    auto sendOutput = [&] { return command.SetHVOutputFormat(static_cast<int>(output), 0); };
    if (!SendFormats(command, "Nulk", project, input, verbose, sendOutput, failure, lines)) return 0;
    // The Nulk's format needs the Bexi's resizer off as well.
    CYorbBexi bexi;
    if (!SetupYorbflow(&bexi, verbose)) return 0;
    return DisableResizer(bexi, verbose);
}

int CNulk::SetVideoTransport(DWORD output, DWORD input, int verbose) {
    CYorbNulk command;
    if (!SetupYorbflow(&command, verbose)) return 0;
    return CommandStep(command, command.SetVideoOutput(static_cast<int>(output)), verbose,
                       Line("ERROR:  SetVideoTransport():  Unable to set Nulk VideoOutput[%lu]\n", output),
                       Line("Nulk VideoOutput[%lu]\n", output), kBlue) &&
           CommandStep(command, command.SetVideoInput(static_cast<int>(input)), verbose,
                       Line("ERROR:  SetVideoTransport():  Unable to set Nulk VideoInput[%lu]\n", input),
                       Line("Nulk VideoInput[%lu]\n", input), kBlue);
}

int CNulk::StartIO(DWORD delay, int verbose) {
    CYorbNulk command;
    if (!SetupYorbflow(&command, verbose)) return 0;
    if (delay > kMaxNulkStartDelay) {
        if (verbose > 1) PrintColor("StartIO():  dwStartFrameDelay > 64!\n", kRed);
        return 0;
    }
    return StartVideoIO(command, "Nulk", delay, verbose);
}

int CNulk::StopIO(int verbose) {
    CYorbNulk command;
    return SetupYorbflow(&command, verbose) && CommandStep(command, command.SetStopIO(), verbose, "", "", kBlack);
}
