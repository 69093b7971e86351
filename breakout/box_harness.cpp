// The breakout-box tests' common Run steps: keyword and key reading, the loopback functional block, the list edit, the image-list harness and Help.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "breakout/external_io.h"
#include "devlib/addr_space.h"
#include "framework/arg_number.h"
#include "framework/list_selector.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "images/image_8bit.h"
#include "images/unpacked_image.h"
#include "images/wedge_patterns.h"
#include "platform/host_ui.h"
#include "platform/runtime.h"

namespace {

constexpr COLORREF kGreen = 0x00A000;
const char* const kFailuresLog = "Failures";
const char* const kSummaryLog = "Summary";

// The image loopbacks lay the frames out from this SDRAM address, all destinations and then all
// sources. A DCB holds a line of at most 65535 DWORDs (one DWORD a pixel for the widest kind)
// and at most 16384 lines (height - 1 in its field).
constexpr ULONGLONG kFirstFrame = 0x1000;
constexpr long kMaxWidth = 0xFFFF, kMaxHeight = 0x4000;

// The images one resolution's patterns are drawn into.
class PatternPair {
public:
    virtual ~PatternPair() = default;
    virtual bool Allocated() const = 0;
    virtual void DiagonalLines() = 0;
    virtual void Grid() = 0;
    virtual void Solid(int y, int cb, int cr) = 0;
    virtual void Wedge(const WedgePattern& wedge) = 0;
    virtual void Random(DWORD seed) = 0;
    virtual CImage& Alpha() = 0;
    virtual CImage& Image() = 0;
};

class UnpackedPair : public PatternPair {
public:
    // withAlpha: the alpha gets its pattern too; else it is sent as built.
    UnpackedPair(long x, long y, bool withAlpha, WORD low, WORD high)
        : m_alpha(static_cast<DWORD>(x), static_cast<DWORD>(y)), m_image(static_cast<DWORD>(x), static_cast<DWORD>(y), 0),
          m_withAlpha(withAlpha), m_low(low), m_high(high) {
        m_image.SetSampleFormat(kSampleFormatFull);
    }
    bool Allocated() const override { return m_alpha.GetBuffer() && m_image.GetBuffer(); }
    void DiagonalLines() override {
        if (m_withAlpha) m_alpha.FillDiagonalLines(1, 0);
        m_image.FillDiagonalLines(1, m_low, m_high);
    }
    void Grid() override {
        if (m_withAlpha) m_alpha.FillGrid(1);
        m_image.FillGrid(1, m_low, m_high);
    }
    void Solid(int y, int cb, int cr) override {
        if (m_withAlpha) m_alpha.FillSolid(static_cast<WORD>(y));
        m_image.FillSolid(static_cast<WORD>(y), static_cast<WORD>(cb), static_cast<WORD>(cr));
    }
    void Wedge(const WedgePattern& wedge) override {
        if (wedge.horizontal) {
            if (m_withAlpha) m_alpha.FillHorzRamp();
            m_image.FillHorzWedge(wedge.mode, m_low, m_high);
        } else {
            if (m_withAlpha) m_alpha.FillVertRamp();
            m_image.FillVertWedge(wedge.mode, m_low, m_high);
        }
    }
    void Random(DWORD seed) override {
        if (m_withAlpha) m_alpha.FillRandom(seed);
        m_image.FillRandom(seed, 1, m_low, m_high);
    }
    CImage& Alpha() override { return m_alpha; }
    CImage& Image() override { return m_image; }

private:
    Unpacked::Alpha::YCbCr_10_6 m_alpha;
    Unpacked::Image::YCbCr_10_6 m_image;
    bool m_withAlpha;
    WORD m_low, m_high;
};

class EightBitPair : public PatternPair {
public:
    EightBitPair(long x, long y) : m_alpha(static_cast<DWORD>(x), static_cast<DWORD>(y)), m_image(static_cast<DWORD>(x), static_cast<DWORD>(y)) {}
    bool Allocated() const override { return m_alpha.GetBuffer() && m_image.GetBuffer(); }
    void DiagonalLines() override { m_image.FillDiagonalLines(1); }
    void Grid() override { m_image.FillGrid(1); }
    // SOLID values are given on the 10-bit scale: their top eight bits.
    void Solid(int y, int cb, int cr) override {
        m_image.FillSolid(static_cast<BYTE>((y & 0x3FF) >> 2), static_cast<BYTE>((cb & 0x3FF) >> 2),
                          static_cast<BYTE>((cr & 0x3FF) >> 2));
    }
    void Wedge(const WedgePattern& wedge) override {
        if (wedge.horizontal) m_image.FillHorzWedge(wedge.mode);
        else m_image.FillVertWedge(wedge.mode);
    }
    void Random(DWORD seed) override { m_image.FillRandom(seed, 1); }
    CImage& Alpha() override { return m_alpha; }
    CImage& Image() override { return m_image; }

private:
    Alpha::YCbCr_8bit m_alpha;
    Image::YCbCr_8bit m_image;
};

std::unique_ptr<PatternPair> MakePair(box::PatternImages kind, long x, long y) {
    switch (kind) {
    case box::PatternImages::Unpacked: return std::make_unique<UnpackedPair>(x, y, true, 0, 0x3FF);
    case box::PatternImages::UnpackedFormat: return std::make_unique<UnpackedPair>(x, y, false, 4, 0x3FB);
    case box::PatternImages::EightBit: return std::make_unique<EightBitPair>(x, y);
    }
    return nullptr;
}

// The 10-bit format images keep every value within 4-1019, compared as 16 bits.
int LimitSolid(int value) {
    const DWORD v = static_cast<DWORD>(value) & 0xFFFF;
    return v >= 0x3FB ? 0x3FB : v < 4 ? 4 : static_cast<int>(v);
}

class ProgressBar {
public:
    explicit ProgressBar(bool used, int upper) : m_ctrl(used ? GetProgressCtrl() : nullptr) {
        if (!m_ctrl) return;
        m_ctrl->ShowWindow(SW_SHOW);
        m_ctrl->SetRange32(0, upper);
        m_ctrl->SetPos(0);
    }
    void Hide() {
        if (m_ctrl) m_ctrl->ShowWindow(SW_HIDE);
    }
    void Pos(int p) {
        if (m_ctrl) m_ctrl->SetPos(p);
    }

private:
    CProgressCtrl* m_ctrl;
};

enum class Fill { Done, Skip, Refused };

}  // namespace

