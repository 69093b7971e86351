// The image-pattern harness of the codec packer and unpacker tests.
#include "codec/chip/sorbelin_harness.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "framework/arg_number.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"

namespace {

const char* const kRule = "----------------------------------------------------------------------------\n";
constexpr WORD kDefaultY = 0x1F6, kDefaultC = 0x200;

}  // namespace

bool ReadMixedOptions(CSorbelin& test, const CParamString& params, bool noNumberRefused, MixedOptions& options) {
    struct Option {
        const char* key;
        long last;
        const char* refusal;
        long& value;
        bool& given;
    } const rows[] = {
        {"FORCEUPDATE", 1, "FORCEUPDATE must be 0 or 1\n", options.forceUpdate, options.updateGiven},
        {"FORCESTALL", 2, "FORCESTALL must be 0, 1 or 2\n", options.forceStall, options.stallGiven},
    };
    for (const Option& o : rows) {
        CString text;
        o.given = params.GetValue(o.key, text, FALSE) != 0;
        if (!o.given) continue;
        const ArgNumber read = ReadArgValue(params, o.key, platform::NumberForm::Decimal, {0, o.last});
        if (read.state == ArgRead::Refused || (read.state == ArgRead::Absent && noNumberRefused)) {
            test.PrintColor(o.refusal, kColorRed);
            return false;
        }
        o.value = read.state == ArgRead::Read ? static_cast<long>(read.value) : 0;
    }
    return true;
}

CString CImagePatternHarness::ReadSolid(const CString& entry, WORD& y, WORD& cb, WORD& cr) {
    // The samples are words: a value past 16 bits would be drawn cut.
    static constexpr platform::NumberField kSampleField{0, 0xFFFF};
    const SolidValues solid = ReadSolidValues(entry, true, kDefaultY, kDefaultC, kDefaultC, &kSampleField);
    if (solid.state == ArgRead::Refused) return solid.refusal;
    y = static_cast<WORD>(solid.values[0]);
    cb = static_cast<WORD>(solid.values[1]);
    cr = static_cast<WORD>(solid.values[2]);
    return CString();
}

bool CImagePatternHarness::ReadSeed(const CString& entry, DWORD& seed) {
    CString v;
    if (!CParamString(entry).GetValue("SEED", v, FALSE)) return true;
    DWORD read = 0;
    if (!ReadRandomSeed(entry, read)) return false;
    seed = read;
    return true;
}

void CImagePatternHarness::Header(const HarnessRequest& request, const CString& entry, long width, long height) {
    m_test.PrintColor(kRule, kColorBlack);
    m_test.ShowProgrammedInfo();
    CString line;
    line.Format("%s IMAGE=%s DIM=(%ld,%ld)\n", request.command.c_str(), entry.c_str(), width, height);
    m_test.PrintColor(line, kColorBlack);
    m_test.PrintTimeStamp();
    m_test.PrintColor("\n", kColorBlack);
    m_test.PrintColor(kRule, kColorBlack);
}

void CImagePatternHarness::RefuseUnknown(const CString& entry) {
    CString line;
    line.Format("Unrecognized pattern=%s\n", entry.c_str());
    m_test.PrintColor(line, kColorRed);
}

bool CImagePatternHarness::AnnounceRandom(const CString& entry, DWORD& seed) {
    seed = static_cast<DWORD>(std::time(nullptr));
    m_test.PrintColor("Test Random Data\n", kColorBlack);
    if (!ReadSeed(entry, seed)) {
        m_test.PrintColor("SEED not understood\n", kColorRed);
        return false;
    }
    CString line;
    line.Format("SEED=0x%08X\n", seed);
    m_test.PrintColor(line.c_str(), kColorBlack);
    return true;
}

