// PCI page-table transfers and the video utility loop.
#include "sim/dma_routes.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "sim/host_memory.h"
#include "sim/sdram.h"

namespace sim {

namespace {

struct HostPiece {
    uint8_t* data;
    size_t len;
};

// Reads page-table entries until `bytes` are covered; false when an entry or its pages are not host memory.
bool WalkPageTable(const HostMemory& host, uint64_t table, uint64_t bytes, std::vector<HostPiece>& out) {
    uint64_t covered = 0;
    for (uint64_t i = 0; covered < bytes; ++i) {
        if (i > (1u << 22)) return false;
        const uint8_t* entry = host.Translate(table + 16 * i, 16);
        if (!entry) return false;
        uint32_t e[4];
        std::memcpy(e, entry, sizeof e);
        const uint64_t len = std::min<uint64_t>(e[2], bytes - covered);
        if (!len) continue;
        uint8_t* data = host.Translate((uint64_t{e[1]} << 32) | e[0], static_cast<size_t>(len));
        if (!data) return false;
        out.push_back({data, static_cast<size_t>(len)});
        covered += len;
    }
    return true;
}

#if defined(__x86_64__)
// A plain copy of whole 256-byte steps into memory that is read again soon.
__attribute__((target("avx512f"))) void FetchWide(uint8_t* to, const uint8_t* from, size_t len) {
    constexpr size_t kAhead = 2048;
    for (size_t k = 0; k < len; k += 64) {
        _mm_prefetch(reinterpret_cast<const char*>(from + k + kAhead), _MM_HINT_T0);
        _mm512_storeu_si512(to + k, _mm512_loadu_si512(from + k));
    }
}
#endif

// memcpy of memory that is probably not in cache.
void FetchWords(uint8_t* to, const uint8_t* from, size_t len) {
#if defined(__x86_64__)
    static const bool wide = __builtin_cpu_supports("avx512f");
    if (wide && len >= 256) {
        const size_t n = len & ~size_t{255};
        FetchWide(to, from, n);
        to += n;
        from += n;
        len -= n;
    }
#endif
    std::memcpy(to, from, len);
}

}  // namespace

bool PciEndpoint::Transfer(DmaEngine& engine, int channel, const DcbImage& dcb) {
    std::vector<HostPiece> pieces;
    if (!WalkPageTable(engine.Host(), dcb.BusAddress(), dcb.Bytes(), pieces)) return false;
    SdramModel& sdram = engine.Sdram();
    const bool corrupt = engine.HasCorruption(channel);
    std::vector<uint8_t> bounce;
    size_t piece = 0, inPiece = 0;
    uint64_t pos = 0;
    bool ok = true;
    engine.ForEachRun(dcb, [&](uint64_t addr, uint64_t len) {
        while (len && ok && piece < pieces.size()) {
            HostPiece& p = pieces[piece];
            const size_t n = static_cast<size_t>(std::min<uint64_t>(len, p.len - inPiece));
            uint8_t* host = p.data + inPiece;
            if (m_toSdram) {
                const uint8_t* src = host;
                if (corrupt) {
                    bounce.assign(host, host + n);
                    engine.Corrupt(channel, bounce.data(), pos, n);
                    src = bounce.data();
                }
                // Into a healthy memory the words bypass the cache: nothing reads them again soon.
                uint8_t* cells = sdram.HasFaults() ? nullptr : sdram.Map(addr, n);
                if (cells) CopyWords(cells, src, n, ~0u, true);
                else ok = sdram.Write(addr, src, n) == n;
            } else {
                // From a healthy memory straight out of the cells (the engine is at work, so the read's
                // bringing the transfers up to date would do nothing), asked for ahead of need.
                const uint8_t* cells = sdram.HasFaults() ? nullptr : sdram.Map(addr, n);
                if (cells) FetchWords(host, cells, n);
                else ok = sdram.Read(addr, host, n) == n;
                if (corrupt) engine.Corrupt(channel, host, pos, n);
            }
            addr += n;
            len -= n;
            pos += n;
            inPiece += n;
            if (inPiece == p.len) {
                ++piece;
                inPiece = 0;
            }
        }
    });
    return ok;
}

bool StreamLink::Ready(DmaEngine& engine, int channel, const DcbImage&) {
    if (channel == m_sink) return m_full;
    return !m_full && engine.IsBusy(m_sink);
}

bool StreamLink::SinkStepsNext(DmaEngine& engine, const DcbImage& dcb) {
    if (engine.HasCorruption(m_source) || engine.HasCorruption(m_sink) || engine.Sdram().HasFaults() ||
        !engine.StepsAgain(m_sink))
        return false;
    engine.Upcoming(m_sink, 1, m_plan);
    return !m_plan.empty() && engine.InMemory(dcb);
}

bool StreamLink::ReadFrame(DmaEngine& engine, const DcbImage& dcb) {
    m_frame.resize(static_cast<size_t>(dcb.Bytes()));
    const bool ok = engine.ReadRuns(dcb, m_frame.data());
    engine.Corrupt(m_source, m_frame.data(), 0, m_frame.size());
    return ok;
}

bool StreamLink::CopyInCells(SdramModel& sdram, const DcbImage& sink) {
    const auto [from, fromEnd] = DmaEngine::Span(m_pending);
    const auto [to, toEnd] = DmaEngine::Span(sink);
    if (from < toEnd && to < fromEnd) return false;
    const uint64_t frame = m_pending.Bytes();
    m_cursor.Clear();
    uint64_t pos = 0;
    bool mapped = true;
    DmaEngine::ForEachRun(sink, [&](uint64_t addr, uint64_t len) {
        if (pos >= frame) return;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(len, frame - pos));
        uint8_t* cells = mapped ? sdram.Map(addr, n) : nullptr;
        mapped = cells != nullptr;
        if (cells) m_cursor.runs.emplace_back(cells, n);
        pos += n;
    });
    if (!mapped) return false;
    DmaEngine::ForEachRun(m_pending, [&](uint64_t addr, uint64_t len) {
        m_cursor.Write(sdram.Map(addr, static_cast<size_t>(len)), static_cast<size_t>(len), ~0u);
    });
    return true;
}

bool StreamLink::Transfer(DmaEngine& engine, int channel, const DcbImage& dcb) {
    SdramModel& sdram = engine.Sdram();
    if (channel == m_source) {
        // A frame larger than the memory cannot be read whole; refusing it also bounds the buffer.
        if (dcb.Bytes() > sdram.Size()) return false;
        m_inCells = SinkStepsNext(engine, dcb);
        if (m_inCells) m_pending = dcb;
        m_full = m_inCells || ReadFrame(engine, dcb);
        return m_full;
    }
    if (m_inCells) {
        m_inCells = false;
        if (CopyInCells(sdram, dcb)) {
            m_full = false;
            return true;
        }
        // Nothing has run since the input's step: its cells still hold the frame.
        ReadFrame(engine, m_pending);
    }
    // The output DCB takes as much of the frame as its geometry holds; a shorter frame leaves the rest unwritten.
    engine.Corrupt(channel, m_frame.data(), 0, m_frame.size());
    m_full = false;
    return engine.WriteRuns(dcb, m_frame.data(), m_frame.size());
}

void StreamLink::Flush(int) {
    m_full = false;
    m_inCells = false;
    m_frame.clear();
}

}  // namespace sim