bool CExternalIO::ReadRun(const CString& command, std::span<const box::Keyword> keywords, DWORD frameLimit,
                          const char* parentMessage, box::RunValues& run, DWORD* result) {
    *result = kRunFailed;
    if (!GetParent()) {
        PrintColor(parentMessage, kRed);
        return false;
    }
    run = box::RunValues{};
    run.command = command;
    const box::Keyword* matched = nullptr;
    for (const box::Keyword& keyword : keywords) {
        const CString text(keyword.text);
        if (command.Left(text.GetLength()) != text) continue;
        matched = &keyword;
        run.code = keyword.code;
        run.arguments = command.Mid(text.GetLength());
        run.arguments.TrimLeft();
    }
    const ArgSize dim = ReadArgDim(command, false);
    if (dim.state == ArgRead::Refused) {
        PrintColor(dim.refusal, kRed);
        return false;
    }
    if (dim.state == ArgRead::Read) {
        run.width = static_cast<long>(dim.x);
        run.height = static_cast<long>(dim.y);
        run.useLists = false;
    }
    // Any count outside 1..limit, negative or past 64 bits included, gets the frames message.
    const ArgNumber frames =
        ReadArgAfter(command, "FRAMES=", platform::NumberForm::Decimal, platform::NumberField{1, frameLimit}, "FRAMES");
    if (frames.state != ArgRead::Absent) {
        run.code |= box::kFramesGiven;
        if (frames.state == ArgRead::Refused) {
            PrintColorFormat(kRed, "Number of frames must be between 1 and %u.", static_cast<unsigned>(frameLimit));
            return false;
        }
        run.frames = static_cast<DWORD>(frames.value);
    }
    run.verbose = IsEngineering() && !IsRegression() ? 2 : 1;
    const ArgNumber verbose =
        ReadArgValue(CParamString(command), "VERBOSE", platform::NumberForm::Decimal, platform::kSigned32Field);
    if (verbose.state == ArgRead::Refused) {
        PrintColor(verbose.refusal, kRed);
        return false;
    }
    if (verbose.state == ArgRead::Read) run.verbose = static_cast<int>(verbose.value);
    if (!matched || ((run.code & box::kFramesGiven) && !matched->takesFrames)) return false;
    return true;
}

