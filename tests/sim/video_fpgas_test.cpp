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

using V = sim::VideoFpgas;
using Faults = std::function<void(sim::BoardFaults&)>;
constexpr uint32_t kIds[3] = {0x03000150, 0x0D000311, 0x0D000322};

// Loads the device's image, or with load false only pulses PROG so that it forgets its configuration.
void Configure(sim::ConfigPort& p, int device, bool load = true) {
    const uint32_t s = static_cast<uint32_t>(device) << 16;
    p.Write(s | 0x400);
    if (!load) return;
    p.Write(s);
    Sleep(3);
    for (uint8_t b : sim::Bitstream::Build(uint16_t(1u << device), kIds[device], 64)) p.Write(s | 0x300 | b);
    for (int i = 0; i < 8; ++i) p.Write(s | 0x300);
    p.Write(s);
}

// A main board's video FPGAs with the listed ones configured and all RAM bits on.
struct Board {
    explicit Board(const Faults& fault = {}, std::vector<int> configured = {0, 1, 2}) {
        if (fault) fault(config.faults);
        fpgas = std::make_unique<V>(config, port, [this] { return ram; });
        fpgas->Attach(map);
        for (int d : configured) Configure(port, d);
    }
    // Path on, passthru, both DDR passes of the channel's pair started.
    void Passthru(int ch) {
        map.Write(V::kChannelBlock[ch] + V::kPortControl, V::kPathOn);
        map.Write(V::kChannelBlock[ch] + V::kControlTwo, V::kPassthru);
        for (uint32_t start : V::kDdrStart) map.Write(V::kPairBase[ch] + start, V::kDdrStartCode);
    }
    sim::BoardConfig config;
    sim::ConfigPort port{sim::BoardKind::Brimola, {}};
    uint32_t ram = 0x1F;
    std::unique_ptr<V> fpgas;
    sim::RegisterMap map;
};

// The shift register as the hardware clocks it, one data bit at a time: bits 15-3, then 31-19 of each word.
uint32_t BitCrc(uint32_t crc, const std::vector<uint32_t>& words) {
    for (uint32_t w : words)
        for (int b : {15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19})
            crc = (((w >> b) & 1) ^ (crc >> 31)) ? (crc << 1) ^ 0x04C11DB7 : crc << 1;
    return crc;
}

std::vector<uint32_t> Words(size_t n, uint32_t seed, uint32_t mask = 0) {
    std::vector<uint32_t> w(n);
    std::mt19937 gen(seed);
    for (auto& x : w) x = gen() ^ mask;
    return w;
}

TEST(VideoFpgas, UnconfiguredWindowsReadAllOnesAndAFreshConfigurationStartsFromZero) {
    Board b({}, {1});  // only pair A configured
    for (uint32_t o : {0x8000u, 0x9004u, 0xBFC8u, 0xBFD0u, 0x1C000u, 0x1DFC4u, 0x1FFC8u, 0x1FFD0u}) {
        b.map.Write(o, 0x1234);
        EXPECT_EQ(b.map.Read(o), 0xFFFFFFFFu) << std::hex << o;
    }
    b.map.Write(0x19FC4, 0x16);
    Configure(b.port, 1);  // the same image again: registers start over (DDR too: see the route's rows)
    EXPECT_EQ(b.map.Read(0x19FC4), 0u);
}

