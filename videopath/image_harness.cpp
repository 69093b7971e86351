// CImageHarness: keyword dispatch, list commands, the pattern table, the run loops with their logs and the summary.
#include "videopath/image_harness.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "framework/arg_number.h"
#include "framework/list_selector.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "framework/str_list.h"
#include "framework/test_record.h"
#include "images/unpacked_image.h"
#include "images/wedge_patterns.h"
#include "platform/host_ui.h"
#include "platform/runtime.h"
#include "videopath/video_path_tb.h"

namespace {

constexpr WORD kSampleLow = 0;
constexpr WORD kSampleHigh = 0x3FF;
constexpr DWORD kBodyVerbose = 1;
const char* const kFailuresLog = "Failures";
const char* const kSummaryLog = "Summary";

// The bypass body lays the frames out from this SDRAM address: all destination frames, then all
// source frames. The DCB carries the width in DWORDs and the height less one in 16-bit fields, and
// the frame size is formed in 32 bits, so a picture outside these bounds cannot be sent.
constexpr ULONGLONG kFirstFrameAddress = 0x1000;
constexpr long kMaxDcbField = 0xFFFF;
constexpr ULONGLONG kBytesPerPixel = 4;

class BlackPrinter : public CStrListPrinter {
public:
    explicit BlackPrinter(CKeyerPathTB& test) : m_test(test) {}
    void Print(const CString& text) override { m_test.PrintColor(text, kColorBlack); }

private:
    CKeyerPathTB& m_test;
};

}  // namespace

// The pair the patterns are drawn into, made once per resolution.
struct CImageHarness::Images {
    Images(long x, long y)
        : alpha(static_cast<DWORD>(x), static_cast<DWORD>(y)), image(static_cast<DWORD>(x), static_cast<DWORD>(y), 0) {
        image.SetSampleFormat(kSampleFormatFull);
    }
    bool Allocated() const { return alpha.GetBuffer() && image.GetBuffer(); }

    Unpacked::Alpha::YCbCr_10_6 alpha;
    Unpacked::Image::YCbCr_10_6 image;
};

DWORD CImageHarness::Match(const CString& command, CString& rest, bool helpOnly) const {
    DWORD code = 0;
    rest.Empty();
    for (const HarnessKeyword& entry : m_traits.keywords) {
        if (helpOnly && !entry.inHelp) continue;
        const CString keyword(entry.keyword);
        if (command.Left(keyword.GetLength()) != keyword) continue;
        code = entry.code;
        rest = command.Mid(keyword.GetLength());
        rest.TrimLeft();
    }
    return code;
}

void CImageHarness::ReportNotRecognized(const CString& command) {
    CString text;
    text.Format("\n\nERROR:  %s\n\"%s\"\n Not recognized as a valid test\n", m_traits.className, command.c_str());
    m_test.PrintColor(text, kColorRed);
}

bool CImageHarness::LoadPresets(CStrListImages& images, CStrListResolutions& resolutions) {
    const int preset = StrListPreset(m_test.IsRegression(), m_test.IsEngineering());
    if (!images.SetDefaults(preset, TRUE)) {
        m_test.PrintColor("Image Mode is UNDEFINED\n", kColorRed);
        return false;
    }
    if (!resolutions.SetDefaults(preset)) {
        m_test.PrintColor("Resolution Mode is UNDEFINED\n", kColorRed);
        return false;
    }
    return true;
}

