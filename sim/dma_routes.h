// Endpoints of the DMA channels modelled so far: PCI master transfers through page tables, and the video utility loop.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "sim/dma_engine.h"
#include "sim/frame_bytes.h"
#include "sim/sdram.h"

namespace sim {

// A place in the sink runs of a DCB (cells and bytes each), written in stream order.
struct RunCursor {
    std::vector<std::pair<uint8_t*, size_t>> runs;
    size_t run = 0, at = 0;
    void Clear() {
        runs.clear();
        run = at = 0;
    }
    // Calls fn(cells, offset, bytes) for the pieces of the next n bytes, offset counted from the
    // first; bytes past the last run are left out.
    template <class Fn> void Take(size_t n, Fn fn) {
        for (size_t offset = 0; offset < n && run < runs.size();) {
            const size_t k = std::min(n - offset, runs[run].second - at);
            fn(runs[run].first + at, offset, k);
            offset += k;
            at += k;
            if (at == runs[run].second) {
                ++run;
                at = 0;
            }
        }
    }
    // The next n bytes from `from`, whole words ANDed with mask, streamed into the runs (CopyWords).
    void Write(const uint8_t* from, size_t n, uint32_t mask) {
        Take(n, [&](uint8_t* cells, size_t offset, size_t k) { CopyWords(cells, from + offset, k, mask, true); });
    }
};

// A PCI channel: the DCB's words 6 (low) and 7 (high) hold the bus address of a page table in host
// DMA memory, 16-byte entries {address low, address high, byte count, 0} read in order until the
// DCB's bytes are covered. toSdram: host to SDRAM (PCIREAD), else SDRAM to host (PCIWRITE).
class PciEndpoint : public DmaEndpoint {
public:
    explicit PciEndpoint(bool toSdram) : m_toSdram(toSdram) {}
    bool Ready(DmaEngine&, int, const DcbImage&) override { return true; }
    bool Transfer(DmaEngine& engine, int channel, const DcbImage& dcb) override;

private:
    bool m_toSdram;
};

// The video utility client: the input channel reads each frame from SDRAM into the loop, the
// output channel writes it back to SDRAM at its own DCB's address. A frame moves only when both
// channels have a DCB running, so the pair is serviced together.
class StreamLink : public DmaEndpoint {
public:
    StreamLink(int sourceChannel, int sinkChannel) : m_source(sourceChannel), m_sink(sinkChannel) {}
    bool Ready(DmaEngine& engine, int channel, const DcbImage& dcb) override;
    bool Transfer(DmaEngine& engine, int channel, const DcbImage& dcb) override;
    std::vector<int> Group(int) const override { return {m_sink, m_source}; }
    void Flush(int channel) override;

private:
    // Whether the output channel takes the frame in the step that follows, before anything else
    // can change the memory: the frame can then stay in the cells it is read from.
    bool SinkStepsNext(DmaEngine& engine, const DcbImage& dcb);
    bool ReadFrame(DmaEngine& engine, const DcbImage& dcb);
    // Copies the frame left in the cells cell to cell; false when the output's runs leave the
    // memory or overlap the frame's.
    bool CopyInCells(SdramModel& sdram, const DcbImage& sink);

    int m_source, m_sink;
    bool m_full = false;     // a frame waits in the loop for the output channel
    bool m_inCells = false;  // ... still in the cells of m_pending, the DCB that read it
    DcbImage m_pending;
    std::vector<DcbImage> m_plan;
    RunCursor m_cursor;  // the output's runs, while the frame is copied cell to cell
    FrameBytes m_frame;  // a frame read short is never delivered, so its bytes need no clearing
};

}  // namespace sim
