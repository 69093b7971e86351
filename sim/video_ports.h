// The main FPGA's video ports: stream paths through the video FPGAs as DMA endpoints, the board links with their plugs and cables, port contexts and sync-error flags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "sim/dma_engine.h"
#include "sim/dma_routes.h"
#include "sim/register_map.h"
#include "sim/rig_config.h"
#include "sim/video_route.h"

namespace sim {

class BoardController;

// Bytes in flight between a stream's source and its sink channel. Taking a DCB's words off the
// front only moves the read position; the live bytes go back to the start of the buffer when the
// tail needs room, so neither side ever moves more than it transfers.
class StreamFifo {
public:
    size_t Size() const { return m_end - m_begin; }
    // Room for n more bytes at the tail; they count once Commit(n) is called.
    uint8_t* Reserve(size_t n);
    void Commit(size_t n) { m_end += n; }
    uint8_t* Front() { return m_buf.get() + m_begin; }
    void Drop(size_t n);
    void Clear() { m_begin = m_end = 0; }

private:
    std::unique_ptr<uint8_t[]> m_buf;
    size_t m_capacity = 0, m_begin = 0, m_end = 0;
};

// One port's stream on one board: the source channel reads its DCB's lines from SDRAM into the
// path, the route's FPGAs carry the words, and they wait in the FIFO of the destination path (this
// one, or over a cable the partner board's) until its sink channel writes them to SDRAM. A source
// DCB moves only while the route is open; a sink DCB moves only when the FIFO holds all its words,
// so a short source leaves it waiting and a long one fills the next. A 16-bit DCB (at either end)
// carries bits 15-3 of each half-word (the port's 13-bit samples): the low 3 bits of each half
// arrive 0. A flush of either channel empties the path. Words that a waiting sink is certain to
// take next, before anything else can look at its memory, go straight into its cells instead of
// through the FIFO; its step then only retires the DCB, so the outcome is the same.
class StreamPath : public DmaEndpoint {
public:
    StreamPath(DmaEngine& engine, VideoPort port, int source, int sink, const BoardFaults& faults, uint32_t& syncFlags);

    // The FPGAs between source and sink; without one the source never moves.
    void SetRoute(VideoRoute* route) { m_route = route; }
    // Where the source's words go now (a board link chooses per transfer); null: this path.
    void SetDestination(std::function<StreamPath*()> destination) { m_destination = std::move(destination); }
    // A path on another board whose source may fill this one's FIFO: a sink short of words steps
    // that board's engine first, and a source that fills another board's FIFO steps that board's
    // engine after, so observing either end of a cable moves both.
    void AddFeeder(StreamPath* feeder) { m_feeders.push_back(feeder); }

    bool Ready(DmaEngine& engine, int channel, const DcbImage& dcb) override;
    bool Transfer(DmaEngine& engine, int channel, const DcbImage& dcb) override;
    std::vector<int> Group(int) const override { return {m_sink, m_source}; }
    void Flush(int channel) override;
    // Words a device of the board hands the path directly (the codec chips' expansion output):
    // they wait in the FIFO for the sink channel as a source's words do.
    void Deliver(const uint8_t* data, size_t n);

    // Beyond this the path pushes back on its sources; it still takes one DCB of any size when empty.
    static constexpr size_t kFifoLimit = size_t{1} << 30;
    // Words masked and carried at a time, so that the route finds them in cache.
    static constexpr size_t kBlockBytes = size_t{128} << 10;

private:
    // A sink DCB whose words a source wrote straight into its cells; the sink's step only retires it.
    struct Delivered {
        DcbImage dcb;
        uint64_t bytes = 0;
    };

    StreamPath* Destination() { return m_destination ? m_destination() : this; }
    void MarkSync();
    // Bytes between source and sink: those in the FIFO and those already delivered.
    uint64_t Held() const { return m_deliveredBytes + m_fifo.Size(); }
    void ClearHeld();
    // Whether the source DCB's words may go straight into to's cells: to's sink is certain to take
    // exactly them next, before anything else on its board runs, with nothing on the way that needs
    // them held (healthy memories, no channel fault, both ends mapped). Fills m_cursor then.
    bool CanDeliver(DmaEngine& engine, int channel, const DcbImage& dcb, StreamPath& to);
    // Moves the source DCB's words through the route into the cells of to's next sink DCB.
    void DeliverDirect(SdramModel& sdram, const DcbImage& dcb, StreamPath& to, const DcbImage& sink);
    // The source DCB's words through the route into to's FIFO; false when the memory fails the read.
    bool Hold(DmaEngine& engine, int channel, const DcbImage& dcb, StreamPath& to);
    // The sink DCB's words from the FIFO into the cells; false when they do not all fit the memory.
    bool Store(DmaEngine& engine, int channel, const DcbImage& dcb);

