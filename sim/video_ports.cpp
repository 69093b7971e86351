// Video port models: stream FIFOs between source and sink channels, the board links and their cables, the port registers.
#include "sim/video_ports.h"

#include <algorithm>
#include <cstring>

#include "sim/controller.h"
#include "sim/dma_routes.h"
#include "sim/sdram.h"

namespace sim {

namespace {

constexpr uint32_t kThirteenBits = 0xFFF8FFF8;  // bits 15-3 of each half-word
constexpr uint32_t kLoopInside = 1u << 8;       // RAM register: the board links loop back inside

// One cross-board step at a time: the other board's engine must not step this one back while this
// one is in the middle of its own step.
thread_local bool t_crossing = false;
// The sink whose step started the cross-board step under way: it takes its DCB as soon as that ends.
thread_local StreamPath* t_waiting = nullptr;

bool SameWords(const DcbImage& a, const DcbImage& b) { return std::equal(std::begin(a.w), std::end(a.w), std::begin(b.w)); }

void XorWords(uint8_t* data, size_t len, uint32_t mask) {
    for (size_t i = 0; i + 4 <= len; i += 4) {
        uint32_t w;
        std::memcpy(&w, data + i, 4);
        w ^= mask;
        std::memcpy(data + i, &w, 4);
    }
}

}  // namespace

uint8_t* StreamFifo::Reserve(size_t n) {
    if (m_begin == m_end) m_begin = m_end = 0;
    if (m_end + n <= m_capacity) return m_buf.get() + m_end;
    const size_t live = Size();
    if (live + n <= m_capacity) {
        std::memmove(m_buf.get(), m_buf.get() + m_begin, live);
    } else {
        const size_t capacity = std::max(live + n, 2 * m_capacity);
        auto grown = std::make_unique_for_overwrite<uint8_t[]>(capacity);
        if (live) std::memcpy(grown.get(), m_buf.get() + m_begin, live);
        m_buf = std::move(grown);
        m_capacity = capacity;
    }
    m_begin = 0;
    m_end = live;
    return m_buf.get() + m_end;
}

void StreamFifo::Drop(size_t n) {
    m_begin += std::min(n, Size());
    if (m_begin == m_end) m_begin = m_end = 0;
}

StreamPath::StreamPath(DmaEngine& engine, VideoPort port, int source, int sink, const BoardFaults& faults, uint32_t& syncFlags)
    : m_engine(engine), m_source(source), m_sink(sink), m_syncBit(1u << static_cast<int>(port)), m_syncFlags(syncFlags) {
    for (const auto& f : faults.portSyncError) m_syncFault = m_syncFault || f.port == port;
}

void StreamPath::MarkSync() {
    if (m_syncFault) m_syncFlags |= m_syncBit;
}

void StreamPath::ClearHeld() {
    m_fifo.Clear();
    m_delivered.clear();
    m_deliveredFront = 0;
    m_deliveredBytes = 0;
}

bool StreamPath::Ready(DmaEngine&, int channel, const DcbImage& dcb) {
    const uint64_t bytes = dcb.Bytes();
    if (channel == m_source) {
        if (!m_route || !m_route->Open()) return false;
        StreamPath* to = Destination();
        return to && (to->Held() == 0 || to->Held() + bytes <= kFifoLimit);
    }
    if (Held() < bytes && !t_crossing) {
        t_crossing = true;
        StreamPath* const waiting = t_waiting;
        t_waiting = this;
        for (StreamPath* f : m_feeders) f->m_engine.Observe(f->m_source);
        t_waiting = waiting;
        t_crossing = false;
    }
    return Held() >= bytes;
}

bool StreamPath::CanDeliver(DmaEngine& engine, int channel, const DcbImage& dcb, StreamPath& to) {
    DmaEngine& far = to.m_engine;
    SdramModel& sdram = engine.Sdram();
    SdramModel& farSdram = far.Sdram();
    if (to.m_fifo.Size() || engine.HasCorruption(channel) || far.HasCorruption(to.m_sink) || sdram.HasFaults() ||
        farSdram.HasFaults() || far.Endpoint(to.m_sink) != &to)
        return false;
    // Nothing may run on the sink's board before its step: on this board it is a later step of the
    // Bring under way; across a cable either the step right after this transfer or the sink whose
    // step is waiting for this one.
    if (&far == &engine ? !engine.StepsAgain(to.m_sink) : t_crossing && t_waiting != &to) return false;
    const size_t ahead = to.m_delivered.size() - to.m_deliveredFront;
    far.Upcoming(to.m_sink, kDcbsPerChannel, m_plan);
    if (ahead >= m_plan.size() || m_plan[ahead].Bytes() != dcb.Bytes()) return false;
    const DcbImage& sink = m_plan[ahead];
    bool mapped = true;
    DmaEngine::ForEachRun(dcb, [&](uint64_t addr, uint64_t len) { mapped = mapped && sdram.Map(addr, static_cast<size_t>(len)); });
    m_cursor.Clear();
    DmaEngine::ForEachRun(sink, [&](uint64_t addr, uint64_t len) {
        uint8_t* cells = mapped ? farSdram.Map(addr, static_cast<size_t>(len)) : nullptr;
        mapped = cells != nullptr;
        if (cells) m_cursor.runs.emplace_back(cells, static_cast<size_t>(len));
    });
    if (!mapped) return false;
    if (&farSdram != &sdram) return true;
    // In one memory the sink's words land before the source reads on: none of them may be read again
    // by this DCB or the ones the source moves after it in this step.
    engine.Upcoming(channel, kDcbsPerChannel, m_sources);
    if (m_sources.empty() || !SameWords(m_sources.front(), dcb)) return false;
    const auto [low, high] = DmaEngine::Span(sink);
    for (const DcbImage& s : m_sources) {
        const auto [from, to_] = DmaEngine::Span(s);
        if (from < high && low < to_) return false;
    }
    return true;
}

void StreamPath::DeliverDirect(SdramModel& sdram, const DcbImage& dcb, StreamPath& to, const DcbImage& sink) {
    const uint32_t sourceMask = dcb.Is16Bit() ? kThirteenBits : ~0u;
    const uint32_t sinkMask = sink.Is16Bit() ? kThirteenBits : ~0u;
    const bool touches = m_route->Touches();
    // A route that only watches the words is shown them in the cells, then they go on from the cache.
    const bool watches = touches && m_route->Watches(sourceMask);
    if (touches && !watches && !m_block) m_block = std::make_unique_for_overwrite<uint8_t[]>(kBlockBytes);
    DmaEngine::ForEachRun(dcb, [&](uint64_t addr, uint64_t len) {
        uint8_t* cells = sdram.Map(addr, static_cast<size_t>(len));
        // Words the route does not look at go from cell to cell.
        if (!touches) return m_cursor.Write(cells, static_cast<size_t>(len), sourceMask & sinkMask);
        // Otherwise block by block, each still in cache when it is written on.
        for (size_t at = 0; at < len; at += kBlockBytes) {
            const size_t n = std::min(kBlockBytes, static_cast<size_t>(len) - at);
            if (watches) {
                m_cursor.Take(n, [&](uint8_t* into, size_t offset, size_t k) {
                    uint8_t* from = cells + at + offset;
                    if (m_route->CarryInto(into, from, k, sourceMask & sinkMask)) return;
                    m_route->Carry(from, k);
                    CopyWords(into, from, k, sourceMask & sinkMask, true);
                });
                continue;
            }
            CopyWords(m_block.get(), cells + at, n, sourceMask, false);
            m_route->Carry(m_block.get(), n);
            m_cursor.Write(m_block.get(), n, sinkMask);
        }
    });
    to.m_delivered.push_back({sink, dcb.Bytes()});
    to.m_deliveredBytes += dcb.Bytes();
}

bool StreamPath::Transfer(DmaEngine& engine, int channel, const DcbImage& dcb) {
    SdramModel& sdram = engine.Sdram();
    const uint64_t bytes = dcb.Bytes();
    if (channel == m_source) {
        // More than the memory holds cannot be read in one DCB; refusing it also bounds the FIFO.
        if (bytes > sdram.Size()) return false;
        StreamPath* to = Destination();
        if (!to) return false;
        if (CanDeliver(engine, channel, dcb, *to)) {
            // m_plan holds the sink's next DCBs; the first not yet delivered takes these words.
            DeliverDirect(sdram, dcb, *to, m_plan[to->m_delivered.size() - to->m_deliveredFront]);
        } else if (!Hold(engine, channel, dcb, *to)) {
            return false;
        }
        m_lastDestination = to;
        MarkSync();
        // Over a cable the words reach the other board's engine, which takes them at once.
        if (to != this && !t_crossing) {
            t_crossing = true;
            to->m_engine.Observe(to->m_sink);
            t_crossing = false;
        }
        return true;
    }
    // Words delivered ahead are in the cells already.
    if (m_deliveredFront < m_delivered.size()) {
        const Delivered& d = m_delivered[m_deliveredFront];
        const bool same = d.bytes == bytes && SameWords(d.dcb, dcb);
        m_deliveredBytes -= d.bytes;
        if (++m_deliveredFront == m_delivered.size()) {
            m_delivered.clear();
            m_deliveredFront = 0;
        }
        MarkSync();
        return same;
    }
    return Store(engine, channel, dcb);
}

bool StreamPath::Hold(DmaEngine& engine, int channel, const DcbImage& dcb, StreamPath& to) {
    SdramModel& sdram = engine.Sdram();
    const uint64_t bytes = dcb.Bytes();
    bool ok = true;
    uint8_t* tail = to.m_fifo.Reserve(static_cast<size_t>(bytes));
    size_t pos = 0;
    // The common case, a healthy memory with no channel fault: each block is copied (13-bit
    // samples masked) on its way out of the cells and carried while it is still in cache.
    bool direct = !engine.HasCorruption(channel) && !sdram.HasFaults();
    const uint32_t sampleMask = dcb.Is16Bit() ? kThirteenBits : ~0u;
    if (direct)
        engine.ForEachRun(dcb, [&](uint64_t addr, uint64_t len) { direct = direct && sdram.Map(addr, static_cast<size_t>(len)); });
    if (direct) {
        // Words the route does not look at wait in the FIFO until the sink takes them: they
        // bypass the cache.
        const bool stream = !m_route->Touches();
        engine.ForEachRun(dcb, [&](uint64_t addr, uint64_t len) {
            const uint8_t* cells = sdram.Map(addr, static_cast<size_t>(len));
            for (size_t at = 0; at < len; at += kBlockBytes) {
                const size_t n = std::min(kBlockBytes, static_cast<size_t>(len) - at);
                CopyWords(tail + pos, cells + at, n, sampleMask, stream);
                m_route->Carry(tail + pos, n);
                pos += n;
            }
        });
    }
    if (!direct) engine.ForEachRun(dcb, [&](uint64_t addr, uint64_t len) {
        ok = ok && sdram.Read(addr, tail + pos, static_cast<size_t>(len)) == len;
        pos += static_cast<size_t>(len);
    });
    if (!ok) return false;
    // The channel's own fault acts as it reads; the port then carries 13-bit samples into the FPGAs.
    if (!direct) engine.Corrupt(channel, tail, 0, pos);
    // Block by block, so that the route's pass finds the masked words still in cache.
    for (size_t at = 0; !direct && at < pos; at += kBlockBytes) {
        const size_t n = std::min(kBlockBytes, pos - at);
        if (dcb.Is16Bit()) CopyWords(tail + at, tail + at, n, kThirteenBits, false);
        m_route->Carry(tail + at, n);
    }
    to.m_fifo.Commit(pos);
    return true;
}

bool StreamPath::Store(DmaEngine& engine, int channel, const DcbImage& dcb) {
    SdramModel& sdram = engine.Sdram();
    const uint64_t bytes = dcb.Bytes();
    bool ok = true;
    uint8_t* front = m_fifo.Front();
    const size_t n = static_cast<size_t>(bytes);
    // The common case, 13-bit samples into a healthy memory with no channel fault: the words are
    // masked on their way into the cells, one pass instead of two.
    if (dcb.Is16Bit() && !engine.HasCorruption(channel) && !sdram.HasFaults()) {
        size_t pos = 0;
        engine.ForEachRun(dcb, [&](uint64_t addr, uint64_t len) {
            uint8_t* cells = ok ? sdram.Map(addr, static_cast<size_t>(len)) : nullptr;
            if (cells) CopyWords(cells, front + pos, static_cast<size_t>(len), kThirteenBits, true);
            else if (ok) {
                // Past the end of the memory: what fits is written, and the DCB fails.
                CopyWords(front + pos, front + pos, static_cast<size_t>(len), kThirteenBits, false);
                ok = sdram.Write(addr, front + pos, static_cast<size_t>(len)) == len;
            }
            pos += static_cast<size_t>(len);
        });
        m_fifo.Drop(n);
        MarkSync();
        return ok;
    }
    if (dcb.Is16Bit()) CopyWords(front, front, n, kThirteenBits, false);
    engine.Corrupt(channel, front, 0, n);  // on its way to SDRAM, after the port
    size_t pos = 0;
    engine.ForEachRun(dcb, [&](uint64_t addr, uint64_t len) {
        ok = ok && sdram.Write(addr, front + pos, static_cast<size_t>(len)) == len;
        pos += static_cast<size_t>(len);
    });
    m_fifo.Drop(n);
    MarkSync();
    return ok;
}

void StreamPath::Deliver(const uint8_t* data, size_t n) {
    if (n == 0) return;
    std::memcpy(m_fifo.Reserve(n), data, n);
    m_fifo.Commit(n);
}

void StreamPath::Flush(int channel) {
    if (channel == m_sink) ClearHeld();
    else if (StreamPath* to = m_lastDestination ? m_lastDestination : this) to->ClearHeld();
}

BoardLink::BoardLink(VideoPort port, const BoardConfig& config, BoardController& controller)
    : m_device(port == VideoPort::ExpA ? 3 : 4), m_ramBit(port == VideoPort::ExpA ? 3 : 4), m_controller(controller) {
    for (const auto& c : config.faults.videoPathCorrupt)
        if (c.port == port && c.stage == VideoStageKind::Link) m_corruptMask ^= c.mask;
}

void BoardLink::Cable(BoardLink& a, BoardLink& b) {
    a.m_partner = &b;
    b.m_partner = &a;
    if (a.m_path && b.m_path) {
        a.m_path->AddFeeder(b.m_path);
        b.m_path->AddFeeder(a.m_path);
    }
}

bool BoardLink::Up() const {
    ConfigPort& fpgas = m_controller.Fpgas();
    return fpgas.Configured(m_device) && !fpgas.InReset(m_device) && (m_controller.RamRegister() >> m_ramBit & 1);
}

bool BoardLink::LoopsInside() const { return m_controller.RamRegister() & kLoopInside; }

bool BoardLink::Open() { return Destination() != nullptr; }

StreamPath* BoardLink::Destination() {
    if (!Up()) return nullptr;
    if (LoopsInside() || m_plug) return m_path;
    if (!m_partner || !m_partner->Up()) return nullptr;
    return m_partner->LoopsInside() ? m_path : m_partner->m_path;
}

uint32_t BoardLink::CorruptMask() const {
    uint32_t mask = m_corruptMask;
    if (m_partner && !LoopsInside() && !m_plug) mask ^= m_partner->m_corruptMask;
    return mask;
}

void BoardLink::Carry(uint8_t* data, size_t len) {
    if (const uint32_t mask = CorruptMask()) XorWords(data, len, mask);
}

VideoPorts::VideoPorts(const BoardConfig& config, BoardController& controller, DmaEngine& engine)
    : m_controller(controller), m_engine(engine), m_faults(config.faults) {
    const struct { VideoPort port; int source, sink; const std::string* attached; } links[2] = {
        {VideoPort::ExpA, 37, 59, &config.codecPort}, {VideoPort::ExpB, 36, 58, &config.expansionPort}};
    for (int i = 0; i < 2; ++i) {
        m_links[i] = std::make_unique<BoardLink>(links[i].port, config, controller);
        m_linkPaths[i] = std::make_shared<StreamPath>(engine, links[i].port, links[i].source, links[i].sink, config.faults, m_syncFlags);
        BoardLink* link = m_links[i].get();
        link->SetPath(m_linkPaths[i].get());
        m_linkPaths[i]->SetRoute(link);
        m_linkPaths[i]->SetDestination([link] { return link->Destination(); });
        if (*links[i].attached == "loopback") link->Plug();
        engine.SetEndpoint(links[i].source, m_linkPaths[i]);
        engine.SetEndpoint(links[i].sink, m_linkPaths[i]);
    }
}

void VideoPorts::Attach(RegisterMap& map) {
    map.Add(kSyncFlags, kSyncFlags + 4, this);
    for (uint32_t c : kContexts) map.Add(c, c + 4, this);
}

void VideoPorts::AttachPpp(VideoRoute& a, VideoRoute& b) {
    VideoRoute* routes[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        m_pppPaths[i] = std::make_shared<StreamPath>(m_engine, i ? VideoPort::PppB : VideoPort::PppA, 28 + i, 24 + i, m_faults, m_syncFlags);
        m_pppPaths[i]->SetRoute(routes[i]);
        m_engine.SetEndpoint(28 + i, m_pppPaths[i]);
        m_engine.SetEndpoint(24 + i, m_pppPaths[i]);
    }
}

void VideoPorts::Cable(VideoPorts& a, VideoPorts& b, int port) {
    BoardLink::Cable(a.Link(port), b.Link(port));
    BoardController* ends[2] = {&a.m_controller, &b.m_controller};
    for (int i = 0; i < 2; ++i) {
        BoardController* own = ends[i];
        BoardController* partner = ends[1 - i];
        own->SetPortClockSource(port, [own, partner, port] { return own->PortEnabled(port) && partner->PortEnabled(port); });
    }
}

uint32_t VideoPorts::Read(uint32_t offset) {
    if (offset == kSyncFlags) return m_syncFlags;
    for (int i = 0; i < 4; ++i)
        if (offset == kContexts[i]) return m_contexts[i];
    return 0;
}

void VideoPorts::Write(uint32_t offset, uint32_t value) {
    if (offset == kSyncFlags) m_syncFlags &= ~value;
    for (int i = 0; i < 4; ++i)
        if (offset == kContexts[i]) m_contexts[i] = value;
}

}  // namespace sim
