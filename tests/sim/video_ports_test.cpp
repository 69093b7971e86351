// The video ports: board-link routes over plugs and cables, the stream FIFO between source and sink, the port registers and the link clock rule.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/firmware_images.h"
#include "sim/rig.h"

namespace {

using sim::BoardKind;

constexpr int kOut = 37, kIn = 59;  // the codec port's link channels (EXPA)
constexpr uint32_t kSink = 0x100000;

// A board-link FPGA's download through the configuration port, left out of reset.
void Load(sim::SimBoard& b, int device = 3) {
    static const std::vector<uint8_t> image = sim::FirmwareData(*sim::FindFirmwareImage("FESK"));
    sim::ConfigPort& p = b.Controller().Fpgas();
    const uint32_t code = static_cast<uint32_t>(device) << 16;
    p.Write(code | 0x400);
    p.Write(code);
    Sleep(3);
    for (uint8_t byte : image) p.Write(code | 0x300 | byte);
    for (int i = 0; i < 16; ++i) p.Write(code | 0x300);
    p.Write(code);
    ASSERT_TRUE(p.Configured(device));
}

// Starts a chain of one-line DCBs (words each) at consecutive addresses from start.
void Arm(sim::SimBoard& b, int channel, uint32_t start, std::vector<uint32_t> words, bool bits16 = false) {
    sim::WexalFpga& f = b.Fpga();
    f.Write32(0x70000 + 16 * 2, 1u << 29);  // BCU 2: Go
    for (uint32_t i = 0; i < words.size(); ++i) {
        const uint32_t dcb = 0x60000 + 0x200 * channel + 0x20 * (i + 1);
        f.Write32(dcb, (i + 1 < words.size() ? i + 2 : 0) | (bits16 ? 1u << 13 : 0) | 2u << 23);
        f.Write32(dcb + 4, 0xA5Au << 16);
        f.Write32(dcb + 8, start);
        f.Write32(dcb + 12, words[i]);
        start += 4 * words[i];
    }
    f.Write32(0x58200 + 4 * channel, 1);
}

// Reads the live context, as a poll does: the chain has ended when nothing is left to move.
bool Done(sim::SimBoard& b, int channel) { return b.Fpga().Read32(0x60000 + 0x200 * channel + 12) == 0; }

std::vector<uint32_t> Words(sim::SimBoard& b, uint32_t addr, size_t n) {
    std::vector<uint32_t> w(n);
    b.Fpga().Sdram().Read(addr, w.data(), 4 * n);
    return w;
}

std::vector<uint32_t> Pattern(size_t n, uint32_t seed) {
    std::vector<uint32_t> w(n);
    for (auto& x : w) x = seed = seed * 1664525u + 1013904223u;
    return w;
}

sim::RigConfig Pair(const std::string& codecPort) {
    sim::RigConfig cfg;
    cfg.boards = {sim::DefaultBoard(BoardKind::Brimola, "Brimola1"), sim::DefaultBoard(BoardKind::Nuxa, "Nuxa1")};
    cfg.boards[0].codecPort = codecPort;
    return cfg;
}

TEST(BoardLink, DataTakesTheRouteOfLoopPlugCableOrRemoteReflectAndWaitsWithoutOne) {
    struct Row {
        const char* name;
        std::string attached;  // Brimola1's codec port; a cable is named on that side only
        bool fromNuxa, loadPartner, reset;
        uint32_t ramSource, ramPartner, maskBrimola, maskNuxa;
        char arrives;  // 'B', 'N', or 0: the data waits
        uint32_t seen;  // XOR the data arrives with
    };
    const Row rows[] = {
        {"loop inside, nothing attached", "", false, false, false, 0x11F, 0x1F, 0x8, 0, 'B', 0x8},
        {"plug", "loopback", false, false, false, 0x1F, 0x1F, 0, 0, 'B', 0},
        {"cable", "Nuxa1", false, true, false, 0x1F, 0x1F, 0, 0, 'N', 0},
        {"cable, the other way", "Nuxa1", true, true, false, 0x1F, 0x1F, 0, 0, 'B', 0},
        {"cable, both links corrupt", "Nuxa1", false, true, false, 0x1F, 0x1F, 0x10, 0x100, 'N', 0x110},
        {"remote reflect", "Nuxa1", false, true, false, 0x1F, 0x11F, 0, 0x4, 'B', 0x4},
        {"nothing attached", "", false, false, false, 0x1F, 0x1F, 0, 0, 0, 0},
        {"plug, clock off", "loopback", false, false, false, 0x17, 0x1F, 0, 0, 0, 0},
        {"plug, in reset", "loopback", false, false, true, 0x1F, 0x1F, 0, 0, 0, 0},
        {"cable, partner unloaded", "Nuxa1", false, false, false, 0x1F, 0x1F, 0, 0, 0, 0},
        {"cable, partner clock off", "Nuxa1", false, true, false, 0x1F, 0x17, 0, 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::RigConfig cfg = Pair(row.attached);
        for (int i = 0; i < 2; ++i) {
            const uint32_t mask = i ? row.maskNuxa : row.maskBrimola;
            if (mask) cfg.boards[i].faults.videoPathCorrupt.push_back({sim::VideoPort::ExpA, sim::VideoStageKind::Link, mask});
        }
        sim::Rig rig(cfg);
        sim::SimBoard& source = *rig.Board(row.fromNuxa ? "Nuxa1" : "Brimola1");
        sim::SimBoard& partner = *rig.Board(row.fromNuxa ? "Brimola1" : "Nuxa1");
        Load(source);
        if (row.loadPartner) Load(partner);
        source.Fpga().Write32(0x4018, row.ramSource);
        partner.Fpga().Write32(0x4018, row.ramPartner);
        if (row.reset) source.Fpga().Write32(0x4014, 3u << 16 | 0x200);
        const std::vector<uint32_t> data = Pattern(4096, 7);
        source.Fpga().Sdram().Write(0, data.data(), 4 * data.size());
        Arm(source, kIn, kSink, {4096});
        Arm(partner, kIn, kSink, {4096});
        Arm(source, kOut, 0, {4096});
        // Only the receiving end is watched: it steps the other board's engine itself.
        sim::SimBoard* to = row.arrives == 'N' ? rig.Board("Nuxa1") : row.arrives == 'B' ? rig.Board("Brimola1") : nullptr;
        for (sim::SimBoard* b : {&partner, &source}) EXPECT_EQ(Done(*b, kIn), b == to) << b->Tag();
        EXPECT_EQ(Done(source, kOut), to != nullptr);
        if (!to) continue;
        std::vector<uint32_t> expect = data;
        for (auto& w : expect) w ^= row.seen;
        EXPECT_EQ(Words(*to, kSink, 4096), expect);
    }
}

TEST(StreamPath, ASinkDcbCompletesOnlyWithAllItsWordsAndAFlushEmptiesThePath) {
    struct Row {
        const char* name;
        std::vector<uint32_t> sources;  // one source DCB each, run one after the other
        std::vector<uint32_t> sink;     // the sink's chain
        int flush;                      // channel flushed before the sink starts, or -1
        bool bits16, done;
    };
    const Row rows[] = {
        {"equal", {64}, {64}, -1, false, true},
        {"short source waits", {32}, {64}, -1, false, false},
        {"two sources fill one sink", {32, 32}, {64}, -1, false, true},
        {"long source spills into the next DCB", {128}, {64, 64}, -1, false, true},
        {"flush of the sink", {64}, {64}, kIn, false, false},
        {"flush of the source", {64}, {64}, kOut, false, false},
        {"16-bit: bits 15-3 of each half", {64}, {64}, -1, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::Rig rig(Pair("loopback"));
        sim::SimBoard& b = *rig.Board("Brimola1");
        Load(b);
        const std::vector<uint32_t> data = Pattern(256, 3);
        b.Fpga().Sdram().Write(0, data.data(), 4 * data.size());
        uint32_t at = 0;
        for (uint32_t n : row.sources) {
            Arm(b, kOut, at, {n}, row.bits16);
            EXPECT_TRUE(Done(b, kOut)) << "a source needs no running sink";
            at += 4 * n;
        }
        if (row.flush >= 0) b.Fpga().Write32(0x58400 + 4 * static_cast<uint32_t>(row.flush), 1);
        Arm(b, kIn, kSink, row.sink);
        EXPECT_EQ(Done(b, kIn), row.done);
        if (!row.done) continue;
        const size_t n = at / 4;
        std::vector<uint32_t> expect(data.begin(), data.begin() + static_cast<long>(n));
        for (auto& w : expect) w &= row.bits16 ? 0xFFF8FFF8u : ~0u;
        EXPECT_EQ(Words(b, kSink, n), expect);
    }
}

TEST(VideoPorts, SyncFlagsLatchAtEachTransferOfTheFaultyPortAndClearByWritingOnesContextsReadBack) {
    sim::RigConfig cfg = Pair("loopback");
    cfg.boards[0].faults.portSyncError.push_back({sim::VideoPort::ExpA});
    sim::Rig rig(cfg);
    sim::SimBoard& b = *rig.Board("Brimola1");
    for (uint32_t i = 0; i < 4; ++i) b.Fpga().Write32(sim::VideoPorts::kContexts[i], 0x1111u * (i + 1));
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(b.Fpga().Read32(sim::VideoPorts::kContexts[i]), 0x1111u * (i + 1));
    Load(b);
    EXPECT_EQ(b.Fpga().Read32(0x58110), 0u) << "no transfer yet";
    for (int pass = 0; pass < 2; ++pass) {
        Arm(b, kOut, 0, {16});
        ASSERT_TRUE(Done(b, kOut));
        EXPECT_EQ(b.Fpga().Read32(0x58110), 0x8u) << "EXPA's bit, pass " << pass;
        b.Fpga().Write32(0x58110, 0x7);
        EXPECT_EQ(b.Fpga().Read32(0x58110), 0x8u) << "other bits written leave it";
        b.Fpga().Write32(0x58110, 0x8);
        EXPECT_EQ(b.Fpga().Read32(0x58110), 0u);
    }
    sim::Rig healthy(Pair("loopback"));
    Load(*healthy.Board("Brimola1"));
    Arm(*healthy.Board("Brimola1"), kOut, 0, {16});
    ASSERT_TRUE(Done(*healthy.Board("Brimola1"), kOut));
    EXPECT_EQ(healthy.Board("Brimola1")->Fpga().Read32(0x58110), 0u);
}

TEST(VideoPorts, LinkClockNeedsTheOwnPortLoadedAndEnabledAndAPlugOrACabledLoadedEnabledPartner) {
    struct Row { const char* name; std::string attached; bool loadOwn, loadPartner; uint32_t ramOwn, ramPartner; bool clock; };
    const Row rows[] = {
        {"plug", "loopback", true, false, 0x1F, 0x1F, true},
        {"plug, clock disabled", "loopback", true, false, 0x17, 0x1F, false},
        {"plug, unloaded", "loopback", false, false, 0x1F, 0x1F, false},
        {"nothing attached", "", true, false, 0x1F, 0x1F, false},
        {"default rig's cable", "default", true, true, 0x1F, 0x1F, true},
        {"cable, partner unloaded", "default", true, false, 0x1F, 0x1F, false},
        {"cable, partner disabled", "default", true, true, 0x1F, 0x17, false},
        {"cable, own disabled", "default", true, true, 0x17, 0x1F, false},
    };
    for (const Row& row : rows) {
        sim::Rig rig(row.attached == "default" ? sim::DefaultRig() : Pair(row.attached));
        sim::SimBoard& own = *rig.Board("Brimola1");
        sim::SimBoard& partner = *rig.Board("Nuxa1");
        if (row.loadOwn) Load(own);
        if (row.loadPartner) Load(partner);
        own.Fpga().Write32(0x4018, row.ramOwn);
        partner.Fpga().Write32(0x4018, row.ramPartner);
        EXPECT_EQ((own.Fpga().Read32(0x4010) & 6) == 2, row.clock) << row.name;
        const bool partnerClock = (partner.Fpga().Read32(0x4010) & 6) == 2;
        EXPECT_EQ(partnerClock, row.clock && row.attached == "default") << row.name << ": both ends of a cable";
    }
}

}  // namespace
