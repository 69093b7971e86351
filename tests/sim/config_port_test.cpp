// The FPGA configuration port: the download handshake as the library runs it, what the FPGAs accept, and the port's faults.
#include <gtest/gtest.h>

#include <vector>

#include "platform/clock.h"
#include "sim/config_port.h"
#include "sim/firmware_images.h"

namespace {

using sim::ConfigDeviceFault;
using sim::ConfigPort;
using sim::ConfigPortFaults;

constexpr uint32_t kInit = 0x4000, kDone = 0x8000;

std::vector<uint8_t> Image(const char* id) { return sim::FirmwareData(*sim::FindFirmwareImage(id)); }

struct Outcome {
    bool initLowTimeout = false, initHighTimeout = false, init = false, done = false;
};

// The Xilinx download sequence of the library's FPGA programming, step for step.
Outcome Download(ConfigPort& p, int select, const std::vector<uint8_t>& data) {
    Outcome o;
    const uint32_t s = static_cast<uint32_t>(select & 7) << 16;
    p.Write(s | 0x400);
    for (int i = 0; i < 100 && (p.Read() & kInit); ++i) Sleep(1);
    o.initLowTimeout = p.Read() & kInit;
    p.Write(s);
    for (int i = 0; !o.initLowTimeout && i < 100 && !(p.Read() & kInit); ++i) Sleep(1);
    o.initHighTimeout = !o.initLowTimeout && !(p.Read() & kInit);
    if (o.initLowTimeout || o.initHighTimeout) return o;
    p.Write(s | 0x200);
    for (uint8_t b : data) p.Write(s | 0x800000 | 0x200 | 0x100 | b);
    for (int i = 0; i < 16; ++i) p.Write(s | 0x800000 | 0x200 | 0x100);
    Sleep(100);
    o.init = p.Read() & kInit;
    o.done = p.Read() & kDone;
    p.Write(s);
    return o;
}

TEST(ConfigPort, EachFpgaConfiguresFromItsImageAndReportsItsIdentification) {
    ConfigPort p(sim::BoardKind::Brimola, {});
    const struct {
        int device;
        const char* id;
    } loads[] = {{0, "LOCV"}, {1, "TAZU"}, {2, "VOKB"}, {3, "FESK"}, {4, "FESK"}};
    for (const auto& [device, id] : loads) {
        EXPECT_EQ(p.IdWord(device), 0xFFFFFFFFu) << "unconfigured at power-up";
        const Outcome o = Download(p, device, Image(id));
        EXPECT_TRUE(o.init && o.done) << id << " into " << device;
        EXPECT_EQ(p.IdWord(device), sim::FindFirmwareImage(id)->idWord);
        EXPECT_EQ(p.Read(), static_cast<uint32_t>(device) << 16 | kInit | kDone) << "left at the bare device code";
    }
    // A new PROG cycle forgets the configuration; the other FPGAs keep theirs.
    p.Write(1u << 16 | 0x400);
    EXPECT_EQ(p.IdWord(1), 0xFFFFFFFFu);
    EXPECT_TRUE(p.Configured(0) && p.Configured(2));
}

TEST(ConfigPort, InitFallsUnderProgAndRisesAfterTheClearTime) {
    ConfigPort p(sim::BoardKind::Brimola, {});
    EXPECT_EQ(p.Read() & (kInit | kDone), kInit) << "power-up: waiting for a configuration";
    p.Write(0x400);
    EXPECT_EQ(p.Read() & (kInit | kDone), 0u);
    Sleep(50);
    EXPECT_EQ(p.Read() & kInit, 0u) << "held while PROG stays set";
    p.Write(0);
    const int64_t released = platform::NowTicks();
    EXPECT_EQ(p.Read() & kInit, 0u);
    platform::AdvanceTicks(ConfigPort::kInitRiseMicros * 10 - 1 - (platform::NowTicks() - released));
    EXPECT_EQ(p.Read() & kInit, 0u);
    platform::AdvanceTicks(1);
    EXPECT_EQ(p.Read() & kInit, kInit);
    // Selecting another device releases PROG of the one that had it.
    p.Write(0x400);
    p.Write(2u << 16);
    Sleep(3);
    p.Write(0);
    EXPECT_EQ(p.Read() & kInit, kInit);
}

TEST(ConfigPort, InvalidStreamsDropInitAndLeaveDoneLow) {
    ConfigPort p(sim::BoardKind::Brimola, {});
    // The keyer's image into the FPGA pair: a CRC error.
    Outcome o = Download(p, 1, Image("LOCV"));
    EXPECT_FALSE(o.init || o.done);
    EXPECT_EQ(p.IdWord(1), 0xFFFFFFFFu);
    // A damaged byte in the middle.
    std::vector<uint8_t> bad = Image("TAZU");
    bad[bad.size() / 2] ^= 1;
    o = Download(p, 2, bad);
    EXPECT_FALSE(o.init || o.done);
    // Half a stream: INIT stays up, DONE never comes.
    const std::vector<uint8_t> good = Image("TAZU");
    o = Download(p, 2, std::vector<uint8_t>(good.begin(), good.begin() + 2000));
    EXPECT_TRUE(o.init && !o.done);
    // Without chip select, or without a strobe, nothing is clocked in.
    p.Write(2u << 16 | 0x400);
    p.Write(2u << 16);
    Sleep(5);
    for (uint8_t b : good) p.Write(2u << 16 | 0x100 | b);
    for (uint8_t b : good) p.Write(2u << 16 | 0x200 | b);
    for (int i = 0; i < 16; ++i) p.Write(2u << 16 | 0x800300);
    EXPECT_FALSE(p.Configured(2));
    // The same stream, correctly clocked, configures: a failed load leaves nothing behind.
    o = Download(p, 2, good);
    EXPECT_TRUE(o.init && o.done);
}

TEST(ConfigPort, FieldsReadBackAsWrittenAndAbsentDevicesAnswerLow) {
    ConfigPort p(sim::BoardKind::Brimola, {});
    p.Write(7u << 16 | 0x800000 | 0x400 | 0x200 | 0x100 | 0xA5);
    EXPECT_EQ(p.Read(), 7u << 16 | 0x400 | 0x200 | 0xA5) << "strobes read 0; code 7 has no device";
    for (uint32_t code = 0; code < 8; ++code) {
        p.Write(code << 16);
        EXPECT_EQ(p.Read() >> 16 & 7, code);
        EXPECT_EQ((p.Read() & kInit) != 0, code < 5) << code;
    }
    ConfigPort codec(sim::BoardKind::Nuxa, {});
    for (int d = 0; d < 5; ++d) {
        codec.Write(static_cast<uint32_t>(d) << 16);
        EXPECT_EQ((codec.Read() & kInit) != 0, d >= 3) << d;
        EXPECT_EQ(codec.Present(d), d >= 3);
    }
    EXPECT_TRUE(Download(codec, 4, Image("FESK")).done);
    EXPECT_FALSE(Download(codec, 0, Image("LOCV")).init);
}

TEST(ConfigPort, ChipSelectHoldsTheSelectedBoardLinkInReset) {
    ConfigPort p(sim::BoardKind::Brimola, {});
    p.Write(3u << 16 | 0x200);
    EXPECT_TRUE(p.InReset(3) && !p.InReset(4));
    p.Write(4u << 16 | 0x200);
    EXPECT_TRUE(!p.InReset(3) && p.InReset(4));
    p.Write(0x200);
    EXPECT_FALSE(p.InReset(0)) << "only the board links have a reset on chip select";
    p.Write(4u << 16);
    EXPECT_FALSE(p.InReset(4));
}

TEST(ConfigPort, HandshakeFaultsHitOnlyTheirDevice) {
    auto with = [](ConfigDeviceFault::Kind k, int device, uint32_t at = 1024) {
        ConfigPortFaults f;
        f.devices.push_back({k, device, at});
        return f;
    };
    {
        ConfigPort p(sim::BoardKind::Brimola, with(ConfigDeviceFault::Kind::InitNeverFalls, 0));
        EXPECT_TRUE(Download(p, 0, Image("LOCV")).initLowTimeout);
        EXPECT_EQ(p.Read() & 0x400, 0u) << "PROG released after the time-out";
        EXPECT_TRUE(Download(p, 1, Image("TAZU")).done);
    }
    {
        ConfigPort p(sim::BoardKind::Brimola, with(ConfigDeviceFault::Kind::InitNeverRises, 1));
        const Outcome o = Download(p, 1, Image("TAZU"));
        EXPECT_TRUE(!o.initLowTimeout && o.initHighTimeout);
        EXPECT_TRUE(Download(p, 2, Image("TAZU")).done);
    }
    {
        ConfigPort p(sim::BoardKind::Brimola, with(ConfigDeviceFault::Kind::DoneStaysLow, 3));
        const Outcome o = Download(p, 3, Image("FESK"));
        EXPECT_TRUE(o.init && !o.done);
        EXPECT_EQ(p.IdWord(3), 0xFFFFFFFFu);
        EXPECT_TRUE(Download(p, 4, Image("FESK")).done);
    }
    {
        // At byte 100, and beyond the end of the stream: the error shows at its last byte.
        for (uint32_t at : {100u, 1u << 20}) {
            ConfigPort p(sim::BoardKind::Brimola, with(ConfigDeviceFault::Kind::CrcError, 2, at));
            const Outcome o = Download(p, 2, Image("TAZU"));
            EXPECT_FALSE(o.init || o.done) << at;
            EXPECT_TRUE(Download(p, 1, Image("TAZU")).done);
        }
    }
}

TEST(ConfigPort, StuckCodeBitSelectsAndReportsTheWrongDevice) {
    ConfigPortFaults f;
    f.codeStuck.push_back({0, 0});
    ConfigPort p(sim::BoardKind::Brimola, f);
    p.Write(1u << 16);
    EXPECT_EQ(p.Read() >> 16 & 7, 0u);
    p.Write(2u << 16);
    EXPECT_EQ(p.Read() >> 16 & 7, 2u) << "codes without that bit are unaffected";
    // A download to device 1 reaches the keyer, which refuses the pair's image.
    EXPECT_FALSE(Download(p, 1, Image("TAZU")).done);
    EXPECT_FALSE(p.Configured(1));
}

}  // namespace