DWORD CExternalIO::RunLoopbackFunctional(const char* lineFormat, const std::function<int()>& subTest) {
    CResultScreen& screen = GetResultScreen();
    const bool failuresLog = GetParent()->FindLogFile(kFailuresLog, nullptr);
    if (failuresLog) screen.Clear();
    const int result = subTest();
    if (result == 0 && failuresLog) {
        if (GetParent()->FileAccess(kFailuresLog, &screen)) screen.Clear();
        else PrintColor(GetParent()->LogFailureText(kFailuresLog, errno), kRed);
    }
    CString line;
    line.Format(lineFormat, result ? "~*GREEN*~PASS:" : "~*RED*~FAIL:");
    PrintColor(line, result ? kGreen : kRed);
    GetParent()->GetSummary().push_back(line);
    return result == 1 ? kRunPassed : kRunFailed;
}

DWORD CExternalIO::ModifyLists(CStrListResolutions& resolutions, const ProjectFormatList* formats) {
    const int preset = ListPreset();
    CStrListImages imageSource;
    if (!imageSource.SetDefaults(preset, TRUE)) {
        PrintColor("Image Mode is UNDEFINED\n", kRed);
        return kRunFailed;
    }
    CStrListResolutions resolutionSource;
    if (formats) {
        for (const ProjectFormatEntry& entry : *formats) resolutionSource.Add(entry.name);
    } else if (!resolutionSource.SetDefaults(preset)) {
        PrintColor("Resolution Mode is UNDEFINED\n", kRed);
        return kRunFailed;
    }
    COptionsSheetListSelector sheet(platform::GetMainWnd());
    sheet.SetImageResolutionSources(imageSource, resolutionSource);
    sheet.SetImageResolutionSelections(m_images, resolutions);
    sheet.DoModal();
    // After Cancel the selections are the lists handed in, so they come back unchanged.
    sheet.GetImageResolutionSelections(m_images, resolutions);
    return *g_StopFlag() ? kRunStopped : kRunPassed;  // the host's stop cancels the sheet
}

void CExternalIO::PrintHelp(const char* line, std::span<const char* const> more) {
    PrintRule(72, 0, kGreen);
    PrintBlack(line);
    for (const char* text : more) PrintBlack(text);
    PrintRule(72, 0, kGreen);
}

namespace {

Fill FillPattern(CExternalIO& test, const CString& pattern, const CString& header, PatternPair& images,
                 bool limitSolid) {
    if (pattern == "DIAGONAL_LINES") {
        test.PrintColor("Test Diagonal Lines\n", 0);
        images.DiagonalLines();
        return Fill::Done;
    }
    if (pattern == "GRID") {
        test.PrintColor("Test Grid\n", 0);
        images.Grid();
        return Fill::Done;
    }
    if (pattern.Left(5) == "SOLID") {
        const SolidValues solid = ReadSolidValues(pattern, true, 0x1F6, 0x200, 0x200);
        if (solid.state == ArgRead::Refused) {
            test.PrintColor(solid.refusal, CExternalIO::kRed);
            return Fill::Refused;
        }
        int y = static_cast<int>(solid.values[0]), cb = static_cast<int>(solid.values[1]),
            cr = static_cast<int>(solid.values[2]);
        if (limitSolid) {
            y = LimitSolid(y);
            cb = LimitSolid(cb);
            cr = LimitSolid(cr);
        }
        test.PrintColorFormat(0, "Test Solid:  Y=%d, Cb=%d, Cr=%d\n", y & 0xFFFF, cb & 0xFFFF, cr & 0xFFFF);
        images.Solid(y, cb, cr);
        return Fill::Done;
    }
    for (const WedgePattern& wedge : kWedgePatterns) {
        if (pattern != wedge.keyword) continue;
        test.PrintColor(wedge.message, 0);
        images.Wedge(wedge);
        return Fill::Done;
    }
    if (pattern.Left(6) == "RANDOM") {
        test.PrintColor(header + "Random Data\n", 0);
        DWORD seed = 0;
        if (!ReadRandomSeed(pattern, seed)) {
            test.PrintColor("SEED not understood\n", CExternalIO::kRed);
            return Fill::Skip;
        }
        test.PrintColorFormat(0, "SEED=0x%08X\n", seed);
        images.Random(seed);
        return Fill::Done;
    }
    test.PrintColorFormat(CExternalIO::kRed, "Unrecognized pattern=%s\n", pattern.c_str());
    return Fill::Skip;
}

}  // namespace