DWORD CImageHarness::Run(const CString& command) {
    if (!m_test.GetParent()) {
        m_test.PrintColor(CString(m_traits.className) + ":  Parent is NULL\n", kColorRed);
        return kRunFailed;
    }
    CString arguments;
    DWORD code = Match(command, arguments, false);

    long x = 0, y = 0;
    const ArgSize dim = ReadArgDim(command, false);
    if (dim.state == ArgRead::Refused) {
        m_test.PrintColor(dim.refusal, kColorRed);
        return kRunFailed;
    }
    const bool hasDim = dim.state == ArgRead::Read;
    if (hasDim) {
        x = static_cast<long>(dim.x);
        y = static_cast<long>(dim.y);
    }

    long frames = 1;
    const ArgNumber framesRead = ReadArgAfter(command, "FRAMES=", platform::NumberForm::Decimal,
                                              platform::NumberField{1, harness::kMaxFrames}, "FRAMES");
    if (framesRead.state != ArgRead::Absent) {
        code |= harness::kFramesGiven;
        if (framesRead.state == ArgRead::Refused) {
            m_test.PrintColor("Number of frames must be between 1 and 15.", kColorRed);
            return kRunFailed;
        }
        frames = static_cast<long>(framesRead.value);
    }

    switch (code) {
    case 0: break;
    case harness::kImageList: return ListCommand(*m_test.GetImageList(), arguments);
    case harness::kResolutionList: return ListCommand(*m_test.GetResolutionList(), arguments);
    case harness::kModifyLists: return ModifyLists();
    case harness::kBypass:
    case harness::kBypass | harness::kFramesGiven:
        return RunImages(code, command, arguments, hasDim, x, y, frames);
    default:
        if (!(code & harness::kFramesGiven)) return m_test.RunOwnCommand(code, arguments);
        break;
    }
    ReportNotRecognized(command);
    return kRunFailed;
}

DWORD CImageHarness::Help(const CString& command) {
    CString rest;
    const DWORD code = Match(command, rest, true);
    if (code == harness::kBypass) {
        for (const HarnessHelpLine& line : m_traits.bypassHelp) {
            if (line.markup) m_test.Print(line.text);
            else m_test.PrintColor(line.text, kColorBlack);
        }
    } else if (code != 0) {
        CString text;
        text.Format("\n\n%s\n\"%s\"\n Help is not available!\n", m_traits.className, command.c_str());
        m_test.PrintColor(text, kColorRed);
    } else {
        ReportNotRecognized(command);
    }
    return kRunPassed;
}

DWORD CImageHarness::ListCommand(CStrList& list, const CString& arguments) {
    BlackPrinter printer(m_test);
    return RunStrListCommand(list, arguments, printer) == 1 ? kRunPassed : kRunFailed;
}

DWORD CImageHarness::ModifyLists() {
    CStrListImages images;
    CStrListResolutions resolutions;
    if (!LoadPresets(images, resolutions) && m_traits.refuseUndefinedPreset) return kRunFailed;
    COptionsSheetListSelector sheet(platform::GetMainWnd());
    sheet.SetImageResolutionSources(images, resolutions);
    sheet.SetImageResolutionSelections(*m_test.GetImageList(), *m_test.GetResolutionList());
    sheet.DoModal();
    // After Cancel the selections are still the lists handed in, so they come back unchanged.
    const int kept = sheet.GetImageResolutionSelections(*m_test.GetImageList(), *m_test.GetResolutionList());
    if (*g_StopFlag()) return kRunStopped;  // the host's stop cancelled the sheet
    return kept == 1 ? kRunPassed : kRunFailed;
}

bool CImageHarness::ReadResolution(const CString& entry, long& x, long& y, long frames) {
    CString dim;
    if (CParamString(entry).GetValue("DIM", dim)) {
        const ArgSize size = ReadArgSize(dim.c_str(), false, platform::kSigned32Field, "DIM");
        if (size.state == ArgRead::Refused) {
            m_test.PrintColor(size.refusal, kColorRed);
            return false;
        }
        if (size.state != ArgRead::Read) {
            m_test.PrintColorFormat(kColorRed, "Unrecognized resolution DIM=(%ld,%ld)\n", x, y);
            return false;
        }
        x = static_cast<long>(size.x);
        y = static_cast<long>(size.y);
    }
    // Also an entry without DIM before any size: no empty or unsendable picture is ever built.
    bool valid = x > 0 && y > 0 && x <= kMaxDcbField && y <= kMaxDcbField;
    const ULONGLONG frameBytes = valid ? kBytesPerPixel * static_cast<ULONGLONG>(x) * static_cast<ULONGLONG>(y) : 0;
    valid = valid && frameBytes <= UINT32_MAX;
    if (valid) {
        // Every frame could be an image frame: destinations and sources all lie in the SDRAM.
        const CDevAddrSpace* sdram = m_test.GetBoardIF().GetSDRAMSpace();
        const ULONGLONG end = kFirstFrameAddress + 2 * static_cast<ULONGLONG>(frames) * frameBytes;
        valid = !sdram || end <= sdram->GetSize();
    }
    if (!valid) m_test.PrintColorFormat(kColorRed, "Invalid resolution DIM=(%ld,%ld)\n", x, y);
    return valid;
}

