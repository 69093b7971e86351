// CWexal's SDRAM tests: address, march, random (MT19937), DMA memory and DMA stress tests, FPGA temperature.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "boards/memory/mt19937.h"
#include "boards/wexal/wexal.h"
#include "boards/wexal/wexal_arguments.h"
#include "boards/wexal/wexal_dma_report.h"
#include "devlib/wexal_spaces.h"
#include "framework/arg_number.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/paged_memory.h"
#include "framework/hw/wexal_dcb.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "platform/clock.h"

namespace {

constexpr COLORREF kBlue = 0xFF0000;
constexpr COLORREF kDarkRed = 0x0000C0;
constexpr DWORD kBoardIdMain = 0x52;
constexpr DWORD kBoardIdCodec = 0x53;
constexpr WORD kBaseTag = 0xA5A;
constexpr DWORD kMinBurst = 0x1000;
constexpr DWORD kMaxBurst = 0x800000;
constexpr DWORD kStressPageBytes = 0x20000;
constexpr int kMaxCompareLines = 20;
constexpr int kMaxTimeoutReports = 10;
// The march works on runs of at most this many words (the probe tags carry a 16-bit index).
constexpr DWORD kMarchChunkWords = 0x10000;
// The random test's host buffer (1024 words), as the stream is regenerated rather than stored,
// and the region it covers: the first 64 KB of SDRAM.
constexpr DWORD kRandomChunkWords = 1024;
constexpr DWORD kRandomTestBytes = 0x10000;

// "%X" of a key (an optional 0X is taken by %X); FALSE, value untouched, for a word past 32 bits too.
BOOL ReadHex(const CParamString& params, const char* key, DWORD& value) {
    const ArgNumber read = ReadArgValue(params, key, platform::NumberForm::Hex, platform::kUnsigned32Field);
    if (read.state != ArgRead::Read) return FALSE;
    value = static_cast<DWORD>(read.value);
    return TRUE;
}

// "0X%08lX" of a key: the value must be written with its 0X prefix; one past 32 bits is no value.
BOOL ReadPrefixedHex(const CParamString& params, const char* key, DWORD& value) {
    const ArgNumber read = ReadArgValue(params, key, platform::NumberForm::Prefixed, platform::kUnsigned32Field);
    if (read.state != ArgRead::Read) return FALSE;
    value = static_cast<DWORD>(read.value);
    return TRUE;
}

long AsLong(DWORD v) { return static_cast<long>(static_cast<LONG>(v)); }

// The first non-zero reading of a sensor register, as signed degrees; FALSE (after a red line when
// the sensor kept reading 0) otherwise.
BOOL ReadNonZeroDegrees(CWexal& test, const char* name, int& degrees) {
    DWORD raw = 0;
    if (!test.ReadTemperatureNonZero(name, &raw)) {
        if (raw == 0)
            test.PrintColorFormat(kColorRed, "Wexal Temp:  sensor register %s read 0 %d times; giving up.\n", name,
                                  CWexalTreeMapTB::kTemperatureTries);
        return FALSE;
    }
    degrees = static_cast<signed char>(static_cast<BYTE>(raw));
    return TRUE;
}

// Sets bit 0 of the RAM control word (the SDRAM controller enable).
void EnableSdramController(RegisterPtr bar0) { bar0[CWexal::kRamControlRegister / 4] |= 1; }

void SetProgress(CProgressCtrl* progress, int low, int high) {
    if (!progress) return;
    progress->ShowWindow(5);
    progress->SetRange32(low, high);
    progress->SetPos(low);
}

void HideProgress(CProgressCtrl* progress) {
    if (progress) progress->ShowWindow(0);
}

// Line geometry of a DMA page of words DWORDs: lines x line length covers it with the first line
// taking the remainder. Pages of 4 to 8 K words would give no whole line of the stepped length;
// they become one line.
struct PageGeometry {
    DWORD lineLength;
    DWORD lines;
    DWORD initial;
};

PageGeometry DmaPageGeometry(DWORD words) {
    PageGeometry g{};
    if (words * 4 < 0x4000) {
        g.lineLength = 1024;
        g.lines = std::max<DWORD>(words / 1024, 1);
    } else {
        DWORD length = 0x1000;
        while (words / length > 0x3FFF) length += 0x1000;
        g.lineLength = length + 0x1000;
        g.lines = words / g.lineLength;
        if (g.lines == 0) {
            g.lines = 1;
            g.lineLength = words;
        }
    }
    g.initial = words - (g.lines - 1) * g.lineLength;
    return g;
}

// One leg of the DMA memory test (host to board, or board to host) and its report texts.
struct DmaLeg {
    const char* tookText;    // "Host to Wexal"
    const char* doneLabel;   // " 1) HostToWexal DMA"
    const char* stuckLabel;  // " 2) HostToWexal DMA:"
    const char* framesTitle; // "Host to Sorbelin"
};
constexpr DmaLeg kWriteLeg{"Host to Wexal", " 1) HostToWexal DMA", " 2) HostToWexal DMA:", "Host to Sorbelin"};
constexpr DmaLeg kReadLeg{"Wexal to Host", " 3) WexalToHost DMA", " 4) WexalToHost DMA:", "Sorbelin to Host"};

// Polls the channel's live context until the chain shows the tag with nothing left to move; 1 done,
// 2 after the time-out reports, 3 when the host asked to stop while it waited (a deadline that
// follows the test's size can be long).
DWORD WaitDmaLeg(CWexal& test, const DmaLeg& leg, DWORD channel, WORD tag, DWORD size, int verbose) {
    CWexalDMAChannel* dma = test.GetDMAChannel(static_cast<int>(channel));
    if (!dma) return kRunFailed;
    const DWORD deadlineMs = CWexal::PCIMasterDeadlineMs(size, CWexal::kPCIMasterRate);
    const DWORD kilobytes = size >> 10;
    CPerformanceList timer;
    timer.Init(2);
    timer.Keep();
    timer.SetMilliTimeout(deadlineMs, 0);
    LONGLONG frequency = 0;
    QueryPerformanceFrequency(&frequency);
    auto elapsedMs = [&]() -> LONGLONG {
        LONGLONG now = 0;
        QueryPerformanceCounter(&now);
        return frequency ? (now - timer.GetMark(0)) * 1000 / frequency : 0;
    };

    WexalDCB live;
    for (;;) {
        dma->GetDCB(0, &live);
        if (IsDcbComplete(live, tag)) break;
        if (CWexal::IsStopRequested()) return kRunStopped;
        if (timer.IsTimeout()) {
            for (int report = 0; report < kMaxTimeoutReports; ++report) {
                const CString text = DmaTimeoutReport(static_cast<int>(elapsedMs()), kilobytes, leg.stuckLabel, live);
                test.Print(text);
                Sleep(1);
                dma->GetDCB(0, &live);
                if (IsDcbComplete(live, tag)) break;
            }
            if (verbose > 1) test.ReportFrames(leg.framesTitle, channel, 1);
            return kRunFailed;
        }
    }
    timer.Keep();
    if (verbose >= 2) {
        const LONGLONG took = elapsedMs();
        CString text;
        text.Format("Transfer took %s[%ld, %ld] milliseconds for the completion of %d.%3.3dMbytes to DMA.\n"
                    "%s:  Tag=%2d  Lines=%2d  InitialWidth=%2d  Width=%2d.\n",
                    leg.tookText, static_cast<long>(took >> 32), static_cast<long>(took & 0xFFFFFFFF),
                    static_cast<int>(kilobytes / 1000), static_cast<int>(kilobytes % 1000), leg.doneLabel,
                    static_cast<int>(live.GetPortField().GetTag()), static_cast<int>(live.GetLines()),
                    static_cast<int>(live.GetInitialLineLength()), static_cast<int>(live.GetLineLength()));
        test.Print(text);
    }
    return kRunPassed;
}

// Lists the words of read that differ from written (at most *budget lines, counted down); the
// number of differing words seen.
int ListDifferences(CWexal& test, DWORD address, const DWORD* written, const DWORD* read, DWORD words, int& budget) {
    int differing = 0;
    for (DWORD i = 0; i < words; ++i) {
        if (written[i] == read[i]) continue;
        ++differing;
        if (budget <= 0) continue;
        --budget;
        test.PrintColorFormat(kColorRed, "WexalAddress[0x%08lX] Write[0x%08lX]  Read[0x%08lX] XOR[0x%08lX]\n",
                              static_cast<unsigned long>(address + 4 * i), static_cast<unsigned long>(written[i]),
                              static_cast<unsigned long>(read[i]), static_cast<unsigned long>(written[i] ^ read[i]));
    }
    return differing;
}

// Reads [address, address + bytes) word-exactly through the SDRAM space, scratchBytes at a time,
// and compares each slice with written(offset, count), the words written there; 1 equal, 2 after
// listing at most 20 words.
template <class Written>
DWORD SlaveCompare(CWexal& test, DWORD address, Written&& written, DWORD bytes, DWORD* scratch, DWORD scratchBytes) {
    test.PrintColor("Compare using slave mode reads\n", kColorBlack);
    int budget = kMaxCompareLines;
    bool differs = false;
    for (DWORD done = 0; done < bytes;) {
        const DWORD count = std::min(bytes - done, scratchBytes);
        const DWORD at = address + done;
        if (!test.ReadMemory(at, scratch, count)) return kRunFailed;
        if (ListDifferences(test, at, written(done, count), scratch, count / 4, budget)) differs = true;
        done += count;
    }
    if (differs) {
        test.PrintColor("Slave mode compare failed\n", kColorRed);
        return kRunFailed;
    }
    test.PrintColor("Slave mode compare passed\n", kColorGreen);
    return kRunPassed;
}

// Words the host allocates itself (not DMA memory); null when the memory is not there.
std::unique_ptr<DWORD[]> AllocWords(DWORD words) { return std::unique_ptr<DWORD[]>(new (std::nothrow) DWORD[words]); }

// Arguments shared by the two DMA memory tests.
struct DmaArguments {
    RegisterPtr bar0;
    DWORD seed = 0;
    DWORD incr = 0;
    bool sequence = false;
    bool slaveCompare = true;
    int verbose = 0;
};

// The increments of the cycles: Incr alone, or Incr, 2 x Incr, ... while they stay below 2^32.
class IncrementCycles {
public:
    IncrementCycles(DWORD incr, bool sequence) : m_incr(incr), m_sequence(sequence) {}
    bool Next(DWORD& increment) {
        ++m_step;
        if (!m_sequence && m_step > 1) return false;
        const ULONGLONG value = ULONGLONG{m_incr} * m_step;
        if (value > 0xFFFFFFFFull) return false;
        increment = static_cast<DWORD>(value);
        return true;
    }

private:
    DWORD m_incr;
    bool m_sequence;
    ULONGLONG m_step = 0;
};

// The checks and arguments the two DMA tests share: the device library, BAR0 (a red line naming
// the test) and the shared arguments; false after the refusal.
bool ReadDmaArguments(CWexal& test, const char* name, const CParamString& params, DmaArguments& args) {
    if (!GetZorvHardware()) {
        test.PrintColor("Call to GetZorvHardware Failed\n", kDarkRed);
        return false;
    }
    args.bar0 = test.GetBar0();
    if (!args.bar0) {
        test.PrintColorFormat(kColorRed, "CWexal::%s - PBrimolaBAR0 and PNuxaBAR0 not setup\n", name);
        return false;
    }
    if (!ReadPrefixedHex(params, "Seed", args.seed)) {
        test.PrintColor("No valid Seed parameter\n", kDarkRed);
        return false;
    }
    if (!ReadPrefixedHex(params, "Incr", args.incr)) {
        test.PrintColor("No valid Incr parameter\n", kDarkRed);
        return false;
    }
    CString text;
    args.sequence = params.GetValue("Mode", text) && text.CompareNoCase("Sequence") == 0;
    args.slaveCompare = !(params.GetValue("SlaveCompare", text) && text.CompareNoCase("Off") == 0);
    if (const CString refused = RefusedInts(params, {"Verbose"}); !refused.IsEmpty()) {
        test.PrintColor(refused, kColorRed);
        return false;
    }
    ReadIntArgument(params, "Verbose", args.verbose);
    // Incr 0 in sequence mode would repeat the same cycle about four billion times.
    if (args.sequence && args.incr == 0) {
        test.PrintColor("Incr must not be 0 in Sequence mode\n", kDarkRed);
        return false;
    }
    return true;
}

// Banner, board identity and SDRAM controller enable of the DMA tests; false after the refusal.
bool StartDmaTest(CWexal& test, RegisterPtr bar0) {
    test.PrintColor("\n", kColorBlack);
    test.PrintColor("--------------------------------------------\n", kColorBlack);
    test.PrintColor("DMA PCI Memory Test\n", kBlue);
    test.PrintColor("--------------------------------------------\n", kColorBlack);
    const DWORD id = bar0[CWexal::kBoardIdRegister / 4].Read() & 0xFF;
    if (id == kBoardIdMain) {
        test.PrintColor("Testing Brimola...\n", kColorBlack);
    } else if (id == kBoardIdCodec) {
        test.PrintColor("Testing Nuxa...\n", kColorBlack);
    } else {
        test.PrintColorFormat(kDarkRed, "Unknown board, ID= 0x%X\n", static_cast<unsigned>(id));
        return false;
    }
    test.PrintColor("Initialising SDRAM Controller\n", kColorBlack);
    EnableSdramController(bar0);
    return true;
}

// The base DCB of the DMA tests (tag 0xA5A, buffer control unit 0) with the page geometry, and
// unit 0 cleared and running.
WexalDCB MakeBaseDCB(CWexal& test, DWORD pageBytes) {
    test.PrintColor("Initialize base DCB\n", kBlue);
    WexalDCB dcb;
    dcb.GetPortField().SetContextID(0);
    dcb.GetPortField().SetSecondaryControl(0);
    dcb.GetPortField().SetTag(kBaseTag);
    const PageGeometry g = DmaPageGeometry(pageBytes / 4);
    dcb.SetLines(static_cast<WORD>(g.lines - 1));
    dcb.SetInitialLineLength(static_cast<WORD>(g.initial));
    dcb.SetLineLength(static_cast<WORD>(g.lineLength));
    dcb.SetPad(0);
    BufferControlUnit unit(test.GetBar0() + BufferControlUnit::kBase / 4);
    unit.Clear();
    unit.SetGo(1);
    return dcb;
}

// A paged DMA buffer of one page, or null after the red allocation line.
std::unique_ptr<CPagedBuffer> AllocDmaBuffer(CWexal& test, DWORD bytes, const char* what) {
    std::unique_ptr<CPagedBuffer> buffer(
        new (std::nothrow) CPagedBuffer(GetZorvHardware(), bytes, bytes, CPagedBuffer::kMaxEntryBytes));
    if (buffer && buffer->IsValid()) return buffer;
    Drv_Return r;
    if (buffer) buffer->GetDrvReturn(&r);
    // The buffer keeps the answer to its page table; when that succeeded a page failed, and the
    // device library's answer for a page is the one to show.
    if (r.status == DRV_SUCCESS) {
        void* address = nullptr;
        LARGE_INTEGER bus{};
        CHostPCDevice* device = GetZorvHardware();
        r = device ? device->Malloc(bytes, &address, &bus) : Drv_Return{};
        if (r.status == DRV_SUCCESS) device->Free(address);
    }
    test.PrintColorFormat(kDarkRed, "ERROR:  Unable to allocate %s.  DrvReturn[0x%08lX:0x%08lX]\n", what,
                          static_cast<unsigned long>(r.status), static_cast<unsigned long>(r.detail));
    return nullptr;
}

DWORD PciLow(const CPagedBuffer& buffer) { return static_cast<DWORD>(buffer.GetPageTableAddress(0)); }
DWORD PciHigh(const CPagedBuffer& buffer) { return static_cast<DWORD>(buffer.GetPageTableAddress(0) >> 32); }

// Flushes the channel, points the DCB at the SDRAM address and the host page table, loads it as
// DCB 1 and triggers it; 2 without the channel or the DCB.
DWORD StartPCIMasterDma(CWexal& test, DWORD pciLow, DWORD pciHigh, DWORD channel, WexalDCB* dcb, DWORD sdramAddress) {
    CWexalDMAChannel* dma = test.GetDMAChannel(static_cast<int>(channel));
    if (!dma || !dcb) return kRunFailed;
    dma->Flush();
    dcb->SetStartAddress(sdramAddress);
    dcb->GetPCIAddressField().Set(pciLow, pciHigh);
    dma->SetDCB(1, dcb);
    dma->Trigger(1);
    return kRunPassed;
}

}  // namespace

