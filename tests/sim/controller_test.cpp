// The board controller's registers at BAR0 0x4000, its flash port and status bits, and the BAR0 mirror of the flash.
#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"
#include "sim/controller.h"
#include "sim/firmware_images.h"
#include "sim/register_map.h"
#include "sim/vpd.h"
#include "tests/support/temp_dir.h"

namespace {

using sim::BoardController;
using sim::BoardKind;

struct Board {
    sim::BoardConfig cfg;
    BoardController ctl;
    sim::RegisterMap map;
    explicit Board(const sim::BoardConfig& c) : cfg(c), ctl(c) { ctl.Attach(map); }
    uint32_t R(uint32_t off) { return map.Read(off); }
    void W(uint32_t off, uint32_t v) { map.Write(off, v); }
    uint16_t FlashWord(uint32_t a) {
        W(0x4008, a);
        const uint32_t pair = R(0x400C);
        return static_cast<uint16_t>(a & 1 ? pair >> 16 : pair);
    }
};

sim::BoardConfig Config(BoardKind kind) { return sim::DefaultBoard(kind, kind == BoardKind::Brimola ? "Brimola1" : "Nuxa1"); }

TEST(BoardController, IdentityI2cLedAndRamRegisters) {
    Board m(Config(BoardKind::Brimola)), c(Config(BoardKind::Nuxa));
    EXPECT_EQ((m.R(0x4000) & 0xFF) * 0x100 + (c.R(0x4000) & 0xFF), 0x5253u);
    const uint32_t id = m.R(0x4000);
    EXPECT_NE(id >> 8 & 0xFF, 0u) << "hardware revision";
    EXPECT_NE(id >> 16 & 0xFF, 0u) << "controller revision";
    m.W(0x4000, ~id);
    EXPECT_EQ(m.R(0x4000), id) << "read-only";
    // I2C: CO bit 0 -> CI bit 3, DO bit 2 -> DI bit 1; inputs written as 1 are ignored.
    EXPECT_EQ(m.R(0x4004), 0xFu);
    const uint32_t i2c[4] = {0x0, 0x9, 0x6, 0xF};
    for (uint32_t v = 0; v < 4; ++v) {
        m.W(0x4004, (v & 1) | (v & 2) << 1 | 0xA);
        EXPECT_EQ(m.R(0x4004), i2c[v]) << v;
    }
    // LED bits 0xC300 are writable, the status bits are not.
    const uint32_t before = m.R(0x4010);
    m.W(0x4010, 0xFFFFFFFF);
    EXPECT_EQ(m.R(0x4010), before | 0xC300);
    m.W(0x4010, 0x8000);
    EXPECT_EQ(m.R(0x4010), (before & ~0xC300u) | 0x8000);
    // The RAM register holds every bit as written.
    EXPECT_EQ(c.R(0x4018), 0x1Fu);
    for (uint32_t v : {0u, 0xA5A5A5A5u}) {
        c.W(0x4018, v);
        EXPECT_EQ(c.R(0x4018), v);
    }
}

TEST(BoardController, FlashAddressIs22BitsAndEveryDataAccessAdvancesIt) {
    Board b(Config(BoardKind::Brimola));
    b.W(0x4008, 0xFFFFFFFF);
    EXPECT_EQ(b.R(0x4008), 0x3FFFFFu);
    b.W(0x4008, 0x3F1000);
    for (uint32_t i = 1; i <= 3; ++i) b.W(0x400C, 0x12345678);
    EXPECT_EQ(b.R(0x4008), 0x3F1003u);
    // Reads advance too, so a word-at-a-time walk needs one address write.
    b.W(0x4008, 0);
    uint16_t w[6];
    for (int i = 0; i < 6; ++i) {
        const uint32_t pair = b.R(0x400C);
        w[i] = static_cast<uint16_t>(i & 1 ? pair >> 16 : pair);
    }
    EXPECT_EQ(b.R(0x4008), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(w[i], sim::kSegmentHeader[i]) << i;
    // The writes of 0x12345678 left the chip in read-array mode and the VPD area intact.
    EXPECT_EQ(b.FlashWord(0x3F0000), b.R(0x2000) & 0xFFFF);
    // Each data access costs bus time, so a poll without sleeps still moves the clock.
    const int64_t t0 = platform::NowTicks();
    b.R(0x400C);
    EXPECT_EQ(platform::NowTicks() - t0, BoardController::kFlashAccessTicks);
}

TEST(BoardController, HealthyBoardReportsAConsistentPcixBoot) {
    for (BoardKind kind : {BoardKind::Brimola, BoardKind::Nuxa}) {
        sim::BoardConfig cfg = Config(kind);
        cfg.breakoutBox = kind == BoardKind::Brimola;
        Board b(cfg);
        // PCIX and PCI Active, only PCIX tried, no ForceSafe, flash STS on, no over-temperature, no
        // board-link clocks while the links are unconfigured; bit 0 the breakout-box connector.
        EXPECT_EQ(b.R(0x4010) & 0x718E7, 0x110C0u | (kind == BoardKind::Brimola ? 1u : 0u));
        EXPECT_EQ(b.ctl.Booted(), sim::BootImage::Pcix);
    }
}

TEST(BoardController, StatusFollowsTheSensorAlarmTheFlashAndTheLinkClocks) {
    Board b(Config(BoardKind::Brimola));
    bool hot = false;
    b.ctl.SetOverTemperatureSource([&] { return hot; });
    EXPECT_EQ(b.R(0x4010) & 0x800, 0u);
    hot = true;
    EXPECT_EQ(b.R(0x4010) & 0x800, 0x800u);
    // STS is low while an erase runs.
    b.W(0x4008, 0x3C0000);
    b.W(0x400C, 0x20);
    b.W(0x4008, 0x3C0000);
    b.W(0x400C, 0xD0);
    EXPECT_EQ(b.R(0x4010) & 0x1000, 0u);
    Sleep(600);
    EXPECT_EQ(b.R(0x4010) & 0x1000, 0x1000u);
    // A link's clock is there once its FPGA is configured and its clock enabled.
    b.W(0x4018, 0x1F);
    sim::ConfigPort& port = b.ctl.Fpgas();
    const std::vector<uint8_t> fesk = sim::FirmwareData(*sim::FindFirmwareImage("FESK"));
    port.Write(4u << 16 | 0x400);
    port.Write(4u << 16);
    Sleep(5);
    for (uint8_t x : fesk) port.Write(4u << 16 | 0x800300 | x);
    for (int i = 0; i < 16; ++i) port.Write(4u << 16 | 0x800300);
    EXPECT_EQ(b.R(0x4010) & 6, 4u) << "expansion port only";
    b.W(0x4018, 0x0F);
    EXPECT_EQ(b.R(0x4010) & 6, 0u) << "clock enable off";
    b.ctl.SetPortClockSource(1, [] { return true; });
    EXPECT_EQ(b.R(0x4010) & 6, 2u);
}

TEST(BoardController, MirrorShowsTheExpAndVpdAreasReadOnly) {
    for (BoardKind kind : {BoardKind::Brimola, BoardKind::Nuxa}) {
        Board b(Config(kind));
        for (uint32_t off = 0; off < 0x4000; off += 4) {
            const uint32_t area = off < 0x2000 ? sim::kExpArea : sim::kVpdArea;
            const uint32_t i = (off & 0x1FFF) / 4;
            const uint32_t flash = uint32_t{b.ctl.Flash().Word(area + 2 * i)} | uint32_t{b.ctl.Flash().Word(area + 2 * i + 1)} << 16;
            ASSERT_EQ(b.R(off), flash) << std::hex << off;
        }
        const std::vector<uint8_t> vpd = sim::BuildVpdImage(b.cfg);
        EXPECT_EQ(b.R(0x2000), uint32_t{vpd[0]} | uint32_t{vpd[1]} << 8 | uint32_t{vpd[2]} << 16 | uint32_t{vpd[3]} << 24);
        b.W(0x2000, 0);
        EXPECT_EQ(b.R(0x2000) & 0xFF, 0x82u);
    }
    sim::BoardConfig cfg = Config(BoardKind::Brimola);
    cfg.faults.flash.mirrorMismatch.push_back({0x2010, 0x00010000});
    Board bad(cfg);
    Board good(Config(BoardKind::Brimola));
    for (uint32_t off = 0; off < 0x4000; off += 4)
        EXPECT_EQ(bad.R(off) ^ good.R(off), off == 0x2010 ? 0x00010000u : 0u) << std::hex << off;
    EXPECT_EQ(bad.FlashWord(0x3F0008 + 1), good.FlashWord(0x3F0008 + 1)) << "the flash itself is right";
}

TEST(BoardController, IdentificationWordsFollowTheConfiguredFpgasOnTheMainBoard) {
    Board m(Config(BoardKind::Brimola)), c(Config(BoardKind::Nuxa));
    for (uint32_t off : {0xBFC8u, 0x1BFC8u, 0x1FFC8u}) {
        EXPECT_EQ(m.R(off), 0xFFFFFFFFu);
        EXPECT_EQ(c.R(off), 0u) << "no keyer or FPGA pair on the codec board";
    }
    const std::vector<uint8_t> tazu = sim::FirmwareData(*sim::FindFirmwareImage("TAZU"));
    m.W(0x4014, 2u << 16 | 0x400);
    m.W(0x4014, 2u << 16);
    Sleep(5);
    for (uint8_t x : tazu) m.W(0x4014, 2u << 16 | 0x800300 | x);
    for (int i = 0; i < 16; ++i) m.W(0x4014, 2u << 16 | 0x800300);
    EXPECT_EQ(m.R(0x4014) & 0xC000, 0xC000u);
    EXPECT_EQ(m.R(0x1FFC8), 0x004020A0u);
    EXPECT_EQ(m.R(0x1BFC8), 0xFFFFFFFFu);
}

TEST(BoardController, InformationTextIsTheBootedImagesHeader) {
    sim::BoardConfig cfg = Config(BoardKind::Nuxa);
    Board c(cfg);
    EXPECT_EQ(c.ctl.InfoText(), sim::OxdHeaderText(*sim::FindFirmwareImage("KEZO"), cfg.revision));
    EXPECT_NE(c.ctl.InfoText().find("R:0C75;"), std::string::npos);
    cfg = Config(BoardKind::Brimola);
    cfg.faults.flash.missingHeaders = {"PCIX"};
    Board m(cfg);
    EXPECT_EQ(m.ctl.Booted(), sim::BootImage::Pci);
    EXPECT_NE(m.ctl.InfoText().find("N:ZVKP0202;"), std::string::npos);
    EXPECT_EQ(m.R(0x4010) & 0x700C0, 0x30040u) << "PCIX and PCI tried, PCI Active, not PCIX";
    cfg.faults.flash.missingHeaders = {"PCIX", "PCI", "SAFE"};
    Board s(cfg);
    EXPECT_EQ(s.R(0x4010) & 0x700C0, 0x70000u) << "all tried, neither active bit";
    EXPECT_EQ(s.ctl.InfoText(), "") << "a blank SAFE segment has no record";
}

TEST(BoardController, FlashImageFileKeepsAProgrammedBoardProgrammed) {
    support::TempDir dir;
    sim::BoardConfig cfg = Config(BoardKind::Brimola);
    cfg.flashImage = dir / "brimola.flash";
    {
        Board b(cfg);
        EXPECT_EQ(b.ctl.FlashError(), "");
        EXPECT_EQ(b.FlashWord(0x100002), 0x9955) << "a new file starts healthy";
        // Erase the PCIX segment's first block through the port.
        b.W(0x4008, 0x100000);
        b.W(0x400C, 0x20);
        b.W(0x4008, 0x100000);
        b.W(0x400C, 0xD0);
        Sleep(600);
        EXPECT_EQ(b.FlashWord(0x100002), 0x0080) << "status after the erase";
        b.W(0x400C, 0xFF);
        EXPECT_EQ(b.FlashWord(0x100002), 0xFFFF);
    }
    Board again(cfg);
    EXPECT_EQ(again.FlashWord(0x100002), 0xFFFF) << "the next run finds it erased";
    EXPECT_EQ(again.ctl.Booted(), sim::BootImage::Pci);
    // An unusable file: the flash runs healthy from memory and says why.
    cfg.flashImage = dir / "missing/dir/x.flash";
    Board fallback(cfg);
    EXPECT_NE(fallback.ctl.FlashError(), "");
    EXPECT_EQ(fallback.FlashWord(0x100002), 0x9955);
}

}  // namespace
