// A 64 MiB "Over the top" between the default rig's boards, the link copy under it alone, a 1920x1080x15-frame keyer loopback checked by its CRC registers and the keyer's bypass test over the same frames, each beside memcpy over the same bytes.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/memcpy_baseline.h"
#include "devlib/devices.h"
#include "devlib/perf_list.h"
#include "devlib/wexal_spaces.h"
#include "framework/hw/buffer_control_unit.h"
#include "framework/hw/fpga_download.h"
#include "framework/hw/jastel.h"
#include "framework/hw/oxd.h"
#include "framework/hw/wexal_dcb.h"
#include "images/image_crc.h"
#include "images/unpacked_image.h"
#include "videopath/kerzil.h"
#include "videopath/vantrel.h"

namespace {

const std::filesystem::path kOxdDir = std::filesystem::path(__FILE__).parent_path() / "../../testdata/oxd";


// Wall-clock seconds of the runs, kept beside the library's own timing for the ratio counter.
class RunClock {
public:
    void Start() { m_start = std::chrono::steady_clock::now(); }
    void Stop() { m_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count(); }
    double Seconds() const { return m_seconds; }

private:
    std::chrono::steady_clock::time_point m_start;
    double m_seconds = 0;
};

void ReportBesideMemcpy(benchmark::State& state, size_t bytes, const RunClock& runs) {
    bench::ReportBesideMemcpy(state, static_cast<double>(bytes), runs.Seconds());
    CTestBase::TakePreHostText(TRUE);
}

class Root : public CWexalTreeMapTB {
public:
    Root() : CWexalTreeMapTB("CBrimolaBoard") {}
    DWORD Run(CString) override { return kRunPassed; }
};

void BM_OverTheTop64MiB(benchmark::State& state) {
    constexpr size_t kBytes = size_t{64} << 20;
    Root root;
    CVantrel vantrel(CVantrel::kCodecPort, "CVantrelCodec");
    vantrel.SetParent(&root);
    COxd image((kOxdDir / "FESK0202.oxd").string().c_str(), 1);
    if (vantrel.SetupDevice("Brimola1") != kRunPassed || vantrel.Program(nullptr, image) != kRunPassed) {
        state.SkipWithError("the link FPGAs of the default rig could not be loaded");
        return;
    }
    RunClock runs;
    for (auto _ : state) {
        runs.Start();
        const DWORD result = vantrel.Run("\"Over the top\" Seed=0x1 Incr=0x3 Size=0x4000000 BitsPerPixel=8 Format=4:2:2");
        runs.Stop();
        if (result != kRunPassed) {
            state.SkipWithError("\"Over the top\" failed on the default rig");
            break;
        }
    }
    ReportBesideMemcpy(state, kBytes, runs);
}
BENCHMARK(BM_OverTheTop64MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

// Channel A of the keyer: main FPGA to keyer on 28, back on 24, LOOPBACK in CONTROL_REG_TWO.
constexpr DWORD kWidth = 1920, kHeight = 1080, kFrames = 15;
constexpr DWORD kFrameBytes = kWidth * kHeight * 2;  // 8-bit 4:2:2
constexpr DWORD kSinkBase = 0x8000000;
constexpr DWORD kControlTwoA = 0x8FC8, kLoopbackBit = 1u << 15;
constexpr DWORD kCrcBackA = 0x8FD8, kCrcInA = 0x87CC;
constexpr DWORD kDatapathResets = 0xBFD0, kResetBits = 7u << 16;

// A chain of one DCB per frame (DCBs 1-15, tags 1-15) from base.
void LoadFrameChain(CWexalDMAChannel& channel, DWORD base, WORD bcu) {
    for (DWORD n = 1; n <= kFrames; ++n) {
        WexalDCB dcb;
        dcb.GetOpField().SetNext(static_cast<BYTE>(n < kFrames ? n + 1 : 0));
        dcb.GetOpField().SetBCUPointer(bcu);
        dcb.GetPortField().SetTag(static_cast<WORD>(n));
        dcb.SetStartAddress(base + (n - 1) * kFrameBytes);
        dcb.SetLines(kHeight - 1);
        dcb.SetLineLength(kFrameBytes / 4 / kHeight);
        dcb.SetInitialLineLength(kFrameBytes / 4 / kHeight);
        channel.SetDCB(static_cast<int>(n), &dcb);
    }
}

bool WaitLastFrame(CWexalDMAChannel& channel) {
    CPerformanceList deadline;
    deadline.SetMilliTimeout(5000);
    WexalDCB live;
    while (!deadline.IsTimeout()) {
        channel.GetDCB(0, &live);
        if (live.GetLines() == 0 && live.GetInitialLineLength() == 0 && live.GetPortField().GetTag() == kFrames) return true;
    }
    return false;
}

void BM_KeyerLoopback1080p15Frames(benchmark::State& state) {
    constexpr size_t kBytes = size_t{kFrameBytes} * kFrames;
    Root printer;
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetZorvHardware()->GetDevice("Brimola1"));
    const RegisterPtr bar0 = board ? board->GetRegisters() : RegisterPtr();
    COxd image((kOxdDir / "LOCV0202.oxd").string().c_str(), 1);
    if (!bar0 || DownloadXilinxThrough(0, bar0, printer, image) != kRunPassed) {
        state.SkipWithError("the keyer of the default rig could not be loaded");
        return;
    }
    // Frames of a ramp with a per-frame offset; the CRC registers must equal the model over them.
    std::vector<DWORD> frames(kBytes / 4);
    for (size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<DWORD>(i * 0x00010003u + (i >> 18));
    CWexalSDRAMSpace* sdram = board->GetSDRAMSpace();
    for (size_t at = 0; at < kBytes; at += 0x400000)
        sdram->Set(reinterpret_cast<const BYTE*>(frames.data()) + at, static_cast<DWORD>(at), static_cast<int>(std::min<size_t>(0x400000, kBytes - at)));
    const DWORD expected = images_detail::CrcFeedD52(0, reinterpret_cast<const BYTE*>(frames.data()), frames.size() / 2, 0xFFFFFFFF);

    bar0[kDatapathResets / 4] = bar0[kDatapathResets / 4] & ~kResetBits;
    bar0[kControlTwoA / 4] = bar0[kControlTwoA / 4] | kLoopbackBit;
    CWexalDMAChannel& source = *board->GetDMAChannel(28);
    CWexalDMAChannel& sink = *board->GetDMAChannel(24);
    for (int unit : {2, 3}) {
        BufferControlUnit bcu(bar0 + (BufferControlUnit::kBase + 16 * unit) / 4);
        bcu.Clear();
        bcu.SetGo(1);
    }
    RunClock runs;
    for (auto _ : state) {
        runs.Start();
        bar0[kCrcBackA / 4] = 0;
        bar0[kCrcInA / 4] = 0;
        source.Flush();
        sink.Flush();
        LoadFrameChain(sink, kSinkBase, 3);
        LoadFrameChain(source, 0, 2);
        sink.Trigger(1);
        source.Trigger(1);
        const bool done = WaitLastFrame(sink);
        runs.Stop();
        if (!done) {
            state.SkipWithError("the keyer loopback did not finish");
            break;
        }
        if (bar0[kCrcBackA / 4] != expected || bar0[kCrcInA / 4] != expected) {
            state.SkipWithError("a keyer CRC register differs from the model");
            break;
        }
    }
    ReportBesideMemcpy(state, kBytes, runs);
}
BENCHMARK(BM_KeyerLoopback1080p15Frames)->Unit(benchmark::kMillisecond)->UseRealTime();

// CKerzil's bypass loopback as the harness runs it: 15 frames of 1920x1080 (I, I, A repeated), ten
// of them read back and compared; the rate counts the compared image bytes.
void BM_KerzilBypass1080p15Frames(benchmark::State& state) {
    constexpr DWORD kBypassFrames = 15, kCompared = 10;
    Root root;
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetZorvHardware()->GetDevice("Brimola1"));
    const RegisterPtr bar0 = board ? board->GetRegisters() : RegisterPtr();
    COxd keyerImage((kOxdDir / "LOCV0202.oxd").string().c_str(), 1);
    COxd pairImage((kOxdDir / "TAZU0202.oxd").string().c_str(), 1);
    if (!bar0 || DownloadXilinxThrough(0, bar0, root, keyerImage) != kRunPassed ||
        DownloadXilinxThrough(1, bar0, root, pairImage) != kRunPassed) {
        state.SkipWithError("the keyer and pair of the default rig could not be loaded");
        return;
    }
    CJastel controller("CJastel");
    controller.SetControllerRegisters(board->GetControllerRegisters());
    CKerzil kerzil(&controller, "CKerzil");
    kerzil.SetupDevice("Brimola1");
    kerzil.SetCurrentOXD("LOCV0202.OXD");  // loaded above: the body need not load it again
    Unpacked::Image::YCbCr_10_6 image(kWidth, kHeight, 0);
    Unpacked::Alpha::YCbCr_10_6 alpha(kWidth, kHeight);
    image.FillHorzWedge(0, 0, 0x3FF);
    RunClock runs;
    for (auto _ : state) {
        runs.Start();
        const DWORD result = kerzil.TestBypass(0, "CHANNEL=A FPGA=LOCV0202.OXD", &alpha, &image, kBypassFrames, 1);
        runs.Stop();
        if (result != 1) {
            state.SkipWithError("the keyer bypass failed on the default rig");
            break;
        }
    }
    ReportBesideMemcpy(state, size_t{image.GetSize()} * kCompared, runs);
}
BENCHMARK(BM_KerzilBypass1080p15Frames)->Unit(benchmark::kMillisecond)->UseRealTime();

// The link copy alone: one 64 MiB DCB from the main board's SDRAM out of its codec-port link (37),
// over the cable into the codec board's SDRAM (59): the simulated path's own bandwidth.
void BM_BoardLinkCopy64MiB(benchmark::State& state) {
    constexpr size_t kBytes = size_t{64} << 20;
    constexpr DWORD kLineWords = 8192, kLines = kBytes / 4 / kLineWords;
    Root root;
    CVantrel vantrel(CVantrel::kCodecPort, "CVantrelCodec");
    vantrel.SetParent(&root);
    COxd image((kOxdDir / "FESK0202.oxd").string().c_str(), 1);
    auto* from = dynamic_cast<CWexalBoardDevice*>(GetZorvHardware()->GetDevice("Brimola1"));
    auto* to = dynamic_cast<CWexalBoardDevice*>(GetZorvHardware()->GetDevice("Nuxa1"));
    if (!from || !to || vantrel.SetupDevice("Brimola1") != kRunPassed || vantrel.Program(nullptr, image) != kRunPassed) {
        state.SkipWithError("the link FPGAs of the default rig could not be loaded");
        return;
    }
    std::vector<DWORD> data(kBytes / 4);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<DWORD>(i * 0x9E3779B1u);
    for (size_t at = 0; at < kBytes; at += 0x400000)
        from->GetSDRAMSpace()->Set(reinterpret_cast<const BYTE*>(data.data()) + at, static_cast<DWORD>(at), 0x400000);
    for (CWexalBoardDevice* board : {from, to}) {
        BufferControlUnit bcu(board->GetRegisters() + (BufferControlUnit::kBase + 16 * 2) / 4);
        bcu.Clear();
        bcu.SetGo(1);
    }
    WexalDCB dcb;
    dcb.GetOpField().SetBCUPointer(2);
    dcb.GetPortField().SetTag(0xA5A);
    dcb.SetLines(kLines - 1);
    dcb.SetLineLength(kLineWords);
    dcb.SetInitialLineLength(kLineWords);
    CWexalDMAChannel& source = *from->GetDMAChannel(37);
    CWexalDMAChannel& sink = *to->GetDMAChannel(59);
    RunClock runs;
    for (auto _ : state) {
        runs.Start();
        source.Flush();
        sink.Flush();
        sink.SetDCB(1, &dcb);
        source.SetDCB(1, &dcb);
        source.Trigger(1);
        sink.Trigger(1);
        CPerformanceList deadline;
        deadline.SetMilliTimeout(5000);
        WexalDCB live;
        bool done = false;
        while (!done && !deadline.IsTimeout()) {
            sink.GetDCB(0, &live);
            done = live.GetLines() == 0 && live.GetInitialLineLength() == 0 && live.GetPortField().GetTag() == 0xA5A;
        }
        runs.Stop();
        if (!done) {
            state.SkipWithError("the link copy did not finish");
            break;
        }
    }
    std::vector<DWORD> back(4096);
    to->GetSDRAMSpace()->Get(reinterpret_cast<BYTE*>(back.data()), static_cast<DWORD>(kBytes - 16384), 16384);
    if (std::memcmp(back.data(), data.data() + data.size() - back.size(), 16384) != 0) state.SkipWithError("the link copy arrived changed");
    ReportBesideMemcpy(state, kBytes, runs);
}
BENCHMARK(BM_BoardLinkCopy64MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
