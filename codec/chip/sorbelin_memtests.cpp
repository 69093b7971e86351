// CSorbelinMemTests: context RAM test, DCM phase setting, memory self-test, self-test scan and range of the packer and unpacker chip tests.
#include "codec/chip/sorbelin_memtests.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <utility>

#include "devlib/perf_list.h"
#include "framework/arg_number.h"
#include "framework/log_file.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "images/file_error.h"
#include "platform/clock.h"

namespace {

// Whether name can be a file's name of its own in the working folder: letters, digits, '-', '_'
// and '.', not starting with '.', so no separator, drive, parent folder or hidden name.
bool IsPlainFileName(const CString& name) {
    if (name.IsEmpty() || name[0] == '.') return false;
    for (int i = 0; i < name.GetLength(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (!std::isalnum(c) && c != '-' && c != '_' && c != '.') return false;
    }
    return true;
}

constexpr const char* kDashes = "\n---------------------------------------------------------\n";
constexpr const char* kRule = "=========================================================\n";
constexpr const char* kPhaseLog = "MembistPhase";
constexpr const char* kSummaryLog = "MembistSummary";
constexpr DWORD kUnset = 0xFFFFFFFF;
constexpr DWORD kDone = 0x10000, kOutcome = 0x30000;
constexpr int kPhases = 256;
constexpr COLORREF kBlackOnYellow = 0x000000, kYellow = 0x00F0FF;

// A phase step is at least 1 and below the 256 phases the scans walk: a wider one leaves the
// phases at its first step, and one near an int's end would overflow the walk. Null when it fits.
const char* StepRefusal(int step) {
    if (step < 1) return "STEP must be at least 1\n";
    if (step >= kPhases) return "STEP must not be above 255: the phases run 0x00 ... 0xFF\n";
    return nullptr;
}

constexpr const char* kSelfTestKey =
    "\n\n--- KEY ---\nN:  Not tested\n~*GREEN*~P:\tTested and passed\n~*WHITE*~~*BACK_RED*~0:\tFAIL:  Not started?~*BLACK*~~*BACK_WHITE*~\n"
    "~*WHITE*~~*BACK_DKRED*~1:\tFAIL:  Memory failure~*BLACK*~~*BACK_WHITE*~\n~*BLACK*~~*BACK_YELLOW*~2:\tFAIL:  Not "
    "done~*BLACK*~~*BACK_WHITE*~\n~*WHITE*~~*BACK_BLUE*~F:\tFAIL:  Unrecognized failure code~*BLACK*~~*BACK_WHITE*~\n\n";
constexpr const char* kCommandKey =
    "\n\n--- KEY ---\nN:  Not tested\n~*GREEN*~P:\tPASSED\n~*WHITE*~~*BACK_RED*~0:\tFAILED~*BLACK*~~*BACK_WHITE*~";

CString Format(const char* format, auto... values) {
    CString text;
    text.Format(format, values...);
    return text;
}

// The first occurrence of key, case kept, read with the "(0x%X,0x%X)" that follows it: how many of
// the two values converted.
int ReadRange(const CString& text, unsigned& first, unsigned& last) {
    const int at = text.Find("RANGE=");
    if (at < 0) return 0;
    // Each value as "0x%X" reads it, but whole: one past 32 bits stays past the range check's 0xFF
    // instead of being cut into it.
    const char* p = text.c_str() + at + 6;
    if (*p++ != '(') return 0;
    int n = 0;
    for (unsigned* value : {&first, &last}) {
        if (n == 1 && *p++ != ',') break;
        const platform::FieldScan read = platform::ReadField(p, platform::NumberForm::Prefixed, {0, INT64_MAX});
        // The prefix is a lower-case "0x", as the format spells it.
        if (read.fit == platform::NumberFit::None || p[0] != '0' || p[1] != 'x') break;
        *value = read.fit == platform::NumberFit::Fits && read.value <= UINT32_MAX ? static_cast<unsigned>(read.value) : UINT32_MAX;
        p = read.end;
        ++n;
    }
    return n;
}

}  // namespace

// One scan's tables and settings. The tables are (RETRY + 1) rows of 256 phases; passed and
// stored keep what each try gave, so a phase is judged by its result and a status that was never
// stored is not mistaken for a pass.
struct CSorbelinMemTests::Scan {
    using Row = std::array<DWORD, kPhases>;
    std::vector<Row> status, tested, passed, stored;
    int dram = 64;
    CString dramText = "64";
    int iterations = 1;
    CString command;  // TEST=, case kept
    CString file;
    int failures = 0;  // consecutive failing phases
    int low = 0, high = 0xFF;
    explicit Scan(int rows) : status(rows), tested(rows), passed(rows), stored(rows) {
        for (int r = 0; r < rows; ++r) {
            status[r].fill(kUnset);
            tested[r].fill(0);
            passed[r].fill(0);
            stored[r].fill(0);
        }
    }
};

DWORD CSorbelinMemTests::Read(DWORD address) { return m_test.GetBridge() ? m_test.GetBridge()->ReadDataFixed(address) : 0; }

void CSorbelinMemTests::Write(DWORD address, DWORD value) {
    if (m_test.GetBridge()) m_test.GetBridge()->WriteDataFixed(address, value);
}

bool CSorbelinMemTests::ReadInt(const CParamString& params, const char* key, int& value) {
    CString text;
    if (!params.GetValue(key, text)) return true;
    // A number past an int is no value either (the scans refuse it before they start).
    const platform::FieldScan read = platform::ReadField(text.c_str(), platform::NumberForm::Decimal, platform::kSigned32Field);
    if (read.fit != platform::NumberFit::Fits) return false;
    value = static_cast<int>(read.value);
    return true;
}

bool CSorbelinMemTests::EnableClock() {
    if (!m_controller || !m_controller->RAMClockEnable(1, 1)) {
        m_test.PrintColor("ERROR:  Unable to set SulvthSDRAMClock\n", kColorRed);
        return false;
    }
    Sleep(1);
    return true;
}

int CSorbelinMemTests::TestContextRAM(const std::vector<DWORD>* pattern) {
    if (!pattern || pattern->size() < kContextWords) {
        m_test.PrintRed("ERROR:  The board test pattern is missing or shorter than 32 words");
        return 0;
    }
    for (DWORD k = 0; k < kContextWords; ++k) Write(kContextRam + 4 * k, (*pattern)[k]);
    DWORD errors = 0, lines = 0;
    int result = 1;
    for (DWORD k = 0; k < kContextWords; ++k) {
        const DWORD address = kContextRam + 4 * k, read = Read(address);
        if (read == (*pattern)[k]) continue;
        ++errors;
        result = 0;
        if (lines < 20) {
            m_test.PrintRed(Format("Address[0x%08X]  Wrote[0x%08X]  Read[0x%08X]", address, (*pattern)[k], read));
            ++lines;
        }
    }
    if (errors) m_test.PrintRed(Format("Total errors %ld out of %ld\n", static_cast<long>(errors), static_cast<long>(kContextWords)));
    return result;
}

int CSorbelinMemTests::SetDCMPhase(CString params, int verbose) {
    const CParamString p(params);
    int value = 130, dram = 0;
    if (!ReadInt(p, "VALUE", value) || !ReadInt(p, "DRAM", dram)) return 0;
    if (dram != 32 && dram != 64) return 0;
    if (m_kind == kUnpacker ? verbose >= 1 : verbose > 1) m_test.PrintColor(Format("Set DCM Phase DRAM=%d VALUE=%d\n", dram, value), kColorBlack);
    if (m_kind == kUnpacker && !EnableClock()) return 0;
    Write(kPhaseRegister, 0);
    const DWORD old = Read(kPhaseRegister);
    const DWORD v = static_cast<DWORD>(value);
    if (dram == 32) {
        Write(kPhaseRegister, (old & 0x0000FFFF) | v << 16);
        Write(kDcmControl, 4);
    } else {
        Write(kPhaseRegister, (old & 0xFFFF0000) | (v & 0x0000FFFF));
        Write(kDcmControl, 8);
    }
    Sleep(1);
    Write(kDcmControl, 0);
    return 1;
}

int CSorbelinMemTests::MemBistTest(CString params, DWORD* status) {
    m_statusStored = false;
    const CParamString p(params);
    int test = 0, dram = 0;
    for (auto [key, field] : {std::pair{"TEST", &test}, std::pair{"DRAM", &dram}}) {
        if (ReadInt(p, key, *field)) continue;
        if (m_kind == kUnpacker) m_test.PrintColor(Format("Unable to find %s= on the command line\n", key), kColorRed);
        return 0;
    }
    if (m_kind == kUnpacker && !EnableClock()) return 0;
    if (dram != 32 && dram != 64) {
        m_test.PrintColor("MEMORY must be set to 32 or 64.\n", kColorRed);
        return 0;
    }
    const DWORD minimum = m_kind == kPacker ? kPackerRevision : dram == 32 ? kUnpacker32Revision : 0;
    DWORD revision = 0;
    m_test.GetProgrammedRevision(&revision);
    if (revision < minimum) {
        m_test.PrintColor(Format("%d bit memory requires a minimum %s revision of 0x%04X\n", dram, Unit().c_str(), minimum), kColorRed);
        return 0;
    }
    m_test.PrintColor(Format("Membist DRAM=%d Test=%d\n", dram, test), kColorBlack);
    const DWORD control = dram == 64 ? kBist64 : kBist32;
    Write(control, 0);
    Sleep(1);
    Write(control, static_cast<DWORD>(test));
    CPerformanceList timer;
    const LONGLONG deadline = timer.SetMilliTimeout(kBistMillis, -1);
    DWORD word = Read(control);
    while (!(word & kDone)) {
        LONGLONG now = 0;
        QueryPerformanceCounter(&now);
        if (now > deadline) break;
        Sleep(100);
        m_test.PrintColor(".", kColorBlack);
        word = Read(control);
    }
    m_test.PrintColor("\n", kColorBlack);
    if (status) *status = word;
    m_statusStored = true;
    const CString verdict = Format("Membist Test=%d Result=0x%08X - ", test, word);
    switch (word & kOutcome) {
    case kOutcome:
        m_test.PrintColor(verdict + "Passed\n", kColorGreen);
        m_test.ShowTemperature(1);
        Write(control, 0);
        Sleep(1);
        return 1;
    case kDone: {
        m_test.PrintColor(verdict + "Failed\n", kColorRed);
        if (m_kind == kUnpacker) {
            const DWORD count = dram == 64 ? kBistCount64 : kBistCount32;
            Write(control, 0x20);
            DWORD errors = Read(count) & 0xFFFF;
            Write(control, 0x30);
            errors |= (Read(count) & 0x3F) << 16;
            m_test.PrintColor(Format("Total errors = %ld.\n", static_cast<long>(errors)), kColorRed);
        }
        break;
    }
    case 0x20000: m_test.PrintStyled(verdict + "Not Done\n", kBlackOnYellow, kYellow, FALSE); break;
    default: m_test.PrintColor(verdict + "Not started?\n", kColorRed); break;
    }
    Write(control, 0);
    m_test.ShowTemperature(1);
    Sleep(1);
    return 0;
}

void CSorbelinMemTests::PrintFramed(const CString& text) {
    m_test.PrintColor(CString("\n") + kRule, kColorBlack);
    m_test.PrintColor(text, kColorBlack);
    m_test.PrintColor(kRule, kColorBlack);
}

CSorbelinMemTests::Try CSorbelinMemTests::TryPhase(Scan& scan, int row, int phase, const CString& tryLine) {
    if (CSorbelin::StopRequested()) return Try::Stopped;
    if (row == 0) {
        scan.tested[0][phase] = 1;
        scan.status[0][phase] = kUnset;
        m_test.PrintColor(kDashes, kColorBlack);
    }
    scan.passed[row][phase] = scan.stored[row][phase] = 0;
    m_test.PrintColor(tryLine, kColorBlack);
    auto stop = [&](const char* message) {
        m_test.PrintColor(message, kColorRed);
        return Try::Error;
    };
    if (!m_test.GetDSP() || !m_test.GetDSP()->InitEmif(0, 1)) return stop("Unable to initialize emif.\n");
    if (m_test.ProgramImage(scan.file) == kRunFailed) return stop("Unable to program device.\n");
    if (!SetDCMPhase(Format("DRAM=%d VALUE=%d", scan.dram, phase), 1)) return stop("Unable to set DCM phase value.\n");
    bool pass = true;
    if (!scan.command.IsEmpty()) {
        scan.status[row][phase] = 0;
        scan.stored[row][phase] = 1;
        for (int i = 0; i < scan.iterations && pass; ++i) {
            if (CSorbelin::StopRequested()) return Try::Stopped;
            const DWORD result = m_test.Run(scan.command);
            if (result == kRunStopped) return Try::Stopped;
            pass = result != kRunFailed;
        }
        if (pass) scan.status[row][phase] = kOutcome;
    } else {
        for (const char* test : {"Test=1", "Test=3"}) {
            const CString text = CString(test) + " DRAM=" + scan.dramText;
            for (int i = 0; i < scan.iterations && pass; ++i) {
                if (CSorbelin::StopRequested()) return Try::Stopped;
                DWORD word = kUnset;
                pass = MemBistTest(text, &word) == 1;
                // Only a test that got as far as its status leaves one.
                if (m_statusStored) {
                    scan.status[row][phase] = word;
                    scan.stored[row][phase] = 1;
                }
            }
        }
    }
    scan.passed[row][phase] = pass ? 1 : 0;
    scan.failures = pass ? 0 : scan.failures + 1;
    return pass ? Try::Passed : Try::Failed;
}

void CSorbelinMemTests::PrintMap(const Scan& scan) {
    for (size_t r = 0; r < scan.status.size(); ++r) {
        if (r > 0) m_test.PrintColor(Format("\nRetry=%d\n", static_cast<int>(r)), kColorBlack);
        m_test.PrintColor("\n\t0 1 2 3 4 5 6 7 8 9 A B C D E F\n", kColorBlack);
        for (int h = 0; h < 16; ++h) {
            CString line = Format("~*BLACK*~%01Xx:\t", h);
            for (int l = 0; l < 16; ++l) {
                const int p = 16 * h + l;
                const char* cell = "~*BLACK*~N";
                if (scan.tested[r][p]) {
                    const DWORD outcome = scan.status[r][p] & kOutcome;
                    if (!scan.stored[r][p] || (outcome == kOutcome && !scan.passed[r][p]))
                        cell = scan.passed[r][p] ? "~*GREEN*~P" : "~*WHITE*~~*BACK_BLUE*~F~*BLACK*~~*BACK_WHITE*~";
                    else if (outcome == kOutcome) cell = "~*GREEN*~P";
                    else if (outcome == 0) cell = "~*WHITE*~~*BACK_RED*~0~*BLACK*~~*BACK_WHITE*~";
                    else if (outcome == kDone) cell = "~*WHITE*~~*BACK_DKRED*~1~*BLACK*~~*BACK_WHITE*~";
                    else cell = "~*BLACK*~~*BACK_YELLOW*~2~*BLACK*~~*BACK_WHITE*~";
                }
                line += cell;
                line += l == 15 ? "\n" : " ";
            }
            m_test.Print(line);
        }
    }
    m_test.PrintColor(scan.command.IsEmpty() ? kSelfTestKey : kCommandKey, kColorBlack);
}

void CSorbelinMemTests::PrintScanHeader(const CParamString& params) {
    m_test.PrintColor("Membist Scan\n", kColorBlack);
    for (const char* key : {"DRAM", "RANGE", "RETRY", "STEP", "MAXFAIL", "ITERATION", "FPGA"}) {
        CString value;
        if (params.GetValue(key, value)) m_test.PrintColor(CString(key) + "=" + value + "\n", kColorBlack);
    }
    m_test.PrintTimeStamp();
    m_test.PrintColor("\n", kColorBlack);
}

int CSorbelinMemTests::MemBistScan(CString file, CString params) {
    const CParamString p(params);
    const bool unpacker = m_kind == kUnpacker;
    CResultScreen& screen = GetResultScreen();
    // 0 after an error or a lost log record, 2 after a stop.
    int result = 1;
    auto lost = [&](Logged logged) {
        if (logged == Logged::Lost && result == 1) result = 0;
    };
    auto summary = [&] {
        if (unpacker) lost(AppendToLog(kSummaryLog));
    };
    auto refuse = [&](const char* message) {
        m_test.PrintColor(message, kColorRed);
        summary();
        return 0;
    };
    if (unpacker) {
        screen.Clear();
        PrintScanHeader(p);
        p.GetValueAsWritten("FPGA", file);
    }
    if (const CString refused = RefusedInts(p, {"ITERATION", "MAXFAIL", "RETRY", "STEP"}); !refused.IsEmpty())
        return refuse(refused.c_str());
    int dram = 64;
    if (!ReadInt(p, "DRAM", dram)) return refuse("DRAM parameter must be either 32 or 64\n");
    int iterations = 1, maxFail = 4, retries = 0, fine = 1, coarse = 8;
    ReadInt(p, "ITERATION", iterations);
    ReadInt(p, "MAXFAIL", maxFail);
    ReadInt(p, "RETRY", retries);
    if (retries < 0 || retries > kMaxRetries) return refuse("RETRY must be between 0 and 16\n");
    int midpoint = -1;
    CString text;
    if (p.GetValue("MIDPOINT", text)) {
        const platform::FieldScan read = platform::ReadField(text.c_str(), platform::NumberForm::Prefixed, {0, 0xFF});
        if (read.fit == platform::NumberFit::Fits) midpoint = static_cast<int>(read.value);
    }
    if (p.GetValue("STEP", text)) {
        // With a midpoint STEP is the fine step alone, else "coarse,fine".
        const ArgInts step = ReadArgInts(text.c_str(), midpoint >= 0 ? 1 : 2, "STEP");
        if (step.state == ArgRead::Refused) return refuse(step.refusal.c_str());
        if (midpoint >= 0) {
            if (step.count == 1) fine = step.values[0];
        } else {
            if (step.count >= 1) coarse = step.values[0];
            if (step.count == 2) fine = step.values[1];
        }
    }
    for (const int step : {coarse, fine})
        if (const char* refusal = StepRefusal(step)) return refuse(refusal);
    unsigned first = 0, last = 0xFF;
    ReadRange(params, first, last);
    if (first > 0xFF || last > 0xFF || first > last) return refuse("RANGE must lie within 0x00 ... 0xFF, the first value not above the last\n");

    Scan scan(retries + 1);
    scan.dram = dram;
    if (p.GetValue("DRAM", text)) scan.dramText = text;
    scan.iterations = iterations;
    p.GetValueAsWritten("TEST", scan.command);
    scan.file = file;
    auto phaseLog = [&] {
        if (!unpacker) return;
        const Logged logged = AppendToLog(kPhaseLog);
        if (logged == Logged::Written) screen.Clear();
        lost(logged);
    };
    // One try; false ends the scan (after its red line), result then holds the answer.
    auto attempt = [&](int row, int phase, const CString& line) {
        const Try t = TryPhase(scan, row, phase, line);
        if (t == Try::Error || t == Try::Stopped) result = t == Try::Error ? 0 : 2;
        return t;
    };
    auto ended = [&](Try t) { return t == Try::Error || t == Try::Stopped; };
    // Walks p from start by delta while inside: untested phases are tried until maxFail failures in a row.
    auto walk = [&](int start, int delta, auto inside, const char* format, int shown, int& edge) {
        scan.failures = 0;
        for (int p = start; inside(p) && scan.failures < maxFail; p += delta) {
            if (scan.tested[0][p]) continue;
            const Try t = attempt(0, p, Format(format, p, p, shown));
            if (ended(t)) return false;
            if (t == Try::Passed) edge = p;
        }
        return true;
    };
    auto finish = [&] {
        summary();
        return result;
    };

    CString retryHeader;
    if (midpoint >= 0) {
        const int m = midpoint;
        PrintFramed(Format("\tPHASE 1:  Now testing phases less than or equal to %d\n", m));
        // The midpoint itself, then downwards while the phase is at least the fine step.
        scan.failures = 0;
        for (int p = m; p >= 0 && scan.failures < maxFail; p -= fine) {
            if (!scan.tested[0][p]) {
                const Try t = attempt(0, p, Format("\t--- TRY %d { 0x%02X }  Phase less than %d ---\n", p, p, m));
                if (ended(t)) return finish();
                if (t == Try::Passed) scan.low = p;
            }
            if (p < fine) break;
        }
        phaseLog();
        PrintFramed(Format("\tPHASE 2:  Now testing phases greater than %d\n", m));
        if (!walk(m, fine, [&](int p) { return p < kPhases - fine; }, "\t--- TRY %d { 0x%02X }  phases greater than %d ---\n", m, scan.high))
            return finish();
        phaseLog();
        retryHeader = "\tPHASE 3:  Now retry range (%d ... %d)\n";
    } else {
        scan.low = static_cast<int>(first);
        scan.high = static_cast<int>(last);
        PrintFramed(Format("\tPHASE 1:  Test range(0x%02X ... 0x%02X) in increments of %d\n", first, last, coarse));
        for (int p = static_cast<int>(first); p <= static_cast<int>(last); p += coarse) {
            const Try t = attempt(0, p, Format("\t--- TRY %d { 0x%02X } - Range(0x%02X ... 0x%02X)  ---\n", p, p, first, last));
            if (ended(t)) return finish();
        }
        phaseLog();
        int lo = static_cast<int>(first), hi = static_cast<int>(last);
        if (maxFail != 0) {
            lo = hi = 0;
            bool any = false;
            for (int p = static_cast<int>(first); p < static_cast<int>(last); p += coarse) {
                if (!scan.passed[0][p]) continue;
                if (!any) lo = p;
                hi = p;
                any = true;
            }
            if (lo < fine) lo = fine;
            PrintFramed(Format("\tPHASE 2:  Now testing phases less than %d\n", lo - fine));
            if (!walk(lo - fine, -fine, [&](int p) { return p >= fine; }, "\t--- TRY %d { 0x%02X }  Phases less than %d ---\n", lo - fine, scan.low))
                return finish();
            phaseLog();
            PrintFramed(Format("\tPHASE 3:  Now testing phases greater than %d\n", hi));
            if (!walk(hi, fine, [&](int p) { return p < kPhases - fine; }, "\t--- TRY %d { 0x%02X }  Phases greater than %d ---\n", hi, scan.high))
                return finish();
            phaseLog();
        }
        PrintFramed(Format("\tPHASE 4:  Now testing phases between %d and %d\n", lo, hi));
        for (int p = lo; p < hi; p += fine) {
            if (scan.tested[0][p]) continue;
            const Try t = attempt(0, p, Format("\t--- TRY %d { 0x%02X }  Phases between %d and %d ---\n", p, p, lo, hi));
            if (ended(t)) return finish();
        }
        phaseLog();
        retryHeader = "\tPHASE 5:  Now retry range (%d ... %d)\n";
    }

    PrintFramed(Format(retryHeader.c_str(), scan.low, scan.high));
    bool anyPassed = true;
    for (int r = 1; r <= retries && anyPassed; ++r) {
        scan.status[r] = scan.status[r - 1];
        scan.tested[r] = scan.tested[r - 1];
        scan.passed[r] = scan.passed[r - 1];
        scan.stored[r] = scan.stored[r - 1];
        anyPassed = false;
        for (int p = scan.low; p <= scan.high; ++p) {
            if (!scan.tested[r][p] || !scan.passed[r][p]) continue;
            const Try t = attempt(r, p, Format("\t--- TRY %d { 0x%02X }  Retry[%d] Range(%d ... %d) ---\n", p, p, r, scan.low, scan.high));
            if (ended(t)) return finish();
            anyPassed = anyPassed || t == Try::Passed;
        }
        phaseLog();
    }

    if (unpacker) {
        screen.Clear();
        PrintScanHeader(p);
    }
    PrintMap(scan);
    if (unpacker) lost(EndLogs());
    return result;
}

DWORD CSorbelinMemTests::MemBistRange(CString arguments) {
    const CParamString p(arguments);
    CResultScreen& screen = GetResultScreen();
    int dram = 64, iterations = 1, step = 8, retries = 0;
    if (const CString refused = RefusedInts(p, {"ITERATION", "STEP", "RETRY"}); !refused.IsEmpty()) {
        m_test.PrintColor(refused, kColorRed);
        return 0;
    }
    if (!ReadInt(p, "DRAM", dram)) {
        m_test.PrintColor("DRAM parameter must be either 32 or 64\n", kColorRed);
        AppendToLog(kSummaryLog);
        return 0;
    }
    ReadInt(p, "ITERATION", iterations);
    ReadInt(p, "STEP", step);
    ReadInt(p, "RETRY", retries);
    CString dramText = "64", fpga, save;
    p.GetValue("DRAM", dramText);
    if (dramText.IsEmpty()) dramText = "64";
    p.GetValueAsWritten("FPGA", fpga);
    if (const char* refusal = StepRefusal(step)) {
        m_test.PrintColor(refusal, kColorRed);
        return 0;
    }
    unsigned first = 0, last = 0xFF;
    ReadRange(arguments, first, last);
    if (first > 0xFF || last > 0xFF) {
        m_test.PrintColor("RANGE values must not be above 0xFF\n", kColorRed);
        return 0;
    }
    // SAVE=Yes: the board's serial number ".txt", appended to in the working folder. The number
    // comes from product data, which may hold anything: only a plain name is taken.
    const CString serial = m_test.GetSerialNumber();
    std::unique_ptr<CLogFile> saveFile;
    if (p.GetValue("SAVE", save) && save == "YES") {
        if (!IsPlainFileName(serial)) {
            m_test.PrintRed("The board's serial number \"" + serial + "\" cannot name a file in the working folder");
            return 0;
        }
        saveFile = std::make_unique<CLogFile>(serial + ".txt");
        if (!saveFile->Open(CLogFile::kWrite | CLogFile::kOpenAlways) && !saveFile->Open(CLogFile::kRead | CLogFile::kWrite | CLogFile::kOpenAlways)) {
            const int error = errno;
            m_test.PrintColor(images_detail::SaveFailureText("Unable to open file " + serial + ".txt\n", error), kColorRed);
            return 0;
        }
    }
    auto header = [&](const char* title) {
        m_test.PrintColor(title, kColorBlack);
        for (const char* key : {"DRAM", "RANGE", "RETRY", "STEP", "ITERATION", "FPGA"}) {
            CString value;
            if (p.GetValue(key, value)) m_test.PrintColor(CString(key) + "=" + value + "\n", kColorBlack);
        }
        m_test.PrintTimeStamp();
        m_test.PrintColor("\n", kColorBlack);
    };
    header("Membist Range Test\n");
    PrintFramed(Format("Test range(0x%02X ... 0x%02X) in increments of %d\n", first, last, step));
    Scan scan(1);
    scan.dram = dram;
    scan.dramText = dramText;
    scan.iterations = iterations;
    scan.file = fpga;
    unsigned foundFirst = 0, foundLast = 0;
    bool anyPassed = false, overall = true;
    for (unsigned phase = first; phase <= last; phase += static_cast<unsigned>(step)) {
        const Try t = TryPhase(scan, 0, static_cast<int>(phase),
                               Format("\t--- TRY %d { 0x%02X } - Range(0x%02X ... 0x%02X)  ---\n", phase, phase, first, last));
        if (t == Try::Error) return 0;
        if (t == Try::Stopped) return 2;
        if (t == Try::Failed) {
            overall = false;
            continue;
        }
        if (!anyPassed) foundFirst = phase;
        foundLast = phase;
        anyPassed = true;
    }
    const Logged phases = AppendToLog(kPhaseLog);
    if (phases == Logged::Written) screen.Clear();
    header("Membist Range\n");
    const CString range = Format("\nTest Range[ %ld ... %ld ] found Range[ %ld ... %ld ]\n", static_cast<long>(first), static_cast<long>(last),
                                 static_cast<long>(foundFirst), static_cast<long>(foundLast));
    m_test.PrintColor(range, overall ? kColorGreen : kColorRed);
    DWORD result = 1;
    if (saveFile) {
        const int chip = m_test.GetChipFromName(1);
        CString line = serial + (chip == 1 ? "Unpacker A " : chip == 2 ? "Unpacker B " : "") + Format("  DRAM=%ld:  ", static_cast<long>(dram)) +
                       range + "\r\n";
        // The line is what the command leaves behind: one that did not reach the file fails it.
        bool saved = saveFile->Append(line.c_str(), static_cast<DWORD>(line.GetLength()));
        int error = errno;
        if (!saveFile->Close() && saved) {
            saved = false;
            error = errno;
        }
        if (!saved) {
            m_test.PrintColor(images_detail::SaveFailureText("Unable to append to file " + serial + ".txt\n", error), kColorRed);
            result = 0;
        }
    }
    const Logged summary = EndLogs();
    if (phases == Logged::Lost || summary == Logged::Lost) result = 0;
    return result;
}

CSorbelinMemTests::Logged CSorbelinMemTests::AppendToLog(const char* name) {
    if (!m_test.FindLogFile(name, nullptr)) return Logged::Unmapped;
    if (m_test.FileAccess(name, &GetResultScreen())) return Logged::Written;
    m_test.PrintColor(m_test.LogFailureText(name, errno), kColorRed);
    return Logged::Lost;
}

CSorbelinMemTests::Logged CSorbelinMemTests::EndLogs() {
    const Logged logged = AppendToLog(kSummaryLog);
    for (const char* name : {kPhaseLog, kSummaryLog}) {
        CLogFile* log = nullptr;
        if (m_test.FindLogFile(name, &log) && log) m_test.PrintColor(Format("LogFile %s:\t%s\n", name, log->GetFileName().c_str()), kColorBlack);
    }
    return logged;
}