void CWexal::FillSeedIncrement(DWORD* buffer, DWORD count, DWORD& seed, DWORD increment) {
    if (!buffer || count < 8) return;
    // A plain induction (no store feeds the next word), so the loop vectorises.
    DWORD value = seed;
    for (DWORD i = 0; i < count; ++i, value += increment) buffer[i] = value;
    seed = buffer[count - 1];
}

DWORD CWexal::StartWriteDMA(DWORD pciLow, DWORD pciHigh, DWORD channel, WexalDCB* dcb, DWORD sdramAddress) {
    if (channel != 16 && channel != 17) return kRunFailed;
    return StartPCIMasterDma(*this, pciLow, pciHigh, channel, dcb, sdramAddress);
}

DWORD CWexal::StartReadDMA(DWORD pciLow, DWORD pciHigh, DWORD channel, WexalDCB* dcb, DWORD sdramAddress) {
    if (channel != 12 && channel != 13) return kRunFailed;
    return StartPCIMasterDma(*this, pciLow, pciHigh, channel, dcb, sdramAddress);
}

namespace {

// Starts a write (host to board) or read DMA; false after a red line when it cannot start.
bool StartDma(CWexal& test, bool write, DWORD pciLow, DWORD pciHigh, DWORD channel, WexalDCB* dcb, DWORD sdramAddress) {
    const DWORD started = write ? test.StartWriteDMA(pciLow, pciHigh, channel, dcb, sdramAddress)
                                : test.StartReadDMA(pciLow, pciHigh, channel, dcb, sdramAddress);
    if (started == kRunPassed) return true;
    test.PrintColorFormat(kColorRed, "ERROR:  Unable to start the DMA on channel %ld\n", static_cast<long>(channel));
    return false;
}

}  // namespace