DWORD CExternalIO::RunImageList(const box::RunValues& run, const box::ImageListForm& form) {
    CWexalTreeMapTB* parent = GetParent();
    std::vector<CString>& own = GetSummary();
    // Every way out hands the pair lines made so far to the parent: none are left for the next run.
    auto passUp = [&](bool print) {
        for (const CString& line : own) {
            if (print) Print(line);
            parent->GetSummary().push_back(line);
        }
        own.clear();
    };
    auto sizeFits = [&](long x, long y, DWORD frames) {
        bool fits = x > 0 && y > 0 && x <= kMaxWidth && y <= kMaxHeight;
        if (fits) {
            const CDevAddrSpace* sdram = GetBoardIF().GetSDRAMSpace();
            const ULONGLONG end = kFirstFrame + 2ull * frames * 4ull * static_cast<ULONGLONG>(x) * static_cast<ULONGLONG>(y);
            fits = !sdram || end <= sdram->GetSize();
        }
        if (!fits) PrintColorFormat(kRed, "Invalid resolution DIM=(%ld,%ld)\n", x, y);
        return fits;
    };

    // The entries of this run: the list, or what DIM= names.
    std::vector<CString> entries;
    if (run.useLists) {
        entries = form.resolutions->GetEntries();
    } else if (!form.formats) {
        CString entry;
        entry.Format("DIM=(%d,%d)", static_cast<int>(run.width), static_cast<int>(run.height));
        entries.push_back(entry);
    } else {
        // A size in the format form runs the listed formats of that frame size.
        for (const CString& name : form.resolutions->GetEntries()) {
            const ProjectFormatEntry* row = FindProjectFormat(*form.formats, name);
            if (row && static_cast<long>(row->width) == run.width && static_cast<long>(row->height) == run.height)
                entries.push_back(name);
        }
        if (entries.empty()) {
            PrintColorFormat(kRed, "No format of DIM=(%ld,%ld) in the RESOLUTION list\n", run.width, run.height);
            passUp(false);
            return kRunFailed;
        }
    }
    if (entries.empty()) {
        PrintColor("The RESOLUTION list is empty!\n", kRed);
        passUp(false);
        return kRunFailed;
    }
    if (m_images.IsEmpty()) {
        PrintColor("The IMAGE list is empty!\n", kRed);
        passUp(false);
        return kRunFailed;
    }
    // The path's delay frames come on top of FRAMES in the same 15 DCBs; a count that does not fit
    // is refused before anything is sent, never lowered so that fewer frames are compared.
    if (form.formats && form.delay) {
        for (const CString& entry : entries) {
            const ProjectFormatEntry* row = FindProjectFormat(*form.formats, entry);
            if (!row) continue;
            const DWORD delay = form.delay(row->format);
            if (delay < box::kMaxFrames && run.frames <= box::kMaxFrames - delay) continue;
            const DWORD largest = delay < box::kMaxFrames ? box::kMaxFrames - delay : 0;
            PrintColorFormat(kRed, "FRAMES=%u does not fit format %s: its path adds %u delay frames, so FRAMES=%u is the most it allows\n",
                             static_cast<unsigned>(run.frames), entry.c_str(), static_cast<unsigned>(delay),
                             static_cast<unsigned>(largest));
            passUp(false);
            return kRunFailed;
        }
    }

    CResultScreen& screen = GetResultScreen();
    const bool failuresLog = parent->FindLogFile(kFailuresLog, nullptr);
    auto appendTo = [&](const char* log) {
        if (parent->FileAccess(log, &screen)) return true;
        PrintColor(parent->LogFailureText(log, errno), kRed);
        return false;
    };
    ProgressBar progress(form.progress, static_cast<int>(entries.size()) * m_images.GetCount());
    int progressCount = 1;
    bool passed = true;
    // The host's stop flag ends the run between pairs; a pair it cut short gives no verdict.
    auto stopped = [&] {
        if (!*g_StopFlag()) return false;
        PrintColor("Stopped by User\n", kRed);
        progress.Hide();
        passUp(false);
        return true;
    };
    const CString rule = CString('-', 76) + "\n";
    long x = 0, y = 0;
    for (const CString& entry : entries) {
        DWORD format = 0, frames = run.frames;
        if (form.formats) {
            const ProjectFormatEntry* row = FindProjectFormat(*form.formats, entry);
            if (!row) continue;
            x = static_cast<long>(row->width);
            y = static_cast<long>(row->height);
            format = row->format;
            frames += form.delay ? form.delay(format) : 0;
        } else {
            CString dim;
            const ArgSize size = CParamString(entry).GetValue("DIM", dim)
                                     ? ReadArgSize(dim.c_str(), false, platform::kSigned32Field, "DIM")
                                     : ArgSize{ArgRead::Read, x, y, 2, CString()};
            if (size.state == ArgRead::Refused) PrintColor(size.refusal, kRed);
            if (size.count >= 1) x = static_cast<long>(size.x);
            if (size.count == 2) y = static_cast<long>(size.y);
            if (size.state != ArgRead::Read) {
                if (size.state == ArgRead::Absent) PrintColorFormat(kRed, "Unrecognized resolution DIM=(%ld,%ld)\n", x, y);
                progress.Hide();
                passUp(false);
                return kRunFailed;
            }
        }
        // Also a first entry without DIM (0 by 0): nothing unsendable is built or written.
        if (!sizeFits(x, y, frames)) {
            progress.Hide();
            passUp(false);
            return kRunFailed;
        }
        std::unique_ptr<PatternPair> images = MakePair(form.images, x, y);
        if (!images || !images->Allocated()) {
            PrintColorFormat(kRed, "Unable to allocate an image of DIM=(%ld,%ld)\n", x, y);
            progress.Hide();
            passUp(false);
            return kRunFailed;
        }
        for (const CString& pattern : m_images.GetEntries()) {
            if (stopped()) return kRunStopped;
            if (failuresLog) screen.Clear();
            CString header;
            header.Format("%s IMAGE=%s DIM=(%ld,%ld)\n", run.command.c_str(), pattern.c_str(), x, y);
            PrintColor(rule, kBlack);
            PrintColor(header, kBlack);
            if (form.formats) PrintColor("Format: " + entry + "\n", kBlack);
            PrintTimeStamp();
            PrintColor("\n", kBlack);
            PrintColor(rule, kBlack);
            const Fill filled = FillPattern(*this, pattern, header, *images, form.images == box::PatternImages::UnpackedFormat);
            if (filled == Fill::Refused) passed = false;
            if (filled != Fill::Done) break;
            const int result = form.loopback(images->Alpha(), images->Image(), format, frames);
            if (stopped()) return kRunStopped;
            CString line;
            if (form.formats)
                line.Format(form.pairFormat, result ? "~*GREEN*~PASS:" : "~*RED*~FAIL:", pattern.c_str(), entry.c_str(), x, y);
            else
                line.Format(form.pairFormat, result ? "~*GREEN*~PASS:" : "~*RED*~FAIL:", pattern.c_str(), x, y);
            own.push_back(line);
            if (result == 0) {
                passed = false;
                if (failuresLog && appendTo(kFailuresLog)) screen.Clear();
            }
            progress.Pos(++progressCount);
        }
    }

    progress.Hide();
    CString saved, after;
    const bool summaryLog = parent->FindLogFile(kSummaryLog, nullptr);
    if (summaryLog) {
        screen.NotifyHost(reinterpret_cast<uintptr_t>(&saved));
        screen.Clear();
    }
    PrintColor("\nSUMMARY:  " + run.command + "\n", kBlack);
    passUp(true);
    if (summaryLog && !appendTo(kSummaryLog)) passed = false;  // a summary its log lost fails the command
    screen.NotifyHost(reinterpret_cast<uintptr_t>(&after));
    screen.NotifyHostResult(reinterpret_cast<uintptr_t>(&saved), 1);
    screen.NotifyHostResult(reinterpret_cast<uintptr_t>(&after), 0);
    return passed ? kRunPassed : kRunFailed;
}
