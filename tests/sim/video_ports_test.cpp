// The video ports: board-link routes and clocks over plugs and cables, the stream FIFO between source and sink, the port registers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/firmware_images.h"
#include "sim/rig.h"
#include "sim/video_fpgas.h"

namespace {

constexpr int kOut = 37, kIn = 59;  // the codec port's link channels (EXPA)
constexpr uint32_t kSink = 0x100000;

// A board-link FPGA's download through the configuration port, left out of reset (the keyer's: device 0, LOCV).
void Load(sim::SimBoard& b, int device = 3) {
    static const std::vector<uint8_t> link = sim::FirmwareData(*sim::FindFirmwareImage("FESK"));
    static const std::vector<uint8_t> keyer = sim::FirmwareData(*sim::FindFirmwareImage("LOCV"));
    const std::vector<uint8_t>& image = device ? link : keyer;
    sim::ConfigPort& p = b.Controller().Fpgas();
    const uint32_t code = static_cast<uint32_t>(device) << 16;
    for (uint32_t v : {code | 0x400, code}) p.Write(v);  // PROG pulse; INIT rises 2 ms later
    Sleep(3);
    for (size_t i = 0; i < image.size() + 16; ++i) p.Write(code | 0x300 | (i < image.size() ? image[i] : 0));  // 16 closing clocks
    p.Write(code);
    ASSERT_TRUE(p.Configured(device));
}

// Starts a chain of one-line DCBs (words each) at consecutive addresses from start.
void Arm(sim::SimBoard& b, int channel, uint32_t start, std::vector<uint32_t> words, bool bits16 = false) {
    b.Fpga().Write32(0x70000 + 16 * 2, 1u << 29);  // BCU 2: Go
    for (uint32_t i = 0; i < words.size(); ++i, start += 4 * words[i - 1]) {
        // Next, 16bit, BCU 2; Tag; start address; one initial line.
        const uint32_t dcb[4] = {(i + 1 < words.size() ? i + 2 : 0) | (bits16 ? 1u << 13 : 0) | 2u << 23, 0xA5Au << 16, start, words[i]};
        for (uint32_t w = 0; w < 4; ++w) b.Fpga().Write32(0x60000 + 0x200 * channel + 0x20 * (i + 1) + 4 * w, dcb[w]);
    }
    b.Fpga().Write32(0x58200 + 4 * channel, 1);
}

// Reads the live context, as a poll does: the chain has ended when nothing is left to move.
bool Done(sim::SimBoard& b, int channel) { return b.Fpga().Read32(0x60000 + 0x200 * channel + 12) == 0; }

std::vector<uint32_t> Words(sim::SimBoard& b, uint32_t addr, size_t n) {
    const auto* w = reinterpret_cast<const uint32_t*>(b.Fpga().Sdram().Map(addr, 4 * n));
    return {w, w + n};
}

// n pseudo-random words written at SDRAM 0.
std::vector<uint32_t> Pattern(sim::SimBoard& b, size_t n) {
    auto* w = reinterpret_cast<uint32_t*>(b.Fpga().Sdram().Map(0, 4 * n));
    for (size_t i = 0; i < n; ++i) w[i] = static_cast<uint32_t>(i + 1) * 2654435761u;
    return {w, w + n};
}

// Brimola1 and Nuxa1 with Brimola1's codec port as given; "default": the default rig, both ports cabled on both sides.
sim::RigConfig Pair(const std::string& codecPort) {
    if (codecPort == "default") return sim::DefaultRig();
    sim::RigConfig cfg;
    cfg.boards = {sim::DefaultBoard(sim::BoardKind::Brimola, "Brimola1"), sim::DefaultBoard(sim::BoardKind::Nuxa, "Nuxa1")};
    cfg.boards[0].codecPort = codecPort;
    return cfg;
}

TEST(BoardLink, DataTakesTheRouteOfLoopPlugCableOrRemoteReflectAndWaitsWithoutOneAndTheClockNeedsAPlugOrALoadedEnabledPartner) {
    // attached: Brimola1's codec port (a cable named on that side only); arrives 'B', 'N' or 0 (the data waits), XORed with
    // seen; clock: the source's clock-present bit (a cable's partner sees the same).
    // port: the port sent on (1 codec, 2 expansion), with `attached` on it and otherPort on Brimola1's other port.
    struct Row { const char* name; std::string attached; bool fromNuxa, loadPartner, reset;
                 uint32_t ramSource, ramPartner, maskBrimola, maskNuxa; char arrives; uint32_t seen; bool clock;
                 int port = 1; std::string otherPort = ""; };
    const Row rows[] = {
        {"loop inside, nothing attached", "", false, false, false, 0x11F, 0x1F, 0x8, 0, 'B', 0x8, false},
        {"plug", "loopback", false, false, false, 0x1F, 0x1F, 0, 0, 'B', 0, true}, {"cable", "Nuxa1", false, true, false, 0x1F, 0x1F, 0, 0, 'N', 0, true},
        {"default rig, the other way", "default", true, true, false, 0x1F, 0x1F, 0, 0, 'B', 0, true},
        {"cable, both links corrupt", "Nuxa1", false, true, false, 0x1F, 0x1F, 0x10, 0x100, 'N', 0x110, true},
        {"remote reflect", "Nuxa1", false, true, false, 0x1F, 0x11F, 0, 0x4, 'B', 0x4, true},
        {"nothing attached", "", false, false, false, 0x1F, 0x1F, 0, 0, 0, 0, false},
        {"plug, clock off", "loopback", false, false, false, 0x17, 0x1F, 0, 0, 0, 0, false},
        {"plug, in reset", "loopback", false, false, true, 0x1F, 0x1F, 0, 0, 0, 0, true},
        {"cable, partner unloaded", "Nuxa1", false, false, false, 0x1F, 0x1F, 0, 0, 0, 0, false},
        {"cable, partner clock off", "Nuxa1", false, true, false, 0x1F, 0x17, 0, 0, 0, 0, false},
        // One plug of two: only its own port loops.
        {"expansion plug", "loopback", false, false, false, 0x1F, 0x1F, 0, 0, 'B', 0, true, 2},
        {"plug on the other port only", "", false, false, false, 0x1F, 0x1F, 0, 0, 0, 0, false, 1, "loopback"},
        {"plug on the codec port only", "", false, false, false, 0x1F, 0x1F, 0, 0, 0, 0, false, 2, "loopback"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::RigConfig cfg = Pair(row.port == 1 ? row.attached : "");
        if (row.port == 2) cfg.boards[0].expansionPort = row.attached;
        if (!row.otherPort.empty()) (row.port == 1 ? cfg.boards[0].expansionPort : cfg.boards[0].codecPort) = row.otherPort;
        const sim::VideoPort port = row.port == 1 ? sim::VideoPort::ExpA : sim::VideoPort::ExpB;
        const int out = row.port == 1 ? kOut : 36, in = row.port == 1 ? kIn : 58;
        const uint32_t clockBit = row.port == 1 ? 2u : 4u;
        for (int i = 0; i < 2; ++i)
            if (const uint32_t mask = i ? row.maskNuxa : row.maskBrimola)
                cfg.boards[i].faults.videoPathCorrupt.push_back({port, sim::VideoStageKind::Link, mask});
        sim::Rig rig(cfg);
        sim::SimBoard &source = *rig.Board(row.fromNuxa ? "Nuxa1" : "Brimola1"), &partner = *rig.Board(row.fromNuxa ? "Brimola1" : "Nuxa1");
        Load(source, row.port + 2);
        if (row.loadPartner) Load(partner, row.port + 2);
        source.Fpga().Write32(0x4018, row.ramSource);
        partner.Fpga().Write32(0x4018, row.ramPartner);
        if (row.reset) source.Fpga().Write32(0x4014, 3u << 16 | 0x200);
        const std::vector<uint32_t> data = Pattern(source, 4096);
        Arm(source, in, kSink, {4096});
        Arm(partner, in, kSink, {4096});
        Arm(source, out, 0, {4096});
        // One end is watched and steps the other board's engine itself: the sending end first (the data is
        // then at the receiving end before anyone looks there) when the codec board sends, else the receiving end.
        sim::SimBoard* to = row.arrives == 'N' ? rig.Board("Nuxa1") : row.arrives == 'B' ? rig.Board("Brimola1") : nullptr;
        EXPECT_TRUE(!row.fromNuxa || !to || (Done(source, out) && Words(*to, kSink, 1)[0] == (data[0] ^ row.seen)));
        for (sim::SimBoard* b : {&partner, &source}) EXPECT_EQ(Done(*b, in), b == to) << b->Tag();
        EXPECT_EQ(Done(source, out), to != nullptr);
        EXPECT_EQ(source.Fpga().Read32(0x4010) & clockBit, row.clock ? clockBit : 0u);
        EXPECT_EQ(partner.Fpga().Read32(0x4010) & clockBit, row.clock && row.attached != "loopback" ? clockBit : 0u) << "the cable's other end";
        std::vector<uint32_t> got = to ? Words(*to, kSink, 4096) : data;
        for (auto& w : got) w ^= to ? row.seen : 0;
        EXPECT_EQ(got, data);
    }
}

TEST(StreamPath, ASinkDcbCompletesOnlyWithAllItsWordsAFlushEmptiesThePathAndTheSyncFlagLatchesAtEachTransfer) {
    // sources: one DCB each, run one after the other; sink: the sink's chain; flush: a channel flushed before the sink
    // starts; sync: the port has port_sync_error; bits16 / sink16: the source's / the sink's 16bit flag.
    struct Row { const char* name; std::vector<uint32_t> sources, sink; int flush; bool bits16, done, sync, sink16 = false; };
    const Row rows[] = {
        {"equal", {64}, {64}, -1, false, true, false}, {"short source waits", {32}, {64}, -1, false, false, false},
        {"two sources fill one sink", {32, 32}, {64}, -1, false, true, false}, {"long source spills", {128}, {64, 64}, -1, false, true, false},
        {"flush of the sink", {64}, {64}, kIn, false, false, false}, {"flush of the source", {64}, {64}, kOut, false, false, false},
        {"16-bit: bits 15-3 of each half", {64}, {64}, -1, true, true, false}, {"sync error", {64}, {64}, -1, false, true, true},
        {"sync error, sink waits", {32}, {64}, -1, false, false, true},
        {"16-bit sink only", {32, 32}, {64}, -1, false, true, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::RigConfig cfg = Pair("loopback");
        if (row.sync) cfg.boards[0].faults.portSyncError.push_back({sim::VideoPort::ExpA});
        sim::Rig rig(cfg);
        sim::SimBoard& b = *rig.Board("Brimola1");
        for (uint32_t c : {0x88000, 0x90000, 0x98000, 0xA0000}) b.Fpga().Write32(c, c + 5);  // port contexts
        for (uint32_t c : {0x88000, 0x90000, 0x98000, 0xA0000}) EXPECT_EQ(b.Fpga().Read32(c), c + 5);
        Load(b);
        const std::vector<uint32_t> data = Pattern(b, 256);
        uint32_t at = 0;
        for (size_t i = 0; i < row.sources.size(); at += 4 * row.sources[i++]) {
            Arm(b, kOut, at, {row.sources[i]}, row.bits16);
            EXPECT_TRUE(Done(b, kOut)) << "a source needs no running sink";
        }
        b.Fpga().Write32(0x58110, 0x7);
        EXPECT_EQ(b.Fpga().Read32(0x58110), row.sync ? 0x8u : 0u) << "EXPA's bit, latched by the sources; other bits written leave it";
        b.Fpga().Write32(0x58110, 0x8);
        if (row.flush >= 0) b.Fpga().Write32(0x58400 + 4 * static_cast<uint32_t>(row.flush), 1);
        Arm(b, kIn, kSink, row.sink, row.sink16);
        EXPECT_EQ(Done(b, kIn), row.done);
        EXPECT_EQ(b.Fpga().Read32(0x58110), row.sync && row.done ? 0x8u : 0u) << "cleared by its 1, latched again by the sink";
        if (!row.done) continue;
        std::vector<uint32_t> expect(data.begin(), data.begin() + at / 4);
        for (auto& w : expect) w &= row.bits16 || row.sink16 ? 0xFFF8FFF8u : ~0u;
        EXPECT_EQ(Words(b, kSink, at / 4), expect);
    }
}

}  // namespace

TEST(StreamPath, ASinkAlreadyWaitingGetsTheWordsTheSourceReadBeforeAnySinkWroteAndNoneItCannotTake) {
    // The sink's chain is started first, so the source's words can go straight to it; what lands must be what the
    // FIFO would have delivered: the source's words as they were before the sink wrote (sourceAt / sinkAt overlap
    // in some rows), 13-bit where either end is 16-bit, nothing where the sink cannot take them.
    // fault: 's' the sink stalls, 'c' the sink corrupts words 1-2 of each DCB; cable: the sink is on Nuxa1; gate: the
    // sink DCB (from 1) that names BCU 3, whose Go is set only after a first look (none there before).
    struct Row { const char* name; std::vector<uint32_t> sources; uint32_t sourceAt; std::vector<uint32_t> sink;
                 uint32_t sinkAt; bool bits16, done; char fault = 0; bool cable = false; uint32_t gate = 0; };
    const Row rows[] = {
        {"chains in step", {64, 64, 64}, 0, {64, 64, 64}, kSink, false, true},
        {"16-bit both ends", {64, 64}, 0, {64, 64}, kSink, true, true},
        {"the sink writes where the source reads next", {64, 64}, 0, {64, 64}, 0x100, false, true},
        {"the sink writes where the source reads later in the same DCB", {40000}, 0, {40000}, 0x20000, false, true},
        {"the sink writes below where the source reads", {64, 64}, 0x100, {64, 64}, 0, false, true},
        {"sink chain shorter than the source's", {64, 64}, 0, {64}, kSink, false, true},
        {"sink DCB longer than the source's", {32, 32}, 0, {64}, kSink, false, true},
        {"stalled sink", {64}, 0, {64}, kSink, false, false, 's'},
        {"corrupting sink", {64, 64}, 0, {64, 64}, kSink, false, true, 'c'},
        {"over a cable", {64, 64, 64}, 0, {64, 64, 64}, kSink, false, true, 0, true},
        {"over a cable to a stalled sink", {64, 64}, 0, {64, 64}, kSink, false, false, 's', true},
        {"the sink's second DCB waits for its BCU", {64, 64, 64}, 0, {64, 64, 64}, kSink, false, true, 0, false, 2},
        {"over a cable, the sink's second DCB waits for its BCU", {64, 64}, 0, {64, 64}, kSink, false, true, 0, true, 2},
    };
    constexpr uint32_t kCorrupt = 0x0F0F0000;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::RigConfig cfg = Pair(row.cable ? "Nuxa1" : "loopback");
        const int sinkBoard = row.cable ? 1 : 0;
        if (row.fault == 's') cfg.boards[sinkBoard].faults.dmaStall.push_back({kIn});
        if (row.fault == 'c') cfg.boards[sinkBoard].faults.dmaCorrupt.push_back({kIn, kCorrupt, 1, 2});
        sim::Rig rig(cfg);
        sim::SimBoard& b = *rig.Board("Brimola1");
        sim::SimBoard& to = *rig.Board(row.cable ? "Nuxa1" : "Brimola1");
        Load(b);
        if (row.cable) Load(to);
        for (sim::SimBoard* board : {&b, &to}) board->Fpga().Write32(0x4018, 0x1F);
        uint32_t sent = 0, taken = 0;
        for (uint32_t n : row.sources) sent += n;
        for (uint32_t n : row.sink) taken += n;
        const std::vector<uint32_t> data = Pattern(b, row.sourceAt / 4 + sent);
        Arm(to, kIn, row.sinkAt, row.sink, row.bits16);
        if (row.gate) {
            const uint32_t op = 0x60000 + 0x200 * kIn + 0x20 * row.gate;
            to.Fpga().Write32(op, (to.Fpga().Read32(op) & ~(0x1FFu << 23)) | 3u << 23);
        }
        Arm(b, kOut, row.sourceAt, row.sources, row.bits16);
        if (row.gate) {
            EXPECT_FALSE(Done(to, kIn));
            uint32_t before = 0;
            for (uint32_t i = 0; i + 1 < row.gate; ++i) before += row.sink[i];
            EXPECT_EQ(Words(to, row.sinkAt + 4 * before, row.sink[row.gate - 1]), std::vector<uint32_t>(row.sink[row.gate - 1], 0))
                << "nothing reaches a DCB before its BCU lets it go";
            to.Fpga().Write32(0x70000 + 16 * 3, 1u << 29);
        }
        EXPECT_EQ(Done(to, kIn), row.done);
        EXPECT_TRUE(Done(b, kOut));
        std::vector<uint32_t> expect(taken, 0);
        for (uint32_t i = 0; row.done && i < taken; ++i) expect[i] = data[row.sourceAt / 4 + i] & (row.bits16 ? 0xFFF8FFF8u : ~0u);
        for (uint32_t i = 0, at = 0; row.fault == 'c' && i < row.sink.size(); at += row.sink[i++])
            for (uint32_t w : {at + 1, at + 2}) expect[w] ^= kCorrupt;
        if (row.fault == 's') expect.assign(taken, 0);  // untouched cells
        EXPECT_EQ(Words(to, row.sinkAt, taken), expect);
    }
}

TEST(StreamPath, TheKeyerLoopbackLeavesTheSourceCellsAsTheyWereAndItsFaultReachesOnlyTheSink) {
    // Channel A of the keyer (28 out, 24 back) looped inside it; keyerMask: the keyer's path corruption; sinkFirst:
    // the sink waits before the source starts (the words may go straight to it), else they wait in the FIFO.
    // The keyer's CRC registers take the words as they arrive (second) and as they go back (first): bits 15-3 of each half.
    // sinkAt: where the sink writes.
    struct Row { const char* name; uint32_t keyerMask; bool bits16, sinkFirst; uint32_t sinkAt = kSink; };
    const Row rows[] = {
        {"healthy, 13-bit", 0, true, true}, {"healthy, 32-bit", 0, false, true},
        {"keyer fault, 13-bit", 0x00050005, true, true}, {"keyer fault, 32-bit", 0x00050005, false, true},
        {"keyer fault, sink started last", 0x00050005, true, false}, {"healthy, sink started last", 0, false, false},
        {"healthy, sink off a cache line", 0, true, true, kSink + 4},
    };
    constexpr uint32_t kWords = 50000;  // more than one block of the route's
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::RigConfig cfg = sim::DefaultRig();
        if (row.keyerMask) cfg.boards[0].faults.videoPathCorrupt.push_back({sim::VideoPort::PppA, sim::VideoStageKind::Keyer, row.keyerMask});
        sim::Rig rig(cfg);
        sim::SimBoard& b = *rig.Board("Brimola1");
        Load(b, 0);
        b.Fpga().Write32(0x4018, 0x1F);
        b.Fpga().Write32(0x8FC8, 1u << 15);  // LOOPBACK of channel A
        const std::vector<uint32_t> data = Pattern(b, kWords);
        if (row.sinkFirst) Arm(b, 24, row.sinkAt, {kWords}, row.bits16);
        Arm(b, 28, 0, {kWords}, row.bits16);
        EXPECT_TRUE(Done(b, 28)) << "a source needs no running sink";
        if (!row.sinkFirst) Arm(b, 24, row.sinkAt, {kWords}, row.bits16);
        EXPECT_TRUE(Done(b, 24));
        const uint32_t samples = row.bits16 ? 0xFFF8FFF8u : ~0u;
        std::vector<uint32_t> arriving = data, back = data;
        for (auto& w : arriving) w &= samples;
        for (auto& w : back) w = ((w & samples) ^ row.keyerMask) & samples;
        EXPECT_EQ(Words(b, row.sinkAt, kWords), back);
        EXPECT_EQ(Words(b, 0, kWords), data) << "the source's cells";
        auto crc = [](const std::vector<uint32_t>& w) { return sim::VideoCrcFeed(0, reinterpret_cast<const uint8_t*>(w.data()), 4 * w.size()); };
        EXPECT_EQ(b.Fpga().Read32(0x87CC), crc(arriving)) << "second CRC";
        EXPECT_EQ(b.Fpga().Read32(0x8FD8), crc(back)) << "first CRC";
    }
}
