// Host-port bridge and DSP models of the codec board: ready timing, mailbox, microcode boot, heap.
#include "sim/codec_bridge.h"

#include <algorithm>
#include <cstddef>
#include <span>

#include "platform/clock.h"
#include "sim/bitstream.h"
#include "sim/firmware_images.h"
#include "sim/sdram.h"

namespace sim {

namespace {

void PutWord(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

int64_t TicksPerMicro() {
    LONGLONG f = 0;
    QueryPerformanceFrequency(&f);
    return f / 1'000'000 > 0 ? f / 1'000'000 : 1;
}

}  // namespace

namespace {

// An OXD file of the codec board: the fixed header text, the tags, the data.
std::vector<uint8_t> WrapOxd(const std::string& id, const std::string& revision, const std::string& name, const std::vector<uint8_t>& data,
                             const std::string& packages = "") {
    std::string text = "R";
    text.append(revision).append("F").append(id).append("MNUXA");
    text.resize(kOxdFixedHeader, ' ');
    text += "N:" + name + ";R:" + revision + ";B:NUXA;";
    if (!packages.empty()) text += "X:" + packages + ";";
    return WrapOxdFile(text, data);
}

}  // namespace

std::vector<uint8_t> BuildDspMicrocodeOxd(uint32_t revision) {
    constexpr uint32_t kCodeBytes = 0x2000;
    std::vector<uint8_t> data;
    PutWord(data, CodecDsp::kMicrocodeMagic);
    PutWord(data, revision);
    PutWord(data, kCodeBytes);
    uint32_t state = 0x1234567u + revision;
    for (uint32_t i = 0; i < kCodeBytes / 4; ++i) {
        state = state * 1664525u + 1013904223u;
        PutWord(data, state);
    }
    PutWord(data, Crc32Ieee(data.data(), data.size()));
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04u", revision % 10000);
    return WrapOxd("KAWF", digits, "KAWF0101", data);
}

std::vector<uint8_t> BuildCodecChipOxd(const std::string& id, uint32_t idWord, const std::string& packages) {
    char revision[8];
    std::snprintf(revision, sizeof revision, "%02X%02X", idWord >> 12 & 0xFF, idWord & 0xFF);
    return WrapOxd(id, revision, id + "0202", Bitstream::Build(CodecChip::kTargets, idWord, 0x1000), packages);
}

CodecDsp::CodecDsp(const BoardConfig& config, int chip) : m_chip(config, chip) {
    for (const DspFault& f : config.faults.codec.dsps)
        if (f.chip == chip) m_faults.push_back(f);
}

bool CodecDsp::HasFault(DspFault::Kind kind) const {
    return std::any_of(m_faults.begin(), m_faults.end(), [kind](const DspFault& f) { return f.kind == kind; });
}

bool CodecDsp::FormatFrame() {
    bool formatted = true;
    for (const DspFault& f : m_faults) {
        if (f.kind != DspFault::Kind::CodecStatus || !m_running) continue;
        SetWord(kMailboxStatus, Word(kMailboxStatus) | f.bits);
        formatted = formatted && (f.bits & 0xF) == 0;
    }
    return formatted;
}

void CodecDsp::FrameFaults(uint8_t* bytes, uint64_t at, size_t length) const {
    for (const DspFault& f : m_faults)
        if (f.kind == DspFault::Kind::FrameCorrupt && f.offset >= at && f.offset - at < length) bytes[f.offset - at] ^= static_cast<uint8_t>(f.mask);
}

bool CodecDsp::Own(uint32_t address) const {
    if (address < kMemoryBytes || (address & ~3u) == kControl) return true;
    for (int e = 0; e < 2; ++e)
        if (address >= kEmifBase[e] && address < kEmifBase[e] + 4 * kEmifWords) return true;
    return false;
}

uint32_t CodecDsp::Word(uint32_t address) const {
    const uint32_t i = (address & (kMemoryBytes - 1)) / 4;
    if (address / 4 * 4 == kMailboxStatus && !m_running) return kHaltedStatus;
    return i < m_memory.size() ? m_memory[i] : 0;
}

void CodecDsp::SetWord(uint32_t address, uint32_t value) {
    if (m_memory.empty()) m_memory.assign(kMemoryBytes / 4, 0);
    m_memory[(address & (kMemoryBytes - 1)) / 4] = value;
}

uint32_t CodecDsp::Read(uint32_t address) {
    if (!Own(address)) return m_chip.Read(address);
    address &= ~3u;
    if (address < kMemoryBytes) return Word(address);
    for (int e = 0; e < 2; ++e)
        if (address >= kEmifBase[e] && address < kEmifBase[e] + 4 * kEmifWords) return m_emif[e][(address - kEmifBase[e]) / 4];
    return m_running ? 1 : 0;  // the control word
}

void CodecDsp::Write(uint32_t address, uint32_t value) {
    if (!Own(address)) {
        m_chip.Write(address, value);
        return;
    }
    address &= ~3u;
    if (address < kMemoryBytes) {
        // The microcode's first code word (after magic, revision and length) lands changed.
        if (address == 12 && HasFault(DspFault::Kind::DownloadFails)) value ^= 1;
        SetWord(address, value);
        return;
    }
    for (int e = 0; e < 2; ++e)
        if (address >= kEmifBase[e] && address < kEmifBase[e] + 4 * kEmifWords) {
            m_emif[e][(address - kEmifBase[e]) / 4] = value;
            return;
        }
    if (value & 1) Boot();  // the control word
    else m_running = false;
}

// The boot loader checks the image at address 0 and starts it only when it is whole.
void CodecDsp::Boot() {
    m_running = false;
    if (m_memory.empty() || Word(0) != kMicrocodeMagic || HasFault(DspFault::Kind::BootFails)) return;
    const uint32_t codeBytes = Word(8);
    if (codeBytes == 0 || codeBytes % 4 || codeBytes > kHeapBegin - 16) return;
    std::vector<uint8_t> bytes;
    for (uint32_t a = 0; a < 12 + codeBytes; a += 4) PutWord(bytes, Word(a));
    if (Crc32Ieee(bytes.data(), bytes.size()) != Word(12 + codeBytes)) return;
    m_running = true;
    m_revision = Word(4);
    m_state = 1;
    m_mode = 0;
    m_heap.clear();
    m_tables.clear();
    SetWord(kMailboxCommand, 0);
    SetWord(kMailboxStatus, 0);
}

void CodecDsp::Doorbell() {
    if (m_running) Command();
}

void CodecDsp::Command() {
    const uint32_t command = Word(kMailboxCommand);
    uint32_t arg[8];
    for (uint32_t i = 0; i < 8; ++i) arg[i] = Word(kMailboxArgs + 4 * i);
    uint32_t reply[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    switch (command) {
    case 1: reply[1] = HasFault(DspFault::Kind::InitialiseFails) ? 0 : m_revision; break;
    case 2:
        if (arg[0] == 1 || arg[0] == 2) m_state = arg[0];
        else reply[0] = 0;
        break;
    case 3: reply[1] = m_state; break;
    case 4:
    case 7:
        // Modes 0 idle, 1 encode, 2 decode; 3 the HD encoder (set, not a firmware start mode).
        if ((command == 4 && arg[0] <= 3) || (command == 7 && (arg[0] == 1 || arg[0] == 2))) m_mode = arg[0];
        else reply[0] = 0;
        break;
    case 5: reply[1] = m_mode; break;
    case 6: {
        const uint32_t bytes = (arg[0] + 15) & ~15u;
        uint32_t at = kHeapBegin;
        for (const auto& [address, size] : m_heap) {
            if (address - at >= bytes) break;
            at = address + size;
        }
        if (arg[0] == 0 || arg[0] > kHeapEnd - kHeapBegin || at > kHeapEnd - bytes) reply[0] = 0;
        else {
            m_heap[at] = bytes;
            reply[1] = at;
        }
        break;
    }
    case 8:
        if (arg[1] < kHeapBegin || arg[3] < kHeapBegin || arg[2] == 0 || arg[4] == 0 || m_tables.size() >= 64) reply[0] = 0;
        else {
            reply[1] = static_cast<uint32_t>(m_tables.size()) * 0x20;
            m_tables.push_back({arg[0], arg[1], arg[2], arg[3], arg[4]});
        }
        break;
    case 9: {
        const auto it = m_heap.find(arg[0]);
        if (it == m_heap.end()) reply[0] = 0;
        else m_heap.erase(it);
        break;
    }
    case 11:
        if (m_tables.empty()) {
            reply[0] = 0;
        } else {
            m_loadedTables = m_tables;
            // The encode tables go into the chip with the offsets command 8 gave them.
            std::vector<CodecChip::EncodeTable> tables;
            for (size_t i = 0; i < m_tables.size(); ++i) {
                CodecChip::EncodeTable t;
                t.vcid = m_tables[i][0];
                t.offset = static_cast<uint32_t>(i) * 0x20;
                for (uint32_t a = 0; a < m_tables[i][2]; a += 4) PutWord(t.bytes, Word(m_tables[i][1] + a));
                for (const DspFault& f : m_faults)
                    if (f.kind == DspFault::Kind::TableCorrupt && f.offset < t.bytes.size()) t.bytes[f.offset] ^= static_cast<uint8_t>(f.mask);
                tables.push_back(std::move(t));
            }
            m_chip.LoadEncodeTables(std::move(tables));
        }
        break;
    default: reply[0] = 0; break;
    }
    for (uint32_t i = 0; i < 8; ++i) SetWord(kMailboxReply + 4 * i, reply[i]);
    SetWord(kMailboxCommand, 0);
}

CodecBridge::CodecBridge(const BoardConfig& config)
    : m_id(kBridgeDeviceId << 20 | (config.bridgeMajor & 0xFF) << 12 | (config.bridgeMinor & 0xFFF)), m_dsp{CodecDsp(config, 1), CodecDsp(config, 2)} {
    for (const BridgeWrongId& w : config.faults.codec.bridgeWrongId) m_id = (w.id & 0xFFF) << 20 | (w.major & 0xFF) << 12 | (w.minor & 0xFFF);
    for (int port : config.faults.codec.bridgeNotReady) m_ports[port == 2 ? 1 : 0].neverReady = true;
}

CodecBridge::Port* CodecBridge::PortAt(uint32_t offset, uint32_t& reg, int& index) {
    const uint32_t local = offset - kBase;
    index = static_cast<int>(local / kPortStride);
    if (index < 1 || index > 2) return nullptr;
    reg = local % kPortStride;
    return &m_ports[index - 1];
}

uint32_t CodecBridge::Read(uint32_t offset) {
    if (offset - kBase == kIdOffset) return m_id;
    uint32_t reg = 0;
    int index = 0;
    Port* port = PortAt(offset, reg, index);
    if (!port) return 0;
    const int64_t now = platform::NowTicks();
    switch (reg) {
    case kControl: return port->neverReady || now < port->busyUntil ? 0 : kReady;
    case kAddress: return port->address;
    case kData:
    case kDataAuto: {
        const uint32_t value = port->neverReady ? 0xFFFFFFFF : m_dsp[index - 1].Read(port->address);
        if (reg == kDataAuto) port->address += 4;
        port->busyUntil = now + kBusyMicros * TicksPerMicro();
        return value;
    }
    default: return 0;
    }
}

void CodecBridge::Write(uint32_t offset, uint32_t value) {
    uint32_t reg = 0;
    int index = 0;
    Port* port = PortAt(offset, reg, index);
    if (!port || port->neverReady) return;
    switch (reg) {
    case kAddress: port->address = value; break;
    case kData:
    case kDataAuto:
        m_dsp[index - 1].Write(port->address, value);
        if (reg == kDataAuto) port->address += 4;
        port->busyUntil = platform::NowTicks() + kBusyMicros * TicksPerMicro();
        break;
    case kDoorbell: m_dsp[index - 1].Doorbell(); break;
    default: break;
    }
}



namespace {

// One direction of a chip's VelkoDrun port on the DMA engine.
class VelkoDrunPort : public DmaEndpoint {
public:
    VelkoDrunPort(CodecDsp& dsp, RegisterMap& map, uint32_t portWord, bool inbound)
        : m_dsp(dsp), m_chip(dsp.Chip()), m_map(map), m_portWord(portWord), m_inbound(inbound) {}
    bool Ready(DmaEngine&, int, const DcbImage&) override {
        if (m_inbound || !m_chip.Outbound().empty() || m_ahead) return true;
        // An encoded frame goes out once the DSP has formatted it.
        return m_chip.HasOutbound() && m_dsp.FormatFrame();
    }
    void Started(int) override { m_chainContext = -1, m_ahead = false; }
    void Flush(int) override { m_chainContext = -1, m_ahead = false; }
    // The cells of the outbound DCB about to move, for a frame of `bytes` bytes the chip writes
    // there itself before its push moves the channel (which then finds them delivered), when that
    // sees exactly what the stream would: a healthy memory, a channel without a corruption fault
    // that moves this DCB as the push comes (running, its BCU set), one run that takes the whole
    // frame, none of the input's bytes under it, and no other endpoint's put-off writes, which the
    // push would land first. Null otherwise. When the stream would hold the frame until the
    // inbound chain `queuedOn` is through (-1: it goes out at once), the DCB must take exactly this
    // frame (the stream would fill a longer one from the next) and no later frame of that chain
    // may be read from under it.
    uint8_t* Ahead(DmaEngine& engine, int channel, uint64_t bytes, std::span<const uint8_t> input, int queuedOn) {
        SdramModel& sdram = engine.Sdram();
        if (m_inbound || m_ahead || m_chip.HasOutbound() || sdram.HasFaults() || engine.HasCorruption(channel) ||
            engine.Endpoint(channel) != this || engine.Unsettled())
            return nullptr;
        engine.Upcoming(channel, 1, m_plan);
        uint64_t start = 0, length = 0;
        if (m_plan.empty() || !engine.InMemory(m_plan.front()) || !OneRun(m_plan.front(), start, length) || length < bytes ||
            (queuedOn >= 0 && (length != bytes || !ChainClear(engine, queuedOn, start, bytes))))
            return nullptr;
        const auto low = reinterpret_cast<uintptr_t>(input.data()), high = low + input.size();
        uint8_t* cells = sdram.Map(start, static_cast<size_t>(bytes));
        const auto at = reinterpret_cast<uintptr_t>(cells);
        if (!cells || (at < high && low < at + bytes)) return nullptr;
        m_ahead = true;
        return cells;
    }
    bool Transfer(DmaEngine& engine, int channel, const DcbImage& dcb) override {
        if (m_inbound) {
            const uint32_t portWord = m_map.Read(m_portWord);
            // A chain's first frame takes its context from the port word, each later one the
            // context ID of the DCB before it.
            const uint32_t context = m_chainContext < 0 ? portWord : static_cast<uint32_t>(m_chainContext);
            m_chainContext = static_cast<int>(dcb.w[1] & 0xF);
            bool whole = true;
            // Each run's whole words. A frame the chip can read where it lies is handed over in
            // place. Otherwise, when the DCB lies in the memory, they are read straight into the
            // port's frame buffer, kept from frame to frame so that it is not cleared each time;
            // else through a run buffer, whose bytes past a short read stay as the runs before
            // left them.
            std::span<const uint8_t> bytes = InPlace(engine, channel, dcb);
            std::vector<uint8_t> collected, run;
            if (bytes.empty() && engine.InMemory(dcb)) {
                m_frame.resize(static_cast<size_t>(dcb.Bytes()));  // runs are whole words
                whole = engine.ReadRuns(dcb, m_frame.data());
                engine.Corrupt(channel, m_frame.data(), 0, m_frame.size());  // the channel's fault acts as it reads
                bytes = m_frame;
            } else if (bytes.empty()) {
                DmaEngine::ForEachRun(dcb, [&](uint64_t address, uint64_t length) {
                    run.resize(static_cast<size_t>(length));
                    whole = whole && engine.Sdram().Read(address, run.data(), run.size()) == run.size();
                    collected.insert(collected.end(), run.begin(), run.end() - static_cast<std::ptrdiff_t>(run.size() % 4));
                });
                engine.Corrupt(channel, collected.data(), 0, collected.size());
                bytes = collected;
            }
            if (m_chip.TakeFrame(context, bytes)) return whole;
            m_chip.PushInbound(static_cast<uint16_t>(portWord));
            for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
                m_chip.PushInbound(static_cast<uint16_t>(bytes[i] | bytes[i + 1] << 8));
                m_chip.PushInbound(static_cast<uint16_t>(bytes[i + 2] | bytes[i + 3] << 8));
            }
            return whole;
        }
        // A frame the chip wrote into the cells itself is there already.
        if (m_ahead) {
            m_ahead = false;
            return true;
        }
        // What the chip has sent so far lands in the DCB's lines; the rest of them stay as they were.
        const bool encoded = m_chip.Outbound().empty() && m_chip.HasOutbound();
        m_chip.PrepareOutbound(dcb.Bytes());
        WordStream& out = m_chip.Outbound();
        std::vector<uint32_t> scratch;
        uint64_t pos = 0;
        DmaEngine::ForEachRun(dcb, [&](uint64_t address, uint64_t length) {
            // Whole words until the run is covered or the chip has sent nothing more.
            const size_t n = static_cast<size_t>(std::min<uint64_t>(out.size(), (length + 3) / 4));
            if (n == 0) return;
            uint32_t* words = out.Front(n, scratch);
            if (encoded) m_dsp.FrameFaults(reinterpret_cast<uint8_t*>(words), pos, n * 4);
            engine.Corrupt(channel, reinterpret_cast<uint8_t*>(words), pos, n * 4);
            pos += n * 4;
            engine.Sdram().Write(address, words, n * 4);
            out.Pop(n);
        });
        return true;
    }

private:
    // Whether the inbound chain runs to its end from the DCB it moves now without reading any of
    // [start, start + bytes).
    bool ChainClear(DmaEngine& engine, int inbound, uint64_t start, uint64_t bytes) {
        engine.Upcoming(inbound, 16, m_chain);
        if (m_chain.empty() || m_chain.back().Next() != 0) return false;
        return std::none_of(m_chain.begin(), m_chain.end(), [&](const DcbImage& dcb) {
            const auto [low, high] = DmaEngine::Span(dcb);
            return low < start + bytes && start < high;
        });
    }
    // The DCB's bytes where they lie in the cells, when reading them there sees exactly what a
    // copy would: one run of whole words in a healthy memory, on a channel without a corruption
    // fault. Empty otherwise.
    static std::span<const uint8_t> InPlace(DmaEngine& engine, int channel, const DcbImage& dcb) {
        uint64_t start = 0, length = 0;
        if (engine.HasCorruption(channel) || !engine.InMemory(dcb) || !OneRun(dcb, start, length) || length == 0 || length % 4) return {};
        // The view brings the other transfers up to date first, as the copy's read did.
        const uint8_t* cells = engine.Sdram().ReadView(start, static_cast<size_t>(length));
        return cells ? std::span<const uint8_t>(cells, static_cast<size_t>(length)) : std::span<const uint8_t>();
    }
    // Whether the DCB moves one run of the memory, and where.
    static bool OneRun(const DcbImage& dcb, uint64_t& start, uint64_t& length) {
        int runs = 0;
        DmaEngine::ForEachRun(dcb, [&](uint64_t address, uint64_t bytes) {
            if (runs++ == 0) start = address, length = bytes;
        });
        return runs == 1;
    }

    CodecDsp& m_dsp;
    CodecChip& m_chip;
    RegisterMap& m_map;
    uint32_t m_portWord;
    bool m_inbound;
    int m_chainContext = -1;  // the context of the chain's next frame, once its first has gone
    std::vector<uint8_t> m_frame;  // the inbound frame being handed to the chip
    bool m_ahead = false;          // the chip wrote the next DCB's frame into its cells
    std::vector<DcbImage> m_plan, m_chain;
};

}  // namespace

void CodecBridge::AttachPorts(DmaEngine& engine, RegisterMap& map) {
    for (int i = 0; i < 2; ++i) {
        CodecChip& chip = m_dsp[i].Chip();
        m_endpoints[2 * i] = std::make_shared<VelkoDrunPort>(m_dsp[i], map, i == 0 ? 0x88000u : 0x90000u, true);
        m_endpoints[2 * i + 1] = std::make_shared<VelkoDrunPort>(m_dsp[i], map, 0, false);
        engine.SetEndpoint(28 + i, m_endpoints[2 * i]);
        engine.SetEndpoint(24 + i, m_endpoints[2 * i + 1]);
        chip.SetInboundPull([&engine, i] { engine.Observe(28 + i); });
        chip.SetOutboundPush([&engine, i] { engine.Observe(24 + i); });
        auto* out = static_cast<VelkoDrunPort*>(m_endpoints[2 * i + 1].get());
        chip.SetOutboundTarget([&engine, i, out](uint64_t bytes, std::span<const uint8_t> input, bool queued) {
            return out->Ahead(engine, 24 + i, bytes, input, queued ? 28 + i : -1);
        });
    }
}

}  // namespace sim
