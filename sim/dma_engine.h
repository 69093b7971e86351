// The Wexal DMA engine: DCB and BCU storage with revision masks, chains, live context and endpoint routing.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sim/channel_table.h"
#include "sim/rig_config.h"

namespace sim {

class SdramModel;
class HostMemory;

// The eight hardware words of one DCB with the fields the engine acts on.
struct DcbImage {
    // Line lengths and Pad count DWORDs whatever the 16bit flag: host page blocks, the video utility
    // pass and the DSK blocks are sized in DWORDs with the flag clear, image frames with it set. The
    // flag is the sample size of the video data, which the memory-to-memory paths carry unchanged.
    static constexpr uint32_t kUnitBytes = 4;

    uint32_t w[8] = {};

    int Next() const { return static_cast<int>(w[0] & 0x3F); }
    bool Is16Bit() const { return (w[0] >> 13) & 1; }
    int BcuPointer() const { return static_cast<int>(w[0] >> 23); }
    int Tag() const { return static_cast<int>((w[1] >> 16) & 0xFFF); }
    uint32_t Start() const { return w[2]; }
    uint32_t InitialLineLength() const { return w[3] & 0xFFFF; }
    uint32_t Lines() const { return w[3] >> 16; }
    uint32_t LineLength() const { return w[4] & 0xFFFF; }
    uint32_t Pad() const { return w[4] >> 16; }
    uint64_t BusAddress() const { return (uint64_t{w[7]} << 32) | w[6]; }
    uint64_t Units() const { return uint64_t{InitialLineLength()} + uint64_t{Lines()} * LineLength(); }
    uint64_t Bytes() const { return Units() * kUnitBytes; }
};

// Bit masks of a revision profile and the stuck-bit faults on top of them.
class ForcedBits {
public:
    void Add(uint32_t offset, int bit, int value);
    uint32_t Apply(uint32_t offset, uint32_t v) const {
        if (m_bits.empty()) return v;
        auto it = m_bits.find(offset);
        return it == m_bits.end() ? v : (v & ~it->second.clear) | it->second.set;
    }
    bool Empty() const { return m_bits.empty(); }

private:
    struct Force {
        uint32_t set = 0, clear = 0;
    };
    std::unordered_map<uint32_t, Force> m_bits;
};

// Which cells a unit index reaches when lines of the index are shorted or held (register_alias).
class UnitAlias {
public:
    void Configure(const std::vector<RegisterAlias>& aliases, bool bcu);
    int Cell(int unit) const {
        for (const auto& a : m_lines) {
            const int bit = a.source < 0 ? a.value : (unit >> a.source) & 1;
            unit = (unit & ~(1 << a.line)) | bit << a.line;
        }
        return unit;
    }

private:
    std::vector<RegisterAlias> m_lines;
};

// The DCB memory: 64 channels x 16 DCBs x 8 words at BAR0 0x60000. Unimplemented bits read 0.
class DcbStore {
public:
    static constexpr uint32_t kBase = 0x60000;
    void Configure(uint32_t revision, const std::vector<RegisterStuckBit>& stuck, const std::vector<RegisterAlias>& aliases);
    uint32_t Read(int channel, int dcb, int word) const;
    void Write(int channel, int dcb, int word, uint32_t value);
    DcbImage Load(int channel, int dcb) const;
    void Store(int channel, int dcb, const DcbImage& image);
    static uint32_t Offset(int channel, int dcb, int word) {
        return kBase + 0x200u * static_cast<uint32_t>(channel) + 0x20u * static_cast<uint32_t>(dcb) + 4u * static_cast<uint32_t>(word);
    }

private:
    uint32_t Mask(int channel, int word) const;
    size_t CellWord(int channel, int dcb, int word) const {
        return static_cast<size_t>(m_alias.Cell(channel * kDcbsPerChannel + dcb) * 8 + word);
    }
    std::array<uint32_t, kChannels * kDcbsPerChannel * 8> m_words{};
    bool m_fullMasks = true;
    ForcedBits m_forced;
    UnitAlias m_alias;
};

// The 512 buffer control units of four registers each at BAR0 0x70000.
class BcuStore {
public:
    static constexpr uint32_t kBase = 0x70000;
    void Configure(uint32_t revision, const std::vector<RegisterStuckBit>& stuck, const std::vector<RegisterAlias>& aliases);
    uint32_t Read(int bcu, int reg) const;
    void Write(int bcu, int reg, uint32_t value);
    bool Go(int bcu) const { return bcu >= 0 && bcu < kBcus && ((Read(bcu, 0) >> 29) & 1); }

private:
    size_t CellWord(int bcu, int reg) const { return static_cast<size_t>(m_alias.Cell(bcu) * 4 + reg); }
    std::array<uint32_t, kBcus * 4> m_regs{};
    std::array<uint32_t, 4> m_masks{};
    ForcedBits m_forced;
    UnitAlias m_alias;
};

class DmaEngine;

// The far end of a channel. Later device models (video ports, codec chips, audio, the breakout box)
// add their own endpoints through DmaEngine::SetEndpoint.
class DmaEndpoint {
public:
    virtual ~DmaEndpoint() = default;
    // Whether the far end can take or give the DCB's data now.
    virtual bool Ready(DmaEngine& engine, int channel, const DcbImage& dcb) = 0;
    // Moves one DCB's data; false when the far end faults (the channel then hangs).
    virtual bool Transfer(DmaEngine& engine, int channel, const DcbImage& dcb) = 0;
    // Channels whose progress depends on each other; serviced together.
    virtual std::vector<int> Group(int channel) const { return {channel}; }
    virtual void Flush(int /*channel*/) {}
    // A trigger started the channel's chain.
    virtual void Started(int /*channel*/) {}
    // Work put off with DmaEngine::DeferUntilSettled is done now: the engine's pass ends or another
    // begins inside it, and the memory may be seen or changed from outside.
    virtual void Settle() {}
};

class DmaEngine {
public:
    static constexpr uint32_t kControlBase = 0x58000;  // channel c's control word at + 4c