CImageHarness::Fill CImageHarness::FillPattern(const CString& pattern, const CString& header, Images& images) {
    if (pattern == "DIAGONAL_LINES") {
        m_test.PrintColor("Test Diagonal Lines\n", kColorBlack);
        images.alpha.FillDiagonalLines(1, 0);
        images.image.FillDiagonalLines(1, kSampleLow, kSampleHigh);
        return Fill::Done;
    }
    if (pattern == "GRID") {
        m_test.PrintColor("Test Grid\n", kColorBlack);
        images.alpha.FillGrid(1);
        images.image.FillGrid(1, kSampleLow, kSampleHigh);
        return Fill::Done;
    }
    if (pattern.Left(5) == "SOLID") {
        const SolidValues solid = ReadSolidValues(pattern, m_traits.hexSolid, 502, 512, 512);
        if (solid.state == ArgRead::Refused) {
            m_test.PrintColor(solid.refusal, kColorRed);
            return Fill::Refused;
        }
        const int y = static_cast<int>(solid.values[0]), cb = static_cast<int>(solid.values[1]),
                  cr = static_cast<int>(solid.values[2]);
        m_test.PrintColorFormat(kColorBlack, "Test Solid:  Y=%d, Cb=%d, Cr=%d\n", y & 0xFFFF, cb & 0xFFFF, cr & 0xFFFF);
        images.alpha.FillSolid(static_cast<WORD>(y));
        images.image.FillSolid(static_cast<WORD>(y), static_cast<WORD>(cb), static_cast<WORD>(cr));
        return Fill::Done;
    }
    for (const WedgePattern& wedge : kWedgePatterns) {
        if (pattern != wedge.keyword) continue;
        m_test.PrintColor(wedge.message, kColorBlack);
        if (wedge.horizontal) {
            images.alpha.FillHorzRamp();
            images.image.FillHorzWedge(wedge.mode, kSampleLow, kSampleHigh);
        } else {
            images.alpha.FillVertRamp();
            images.image.FillVertWedge(wedge.mode, kSampleLow, kSampleHigh);
        }
        return Fill::Done;
    }
    if (pattern.Left(6) == "RANDOM") {
        m_test.PrintColor(header + "Random Data\n", kColorBlack);
        DWORD seed = 0;
        if (!ReadRandomSeed(pattern, seed)) {
            m_test.PrintColor("SEED not understood\n", kColorRed);
            return Fill::Skip;
        }
        m_test.PrintColorFormat(kColorBlack, "SEED=0x%08X\n", seed);
        images.alpha.FillRandom(seed);
        images.image.FillRandom(seed, 1, kSampleLow, kSampleHigh);
        return Fill::Done;
    }
    m_test.PrintColorFormat(kColorRed, "Unrecognized pattern=%s\n", pattern.c_str());
    return Fill::Skip;
}

bool CImageHarness::AppendToLog(const char* name, CResultScreen& screen) {
    if (m_test.GetParent()->FileAccess(name, &screen)) return true;
    m_test.PrintColor(m_test.GetParent()->LogFailureText(name, errno), kColorRed);
    return false;
}

void CImageHarness::PassSummaryUp(bool print) {
    std::vector<CString>& own = m_test.GetSummary();
    for (const CString& line : own) {
        if (print) m_test.Print(line);
        m_test.GetParent()->GetSummary().push_back(line);
    }
    own.clear();
}