CImagePatternHarness::Fill CImagePatternHarness::FillImage(const CString& entry, Unpacked::Image::YCbCr_10_6& image,
                                                           Unpacked::Alpha::YCbCr_10_6* alpha, bool imageForm) {
    const auto say = [&](const char* text) { m_test.PrintColor(text, kColorBlack); };
    if (imageForm) image.SetSampleFormat(kSampleFormatFull);
    if (entry == "DIAGONAL_LINES") {
        say("Test Diagonal Lines\n");
        image.FillDiagonalLines(1, 0, 0x3FF);
        if (alpha) alpha->FillDiagonalLines(0, 0);
        return Fill::Done;
    }
    if (entry == "GRID") {
        say("Test Grid\n");
        image.FillGrid(1, 0, 0x3FF);
        if (alpha) alpha->FillGrid(0);
        return Fill::Done;
    }
    if (m_options.rampStride4 && alpha && entry == "RAMP_STRIDE_4") {
        say("Ramp Stride 4\n");
        image.FillRampStride4();
        alpha->FillGrid(1);
        return Fill::Done;
    }
    if (entry.Left(5) == "SOLID") {
        WORD y = 0, cb = 0, cr = 0;
        const CString refusal = ReadSolid(entry, y, cb, cr);
        if (!refusal.IsEmpty()) {
            m_test.PrintColor(refusal, kColorRed);
            return Fill::Refused;
        }
        CString line;
        line.Format("Test Solid:  Y=%d, Cb=%d, Cr=%d\n", y, cb, cr);
        say(line.c_str());
        image.FillSolid(y, cb, cr);
        if (alpha) alpha->FillSolid(y);
        return Fill::Done;
    }
    static const struct {
        const char* name;
        bool vertical;
        DWORD mode;
        const char* text;
    } kWedges[] = {
        {"HORZ_WEDGE", false, 0, "Test Horizontal Wedge:  Greyscale\n"},
        {"HORZ_WEDGE_RED2BLUE", false, 1, "Test Horizontal Wedge:  Red to Blue\n"},
        {"HORZ_WEDGE_BLUE2RED", false, 2, "Test Horizontal Wedge:  Blue to Red\n"},
        {"VERT_WEDGE", true, 0, "Test Vertical Wedge:  Greyscale\n"},
        {"VERT_WEDGE_RED2BLUE", true, 1, "Test Vertical Wedge:  Red to Blue\n"},
        {"VERT_WEDGE_BLUE2RED", true, 2, "Test Vertical Wedge:  Blue to Red\n"},
    };
    for (const auto& w : kWedges) {
        if (entry != w.name) continue;
        // The image form names a horizontal wedge after its fill, a vertical one before and after.
        if (!imageForm) say(w.text);
        else if (w.vertical) say("Test Vertical Wedge\n");
        if (w.vertical) image.FillVertWedge(w.mode, 0, 0x3FF);
        else image.FillHorzWedge(w.mode, 0, 0x3FF);
        if (imageForm) say(w.text);
        if (alpha) {
            if (w.vertical) alpha->FillVertRamp();
            else alpha->FillHorzRamp();
        }
        return Fill::Done;
    }
    if (entry.Left(6) == "RANDOM") {
        DWORD seed = 0;
        if (!AnnounceRandom(entry, seed)) return Fill::BadSeed;
        image.FillRandom(seed, 1, 0, 0x3FF);
        if (alpha) alpha->FillRandom(seed);
        return Fill::Done;
    }
    return Fill::Unknown;
}

