// The FPGA configuration port: the download handshake as the library runs it, what the FPGAs accept, and the port's faults.
#include <gtest/gtest.h>

#include <vector>

#include "platform/clock.h"
#include "sim/config_port.h"
#include "sim/firmware_images.h"

namespace {

using sim::ConfigDeviceFault;
using sim::ConfigPort;

constexpr uint32_t kInit = 0x4000, kDone = 0x8000;

std::vector<uint8_t> Image(const char* id) { return sim::FirmwareData(*sim::FindFirmwareImage(id)); }

// The library's Xilinx download step for step; answers "low" or "high" for an INIT time-out, else INIT and DONE.
std::string Download(ConfigPort& p, int select, const std::vector<uint8_t>& data) {
    const uint32_t s = static_cast<uint32_t>(select & 7) << 16;
    p.Write(s | 0x400);
    for (int i = 0; i < 100 && (p.Read() & kInit); ++i) Sleep(1);
    const bool stayedHigh = p.Read() & kInit;
    p.Write(s);
    if (stayedHigh) return "low";
    for (int i = 0; i < 100 && !(p.Read() & kInit); ++i) Sleep(1);
    if (!(p.Read() & kInit)) return "high";
    p.Write(s | 0x200);
    for (uint8_t b : data) p.Write(s | 0x800300 | b);
    for (int i = 0; i < 16; ++i) p.Write(s | 0x800300);
    Sleep(100);
    const uint32_t v = p.Read();
    p.Write(s);
    return std::string(v & kInit ? "I" : "") + (v & kDone ? "D" : "");
}

TEST(ConfigPort, ProgDropsInitWhichRisesAfterTheClearTimeAndForgetsTheConfiguration) {
    ConfigPort p(sim::BoardKind::Brimola, {});
    EXPECT_EQ(p.Read() & (kInit | kDone), kInit) << "power-up: waiting for a configuration";
    EXPECT_EQ(Download(p, 1, Image("TAZU")), "ID");
    EXPECT_EQ(Download(p, 4, Image("FESK")), "ID");
    EXPECT_EQ(p.IdWord(1), sim::FindFirmwareImage("TAZU")->idWord);
    EXPECT_EQ(p.Read(), 4u << 16 | kInit | kDone) << "left at the bare device code";
    p.Write(1u << 16 | 0x400);
    Sleep(50);
    EXPECT_EQ(p.Read() & (kInit | kDone), 0u) << "held while PROG stays set";
    EXPECT_TRUE(p.IdWord(1) == 0xFFFFFFFFu && p.Configured(4)) << "only that FPGA forgets";
    p.Write(1u << 16);
    const int64_t released = platform::NowTicks();
    platform::AdvanceTicks(ConfigPort::kInitRiseMicros * 10 - 1 - (platform::NowTicks() - released));
    EXPECT_EQ(p.Read() & kInit, 0u);
    platform::AdvanceTicks(1);
    EXPECT_EQ(p.Read() & kInit, kInit);
    p.Write(0x400);
    p.Write(2u << 16);
    Sleep(3);
    EXPECT_EQ(p.Read() & kInit, kInit) << "selecting another device releases PROG of the one that had it";
}

TEST(ConfigPort, InvalidStreamsAbsentDevicesAndTheLinkReset) {
    ConfigPort p(sim::BoardKind::Brimola, {});
    const std::vector<uint8_t> good = Image("TAZU");
    EXPECT_EQ(Download(p, 2, std::vector<uint8_t>(good.begin(), good.begin() + 2000)), "I") << "half a stream";
    EXPECT_EQ(Download(p, 2, good), "ID") << "a failed load leaves nothing behind";
    p.Write(7u << 16 | 0x800000 | 0x400 | 0x200 | 0x100 | 0xA5);
    EXPECT_EQ(p.Read(), 7u << 16 | 0x400 | 0x200 | 0xA5) << "strobes read 0; code 7 has no device";
    ConfigPort codec(sim::BoardKind::Nuxa, {});
    EXPECT_EQ(Download(codec, 0, Image("LOCV")), "high") << "only the board links on the codec board";
    EXPECT_EQ(Download(codec, 4, Image("FESK")), "ID");
    p.Write(3u << 16 | 0x200);
    EXPECT_TRUE(p.InReset(3) && !p.InReset(4));
    p.Write(0x200);
    EXPECT_FALSE(p.InReset(0) || p.InReset(3)) << "only the board links have a reset on chip select";
}

TEST(ConfigPort, HandshakeFaultsHitOnlyTheirDevice) {
    using K = ConfigDeviceFault::Kind;
    const struct {
        K kind;
        int device;
        uint32_t at;
        const char *image, *outcome;
    } rows[] = {
        {K::InitNeverFalls, 0, 0, "LOCV", "low"}, {K::InitNeverRises, 1, 0, "TAZU", "high"},
        {K::DoneStaysLow, 3, 0, "FESK", "I"},     {K::CrcError, 2, 100, "TAZU", ""},
        {K::CrcError, 2, 1u << 20, "TAZU", ""},  // beyond the stream: shows at its last byte
    };
    for (const auto& row : rows) {
        sim::ConfigPortFaults f;
        f.devices.push_back({row.kind, row.device, row.at});
        ConfigPort p(sim::BoardKind::Brimola, f);
        EXPECT_EQ(Download(p, row.device, Image(row.image)), row.outcome) << row.device;
        EXPECT_EQ(p.Read() & 0x400, 0u) << "PROG released";
        EXPECT_FALSE(p.Configured(row.device));
        EXPECT_EQ(Download(p, 4, Image("FESK")), "ID") << "another device";
    }
}

}  // namespace