TEST(VideoFpgas, RegistersReadStoredValuesClocksDdrPassesAndFaults) {
    struct Row { const char* name; Faults fault; uint32_t ram, offset, write, at, read; } rows[] = {  // one write (none at 0), one read
        {"slider context", {}, 0x1F, 0x9004, 0x12345678, 0x9004, 0x12345678},
        {"pair CRC seed", {}, 0x1F, 0x1CFD8, 0xCAFEF00D, 0x1CFD8, 0xCAFEF00D},
        {"keyer id ignores writes", {}, 0x1F, 0xBFC8, 0, 0xBFC8, kIds[0]},
        {"pair B id", {}, 0x1F, 0, 0, 0x1FFC8, kIds[2]},
        {"keyer DCM flags read-only (cannot clear), resets stored", {}, 0x1F, 0xBFD0, 0x80070000, 0xBFD0, 0xFF070000},
        {"pair DCM flags and reset", {}, 0x1F, 0x1BFD0, 0xE0010000, 0x1BFD0, 0xFF010000},
        {"keyer without RAM bit 0", {}, 0x1E, 0, 0, 0xBFD0, 0},
        {"keyer without RAM bit 2", {}, 0x1B, 0, 0, 0xBFD0, 0},
        {"keyer bit 25 unlocked", [](auto& f) { f.dcmUnlocked = {{0, 25}}; }, 0x1F, 0, 0, 0xBFD0, 0x7D000000},
        {"pair A bit 28 unlocked", [](auto& f) { f.dcmUnlocked = {{1, 28}}; }, 0x1F, 0, 0, 0x1BFD0, 0x0F000000},
        {"pair B unaffected by A's", [](auto& f) { f.dcmUnlocked = {{1, 28}}; }, 0x1F, 0, 0, 0x1FFD0, 0x1F000000},
        {"pair without RAM bit 1", {}, 0x1D, 0, 0, 0x1FFD0, 0},
        {"DDR status read-only", {}, 0x1F, 0x197FC, 0xFFFFFFFF, 0x197FC, 0},
        {"DDR pass 1", {}, 0x1F, 0x19FC4, 0x16, 0x197FC, V::kDdrDone},
        {"DDR pass 2", {}, 0x1F, 0x1A7C4, 0x16, 0x1A7FC, V::kDdrDone},
        {"DDR pass 2 not started", {}, 0x1F, 0x19FC4, 0x16, 0x1A7FC, 0},
        {"DDR other code", {}, 0x1F, 0x19FC4, 0x15, 0x197FC, 0},
        {"DDR without pair clock", {}, 0x1D, 0x1DFC4, 0x16, 0x1D7FC, 0},
        {"DDR pass 1 fails", [](auto& f) { f.ddrInitFails = {{1, 1}}; }, 0x1F, 0x19FC4, 0x16, 0x19FFC, 0},
        {"DDR pass 2 fails", [](auto& f) { f.ddrInitFails = {{2, 2}}; }, 0x1F, 0x1E7C4, 0x16, 0x1E7FC, 0},
        {"DDR pass 1 at 0x1FFC, B's fault", [](auto& f) { f.ddrInitFails = {{2, 1}}; }, 0x1F, 0x19FC4, 0x16, 0x19FFC, V::kDdrDone},
    };
    for (const Row& r : rows) {
        Board b(r.fault);
        b.ram = r.ram;
        if (r.offset) b.fpgas->Write(r.offset, r.write);
        EXPECT_EQ(b.map.Read(r.at), r.read) << r.name;
    }
}

TEST(VideoFpgas, PppRouteOpensOnlyWithEveryStageReady) {
    auto set = [](uint32_t offset, uint32_t v) { return [=](Board& b, int ch) { b.map.Write(V::kChannelBlock[ch] + offset, v); }; };
    struct Row { const char* name; std::function<void(Board&, int)> spoil; bool open; } rows[] = {
        {"passthru", [](Board&, int) {}, true},
        {"loopback without pair", [&](Board& b, int ch) { set(V::kControlTwo, V::kLoopback)(b, ch), Configure(b.port, ch + 1, false); }, true},
        {"keyer datapath reset", [](Board& b, int ch) { b.map.Write(0xBFD0, 1u << (16 + ch)); }, false},
        {"other channel's reset", [](Board& b, int ch) { b.map.Write(0xBFD0, 1u << (17 - ch)); }, true},
        {"no RAM bit 0", [](Board& b, int) { b.ram = 0x1E; }, false},
        {"no RAM bit 2", [](Board& b, int) { b.ram = 0x1B; }, false},
        {"pair DCMs unlocked (no RAM bit 1)", [](Board& b, int) { b.ram = 0x1D; }, false},
        {"no passthru", set(V::kControlTwo, 0), false},
        {"port path half on", set(V::kPortControl, 0x80000000), false},
        {"pair unconfigured", [](Board& b, int ch) { Configure(b.port, ch + 1, false); }, false},
        {"pair reconfigured", [](Board& b, int ch) { Configure(b.port, ch + 1); }, false},
        {"pair reset", [](Board& b, int ch) { b.map.Write(V::kPairBase[ch] + V::kPairDcm, V::kPairReset); }, false},
        {"keyer unconfigured", [](Board& b, int) { Configure(b.port, 0, false); }, false},
    };
    for (int ch = 0; ch < 2; ++ch)
        for (const Row& r : rows) {
            Board b;
            b.Passthru(ch);
            r.spoil(b, ch);
            EXPECT_EQ(b.fpgas->PppRoute(ch).Open(), r.open) << r.name << " channel " << ch;
        }
}