    DmaEngine(DcbStore& dcbs, BcuStore& bcus, SdramModel& sdram, HostMemory& host, const DmaTiming& timing);

    void ApplyFaults(const BoardFaults& faults);
    void SetEndpoint(int channel, std::shared_ptr<DmaEndpoint> endpoint);

    // The control word as it reads, stuck bits included; the engine obeys the same word.
    uint32_t Control(int channel) const {
        return m_controlForced.Apply(kControlBase + 4u * static_cast<uint32_t>(channel), m_ch[channel].control);
    }
    bool Enabled(int channel) const { return Control(channel) & 1; }
    void WriteControl(int channel, uint32_t value);
    // Starts the chain at DCB (value & 15); 0 starts nothing.
    void Trigger(int channel, uint32_t value);
    // Stops the channel and clears its live context.
    void Flush(int channel);
    // Brings the channel (and the channels it depends on) up to date before its live context is read.
    void Observe(int channel);
    // Brings every running channel up to date, unless the engine is already at work (its own
    // endpoints read SDRAM while it steps).
    void ObserveAll();
    bool IsBusy(int channel) const { return m_ch[channel].state != State::Idle; }

    // Fills out with the DCBs the channel moves next, in order, as its chain stands, for as long as
    // each finds its BCU set (and its far end ready, which the caller judges); at most max. Empty
    // unless the channel is running, enabled, not stalled and time is not modelled (a modelled DCB
    // waits for its time). Stops at the chain's end, a DCB that does not exist and a DCB already
    // moved in this pass (the chain loops).
    void Upcoming(int channel, size_t max, std::vector<DcbImage>& out) const;
    // Whether the Bring under way steps the channel again before it returns.
    bool StepsAgain(int channel) const;
    const DmaEndpoint* Endpoint(int channel) const { return m_ch[channel & 63].endpoint.get(); }
    // The endpoint holds work that must be done before anything outside this pass of the engine sees
    // the SDRAM: its Settle runs when the pass ends (or before a pass nested in it).
    void DeferUntilSettled(DmaEndpoint* endpoint);
    // Whether some endpoint's put-off work is still to be done (it lands before the next Bring's steps).
    bool Unsettled() const { return !m_unsettled.empty(); }