DWORD CWexal::ReportTemperature() {
    int current = 0;
    if (!ReadNonZeroDegrees(*this, "1TEMP", current)) return kRunFailed;
    if (m_sensorHighLimit == 0 && !ReadNonZeroDegrees(*this, "1RHI", m_sensorHighLimit)) return kRunFailed;
    m_peakTemperature = std::max(m_peakTemperature, current);
    PrintColorFormat(kColorGreen, "Wexal Temp:  Peek[%dC]  Current[%dC]\n", m_peakTemperature, current);
    if (current > m_sensorHighLimit) {
        PrintColorFormat(kColorRed, "Wexal Temp:  Peek[%dC]  Current[%dC]  Max[%dC]\n", m_peakTemperature, current,
                         m_sensorHighLimit);
        m_peakTemperature = current;
        return kRunFailed;
    }
    return kRunPassed;
}

const DWORD* CWexal::GetSDRAMView(DWORD address, DWORD bytes) {
    CWexalSDRAMSpace* sdram = m_boardIF.GetWexalSDRAMSpace();
    return sdram ? static_cast<const DWORD*>(sdram->GetSDRAMPointer(KWO_RAMWIN_1, address, bytes)) : nullptr;
}

namespace {

// The words of SDRAM at address: a view through the device library's window, else a copy read
// into scratch (which holds bytes); null after ReadMemory's red line.
const DWORD* ReadWords(CWexal& test, DWORD address, DWORD bytes, DWORD* scratch) {
    if (const DWORD* view = test.GetSDRAMView(address, bytes)) return view;
    return test.ReadMemory(address, scratch, bytes) ? scratch : nullptr;
}

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define PEX_WIDE_SCAN __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define PEX_WIDE_SCAN
#endif

// The OR of every word XOR value: 0 when all count words hold value. The words are read in one
// pass, 64 at a time into four accumulators, as wide as the CPU's vectors go: the march's runs
// come from memory, not the cache, and the compare must keep up with them. Only a differing run
// is walked word by word by the caller.
PEX_WIDE_SCAN DWORD DifferingBits(const DWORD* words, DWORD count, DWORD value) {
    typedef DWORD Wide __attribute__((vector_size(64)));
    constexpr DWORD kWideWords = sizeof(Wide) / sizeof(DWORD), kAccumulators = 4;
    constexpr DWORD kStep = kWideWords * kAccumulators;
    const Wide expected = Wide{} + value;
    Wide acc[kAccumulators] = {};
    DWORD i = 0;
    for (; count - i >= kStep; i += kStep)
        for (DWORD a = 0; a < kAccumulators; ++a) {
            Wide w;
            std::memcpy(&w, words + i + a * kWideWords, sizeof w);
            acc[a] |= w ^ expected;
        }
    const Wide all = (acc[0] | acc[1]) | (acc[2] | acc[3]);
    DWORD bits = 0;
    for (DWORD k = 0; k < kWideWords; ++k) bits |= all[k];
    for (; i < count; ++i) bits |= words[i] ^ value;
    return bits;
}

// The start shared by the address and march tests: BAR0, the SDRAM controller enable, ABORTCOUNT,
// VERBOSE and the memory size; false after the red line naming the test.
struct WordTestStart {
    int abortCount = 1;
    int verbose = 1;
    ULONGLONG memory = 0;
};

bool StartWordTest(CWexal& test, const char* name, const CParamString& params, WordTestStart& start) {
    const RegisterPtr bar0 = test.GetBar0();
    if (!bar0) {
        test.PrintColorFormat(kColorRed, "CWexal::%s - PBrimolaBAR0 and PNuxaBAR0 not setup\n", name);
        return false;
    }
    if (const CString refused = RefusedInts(params, {"ABORTCOUNT", "VERBOSE"}); !refused.IsEmpty()) {
        test.PrintColor(refused, kColorRed);
        return false;
    }
    EnableSdramController(bar0);
    start.verbose = test.DefaultVerbose();
    ReadIntArgument(params, "ABORTCOUNT", start.abortCount);
    ReadIntArgument(params, "VERBOSE", start.verbose);
    start.memory = test.GetSDRAMSize();
    if (start.memory < 4) {
        test.PrintColorFormat(kColorRed, "CWexal::%s - no SDRAM on this board\n", name);
        return false;
    }
    return true;
}

}  // namespace