TEST(VideoFpgas, CarryFeedsEachStagesCrcBeforeItsCorruption) {
    struct Row { const char* name; bool loopback; std::vector<sim::VideoPathCorrupt> faults; uint32_t keyerMask, pairMask; } rows[] = {
        {"passthru", false, {}, 0, 0},
        {"loopback leaves the pair's CRC", true, {}, 0, 0},
        {"keyer corrupts", false, {{sim::VideoPort::PppA, sim::VideoStageKind::Keyer, 0x8}}, 0x8, 0},
        {"pair corrupts", false, {{sim::VideoPort::PppA, sim::VideoStageKind::Pair, 0x10000}}, 0, 0x10000},
        {"pair fault in loopback", true, {{sim::VideoPort::PppA, sim::VideoStageKind::Pair, 0x10}}, 0, 0},
        {"other port's fault", false, {{sim::VideoPort::PppB, sim::VideoStageKind::Keyer, 0x8}}, 0, 0},
    };
    constexpr uint32_t kSecond = 0x87CC, kPairCrc = 0x18FD8, kFirst = 0x8FD8, kWords = 1027;  // words: not whole 4-word steps
    for (const Row& r : rows) {
        Board b([&](sim::BoardFaults& f) { f.videoPathCorrupt = r.faults; });
        b.Passthru(0);
        b.map.Write(0x8FC8, r.loopback ? V::kLoopback : V::kPassthru);
        for (auto [offset, seed] : {std::pair{kSecond, 0x12345678u}, {kPairCrc, 0u}, {kFirst, 0xFFFFFFFFu}}) b.map.Write(offset, seed);
        auto data = Words(kWords, 7);
        ASSERT_TRUE(b.fpgas->PppRoute(0).Open()) << r.name;
        b.fpgas->PppRoute(0).Carry(reinterpret_cast<uint8_t*>(data.data()), data.size() * 4);
        EXPECT_EQ(data, Words(kWords, 7, r.keyerMask ^ r.pairMask)) << r.name;
        EXPECT_EQ(b.map.Read(kSecond), BitCrc(0x12345678, Words(kWords, 7))) << r.name;
        EXPECT_EQ(b.map.Read(kPairCrc), r.loopback ? 0 : BitCrc(0, Words(kWords, 7, r.keyerMask))) << r.name;
        EXPECT_EQ(b.map.Read(kFirst), BitCrc(0xFFFFFFFF, data)) << r.name;
    }
}

TEST(VideoFpgas, CrcEqualsABitwiseRegisterAndTheImageLibrarysD52ModelAtEveryLength) {
    const std::vector<uint32_t> w = Words(1200, 11);
    const auto* bytes = reinterpret_cast<const uint8_t*>(w.data());
    for (size_t n = 0; n <= w.size(); n += n < 40 ? 1 : 89) {  // short runs, then long ones cut in parts
        const uint32_t seed = 0x5A5A0FF0 + uint32_t(n), crc = sim::VideoCrcFeed(seed, bytes, n * 4);
        EXPECT_EQ(crc, BitCrc(seed, {w.begin(), w.begin() + long(n)})) << n;
        EXPECT_TRUE(n % 2 || crc == images_detail::CrcFeedD52(seed, bytes, n / 2, ~0u)) << n;
    }
}

}  // namespace