    // Services for endpoints.
    SdramModel& Sdram() { return m_sdram; }
    HostMemory& Host() { return m_host; }
    // Calls fn(address, bytes) for each contiguous SDRAM run of the DCB's lines in order, pad
    // skipped; lines that touch merge, so without pad the whole DCB is one run (one block copy).
    template <class Fn> static void ForEachRun(const DcbImage& dcb, Fn fn);
    // The lowest and the end of the highest SDRAM address the DCB's runs touch.
    static std::pair<uint64_t, uint64_t> Span(const DcbImage& dcb);
    // Whether all of the DCB's bytes lie in the SDRAM: a read of them comes back whole.
    bool InMemory(const DcbImage& dcb) const;
    // Reads the DCB's runs in order into out, which holds dcb.Bytes() bytes; false when a run
    // reaches past the memory (the runs after it are not read).
    bool ReadRuns(const DcbImage& dcb, uint8_t* out);
    // Writes as much of data as the DCB's runs hold, in order; a shorter block leaves the rest
    // unwritten. False when a run reaches past the memory (the runs after it are not written).
    bool WriteRuns(const DcbImage& dcb, const uint8_t* data, size_t size);
    // Applies the channel's corruption fault to bytes pos .. pos + len of a transfer in flight.
    void Corrupt(int channel, uint8_t* buf, uint64_t pos, size_t len) const;
    bool HasCorruption(int channel) const;

private:
    enum class State { Idle, Running, Looping, Hung };
    struct Channel {
        uint32_t control = 0;
        State state = State::Idle;
        int current = 0;
        uint32_t visited = 0;
        bool timing = false;  // a modelled transfer of the current DCB is under way
        int64_t start = 0, end = 0, lastEnd = 0;
        bool stall = false;
        int wrongTag = -2;  // -2 none, -1 the real tag XOR 1, else that tag
        std::vector<DmaCorrupt> corrupt;
        std::shared_ptr<DmaEndpoint> endpoint;
    };

    bool Step(int channel);
    // Observe without the bus time of a status read.
    void Bring(int channel);
    void ShowLive(int channel, DcbImage image);
    void ShowPartial(int channel, const DcbImage& image, uint64_t remainingUnits);
    void Finish(int channel, const DcbImage& image);
    bool ChainEndsFrom(int channel, int dcb) const;
    void SettleAll();

    DcbStore& m_dcbs;
    BcuStore& m_bcus;
    SdramModel& m_sdram;
    HostMemory& m_host;
    DmaTiming m_timing;
    std::array<Channel, kChannels> m_ch{};
    ForcedBits m_controlForced;
    int m_observing = 0;
    std::vector<DmaEndpoint*> m_unsettled;
    // The innermost Bring: its group, round and the member being stepped.
    struct Stepping {
        const std::vector<int>* group = nullptr;
        int round = 0;
        size_t index = 0;
    } m_stepping;
    static constexpr int kRounds = 64;
};

template <class Fn> void DmaEngine::ForEachRun(const DcbImage& dcb, Fn fn) {
    const uint64_t unit = DcbImage::kUnitBytes;
    const uint64_t pad = uint64_t{dcb.Pad()} * DcbImage::kUnitBytes;
    uint64_t addr = dcb.Start();
    uint64_t runStart = addr, runLen = 0;
    auto line = [&](uint64_t bytes) {
        if (!bytes) return;
        if (addr != runStart + runLen) {
            if (runLen) fn(runStart, runLen);
            runStart = addr;
            runLen = 0;
        }
        runLen += bytes;
        addr += bytes + pad;
    };
    line(uint64_t{dcb.InitialLineLength()} * unit);
    for (uint32_t i = 0; i < dcb.Lines(); ++i) line(uint64_t{dcb.LineLength()} * unit);
    if (runLen) fn(runStart, runLen);
}

}  // namespace sim
