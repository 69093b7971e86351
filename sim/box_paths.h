// The loop paths through the external I/O connector as DMA endpoints: video out on channel 4 and back
// into the armed inbound channel 0-3, audio out on 20 and back on 32, the BVI select word and the
// video frame counter.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "sim/dma_engine.h"
#include "sim/frame_bytes.h"
#include "sim/register_map.h"
#include "sim/rig_config.h"

namespace sim {

class BreakoutBox;

// The frame period of a project format (1-24) on the virtual clock; other values: 33 ms.
int64_t FramePeriodTicks(uint64_t projectFormat);

// The way channel 4's frames come back now, and how many frames late (black until then).
enum class BoxVideoPath { None, Cable, NulkInternal, BexiHd, NulkSdi };

// Everything on the connector's video pins. Each frame of channel 4 enters the active path as one
// frame, keeping the ten value bits of each 16-bit sample; the path returns one frame for each it
// takes, the first Delay() of them black. Returned frames wait for an inbound DCB (at most
// kHeldFrames: while one is armed the source then waits, else the oldest is dropped); without a
// path the frames are taken and lost. A change of path
// (StopIO included) drops the frames in flight. With modelled timing the box's own loops return a
// frame per frame period, from the start frame on when I/O was started at one.
class BoxVideoLoop : public DmaEndpoint {
public:
    static constexpr int kSource = 4;
    static constexpr uint32_t kSampleMask = 0xFFC0FFC0;
    static constexpr uint32_t kSyncBit = 1u << 24;  // DMACtrl.ERR.IStatus: BVI sync error
    static constexpr size_t kHeldFrames = 16;
    static constexpr size_t kSpareFrames = 8;

    BoxVideoLoop(const BoardConfig& config, BreakoutBox* box, bool modelled, std::function<void(uint32_t)> latchSync);

    BoxVideoPath Path() const;
    // Frames the path returns late: its own delay and a frame-slip fault's frames.
    int Delay(BoxVideoPath path) const;
    int64_t Period() const;
    // The 6-bit frame counter at the current virtual time.
    uint32_t FrameCounter() const;

    bool Ready(DmaEngine& engine, int channel, const DcbImage& dcb) override;
    bool Transfer(DmaEngine& engine, int channel, const DcbImage& dcb) override;
    std::vector<int> Group(int channel) const override;
    void Flush(int channel) override;
    void Settle() override;

private:
    // A frame in the loop. Within one pass of the engine a frame read from healthy memory stays
    // where it lies (its runs; nothing else writes the SDRAM then) and moves cell to cell, masked,
    // into its destination; it is copied out first when a write would reach its cells, or when the
    // pass ends.
    struct Frame {
        FrameBytes data;  // empty, with no runs, for a black frame
        std::vector<std::pair<uint64_t, uint64_t>> runs;  // address, bytes: the words not yet copied out
        uint64_t low = 0, high = 0;                       // the span of the runs
        bool Black() const { return data.empty() && runs.empty(); }
        size_t Size() const;
    };
    struct Returned {
        Frame frame;
        int64_t due = 0;
        size_t blackBytes = 0;  // a black frame's size: written from m_black unless corrupted
    };
    void Follow();
    // Keeps a frame's buffer, while there is room, for a later frame to read into.
    void Recycle(Frame&& frame);
    FrameBytes SpareBuffer();
    // Copies a frame still in the SDRAM out into a buffer of its own, masked.
    void CopyOut(SdramModel& sdram, Frame& frame);
    // Copies out every frame still in the SDRAM whose cells [low, high) reaches.
    void CopyOutOverlapping(SdramModel& sdram, uint64_t low, uint64_t high);

    const BoardConfig& m_config;
    BreakoutBox* m_box;
    bool m_modelled;
    std::function<void(uint32_t)> m_latchSync;
    BoxVideoPath m_path = BoxVideoPath::None;
    std::deque<Frame> m_line;       // frames inside the loop, oldest first
    std::deque<Returned> m_back;              // frames back at the board
    std::vector<FrameBytes> m_spare;  // buffers of frames delivered, for the next ones to take
    FrameBytes m_black;               // zeros, as many as the largest black frame so far
    SdramModel* m_deferred = nullptr;  // the memory of frames left in place in this pass, if any
    int64_t m_nextDue = 0;
    uint32_t m_starts = 0;
    uint32_t m_switches = 0;
};

// The audio loop: channel 20's samples come back on channel 32 through the box's audio loop cable
// (the Dolwer answering) or a loopback cable, 24 bits of each DWORD (the low byte arrives 0).
class BoxAudioLoop : public DmaEndpoint {
public:
    static constexpr int kSource = 20, kSink = 32;
    static constexpr uint32_t kSampleMask = 0xFFFFFF00;

    BoxAudioLoop(const BoardConfig& config, BreakoutBox* box) : m_config(config), m_box(box) {}
    bool Active() const;

    bool Ready(DmaEngine& engine, int channel, const DcbImage& dcb) override;
    bool Transfer(DmaEngine& engine, int channel, const DcbImage& dcb) override;
    std::vector<int> Group(int) const override { return {kSink, kSource}; }
    void Flush(int channel) override;

private:
    const BoardConfig& m_config;
    BreakoutBox* m_box;
    bool m_full = false;
    std::vector<uint8_t> m_block;
    std::vector<uint8_t> m_carry;  // the stream's last DWORDs, for a slip that delivers them late
};

// The connector's endpoints and registers (BAR0 byte offsets):
//   0x80100  BVI select word: reads back as written, routes nothing
//   0x80208  video frame counter in bits 24-29, one step per frame period; read-only
class BoxPaths : public RegisterBlock {
public:
    static constexpr uint32_t kBviSelect = 0x80100, kFrameCounter = 0x80208;

    BoxPaths(const BoardConfig& config, BreakoutBox* box, DmaEngine& engine, bool modelled, std::function<void(uint32_t)> latchSync);
    void Attach(RegisterMap& map);
    BoxVideoLoop& Video() { return *m_video; }

    uint32_t Read(uint32_t offset) override;
    void Write(uint32_t offset, uint32_t value) override;

private:
    std::shared_ptr<BoxVideoLoop> m_video;
    std::shared_ptr<BoxAudioLoop> m_audio;
    uint32_t m_bviSelect = 0;
};

}  // namespace sim