DWORD CImageHarness::RunImages(DWORD code, const CString& command, const CString& arguments, bool hasDim, long x,
                               long y, long frames) {
    CStrListResolutions resolutions;
    if (hasDim) {
        CString entry;
        entry.Format("DIM=(%ld,%ld)", x, y);
        resolutions.Add(entry);
    } else {
        resolutions = *m_test.GetResolutionList();
    }
    if (resolutions.IsEmpty()) {
        m_test.PrintColor("The RESOLUTION list is empty!\n", kColorRed);
        return kRunFailed;
    }
    CStrListImages& patterns = *m_test.GetImageList();
    if (patterns.IsEmpty()) {
        m_test.PrintColor("The IMAGE list is empty!\n", kColorRed);
        return kRunFailed;
    }

    CWexalTreeMapTB* parent = m_test.GetParent();
    CResultScreen& screen = GetResultScreen();
    const bool failuresLog = parent->FindLogFile(kFailuresLog, nullptr);
    const CString rule = CString('-', 76) + "\n";
    bool overall = true;
    // The host's stop flag ends the command between patterns; a body it cut short gives no verdict.
    auto stopped = [&] {
        if (!*g_StopFlag()) return false;
        m_test.PrintColor("Stopped by User\n", kColorRed);
        PassSummaryUp(false);
        return true;
    };
    x = y = 0;
    for (const CString& resolution : resolutions.GetEntries()) {
        // A command ended here leaves no result lines behind for the next one's summary.
        if (!ReadResolution(resolution, x, y, frames)) {
            PassSummaryUp(false);
            return kRunFailed;
        }
        auto images = std::make_unique<Images>(x, y);
        if (!images->Allocated()) {
            m_test.PrintColorFormat(kColorRed, "Unable to allocate an image of DIM=(%ld,%ld)\n", x, y);
            PassSummaryUp(false);
            return kRunFailed;
        }
        for (int i = 0; i < patterns.GetCount(); ++i) {
            if (stopped()) return kRunStopped;
            const CString pattern = patterns.GetAt(i);
            if (failuresLog) screen.Clear();
            CString header;
            header.Format("%s IMAGE=%s DIM=(%ld,%ld)\n", command.c_str(), pattern.c_str(), x, y);
            m_test.PrintColor(rule, kColorBlack);
            m_test.PrintColor(header, kColorBlack);
            m_test.PrintTimeStamp();
            m_test.PrintColor("\n", kColorBlack);
            m_test.PrintColor(rule, kColorBlack);
            const Fill filled = FillPattern(pattern, header, *images);
            if (filled == Fill::Refused) overall = false;
            if (filled != Fill::Done) break;

            const bool passed = m_test.TestBypass(code, arguments, &images->alpha, &images->image,
                                                  static_cast<DWORD>(frames), kBodyVerbose) != 0;
            if (stopped()) return kRunStopped;
            CString line;
            line.Format("%s\tTest[%s:TestBypass:%s] DIM[%ld,%ld]~*BLACK*~\n", passed ? "~*GREEN*~PASS:" : "~*RED*~FAIL:",
                        m_traits.className, pattern.c_str(), x, y);
            m_test.GetSummary().push_back(line);
            if (!passed) {
                overall = false;
                if (failuresLog && AppendToLog(kFailuresLog, screen)) screen.Clear();
            }
        }
    }

    CString saved, after;
    const bool summaryLog = parent->FindLogFile(kSummaryLog, nullptr);
    if (summaryLog) {
        screen.NotifyHost(reinterpret_cast<uintptr_t>(&saved));
        screen.Clear();
    }
    m_test.PrintColor("\nSUMMARY:  " + command + "\n", kColorBlack);
    PassSummaryUp(true);
    if (summaryLog && !AppendToLog(kSummaryLog, screen)) overall = false;  // a summary its log lost fails the command
    screen.NotifyHost(reinterpret_cast<uintptr_t>(&after));
    screen.NotifyHostResult(reinterpret_cast<uintptr_t>(&saved), 1);
    screen.NotifyHostResult(reinterpret_cast<uintptr_t>(&after), 0);
    return overall ? kRunPassed : kRunFailed;
}