CImagePatternHarness::Fill CImagePatternHarness::FillAlpha(const CString& entry, Unpacked::Alpha::YCbCr_10_6& alpha, bool& skipped) {
    const auto say = [&](const char* text) { m_test.PrintColor(text, kColorBlack); };
    skipped = false;
    if (entry == "DIAGONAL_LINES") {
        say("Test Diagonal Lines\n");
        alpha.FillDiagonalLines(1, 0);
        return Fill::Done;
    }
    if (entry == "GRID") {
        say("Test Grid\n");
        alpha.FillGrid(1);
        return Fill::Done;
    }
    if (entry.Left(5) == "SOLID") {
        WORD y = 0, cb = 0, cr = 0;
        const CString refusal = ReadSolid(entry, y, cb, cr);
        if (!refusal.IsEmpty()) {
            m_test.PrintColor(refusal, kColorRed);
            return Fill::Refused;
        }
        CString line;
        line.Format("Test Solid:  Intensity=%d\n", y);
        say(line.c_str());
        alpha.FillSolid(y);
        return Fill::Done;
    }
    if (entry == "HORZ_WEDGE_BLUE2RED" || entry == "HORZ_WEDGE_RED2BLUE" || entry == "VERT_WEDGE_BLUE2RED" ||
        entry == "VERT_WEDGE_RED2BLUE") {
        skipped = true;
        return Fill::Done;
    }
    if (entry == "HORZ_WEDGE" || entry == "VERT_WEDGE") {
        const bool vertical = entry == "VERT_WEDGE";
        say(vertical ? "Test Vertical Wedge\n" : "Test Horizontal Wedge\n");
        if (vertical) alpha.FillVertRamp();
        else alpha.FillHorzRamp();
        return Fill::Done;
    }
    if (entry.Left(6) == "RANDOM") {
        DWORD seed = 0;
        if (!AnnounceRandom(entry, seed)) return Fill::BadSeed;
        alpha.FillRandom(seed);
        return Fill::Done;
    }
    return Fill::Unknown;
}

namespace {

bool SizeInRange(long width, long height) { return width > 0 && height > 0 && width <= 4095 && height <= 4095; }

}  // namespace

BOOL CImagePatternHarness::RunFull(const HarnessRequest& request, const MixedTrip& trip) {
    static const CString kFailures = "Failures", kSummary = "Summary";
    CStrList resolutions;
    if (request.dimensionsGiven) {
        CString entry;
        entry.Format("DIM=(%d,%d)", static_cast<int>(request.width), static_cast<int>(request.height));
        resolutions.Add(entry);
    } else {
        resolutions = *m_test.GetResolutionList();
    }
    if (resolutions.IsEmpty()) {
        m_test.PrintColor("The RESOLUTION list is empty!\n", kColorRed);
        return 0;
    }
    const CStrList& images = *m_test.GetImageList();
    if (images.IsEmpty()) {
        m_test.PrintColor("The IMAGE list is empty!\n", kColorRed);
        return 0;
    }
    CResultScreen& screen = GetResultScreen();
    BOOL overall = 1;
    bool stopped = false;
    for (const CString& resolution : resolutions.GetEntries()) {
        if ((stopped = CSorbelin::StopRequested())) break;
        long width = 0, height = 0;
        CString dim;
        CString line;
        // An entry without DIM, or with fewer than two numbers, names no size at all.
        const ArgSize size = CParamString(resolution).GetValue("DIM", dim, FALSE)
                                 ? ReadArgSize(dim.c_str(), false, platform::kSigned32Field, "DIM")
                                 : ArgSize{};
        if (size.state == ArgRead::Refused) {
            m_test.PrintColor(size.refusal, kColorRed);
            return 0;
        }
        if (size.count >= 1) width = static_cast<long>(size.x);
        if (size.count == 2) height = static_cast<long>(size.y);
        if (size.state != ArgRead::Read) {
            line.Format("Unrecognized resolution DIM=(%ld,%ld)\n", width, height);
            m_test.PrintColor(line, kColorRed);
            return 0;
        }
        if (!SizeInRange(width, height)) {
            line.Format("Invalid resolution DIM=(%ld,%ld)\n", width, height);
            m_test.PrintColor(line, kColorRed);
            return 0;
        }
        auto image = std::make_unique<Unpacked::Image::YCbCr_10_6>(static_cast<DWORD>(width), static_cast<DWORD>(height), 0);
        auto alpha = std::make_unique<Unpacked::Alpha::YCbCr_10_6>(static_cast<DWORD>(width), static_cast<DWORD>(height));
        image->SetSampleFormat(kSampleFormatFull);
        for (const CString& entry : images.GetEntries()) {
            // What ran so far still gets its summary.
            if ((stopped = CSorbelin::StopRequested())) break;
            const bool failuresLog = m_test.FindLogFile(kFailures, nullptr);
            if (failuresLog) screen.Clear();
            Header(request, entry, width, height);
            const Fill fill = FillImage(entry, *image, alpha.get(), false);
            if (fill == Fill::Unknown) RefuseUnknown(entry);
            if (fill == Fill::Refused) overall = 0;
            if (fill != Fill::Done) break;
            const BOOL passed = trip(*alpha, *image);
            line.Format("%s\tResolution[%ld,%ld]\t\tTest[%s]~*BLACK*~\n", passed ? "~*GREEN*~PASS:" : "~*RED*~FAIL:", width, height, entry.c_str());
            m_test.GetSummary().push_back(line);
            if (passed) continue;
            overall = 0;
            if (failuresLog) {
                if (m_test.FileAccess(kFailures, &screen)) screen.Clear();
                else m_test.PrintColor(m_test.LogFailureText(kFailures, errno), kColorRed);
            }
        }
    }
    const bool summaryLog = m_test.FindLogFile(kSummary, nullptr);
    CString saved, shown;
    if (summaryLog) {
        screen.NotifyHost(reinterpret_cast<uintptr_t>(&saved));
        screen.Clear();
    }
    if (request.verbose > 1) m_test.ShowProgrammedInfo();
    m_test.PrintColor("\nSUMMARY:  " + request.command + "\n", kColorBlack);
    std::vector<CString>& summary = m_test.GetSummary();
    CWexalTreeMapTB* parent = m_test.GetParent();
    for (const CString& line : summary) {
        m_test.Print(line);
        if (parent) parent->GetSummary().push_back(line);
    }
    summary.clear();
    if (summaryLog) {
        // A summary that did not reach its log fails the command.
        if (!m_test.FileAccess(kSummary, &screen)) {
            m_test.PrintColor(m_test.LogFailureText(kSummary, errno), kColorRed);
            overall = 0;
        }
        screen.NotifyHost(reinterpret_cast<uintptr_t>(&shown));
        screen.NotifyHostResult(reinterpret_cast<uintptr_t>(&saved), 1);
        screen.NotifyHostResult(reinterpret_cast<uintptr_t>(&shown), 0);
    }
    return stopped ? CSorbelin::kTestStopped : overall;
}