DWORD CWexal::Addr_Mem_Test(CString arguments) {
    const CParamString params(arguments);
    WordTestStart args;
    if (!StartWordTest(*this, "Addr_Mem_Test", params, args)) return kRunFailed;

    std::vector<DWORD> addresses{0};
    for (ULONGLONG a = 4; a < args.memory; a <<= 1) addresses.push_back(static_cast<DWORD>(a));

    int failures = 0;
    DWORD result = kRunPassed;
    for (const DWORD mask : {0u, 0xFFFFFFFFu}) {
        for (const DWORD address : addresses) {
            const DWORD data = address ^ mask;
            if (!WriteMemory(&data, address, 4)) return kRunFailed;
        }
        PostWriteFlush();
        for (const DWORD address : addresses) {
            if (IsStopRequested()) return kRunStopped;
            DWORD read = 0;
            if (!ReadMemory(address, &read, 4)) return kRunFailed;
            const DWORD expected = address ^ mask;
            if (read == expected) continue;
            result = kRunFailed;
            if (args.verbose) {
                PrintColor("Address Memory Test Failed\n", kColorRed);
                PrintColorFormat(kColorRed, "SDRAM Address: 0x%08X\n", address);
                PrintColorFormat(kColorRed, "Good Data: 0x%08X\n", expected);
                PrintColorFormat(kColorRed, "Bad Data: 0x%08X\n", read);
            }
            if (++failures >= args.abortCount) return kRunFailed;
        }
    }
    return result;
}

namespace {

// Probe tag of word i of a chunk: its index and, in the high half, the complement of the index, so
// a stuck data bit never makes two tags read back alike.
DWORD ProbeTag(DWORD i) { return (i & 0xFFFF) | (~i << 16); }

// The largest run (log2 of words) into which a probed chunk splits with no two words of one run on
// the same cells. diff holds read XOR tag per word. Two words on the same cells read the same value,
// so their tags agree outside the bits D that differed somewhere in their run; tags of words whose
// index differs in bit k differ in bits k and k + 16, so a run whose D never holds both is clean.
int CleanRunLog2(const DWORD* diff, DWORD words) {
    for (int m = 16; m > 0; --m) {
        const DWORD run = 1u << m, indexBits = run - 1;
        bool clean = true;
        for (DWORD first = 0; first < words && clean; first += run) {
            DWORD d = 0;
            for (DWORD i = first; i < std::min(words, first + run); ++i) d |= diff[i];
            clean = ((d & (d >> 16)) & indexBits) == 0;
        }
        if (clean) return m;
    }
    return 0;
}

}  // namespace