    DmaEngine& m_engine;
    int m_source, m_sink;
    uint32_t m_syncBit;
    bool m_syncFault = false;
    uint32_t& m_syncFlags;
    VideoRoute* m_route = nullptr;
    std::function<StreamPath*()> m_destination;
    std::vector<StreamPath*> m_feeders;
    StreamPath* m_lastDestination = nullptr;
    StreamFifo m_fifo;
    // Sink DCBs delivered ahead, oldest first from m_deliveredFront; they always precede the FIFO's bytes.
    std::vector<Delivered> m_delivered;
    size_t m_deliveredFront = 0;
    uint64_t m_deliveredBytes = 0;
    // Kept between transfers: the planned DCBs, the sink's runs and the block the route carries.
    std::vector<DcbImage> m_plan, m_sources;
    RunCursor m_cursor;
    std::unique_ptr<uint8_t[]> m_block;
};

// One board's board-link FPGA on a port (codec port: device 3, channels 37 to 59, clock enable RAM
// bit 3, EXPA; expansion port: device 4, 36 to 58, RAM bit 4, EXPB) and what is on its connector.
// The link carries data while its FPGA is configured, out of reset and clocked. RAM bit 8 loops the
// data back inside the FPGA; else a loopback plug returns it to the own inbound channel, a cable
// takes it to the partner's same-port inbound channel, or back to the own one while the partner's
// bit 8 is set (the partner then needs its link up too); with nothing attached the data waits.
class BoardLink : public VideoRoute {
public:
    BoardLink(VideoPort port, const BoardConfig& config, BoardController& controller);

    void SetPath(StreamPath* path) { m_path = path; }
    void Plug() { m_plug = true; }
    static void Cable(BoardLink& a, BoardLink& b);

    int Device() const { return m_device; }
    int RamBit() const { return m_ramBit; }
    // Configured, out of reset and its clock enabled.
    bool Up() const;
    bool Open() override;
    // XORs the link-corruption masks of the link FPGAs the words pass now (own, and over a cable the partner's).
    void Carry(uint8_t* data, size_t len) override;
    bool Touches() const override { return CorruptMask() != 0; }
    // The inbound path the words reach now; null while the link is not open.
    StreamPath* Destination();

private:
    bool LoopsInside() const;
    // The corruption the words meet on this link: this end's fault, and across a cable the far end's.
    uint32_t CorruptMask() const;

    int m_device, m_ramBit;
    BoardController& m_controller;
    uint32_t m_corruptMask = 0;
    bool m_plug = false;
    BoardLink* m_partner = nullptr;
    StreamPath* m_path = nullptr;
};

// The video ports of one board's main FPGA and their registers (BAR0 byte offsets):
//   0x58110  sync-error flags (DMACtrl.ERR.IStatus): bit VideoPort, bit 24 BVI (sim/box_paths.h), latched, writing 1 clears
//   0x88000, 0x90000, 0x98000, 0xA0000  port contexts of PPP-A, PPP-B, EXPA and EXPB: read back as written
// The board links and their streams are built here; the port-pair streams once the main board's
// keyer routes are attached.
class VideoPorts : public RegisterBlock {
public:
    static constexpr uint32_t kSyncFlags = 0x58110;
    static constexpr uint32_t kContexts[4] = {0x88000, 0x90000, 0x98000, 0xA0000};

    VideoPorts(const BoardConfig& config, BoardController& controller, DmaEngine& engine);
    VideoPorts(const VideoPorts&) = delete;
    VideoPorts& operator=(const VideoPorts&) = delete;

    // Claims the registers above; after the FPGA's own blocks, whose range covers 0x58110.
    void Attach(RegisterMap& map);
    // The main board's streams 28 to 24 (route a) and 29 to 25 (route b).
    void AttachPpp(VideoRoute& a, VideoRoute& b);
    // Cables a port (1 codec, 2 expansion) of two boards together: data, and each side's clock
    // present while both links are configured and enabled.
    static void Cable(VideoPorts& a, VideoPorts& b, int port);

    BoardLink& Link(int port) { return *m_links[port == 1 ? 0 : 1]; }
    // The inbound stream of a board link's port (1 codec, 2 expansion), which its sink channel empties.
    StreamPath& LinkPath(int port) { return *m_linkPaths[port == 1 ? 0 : 1]; }
    uint32_t SyncFlags() const { return m_syncFlags; }
    // Latches sync-error bits of other models (bit 24, the breakout box's inbound video).
    void LatchSync(uint32_t bits) { m_syncFlags |= bits; }

    uint32_t Read(uint32_t offset) override;
    void Write(uint32_t offset, uint32_t value) override;

private:
    BoardController& m_controller;
    DmaEngine& m_engine;
    BoardFaults m_faults;
    uint32_t m_syncFlags = 0;
    uint32_t m_contexts[4] = {};
    std::unique_ptr<BoardLink> m_links[2];
    std::shared_ptr<StreamPath> m_linkPaths[2];
    std::shared_ptr<StreamPath> m_pppPaths[2];
};

}  // namespace sim