BOOL CImagePatternHarness::RunImage(const HarnessRequest& request, const ImageTrip& trip) {
    if (request.width == 0 || request.height == 0) {
        m_test.PrintColor("Unable to read either XSize or YSize", kColorRed);
        return 0;
    }
    Unpacked::Image::YCbCr_10_6 image(static_cast<DWORD>(request.width), static_cast<DWORD>(request.height), 0);
    image.SetSampleFormat(kSampleFormatFull);
    BOOL result = 0;
    for (const CString& entry : m_test.GetImageList()->GetEntries()) {
        if (CSorbelin::StopRequested()) return CSorbelin::kTestStopped;
        Header(request, entry, request.width, request.height);
        const Fill fill = FillImage(entry, image, nullptr, true);
        if (fill == Fill::BadSeed || fill == Fill::Refused) return 0;
        if (fill == Fill::Unknown) {
            if (!m_options.unknownPatternFails) continue;
            RefuseUnknown(entry);
            return 0;
        }
        result = trip(image);
        if (!result) return 0;
    }
    return result;
}

BOOL CImagePatternHarness::RunAlpha(const HarnessRequest& request, const AlphaTrip& trip) {
    if (request.width == 0 || request.height == 0) {
        m_test.PrintColor("Unable to read either XSize or YSize", kColorRed);
        return 0;
    }
    Unpacked::Alpha::YCbCr_10_6 alpha(static_cast<DWORD>(request.width), static_cast<DWORD>(request.height));
    BOOL result = 0;
    for (const CString& entry : m_test.GetImageList()->GetEntries()) {
        if (CSorbelin::StopRequested()) return CSorbelin::kTestStopped;
        Header(request, entry, request.width, request.height);
        bool skipped = false;
        const Fill fill = FillAlpha(entry, alpha, skipped);
        if (fill == Fill::BadSeed || fill == Fill::Refused) return 0;
        if (fill == Fill::Unknown) {
            if (!m_options.unknownPatternFails) continue;
            RefuseUnknown(entry);
            return 0;
        }
        if (skipped) continue;
        result = trip(alpha);
        if (!result) return 0;
    }
    return result;
}