// Each element of the march reads, checks and rewrites one word before it reads the next, so an
// address alias shows: the later word reads what was written through the earlier one. The words
// move a run per call, which reads the same only while no two words of a run share their cells. So
// before the patterns each chunk is written with distinct tags and read back, and a chunk whose tags
// come back alike is cut into smaller runs, down to single words, until no run can hold two such words.
DWORD CWexal::March_Mem_Test(CString arguments) {
    const CParamString params(arguments);
    for (const char* key : {"StartAddress", "EndAddress"}) {
        const ArgNumber read = ReadArgValue(params, key, platform::NumberForm::Hex, platform::kUnsigned32Field);
        if (read.state != ArgRead::Refused) continue;
        PrintColor(read.refusal, kColorRed);
        return kRunFailed;
    }
    WordTestStart args;
    if (!StartWordTest(*this, "March_Mem_Test", params, args)) return kRunFailed;
    const int verbose = args.verbose;
    DWORD start = 0, end = static_cast<DWORD>(args.memory - 4);
    ReadHex(params, "StartAddress", start);
    if (ReadHex(params, "EndAddress", end) && end >= args.memory) {
        PrintColor("End Address greater than memory on card\n", kColorRed);
        return kRunFailed;
    }
    start &= ~3u;
    end &= ~3u;
    if (start > end) {
        PrintColorFormat(kColorRed, "Start Address 0x%08X greater than End Address 0x%08X\n", start, end);
        return kRunFailed;
    }

    std::unique_ptr<DWORD[]> fill = AllocWords(kMarchChunkWords);
    std::unique_ptr<DWORD[]> scratch = AllocWords(kMarchChunkWords);
    if (!fill || !scratch) {
        PrintColor("CWexal::March_Mem_Test - unable to allocate host buffers\n", kColorRed);
        return kRunFailed;
    }
    const ULONGLONG totalWords = (ULONGLONG{end} - start) / 4 + 1;
    const ULONGLONG chunks = (totalWords + kMarchChunkWords - 1) / kMarchChunkWords;
    auto chunkAt = [&](ULONGLONG c, DWORD& address, DWORD& words) {
        address = static_cast<DWORD>(start + c * kMarchChunkWords * 4);
        words = static_cast<DWORD>(std::min<ULONGLONG>(kMarchChunkWords, totalWords - c * kMarchChunkWords));
    };

    // Run size of each chunk, from the address probe.
    std::vector<unsigned char> runLog2(static_cast<size_t>(chunks), 16);
    for (DWORD i = 0; i < kMarchChunkWords; ++i) fill[i] = ProbeTag(i);
    for (ULONGLONG c = 0; c < chunks; ++c) {
        if (IsStopRequested()) return kRunStopped;
        DWORD address = 0, words = 0;
        chunkAt(c, address, words);
        if (!WriteMemory(fill.get(), address, words * 4)) return kRunFailed;
        const DWORD* read = ReadWords(*this, address, words * 4, scratch.get());
        if (!read) return kRunFailed;
        if (std::memcmp(read, fill.get(), words * 4) == 0) continue;
        for (DWORD i = 0; i < words; ++i) scratch[i] = read[i] ^ fill[i];
        runLog2[static_cast<size_t>(c)] = static_cast<unsigned char>(CleanRunLog2(scratch.get(), words));
    }

    int failures = 0;
    DWORD result = kRunPassed;
    // One element over one run: the run read, its words checked against expected in the element's
    // order, then rewritten with the other value. Answers 0 to go on, else the test's result.
    auto run = [&](DWORD address, DWORD words, DWORD expected, bool ascending) -> DWORD {
        const DWORD* read = ReadWords(*this, address, words * 4, scratch.get());
        if (!read) return kRunFailed;
        if (DifferingBits(read, words, expected)) {
            for (DWORD n = 0; n < words; ++n) {
                const DWORD i = ascending ? n : words - 1 - n;
                if (read[i] == expected) continue;
                result = kRunFailed;
                if (verbose) {
                    PrintColor("March Memory Test Failed\n", kColorRed);
                    PrintColorFormat(kColorRed, "SDRAM Address: 0x%08X\n", address + 4 * i);
                    PrintColorFormat(kColorRed, "Good Data: 0x%08X\n", expected);
                    PrintColorFormat(kColorRed, "Bad Data: 0x%08X\n", read[i]);
                    PrintColorFormat(kColorRed, "Bits in error: 0x%08X\n", read[i] ^ expected);
                }
                if (++failures >= args.abortCount) return kRunFailed;
            }
        }
        return WriteMemory(fill.get(), address, words * 4) ? 0 : kRunFailed;
    };
    auto element = [&](DWORD expected, bool ascending) -> DWORD {
        std::fill_n(fill.get(), kMarchChunkWords, ~expected);
        for (ULONGLONG k = 0; k < chunks; ++k) {
            if (IsStopRequested()) return kRunStopped;
            const ULONGLONG c = ascending ? k : chunks - 1 - k;
            DWORD address = 0, words = 0;
            chunkAt(c, address, words);
            const DWORD runWords = 1u << runLog2[static_cast<size_t>(c)];
            const DWORD runs = (words + runWords - 1) / runWords;
            for (DWORD r = 0; r < runs; ++r) {
                const DWORD first = (ascending ? r : runs - 1 - r) * runWords;
                if (const DWORD stop = run(address + 4 * first, std::min(runWords, words - first), expected, ascending))
                    return stop;
            }
        }
        return 0;
    };
    auto writeAll = [&](DWORD value) {
        std::fill_n(fill.get(), kMarchChunkWords, value);
        for (ULONGLONG c = 0; c < chunks; ++c) {
            DWORD address = 0, words = 0;
            chunkAt(c, address, words);
            if (!WriteMemory(fill.get(), address, words * 4)) return false;
        }
        return true;
    };

    static const DWORD kBackgrounds[] = {0xFFFF0000, 0xFF00FF00, 0x0F0F0F0F, 0xCCCCCCCC, 0xAAAAAAAA, 0x00000000};
    for (const DWORD pattern : kBackgrounds) {
        if (verbose) {
            PrintDateTime(kBlue);
            PrintColorFormat(kBlue, "Writing background data pattern 0x%08X\n", pattern);
        }
        if (!writeAll(pattern)) return kRunFailed;
        if (verbose) {
            PrintDateTime(kColorBlack);
            PrintColorFormat(kColorBlack, "Begin Reading data pattern 0x%08X\n", pattern);
        }
        PostWriteFlush();
        if (const DWORD stop = element(pattern, true)) return stop;
        if (verbose) {
            PrintDateTime(kColorGreen);
            PrintColorFormat(kColorGreen, "Begin Reading data pattern 0x%08X\n", ~pattern);
        }
        PostWriteFlush();
        if (const DWORD stop = element(~pattern, false)) return stop;
    }
    return result;
}

