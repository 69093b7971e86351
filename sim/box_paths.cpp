// Loop paths through the external I/O connector: the box's video and audio loops, the loopback cable, the frame counter.
#include "sim/box_paths.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#include "platform/clock.h"
#include "sim/breakout_box.h"
#include "sim/sdram.h"

namespace sim {

namespace {

// Reads a DCB's lines from SDRAM into out, which takes the DCB's size (a buffer of that size
// already is not cleared first); false when they do not fit the memory.
template <class Bytes>
bool ReadDcb(DmaEngine& engine, const DcbImage& dcb, Bytes& out) {
    if (dcb.Bytes() > engine.Sdram().Size()) return false;
    out.resize(static_cast<size_t>(dcb.Bytes()));
    return engine.ReadRuns(dcb, out.data());
}

// Writes the words at runs, masked, into the DCB's runs in order, as many as both hold (as WriteRuns
// does with a buffer); every run of both lies in the memory and no run of one meets one of the other.
void MoveMasked(DmaEngine& engine, const std::vector<std::pair<uint64_t, uint64_t>>& runs, const DcbImage& dcb,
                uint32_t mask) {
    SdramModel& sdram = engine.Sdram();
    size_t from = 0, used = 0;  // the source run and the bytes of it already moved
    engine.ForEachRun(dcb, [&](uint64_t addr, uint64_t len) {
        while (len && from < runs.size()) {
            const uint64_t n = std::min(len, runs[from].second - used);
            CopyWords(sdram.Map(addr, static_cast<size_t>(n)), sdram.Map(runs[from].first + used, static_cast<size_t>(n)),
                      static_cast<size_t>(n), mask, true);
            addr += n;
            len -= n;
            used += static_cast<size_t>(n);
            if (used == runs[from].second) ++from, used = 0;
        }
    });
}

}  // namespace

int64_t FramePeriodTicks(uint64_t format) {
    // Frame rates in millihertz by project format, from the formats' names (NTSC 29.97, PAL 25).
    static constexpr int64_t kRate[25] = {0,     29970, 30000, 29970, 30000, 25000, 25000, 23976, 24000,
                                          25000, 29970, 30000, 23976, 24000, 59940, 60000, 50000, 29970,
                                          30000, 25000, 23976, 24000, 29970, 25000, 29970};
    if (format < 1 || format > 24) return 33 * kPerfFrequency / 1000;
    return kPerfFrequency * 1000 / kRate[format];
}

BoxVideoLoop::BoxVideoLoop(const BoardConfig& config, BreakoutBox* box, bool modelled, std::function<void(uint32_t)> latchSync)
    : m_config(config), m_box(box), m_modelled(modelled), m_latchSync(std::move(latchSync)) {}

BoxVideoPath BoxVideoLoop::Path() const {
    if (m_config.faults.box.linkDown) return BoxVideoPath::None;
    if (m_config.loopbackCable) return BoxVideoPath::Cable;
    if (!m_box) return BoxVideoPath::None;
    const BoxVideoState& v = m_box->Video();
    const BoxFaults& f = m_box->Faults();
    const bool nulk = !m_box->Silent(BoxDevice::Nulk);
    if (nulk && v.loopback) return BoxVideoPath::NulkInternal;
    if (!v.started) return BoxVideoPath::None;
    const uint64_t format = v.projectFormat;
    if (format >= 1 && format <= 21 && v.ioMode[0] == 3 && !f.hdLoopOpen && !m_box->Silent(BoxDevice::Bexi))
        return BoxVideoPath::BexiHd;
    if (format >= 22 && format <= 24 && v.videoOutput == 5 && v.videoInput == 5 && !f.sdiLoopOpen && nulk)
        return BoxVideoPath::NulkSdi;
    return BoxVideoPath::None;
}

int BoxVideoLoop::Delay(BoxVideoPath path) const {
    const BoxFaults& f = m_config.faults.box;
    switch (path) {
    case BoxVideoPath::BexiHd: {
        const uint64_t format = m_box->Video().projectFormat;
        return (format == 1 || format == 2 || format == 5 ? 2 : 3) + f.bexiSlip;
    }
    case BoxVideoPath::NulkSdi: return 1 + f.nulkSdiSlip;
    case BoxVideoPath::NulkInternal: return f.nulkInternalSlip;
    default: return 0;
    }
}

int64_t BoxVideoLoop::Period() const { return FramePeriodTicks(m_box ? m_box->Video().projectFormat : 0); }

uint32_t BoxVideoLoop::FrameCounter() const { return static_cast<uint32_t>(platform::NowTicks() / Period() % 64); }

void BoxVideoLoop::Follow() {
    // A new path, or a stop and start or the loopback off and on in between (the path changed while
    // no transfer looked), drops what the loop held.
    const BoxVideoPath path = Path();
    const uint32_t starts = m_box ? m_box->Video().starts : 0;
    const uint32_t switches = m_box ? m_box->Video().loopbackSwitches : 0;
    if (path == m_path && starts == m_starts && switches == m_switches) return;
    m_path = path;
    m_starts = starts;
    m_switches = switches;
    for (Frame& frame : m_line) Recycle(std::move(frame));
    for (Returned& back : m_back) Recycle(std::move(back.frame));
    m_line.assign(static_cast<size_t>(Delay(path)), {});
    m_back.clear();
    const int64_t now = platform::NowTicks();
    m_nextDue = now;
    if (path == BoxVideoPath::BexiHd || path == BoxVideoPath::NulkSdi) {
        // The first frame comes back at the start frame: the next time the counter shows it.
        const BoxVideoState& v = m_box->Video();
        const int64_t period = Period(), current = now / period;
        int64_t k = current;
        while (v.startAtFrame && k % 64 != static_cast<int64_t>(v.startVideoFrame)) ++k;
        m_nextDue = std::max(now, k * period);
    }
}

size_t BoxVideoLoop::Frame::Size() const {
    size_t size = data.size();
    for (const auto& run : runs) size += static_cast<size_t>(run.second);
    return size;
}

void BoxVideoLoop::Recycle(Frame&& frame) {
    if (frame.data.capacity() && m_spare.size() < kSpareFrames) m_spare.push_back(std::move(frame.data));
    frame.runs.clear();
}

FrameBytes BoxVideoLoop::SpareBuffer() {
    // A frame's buffer that has gone back to the board serves again: no clearing, no allocation.
    FrameBytes buffer;
    if (!m_spare.empty()) {
        buffer = std::move(m_spare.back());
        m_spare.pop_back();
    }
    return buffer;
}

void BoxVideoLoop::CopyOut(SdramModel& sdram, Frame& frame) {
    if (frame.runs.empty()) return;
    FrameBytes data = SpareBuffer();
    data.resize(frame.Size());
    size_t pos = 0;
    // Streamed past the cache: the copy is read only when the frame moves on, in a later pass.
    for (const auto& [addr, len] : frame.runs) {
        CopyWords(data.data() + pos, sdram.Map(addr, static_cast<size_t>(len)), static_cast<size_t>(len), kSampleMask, true);
        pos += static_cast<size_t>(len);
    }
    frame.data = std::move(data);
    frame.runs.clear();
}

void BoxVideoLoop::CopyOutOverlapping(SdramModel& sdram, uint64_t low, uint64_t high) {
    if (!m_deferred) return;
    auto reach = [&](Frame& frame) {
        if (!frame.runs.empty() && frame.low < high && low < frame.high) CopyOut(sdram, frame);
    };
    for (Frame& frame : m_line) reach(frame);
    for (Returned& back : m_back) reach(back.frame);
}

void BoxVideoLoop::Settle() {
    if (!m_deferred) return;
    for (Frame& frame : m_line) CopyOut(*m_deferred, frame);
    for (Returned& back : m_back) CopyOut(*m_deferred, back.frame);
    m_deferred = nullptr;
}

bool BoxVideoLoop::Ready(DmaEngine& engine, int channel, const DcbImage&) {
    Follow();
    if (channel == kSource) {
        // Frames held for an armed inbound channel are not pushed out by more: the source waits.
        if (m_back.size() < kHeldFrames) return true;
        for (int c = 0; c < kSource; ++c)
            if (engine.IsBusy(c)) return false;
        return true;
    }
    if (m_back.empty()) return false;
    return !m_modelled || platform::NowTicks() >= m_back.front().due;
}

bool BoxVideoLoop::Transfer(DmaEngine& engine, int channel, const DcbImage& dcb) {
    if (channel == kSource) {
        // Without a path the frame is lost: nothing sees its words.
        if (m_path == BoxVideoPath::None) return engine.InMemory(dcb);
        Frame frame;
        if (!engine.HasCorruption(channel) && !engine.Sdram().HasFaults() && engine.InMemory(dcb)) {
            // Left in place until it moves or something would write over it.
            engine.ForEachRun(dcb, [&](uint64_t addr, uint64_t len) { frame.runs.emplace_back(addr, len); });
            std::tie(frame.low, frame.high) = DmaEngine::Span(dcb);
            if (!frame.runs.empty()) {
                m_deferred = &engine.Sdram();
                engine.DeferUntilSettled(this);
            }
        } else {
            frame.data = SpareBuffer();
            if (!ReadDcb(engine, dcb, frame.data)) return false;
            engine.Corrupt(channel, frame.data.data(), 0, frame.data.size());
            CopyWords(frame.data.data(), frame.data.data(), frame.data.size(), kSampleMask, false);
        }
        const size_t size = frame.Size();
        m_line.push_back(std::move(frame));
        Returned back{std::move(m_line.front()), 0, 0};
        m_line.pop_front();
        if (back.frame.Black()) back.blackBytes = size;  // black: every sample's value bits 0
        const bool paced = m_path == BoxVideoPath::BexiHd || m_path == BoxVideoPath::NulkSdi;
        if (paced) {
            back.due = std::max(platform::NowTicks(), m_nextDue);
            m_nextDue = back.due + Period();
        }
        m_back.push_back(std::move(back));
        if (m_back.size() > kHeldFrames) {
            Recycle(std::move(m_back.front().frame));
            m_back.pop_front();
        }
        return true;
    }
    Returned& back = m_back.front();
    Frame& frame = back.frame;
    const bool corrupts = engine.HasCorruption(channel);
    // Frames left in place whose cells this frame lands on (its own included) move out of the way.
    if (m_deferred) {
        const auto [low, high] = DmaEngine::Span(dcb);
        CopyOutOverlapping(engine.Sdram(), low, high);
        if (corrupts || engine.Sdram().HasFaults() || !engine.InMemory(dcb)) CopyOut(engine.Sdram(), frame);
    }
    // A black frame needs bytes of its own only when the channel corrupts what it carries.
    if (back.blackBytes && corrupts) frame.data.assign(back.blackBytes, 0);
    engine.Corrupt(channel, frame.data.data(), 0, frame.data.size());
    bool ok = true;
    if (!frame.runs.empty()) {
        MoveMasked(engine, frame.runs, dcb, kSampleMask);
    } else if (frame.data.empty()) {
        if (m_black.size() < back.blackBytes) m_black.assign(back.blackBytes, 0);
        ok = engine.WriteRuns(dcb, m_black.data(), back.blackBytes);
    } else {
        ok = engine.WriteRuns(dcb, frame.data.data(), frame.data.size());
    }
    Recycle(std::move(frame));
    m_back.pop_front();
    for (int bvi : m_config.faults.box.bviSyncError)
        if (bvi == channel && m_latchSync) m_latchSync(kSyncBit);
    return ok;
}

std::vector<int> BoxVideoLoop::Group(int channel) const {
    if (channel == kSource) return {kSource, 0, 1, 2, 3};
    return {kSource, channel};
}

void BoxVideoLoop::Flush(int channel) {
    // The inbound side's frames wait on the board and go with its flush; the loop keeps its own.
    if (channel != kSource) m_back.clear();
}

bool BoxAudioLoop::Active() const {
    if (m_config.faults.box.linkDown) return false;
    if (m_config.loopbackCable) return true;
    return m_box && !m_box->Faults().audioLoopOpen && !m_box->Silent(BoxDevice::Dolwer);
}

bool BoxAudioLoop::Ready(DmaEngine&, int channel, const DcbImage&) { return channel == kSink ? m_full : !m_full; }

bool BoxAudioLoop::Transfer(DmaEngine& engine, int channel, const DcbImage& dcb) {
    if (channel == kSink) {
        engine.Corrupt(channel, m_block.data(), 0, m_block.size());
        m_full = false;
        return engine.WriteRuns(dcb, m_block.data(), m_block.size());
    }
    if (!ReadDcb(engine, dcb, m_block)) return false;
    engine.Corrupt(channel, m_block.data(), 0, m_block.size());
    if (!Active()) return true;  // sent into an open loop: nothing comes back
    CopyWords(m_block.data(), m_block.data(), m_block.size(), kSampleMask, false);
    // A slip of n DWORDs: each sample arrives n places late (the stream's previous samples first),
    // or early (the block's end then holds silence).
    const int slip = m_box ? m_box->Faults().audioSlipDwords : 0;
    const size_t shift = static_cast<size_t>(std::abs(slip)) * 4, size = m_block.size();
    if (slip > 0) {
        m_carry.resize(shift, 0);
        std::vector<uint8_t> late(m_carry);
        late.insert(late.end(), m_block.begin(), m_block.end());
        m_carry.assign(late.end() - static_cast<std::ptrdiff_t>(shift), late.end());
        late.resize(size);
        m_block = std::move(late);
    } else if (slip < 0) {
        const size_t keep = size > shift ? size - shift : 0;
        std::memmove(m_block.data(), m_block.data() + (size - keep), keep);
        std::fill(m_block.begin() + static_cast<std::ptrdiff_t>(keep), m_block.end(), 0);
    }
    m_full = true;
    return true;
}

void BoxAudioLoop::Flush(int) {
    m_full = false;
    m_carry.clear();
}

BoxPaths::BoxPaths(const BoardConfig& config, BreakoutBox* box, DmaEngine& engine, bool modelled, std::function<void(uint32_t)> latchSync)
    : m_video(std::make_shared<BoxVideoLoop>(config, box, modelled, std::move(latchSync))),
      m_audio(std::make_shared<BoxAudioLoop>(config, box)) {
    for (int c = 0; c <= BoxVideoLoop::kSource; ++c) engine.SetEndpoint(c, m_video);
    engine.SetEndpoint(BoxAudioLoop::kSource, m_audio);
    engine.SetEndpoint(BoxAudioLoop::kSink, m_audio);
}

void BoxPaths::Attach(RegisterMap& map) {
    map.Add(kBviSelect, kBviSelect + 4, this);
    map.Add(kFrameCounter, kFrameCounter + 4, this);
}

uint32_t BoxPaths::Read(uint32_t offset) {
    if (offset == kBviSelect) return m_bviSelect;
    return m_video->FrameCounter() << 24;
}

void BoxPaths::Write(uint32_t offset, uint32_t value) {
    if (offset == kBviSelect) m_bviSelect = value;
}

}  // namespace sim
