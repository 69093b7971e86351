// The keyer and FPGA-pair models: unconfigured windows, stored and read-only registers, DCM flags, DDR passes, the PPP routes and their CRC registers.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

#include "images/image_crc.h"
#include "platform/clock.h"
#include "sim/bitstream.h"
#include "sim/video_fpgas.h"

namespace {

using sim::VideoFpgas;
using V = sim::VideoFpgas;

constexpr uint32_t kIds[3] = {0x03000150, 0x0D000311, 0x0D000322};
constexpr uint32_t kPair[2] = {0x18000, 0x1C000};

void Configure(sim::ConfigPort& p, int device) {
    const uint32_t s = static_cast<uint32_t>(device) << 16;
    p.Write(s | 0x400);
    p.Write(s);
    Sleep(3);
    for (uint8_t b : sim::Bitstream::Build(uint16_t(1u << device), kIds[device], 64)) p.Write(s | 0x300 | b);
    for (int i = 0; i < 8; ++i) p.Write(s | 0x300);
    p.Write(s);
}

template <class T>
sim::BoardFaults With(std::vector<T> sim::BoardFaults::*list, std::vector<T> faults) {
    sim::BoardFaults f;
    f.*list = std::move(faults);
    return f;
}

sim::BoardConfig Config(sim::BoardFaults faults) {
    sim::BoardConfig c;
    c.faults = std::move(faults);
    return c;
}

struct Board {
    explicit Board(sim::BoardFaults faults = {}, std::vector<int> configured = {0, 1, 2})
        : config(Config(std::move(faults))), fpgas(config, port, [this] { return ram; }) {
        fpgas.Attach(map);
        for (int d : configured) Configure(port, d);
    }
    // Path on, passthru, both DDR passes of the channel's pair started.
    void Passthru(int ch) {
        map.Write(V::kChannelBlock[ch] + V::kPortControl, V::kPathOn);
        map.Write(V::kChannelBlock[ch] + V::kControlTwo, V::kPassthru);
        for (uint32_t start : V::kDdrStart) map.Write(kPair[ch] + start, V::kDdrStartCode);
    }
    sim::BoardConfig config;
    sim::ConfigPort port{sim::BoardKind::Brimola, {}};
    uint32_t ram = 0x1F;
    VideoFpgas fpgas;
    sim::RegisterMap map;
};

// The shift register as the hardware clocks it, one data bit at a time.
uint32_t BitCrc(uint32_t crc, const std::vector<uint32_t>& words) {
    for (uint32_t w : words)
        for (uint32_t unit : {w & 0xFFFF, w >> 16})
            for (int b = 15; b >= 3; --b) {
                const bool in = ((unit >> b) & 1) ^ (crc >> 31);
                crc = in ? (crc << 1) ^ 0x04C11DB7 : crc << 1;
            }
    return crc;
}

std::vector<uint32_t> Words(size_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<uint32_t> w(n);
    for (auto& x : w) x = gen();
    return w;
}

TEST(VideoFpgas, UnconfiguredWindowsReadAllOnesAndAFreshConfigurationStartsFromZero) {
    Board b({}, {});
    for (uint32_t o : {0x8000u, 0x9004u, 0xBFC8u, 0xBFD0u, 0x18000u, 0x1BFC8u, 0x1C000u, 0x1FFD0u}) {
        b.map.Write(o, 0x1234);
        EXPECT_EQ(b.map.Read(o), 0xFFFFFFFFu) << std::hex << o;
    }
    Configure(b.port, 1);
    b.Passthru(0);
    EXPECT_EQ(b.map.Read(0x18000 + V::kDdrStatus[0]), V::kDdrDone);
    EXPECT_EQ(b.map.Read(0x18000 + V::kDdrStart[0]), V::kDdrStartCode);
    Configure(b.port, 1);  // the same image again: DDR and registers start over
    EXPECT_EQ(b.map.Read(0x18000 + V::kDdrStatus[0]), 0u);
    EXPECT_EQ(b.map.Read(0x18000 + V::kDdrStart[0]), 0u);
    EXPECT_EQ(b.map.Read(0x1C000 + V::kPairId), 0xFFFFFFFFu);
}

TEST(VideoFpgas, RegistersReadBackStoredOrDerivedValues) {
    struct Row { const char* name; uint32_t offset, write, read; } rows[] = {
        {"slider context", 0x9004, 0x12345678, 0x12345678},
        {"port control A", 0x8FC4, 0xC0000000, 0xC0000000},
        {"keyer id ignores writes", 0xBFC8, 0, kIds[0]},
        {"pair B id", 0x1FFC8, 0, kIds[2]},
        {"keyer DCM flags read-only, resets stored", 0xBFD0, 0x80070000, 0xFF070000},
        {"keyer DCM flags cannot be cleared", 0xBFD0, 0, 0x7F000000},
        {"pair DCM flags and reset", 0x1BFD0, 0xE0010000, 0xFF010000},
        {"DDR status read-only", 0x197FC, 0xFFFFFFFF, 0},
        {"pair CRC seed", 0x1CFD8, 0xCAFEF00D, 0xCAFEF00D},
        {"pair other word", 0x1D000, 7, 7},
    };
    Board b;
    for (const Row& r : rows) {
        b.map.Write(r.offset, r.write);
        EXPECT_EQ(b.map.Read(r.offset), r.read) << r.name;
        EXPECT_EQ(b.fpgas.Read(r.offset), r.read) << r.name;
    }
}

TEST(VideoFpgas, DcmFlagsFollowTheClocksAndTheUnlockedFault) {
    struct Row { const char* name; std::vector<sim::DcmUnlocked> faults; uint32_t ram, offset, flags; } rows[] = {
        {"keyer locked", {}, 0x1F, 0xBFD0, 0x7F000000},
        {"keyer without RAM bit 0", {}, 0x1E, 0xBFD0, 0},
        {"keyer without RAM bit 2", {}, 0x1B, 0xBFD0, 0},
        {"keyer bit 25 unlocked", {{0, 25}}, 0x1F, 0xBFD0, 0x7D000000},
        {"pair A bit 28 unlocked", {{1, 28}}, 0x1F, 0x1BFD0, 0x0F000000},
        {"pair B unaffected by A's", {{1, 28}}, 0x1F, 0x1FFD0, 0x1F000000},
        {"pair without RAM bit 1", {}, 0x1D, 0x1FFD0, 0},
    };
    for (const Row& r : rows) {
        Board b(With(&sim::BoardFaults::dcmUnlocked, r.faults));
        b.ram = r.ram;
        EXPECT_EQ(b.map.Read(r.offset), r.flags) << r.name;
    }
}

TEST(VideoFpgas, DdrPassesFinishWhenStartedOnAClockedPairUnlessTheyFail) {
    struct Row { const char* name; std::vector<sim::DdrInitFails> faults; uint32_t ram, code; uint32_t st1, st2; } rows[] = {
        {"both passes", {}, 0x1F, 0x16, V::kDdrDone, V::kDdrDone},
        {"other code", {}, 0x1F, 0x15, 0, 0},
        {"no pair clock", {}, 0x1D, 0x16, 0, 0},
        {"pass 1 fails", {{1, 1}}, 0x1F, 0x16, 0, V::kDdrDone},
        {"pass 2 fails", {{1, 2}}, 0x1F, 0x16, V::kDdrDone, 0},
        {"B's fault", {{2, 1}}, 0x1F, 0x16, V::kDdrDone, V::kDdrDone},
    };
    for (const Row& r : rows) {
        Board b(With(&sim::BoardFaults::ddrInitFails, r.faults));
        b.ram = r.ram;
        for (uint32_t start : V::kDdrStart) b.map.Write(0x18000 + start, r.code);
        EXPECT_EQ(b.map.Read(0x18000 + V::kDdrStatus[0]), r.st1) << r.name;
        EXPECT_EQ(b.map.Read(0x18000 + V::kDdrStatusAlso), r.st1) << r.name;
        EXPECT_EQ(b.map.Read(0x18000 + V::kDdrStatus[1]), r.st2) << r.name;
    }
}

TEST(VideoFpgas, PppRouteOpensOnlyWithEveryStageReady) {
    using Spoil = std::function<void(Board&, int)>;
    // Writes v to the channel block's register at offset.
    auto set = [](uint32_t offset, uint32_t v) {
        return [=](Board& b, int ch) { b.map.Write(V::kChannelBlock[ch] + offset, v); };
    };
    struct Row { const char* name; Spoil spoil; bool open; } rows[] = {
        {"passthru", [](Board&, int) {}, true},
        {"loopback without pair", [&](Board& b, int ch) {
             set(V::kControlTwo, V::kLoopback)(b, ch);
             b.port.Write(uint32_t(ch + 1) << 16 | 0x400);
         }, true},
        {"keyer datapath reset", [](Board& b, int ch) { b.map.Write(0xBFD0, 1u << (16 + ch)); }, false},
        {"other channel's reset", [](Board& b, int ch) { b.map.Write(0xBFD0, 1u << (17 - ch)); }, true},
        {"no RAM bit 0", [](Board& b, int) { b.ram = 0x1E; }, false},
        {"no RAM bit 2", [](Board& b, int) { b.ram = 0x1B; }, false},
        {"no passthru", set(V::kControlTwo, 0), false},
        {"port path half on", set(V::kPortControl, 0x80000000), false},
        {"pair unconfigured", [](Board& b, int ch) { b.port.Write(uint32_t(ch + 1) << 16 | 0x400); }, false},
        {"pair reconfigured", [](Board& b, int ch) { Configure(b.port, ch + 1); }, false},
        {"pair reset", [](Board& b, int ch) { b.map.Write(kPair[ch] + V::kPairDcm, V::kPairReset); }, false},
        {"keyer unconfigured", [](Board& b, int) { b.port.Write(0x400); }, false},
    };
    for (int ch = 0; ch < 2; ++ch)
        for (const Row& r : rows) {
            Board b;
            b.Passthru(ch);
            r.spoil(b, ch);
            EXPECT_EQ(b.fpgas.PppRoute(ch).Open(), r.open) << r.name << " channel " << ch;
        }
}

TEST(VideoFpgas, CarryFeedsEachStagesCrcBeforeItsCorruption) {
    using sim::VideoPort, sim::VideoStageKind;
    struct Row { const char* name; bool loopback; std::vector<sim::VideoPathCorrupt> faults; uint32_t keyerMask, pairMask; } rows[] = {
        {"passthru", false, {}, 0, 0},
        {"loopback leaves the pair's CRC", true, {}, 0, 0},
        {"keyer corrupts", false, {{VideoPort::PppA, VideoStageKind::Keyer, 0x8}}, 0x8, 0},
        {"pair corrupts", false, {{VideoPort::PppA, VideoStageKind::Pair, 0x10000}}, 0, 0x10000},
        {"pair fault in loopback", true, {{VideoPort::PppA, VideoStageKind::Pair, 0x10}}, 0, 0},
        {"other port's fault", false, {{VideoPort::PppB, VideoStageKind::Keyer, 0x8}}, 0, 0},
    };
    const std::vector<uint32_t> sent = Words(1027, 7);  // not a whole number of four-word steps
    auto xored = [&](uint32_t mask) {
        auto w = sent;
        for (auto& x : w) x ^= mask;
        return w;
    };
    constexpr uint32_t kSecond = 0x87CC, kPairCrc = 0x18FD8, kFirst = 0x8FD8;
    for (const Row& r : rows) {
        Board b(With(&sim::BoardFaults::videoPathCorrupt, r.faults));
        b.Passthru(0);
        if (r.loopback) b.map.Write(0x8FC8, V::kLoopback);
        b.map.Write(kSecond, 0x12345678);
        b.map.Write(kPairCrc, 0);
        b.map.Write(kFirst, 0xFFFFFFFF);
        auto data = sent;
        ASSERT_TRUE(b.fpgas.PppRoute(0).Open()) << r.name;
        b.fpgas.PppRoute(0).Carry(reinterpret_cast<uint8_t*>(data.data()), data.size() * 4);
        const auto afterKeyer = xored(r.keyerMask), back = xored(r.keyerMask ^ r.pairMask);
        EXPECT_EQ(data, back) << r.name;
        EXPECT_EQ(b.map.Read(kSecond), BitCrc(0x12345678, sent)) << r.name;
        EXPECT_EQ(b.map.Read(kPairCrc), r.loopback ? 0 : BitCrc(0, afterKeyer)) << r.name;
        EXPECT_EQ(b.map.Read(kFirst), BitCrc(0xFFFFFFFF, back)) << r.name;
    }
}

TEST(VideoFpgas, CrcEqualsTheImageLibrarysD52ModelAtEveryLength) {
    const std::vector<uint32_t> w = Words(64, 11);
    const auto* bytes = reinterpret_cast<const uint8_t*>(w.data());
    for (size_t n = 0; n <= w.size(); n += 2) {
        const std::vector<uint32_t> part(w.begin(), w.begin() + static_cast<long>(n));
        EXPECT_EQ(sim::VideoCrcFeed(0x5A5A0FF0, bytes, n * 4), images_detail::CrcFeedD52(0x5A5A0FF0, bytes, n / 2, ~0u));
        EXPECT_EQ(sim::VideoCrcFeed(n, bytes, n * 4 + 4), BitCrc(uint32_t(n), std::vector<uint32_t>(w.begin(), w.begin() + long(n) + 1)));
    }
}

}  // namespace