DWORD CWexal::RandomMemPass(DWORD start, DWORD bytes, DWORD seed, int verbose, int abortCount, BOOL complement) {
    // Seed 0 would write nothing but zeros and let bits stuck at 0 pass.
    if (seed == 0) seed = CMersenneTwister1998::kDefaultSeed;
    const DWORD mask = complement ? 0xFFFFFFFF : 0;
    const DWORD words = bytes / 4;
    DWORD buffer[kRandomChunkWords];
    DWORD expected[kRandomChunkWords];
    CMersenneTwister1998& generator = SharedMemTestGenerator();

    generator.Seed(seed);
    for (DWORD done = 0; done < words;) {
        const DWORD n = std::min(words - done, kRandomChunkWords);
        generator.Fill(buffer, n, mask);
        if (!WriteMemory(buffer, start + done * 4, n * 4)) return kRunFailed;
        done += n;
    }

    generator.Seed(seed);
    int failures = 0;
    DWORD bitsInError = 0;
    const int limit = std::max(abortCount, 1);
    for (DWORD done = 0; done < words;) {
        if (IsStopRequested()) return kRunStopped;
        const DWORD n = std::min(words - done, kRandomChunkWords);
        const DWORD at = start + done * 4;
        const DWORD* read = ReadWords(*this, at, n * 4, buffer);
        if (!read) return kRunFailed;
        generator.Fill(expected, n, mask);
        if (std::memcmp(read, expected, n * 4) != 0) {
            for (DWORD i = 0; i < n; ++i) {
                if (read[i] == expected[i]) continue;
                if (verbose)
                    PrintColorFormat(kColorRed, "\tFAILURE: random: at 0x%08x wrote 0x%08x read 0x%08x\n", at + i * 4,
                                     expected[i], read[i]);
                bitsInError |= read[i] ^ expected[i];
                if (++failures >= limit) {
                    if (verbose)
                        PrintColorFormat(kColorRed, "\tRandom value test failed %d times: 0x%08x\n\n", failures,
                                         bitsInError);
                    return kRunFailed;
                }
            }
        }
        done += n;
    }
    if (failures) {
        if (verbose) PrintColorFormat(kColorRed, "\tRandom value test failed %d times: 0x%08x\n\n", failures, bitsInError);
        return kRunFailed;
    }
    if (verbose) PrintColor("\tRandom value test passed\n", kColorBlack);
    return kRunPassed;
}

DWORD CWexal::RandomMemTest(CString arguments) {
    const RegisterPtr bar0 = GetBar0();
    if (!bar0) {
        PrintColor("CWexal::RandomMemTest - Setup Error\n  m_Wexal.m_pBrimola[0x00000000],m_Wexal.m_pNuxa[0x00000000]\n",
                   kColorRed);
        return kRunFailed;
    }
    EnableSdramController(bar0);

    const CParamString params(arguments);
    int seed = static_cast<int>(GetClockValue()), comp = 0, abortCount = 1, verbose = 0;
    if (const CString refused = RefusedInts(params, {"SEED", "COMP", "ABORTCOUNT", "VERBOSE"}); !refused.IsEmpty()) {
        PrintColor(refused, kColorRed);
        return kRunFailed;
    }
    ReadIntArgument(params, "SEED", seed);
    ReadIntArgument(params, "COMP", comp);
    ReadIntArgument(params, "ABORTCOUNT", abortCount);
    ReadIntArgument(params, "VERBOSE", verbose);

    const DWORD first = RandomMemPass(0, kRandomTestBytes, static_cast<DWORD>(seed), verbose, abortCount, FALSE);
    if (first != kRunPassed || comp == 0) return first;
    return RandomMemPass(0, kRandomTestBytes, static_cast<DWORD>(seed), verbose, abortCount, TRUE);
}

