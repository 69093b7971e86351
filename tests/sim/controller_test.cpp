// The board controller: the FPGA configuration port (the download handshake as the library runs it, what the FPGAs
// accept, the port's faults), the registers at BAR0 0x4000, the flash port and status bits, and the BAR0 mirror of the flash.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/config_port.h"
#include "sim/controller.h"
#include "sim/firmware_images.h"
#include "sim/flash_prom.h"
#include "sim/register_map.h"
#include "tests/support/temp_dir.h"

namespace {

using sim::BoardKind;

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

TEST(ConfigPort, InvalidStreamsAbsentDevicesTheLinkResetAndHandshakeFaultsThatHitOnlyTheirDevice) {
    ConfigPort p(sim::BoardKind::Brimola, {});
    const std::vector<uint8_t> good = Image("TAZU");
    EXPECT_EQ(Download(p, 2, std::vector<uint8_t>(good.begin(), good.begin() + 2000)), "I") << "half a stream";
    EXPECT_EQ(Download(p, 2, good), "ID") << "a failed load leaves nothing behind";
    ConfigPort codec(sim::BoardKind::Nuxa, {});
    EXPECT_EQ(Download(codec, 0, Image("LOCV")), "high") << "only the board links on the codec board";
    EXPECT_EQ(Download(codec, 4, Image("FESK")), "ID");
    p.Write(3u << 16 | 0x200);
    EXPECT_TRUE(p.InReset(3) && !p.InReset(4));
    p.Write(0x200);
    EXPECT_FALSE(p.InReset(0) || p.InReset(3)) << "only the board links have a reset on chip select";
    using K = ConfigDeviceFault::Kind;
    const struct { K kind; int device; uint32_t at; const char *image, *outcome; } rows[] = {
        {K::InitNeverFalls, 0, 0, "LOCV", "low"}, {K::InitNeverRises, 1, 0, "TAZU", "high"},
        {K::DoneStaysLow, 3, 0, "FESK", "I"},     {K::CrcError, 2, 100, "TAZU", ""},
        {K::CrcError, 2, 1u << 20, "TAZU", ""},  // beyond the stream: shows at its last byte
    };
    for (const auto& row : rows) {
        sim::ConfigPortFaults f;
        f.devices.push_back({row.kind, row.device, row.at});
        ConfigPort faulty(sim::BoardKind::Brimola, f);
        EXPECT_EQ(Download(faulty, row.device, Image(row.image)), row.outcome) << row.device;
        EXPECT_EQ(faulty.Read() & 0x400, 0u) << "PROG released";
        EXPECT_FALSE(faulty.Configured(row.device));
        EXPECT_EQ(Download(faulty, 4, Image("FESK")), "ID") << "another device";
    }
}

struct Board {
    sim::BoardController ctl;
    sim::RegisterMap map;
    explicit Board(const sim::BoardConfig& c) : ctl(c) { ctl.Attach(map); }
    explicit Board(BoardKind kind = BoardKind::Brimola) : Board(sim::DefaultBoard(kind, "B")) {}
    uint32_t R(uint32_t off) { return map.Read(off); }
    void W(uint32_t off, uint32_t v) { map.Write(off, v); }
    uint16_t FlashWord(uint32_t a) {
        W(0x4008, a);
        const uint32_t pair = R(0x400C);
        return static_cast<uint16_t>(a & 1 ? pair >> 16 : pair);
    }
    void Erase(uint32_t a) {
        for (uint32_t v : {0x20u, 0xD0u}) {
            W(0x4008, a);
            W(0x400C, v);
        }
    }
};

TEST(BoardController, RegistersAndTheStatusThatFollowsTheSensorAlarmTheFlashAndTheLinkClockSource) {
    Board m;
    const uint32_t id = m.R(0x4000);
    m.W(0x4000, ~id);
    EXPECT_EQ(m.R(0x4000), id) << "read-only";
    // I2C: CO bit 0 -> CI bit 3, DO bit 2 -> DI bit 1; inputs written as 1 are ignored.
    const uint32_t i2c[4] = {0x0, 0x9, 0x6, 0xF};
    for (uint32_t v = 0; v < 4; ++v) {
        m.W(0x4004, (v & 1) | (v & 2) << 1 | 0xA);
        EXPECT_EQ(m.R(0x4004), i2c[v]) << v;
    }
    const uint32_t before = m.R(0x4010);
    m.W(0x4010, 0xFFFF7FFF);
    EXPECT_EQ(m.R(0x4010), (before & ~0xC300u) | 0x4300) << "only the LED bits 0xC300 are writable";
    m.W(0x4018, 0xA5A5A5A5);
    m.W(0x4008, 0xFFFFFFFF);
    EXPECT_EQ(m.R(0x4018) + m.R(0x4008), 0xA5A5A5A5u + 0x3FFFFFu) << "the RAM register holds every bit, the flash address 22";
    m.W(0x4008, 0);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(static_cast<uint16_t>(m.R(0x400C) >> (i & 1 ? 16 : 0)), sim::kSegmentHeader[i]) << i;
    EXPECT_EQ(m.R(0x4008), 6u) << "every data access advances the address";
    const int64_t t0 = platform::NowTicks();
    m.R(0x400C);
    EXPECT_EQ(platform::NowTicks() - t0, sim::BoardController::kFlashAccessTicks) << "and costs bus time";
    // The status follows the sensor alarm and the flash (the link clocks: tests/sim/video_ports_test.cpp).
    Board b;
    bool hot = false;
    b.ctl.SetOverTemperatureSource([&] { return hot; });
    hot = true;
    EXPECT_EQ(b.R(0x4010) & 0x800, 0x800u);
    b.Erase(0x3C0000);
    EXPECT_EQ(b.R(0x4010) & 0x1000, 0u) << "STS low while an erase runs";
    Sleep(600);
    EXPECT_EQ(b.R(0x4010) & 0x1000, 0x1000u);
    b.ctl.SetPortClockSource(1, [] { return true; });
    EXPECT_EQ(b.R(0x4010) & 6, 2u) << "a cable's wiring drives the bit";
    Download(b.ctl.Fpgas(), 2, Image("TAZU"));
    EXPECT_EQ(b.R(0x1FFC8), 0x004020A0u) << "the identification word of the configured FPGA";
    EXPECT_EQ(Board(BoardKind::Nuxa).R(0x1FFC8), 0u) << "no FPGA pair on the codec board";
}

TEST(BoardController, BootInformationFollowsTheSegmentHeadersAndTheFlashImageFileOrHealthyMemory) {
    sim::BoardConfig cfg = sim::DefaultBoard(BoardKind::Brimola, "B");
    cfg.breakoutBox = true;
    EXPECT_EQ(Board(cfg).R(0x4010) & 0x718E7, 0x110C1u) << "PCIX booted and active, only PCIX tried, STS on, the box";
    EXPECT_EQ(Board(cfg).ctl.InfoText(), sim::OxdHeaderText(*sim::FindFirmwareImage("PUVI"), cfg.revision));
    cfg.faults.flash.missingHeaders = {"PCIX"};
    EXPECT_EQ(Board(cfg).R(0x4010) & 0x700C0, 0x30040u) << "PCIX and PCI tried, PCI active";
    EXPECT_EQ(Board(cfg).ctl.InfoText(), sim::OxdHeaderText(*sim::FindFirmwareImage("ZVKP"), cfg.revision));
    cfg.faults.flash.missingHeaders = {"PCIX", "PCI", "SAFE"};
    EXPECT_EQ(Board(cfg).R(0x4010) & 0x700C0, 0x70000u) << "all tried, neither active bit";
    EXPECT_EQ(Board(cfg).ctl.InfoText(), "") << "a blank SAFE segment has no record";
    // It boots from its flash image file; a missing one is made from the healthy contents, and
    // one that cannot be made leaves the board with no flash the rig stands by, saying why.
    support::TempDir dir;
    sim::BoardConfig fileCfg = sim::DefaultBoard(BoardKind::Brimola, "B");
    fileCfg.flashImage = dir / "brimola.flash";
    sim::FlashProm erased(sim::FlashFaults{}, 1);
    ASSERT_EQ(erased.UseImageFile(fileCfg.flashImage, "", nullptr), sim::FlashProm::ImageUse::Created);
    EXPECT_EQ(Board(fileCfg).ctl.Booted(), sim::BootImage::Safe) << "an erased image file: nothing else to boot";
    fileCfg.flashImage = dir / "new.flash";
    EXPECT_EQ(Board(fileCfg).ctl.Booted(), sim::BootImage::Pcix);
    sim::FlashProm healthy(sim::FlashFaults{}, 1);
    sim::InstallHealthyContents(healthy, fileCfg);
    std::vector<uint16_t> words(sim::FlashProm::kWords);
    healthy.ReadWords(0, words.data(), words.size());
    EXPECT_TRUE(support::ReadText(fileCfg.flashImage) == std::string(reinterpret_cast<const char*>(words.data()), words.size() * 2));
    fileCfg.flashImage = dir / "missing/dir/x.flash";
    const std::string refused = Board(fileCfg).ctl.FlashError();
    EXPECT_NE(refused.find("x.flash\": cannot be created: "), std::string::npos) << refused;
}

TEST(BoardController, StuckRegisterBitsReadStuckAndActSo) {
    // What a healthy board reads back for these writes is pinned by the register tests above.
    const struct { const char* name; uint32_t offset; int bit, value; uint32_t write, mask, expect; } rows[] = {
        {"BID", 0x4000, 0, 1, 0, 0xFF, 0x53},
        {"CO low: CI follows the line", 0x4004, 0, 0, 0x5, 0xF, 0x6},
        {"CI held low", 0x4004, 3, 0, 0x5, 0xF, 0x7},
        {"DI held high", 0x4004, 1, 1, 0x0, 0xF, 0x2},
        {"FlashAddr", 0x4008, 4, 1, 0x3F1000, 0x3FFFFF, 0x3F1010},
        {"Yellow LED", 0x4010, 14, 0, 0xC300, 0xC300, 0x8300},
        {"STS", 0x4010, 12, 0, 0, 0x1000, 0},
        {"RAM", 0x4018, 3, 0, 0x11F, 0x11F, 0x117},
    };
    for (const auto& row : rows) {
        sim::BoardConfig cfg = sim::DefaultBoard(BoardKind::Brimola, "B");
        cfg.faults.registerStuck.push_back({row.offset, row.bit, row.value});
        Board b(cfg);
        b.W(row.offset, row.write);
        EXPECT_EQ(b.R(row.offset) & row.mask, row.expect) << row.name;
    }
    sim::BoardConfig cfg = sim::DefaultBoard(BoardKind::Brimola, "B");
    cfg.expansionPort = "loopback";
    cfg.faults.registerStuck = {{0x4008, 16, 1}, {0x4008, 0, 0}, {0x4018, 4, 0}};
    Board b(cfg);
    EXPECT_EQ(b.FlashWord(0x3E0000) | b.FlashWord(0x3E0001) << 16, b.R(0x2000)) << "the chip sees the VPD area's address";
    b.W(0x400C, 0xFF);
    EXPECT_EQ(b.R(0x4008), 0x3F0000u) << "the address cannot count past the stuck bit";
    Download(b.ctl.Fpgas(), 4, Image("FESK"));
    EXPECT_EQ(b.R(0x4010) & 4, 0u) << "no expansion-port clock without its enable";
}

TEST(BoardController, FlashPortAccessAndEraseTakeTheirTimeAndAFloatingStsReadsAtRandomFromItsSeed) {
    const struct { uint32_t accessNs, eraseMs; } rows[] = {{400, 512}, {250, 512}, {50000, 3000}};
    for (const auto& row : rows) {
        sim::BoardConfig cfg = sim::DefaultBoard(BoardKind::Brimola, "B");
        cfg.faults.flash.accessNs = row.accessNs;
        cfg.faults.flash.eraseMs = row.eraseMs;
        Board b(cfg);
        int64_t t0 = platform::NowTicks();
        for (int i = 0; i < 4; ++i) b.R(0x400C);
        EXPECT_EQ(platform::NowTicks() - t0, int64_t{row.accessNs} * 4 / 100) << row.accessNs << " ns: fractions of a tick carry over";
        b.Erase(0x3C0000);
        platform::AdvanceTicks(int64_t{row.eraseMs} * 10'000 - 1);
        EXPECT_EQ(b.R(0x4010) & 0x1000, 0u) << row.eraseMs << " ms: still erasing";
        platform::AdvanceTicks(1);
        EXPECT_EQ(b.R(0x4010) & 0x1000, 0x1000u) << row.eraseMs;
    }
    auto reads = [](bool floating, uint64_t seed) {
        sim::BoardConfig cfg = sim::DefaultBoard(BoardKind::Brimola, "B");
        cfg.faults.flash.stsFloating = floating;
        cfg.faults.flash.stsSeed = seed;
        Board b(cfg);
        std::string bits;
        for (int i = 0; i < 512; ++i) bits += b.R(0x4010) & 0x1000 ? '1' : '0';
        return bits;
    };
    EXPECT_EQ(reads(false, 1), std::string(512, '1')) << "a healthy idle chip is always ready";
    for (uint64_t seed : {0, 1, 42}) {
        const std::string bits = reads(true, seed);
        EXPECT_EQ(bits, reads(true, seed)) << "reproducible";
        EXPECT_EQ(bits.find("00000000") + bits.find("11111111"), 2 * std::string::npos) << bits << ": no long runs";
        EXPECT_NE(bits.find('0'), bits.find('1'));
    }
    EXPECT_NE(reads(true, 1), reads(true, 2));
}

}  // namespace