DWORD CWexal::DMA_MemoryTest(CString arguments) {
    const CParamString params(arguments);
    DmaArguments args;
    if (!ReadDmaArguments(*this, "DMA_MemoryTest", params, args)) return kRunFailed;
    const RegisterPtr bar0 = args.bar0;
    DWORD addr = 0;
    if (!ReadPrefixedHex(params, "Addr", addr)) {
        PrintColor("No valid Addr parameter\n", kDarkRed);
        return kRunFailed;
    }
    int chWrite = 0, chRead = 0, size = 0, burst = 0;
    if (const CString refused = RefusedInts(params, {"ChWrite", "ChRead", "Size", "Burst"}); !refused.IsEmpty()) {
        PrintColor(refused, kColorRed);
        return kRunFailed;
    }
    if (!ReadIntArgument(params, "ChWrite", chWrite)) {
        PrintColor("No valid ChWrite to test\n", kDarkRed);
        return kRunFailed;
    }
    if (chWrite != 16 && chWrite != 17) {
        PrintColor("Invalid ChWrite Number\n", kDarkRed);
        return kRunFailed;
    }
    if (!ReadIntArgument(params, "ChRead", chRead)) {
        PrintColor("No valid ChRead to test\n", kDarkRed);
        return kRunFailed;
    }
    if (chRead != 12 && chRead != 13) {
        PrintColor("Invalid ChRead Number\n", kDarkRed);
        return kRunFailed;
    }
    ReadIntArgument(params, "Size", size);
    ReadIntArgument(params, "Burst", burst);
    if (burst < static_cast<int>(kMinBurst) || burst > static_cast<int>(kMaxBurst)) {
        PrintColor("Invalid Alloc Size:  Range[4k ... 8MB]\n", kDarkRed);
        return kRunFailed;
    }
    // Nothing would move: a size of 0 or below one burst passed without testing a word.
    const DWORD sizeBytes = size > 0 ? static_cast<DWORD>(size) & ~3u : 0;
    if (sizeBytes == 0 || sizeBytes < static_cast<DWORD>(burst)) {
        PrintColor("Invalid Buffer Size\n", kDarkRed);
        return kRunFailed;
    }
    const DWORD pageBytes = static_cast<DWORD>(burst) & ~3u;
    const DWORD chunks = sizeBytes / pageBytes;
    if (ULONGLONG{addr} + ULONGLONG{chunks} * pageBytes > GetSDRAMSize()) {
        PrintColorFormat(kDarkRed, "Addr[0x%08lX] + Size[%ld] is beyond the memory on the card\n",
                         static_cast<unsigned long>(addr), AsLong(sizeBytes));
        return kRunFailed;
    }

    if (!StartDmaTest(*this, bar0)) return kRunFailed;
    PrintColor("Allocate host DMA buffer\n", kBlue);
    std::unique_ptr<CPagedBuffer> dmaBuffer = AllocDmaBuffer(*this, pageBytes, "DmaMemory");
    if (!dmaBuffer) return kRunFailed;
    PrintColor("Allocate host SRC buffer\n", kBlue);
    std::unique_ptr<DWORD[]> src = AllocWords(sizeBytes / 4);
    if (!src) {
        PrintColor("Unable to allocate host SRC buffer\n", kDarkRed);
        return kRunFailed;
    }
    PrintColor("Allocate host DST buffer\n", kBlue);
    const DWORD dstBytes = std::min(sizeBytes, dmaBuffer->GetPageSize()) & ~3u;
    std::unique_ptr<DWORD[]> dst = AllocWords(dstBytes / 4);
    if (!dst) {
        PrintColor("Unable to allocate host DST buffer\n", kDarkRed);
        return kRunFailed;
    }
    WexalDCB base = MakeBaseDCB(*this, pageBytes);

    CProgressCtrl* progress = GetProgressCtrl();
    m_peakTemperature = 0;
    DWORD result = kRunPassed;
    IncrementCycles cycles(args.incr, args.sequence);
    DWORD increment = 0;
    bool firstCycle = true;
    while (result == kRunPassed && cycles.Next(increment)) {
        if (!firstCycle && IsStopRequested()) {
            result = kRunStopped;
            break;
        }
        firstCycle = false;
        const DWORD temperature = ReportTemperature();
        if (temperature != kRunPassed) {
            result = temperature;
            break;
        }
        PrintColorFormat(kColorBlack, "Filling host memory buffer Seed[0x%08lX] Incr[0x%08lX]\n",
                         static_cast<unsigned long>(args.seed), static_cast<unsigned long>(increment));
        DWORD seed = args.seed;
        FillSeedIncrement(src.get(), sizeBytes / 4, seed, increment);

        PrintColor("DMA host data to board\n", kBlue);
        SetProgress(progress, 0, static_cast<int>(chunks));
        for (DWORD k = 0; k < chunks && result == kRunPassed; ++k) {
            if (IsStopRequested()) {
                result = kRunStopped;
                break;
            }
            if (!dmaBuffer->CopyIn(reinterpret_cast<const BYTE*>(src.get()) + k * pageBytes, static_cast<int>(pageBytes))) {
                PrintColor("Unable to copy host buffer to DMA buffer\n", kDarkRed);
                result = kRunFailed;
                break;
            }
            WexalDCB dcb = base;
            if (!StartDma(*this, true, PciLow(*dmaBuffer), PciHigh(*dmaBuffer), static_cast<DWORD>(chWrite), &dcb,
                          addr + k * pageBytes)) {
                result = kRunFailed;
                break;
            }
            result = WaitDmaLeg(*this, kWriteLeg, static_cast<DWORD>(chWrite), kBaseTag, sizeBytes, args.verbose);
            if (progress) progress->SetPos(static_cast<int>(k + 1));
        }
        if (result != kRunPassed) break;

        PrintColor("DMA & compare board data to host\n", kBlue);
        bool dmaCompareFailed = false;
        for (DWORD k = 0; k < chunks; ++k) {
            if (IsStopRequested()) {
                result = kRunStopped;
                break;
            }
            dmaBuffer->Clear();
            WexalDCB dcb = base;
            if (!StartDma(*this, false, PciLow(*dmaBuffer), PciHigh(*dmaBuffer), static_cast<DWORD>(chRead), &dcb,
                          addr + k * pageBytes)) {
                result = kRunFailed;
                break;
            }
            result = WaitDmaLeg(*this, kReadLeg, static_cast<DWORD>(chRead), kBaseTag, sizeBytes, args.verbose);
            if (result != kRunPassed) break;
            const DWORD* expected = src.get() + k * (pageBytes / 4);
            if (dmaBuffer->Compare(reinterpret_cast<const BYTE*>(expected), pageBytes)) continue;
            dmaBuffer->CopyOut(reinterpret_cast<BYTE*>(dst.get()), static_cast<int>(dstBytes));
            int budget = kMaxCompareLines;
            ListDifferences(*this, addr + k * pageBytes, expected, dst.get(), dstBytes / 4, budget);
            dmaCompareFailed = true;
            result = kRunFailed;
            break;
        }
        if (dmaCompareFailed)
            PrintColor("DMA_Read compare failed\n", kColorRed);
        else if (result == kRunPassed)
            PrintColor("DMA_Read compare passed\n", kColorGreen);
        PostWriteFlush();
        if (dmaCompareFailed && args.slaveCompare)
            SlaveCompare(*this, addr, [&](DWORD offset, DWORD) -> const DWORD* { return src.get() + offset / 4; },
                         chunks * pageBytes, dst.get(), dstBytes);
    }
    HideProgress(progress);
    return result;
}

DWORD CWexal::DMA_MemoryStressTest(CString arguments) {
    const CParamString params(arguments);
    DmaArguments args;
    if (!ReadDmaArguments(*this, "DMA_MemoryStressTest", params, args)) return kRunFailed;
    const RegisterPtr bar0 = args.bar0;
    long loops = 1;
    const ArgNumber loopRead = ReadArgValue(params, "Loop", platform::NumberForm::Decimal, platform::kSigned32Field);
    if (loopRead.state == ArgRead::Refused) {
        PrintColor(loopRead.refusal, kColorRed);
        return kRunFailed;
    }
    if (loopRead.state == ArgRead::Read) loops = static_cast<long>(loopRead.value);
    // No loop would move a byte, and the test would pass untested.
    if (loops <= 0) {
        PrintColorFormat(kDarkRed, "Invalid Loop count:  Loop[%ld]\n", loops);
        return kRunFailed;
    }

    if (!StartDmaTest(*this, bar0)) return kRunFailed;
    std::unique_ptr<CPagedBuffer> writeBuffer = AllocDmaBuffer(*this, kStressPageBytes, "DmaMemoryWr0");
    if (!writeBuffer) return kRunFailed;
    std::unique_ptr<CPagedBuffer> readBuffers[2];
    readBuffers[0] = AllocDmaBuffer(*this, kStressPageBytes, "DmaMemoryRd0");
    if (!readBuffers[0]) return kRunFailed;
    readBuffers[1] = AllocDmaBuffer(*this, kStressPageBytes, "DmaMemoryRd1");
    if (!readBuffers[1]) return kRunFailed;

    // The block is half of what the SPD describes (both modules together), and never more than
    // half the memory, so the video utility traffic into the block above it stays on the card.
    const ULONGLONG half = std::min<ULONGLONG>(ReadSPD() / 2, GetSDRAMSize() / 2);
    const DWORD chunks = static_cast<DWORD>(half / kStressPageBytes);
    const DWORD blockBytes = chunks * kStressPageBytes;
    if (chunks == 0) {
        PrintColor("Invalid Buffer Size\n", kDarkRed);
        return kRunFailed;
    }
    // The block's words follow from the seed and the increment, so each page's are made when it
    // is written or compared, in a buffer the cache keeps, instead of a host copy of the block.
    std::unique_ptr<DWORD[]> src = AllocWords(kStressPageBytes / 4);
    if (!src) {
        PrintColor("Unable to allocate host SRC buffer\n", kDarkRed);
        return kRunFailed;
    }
    std::unique_ptr<DWORD[]> dst = AllocWords(kStressPageBytes / 4);
    if (!dst) {
        PrintColor("Unable to allocate host DST buffer\n", kDarkRed);
        return kRunFailed;
    }
    WexalDCB base = MakeBaseDCB(*this, kStressPageBytes);

    VideoUtilityClient background(this);
    const DWORD halfBytes = static_cast<DWORD>(half);
    background.StartTransfer(0, halfBytes, halfBytes, 1);

    constexpr DWORD kPageWords = kStressPageBytes / 4;
    // The page of the block at byte offset: its words of the seed-and-increment stream, in src.
    DWORD increment = 0;
    auto page = [&](DWORD offset) -> const DWORD* {
        DWORD seed = args.seed + offset / 4 * increment;
        FillSeedIncrement(src.get(), kPageWords, seed, increment);
        return src.get();
    };

    m_peakTemperature = 0;
    DWORD result = kRunPassed;
    for (long loop = 1; loop <= loops && result == kRunPassed; ++loop) {
        PrintColorFormat(kColorBlack, "Loop #%ld\n", loop);
        IncrementCycles cycles(args.incr, args.sequence);
        while (result == kRunPassed && cycles.Next(increment)) {
            if (IsStopRequested()) {
                result = kRunStopped;
                break;
            }
            result = ReportTemperature();
            if (result != kRunPassed) break;
            bool compareFailed = false;
            for (int pass = 0; pass < 2 && result == kRunPassed; ++pass) {
                PrintColorFormat(kBlue, "DMA WexalAddr[0x%08lX]  Size[%ld] and compare board data to host\n", 0ul,
                                 AsLong(blockBytes));
                for (DWORD k = 0; k < chunks && result == kRunPassed; ++k) {
                    if (IsStopRequested()) {
                        result = kRunStopped;
                        break;
                    }
                    const DWORD address = k * kStressPageBytes;
                    const DWORD* expected = page(address);
                    if (pass == 0) {
                        writeBuffer->CopyIn(reinterpret_cast<const BYTE*>(expected), static_cast<int>(kStressPageBytes));
                        WexalDCB dcb = base;
                        if (!StartDma(*this, true, PciLow(*writeBuffer), PciHigh(*writeBuffer), 16, &dcb, address)) {
                            result = kRunFailed;
                            break;
                        }
                        result = WaitPCIMasterDma(16, &dcb, address, kStressPageBytes, kPCIMasterRate, 1);
                        if (result != kRunPassed) break;
                    }
                    readBuffers[0]->Clear();
                    readBuffers[1]->Clear();
                    WexalDCB read0 = base, read1 = base;
                    if (!StartDma(*this, false, PciLow(*readBuffers[0]), PciHigh(*readBuffers[0]), 12, &read0, address) ||
                        !StartDma(*this, false, PciLow(*readBuffers[1]), PciHigh(*readBuffers[1]), 13, &read1, address)) {
                        result = kRunFailed;
                        break;
                    }
                    const DWORD wait12 = WaitPCIMasterDma(12, &read0, address, kStressPageBytes, kPCIMasterRate, 1);
                    const DWORD wait13 = WaitPCIMasterDma(13, &read1, address, kStressPageBytes, kPCIMasterRate, 1);
                    if (wait12 != kRunPassed || wait13 != kRunPassed) {
                        result = wait12 == kRunStopped || wait13 == kRunStopped ? kRunStopped : kRunFailed;
                        break;
                    }
                    const DWORD c12 = CompareDmaBuffer(12, address, readBuffers[0].get(), expected, kStressPageBytes);
                    const DWORD c13 = CompareDmaBuffer(13, address, readBuffers[1].get(), expected, kStressPageBytes);
                    if (c12 != kRunPassed || c13 != kRunPassed) {
                        compareFailed = true;
                        result = kRunFailed;
                    }
                }
            }
            if (compareFailed)
                PrintColor("DMA_Read compare failed\n", kColorRed);
            else if (result == kRunPassed)
                PrintColor("DMA_Read compare passed\n", kColorGreen);
            if (compareFailed && args.slaveCompare)
                SlaveCompare(*this, 0, [&](DWORD offset, DWORD) { return page(offset); }, blockBytes, dst.get(), kStressPageBytes);
        }
    }
    if (background.WaitForCompletion() != kRunPassed && result == kRunPassed) result = kRunFailed;
    return result;
}
