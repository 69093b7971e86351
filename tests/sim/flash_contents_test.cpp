// Flash contents: image identification records in their stored layout, the healthy set of images, and the boot choice.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/firmware_images.h"
#include "sim/flash_contents.h"
#include "sim/vpd.h"
#include "tests/support/temp_dir.h"

namespace {

using sim::FlashProm;
using sim::ImageIdRecord;

constexpr sim::FlashSegment kSmall{"TEST", 0x300000, 0x100};  // 512 bytes

// Byte i of segment s (words stored little-endian).
uint8_t Byte(const FlashProm& f, const sim::FlashSegment& s, size_t i) {
    return static_cast<uint8_t>(f.Word(s.start + static_cast<uint32_t>(i / 2)) >> (8 * (i & 1)));
}

TEST(ImageIdRecord, WrittenRecordHasTheStoredLayoutAndReadsBack) {
    FlashProm f(sim::FlashFaults{}, 1);
    ImageIdRecord r;
    r.revision = 0xC751;
    r.texts = {"first", "second text"};  // a list of 6 + 12 + 1 = 19 bytes
    ASSERT_TRUE(sim::WriteImageIdRecord(f, kSmall, 0x80, r));
    // Header at the segment's end: revision, 8, the text offset (512 - 8 - 19, even: 484).
    const uint16_t header[4] = {0xC751, 8, 484, 0};
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(f.Word(kSmall.start + 0xFC + i), header[i]) << i;
    EXPECT_EQ(std::string(1, static_cast<char>(Byte(f, kSmall, 484))) + char(Byte(f, kSmall, 490)), "fs");
    EXPECT_EQ(Byte(f, kSmall, 484 + 19) + Byte(f, kSmall, 484 + 18), 0) << "zero up to the header";
    EXPECT_EQ(Byte(f, kSmall, 480), 0xFF) << "erased before the text in its 32-byte unit";
    ImageIdRecord back;
    ASSERT_TRUE(sim::ReadImageIdRecord(f, kSmall, &back));
    EXPECT_EQ(back.revision, 0xC751);
    EXPECT_EQ(back.textOffset, 484u);
    EXPECT_EQ(back.texts, r.texts);
}

TEST(ImageIdRecord, LittleRoomOlderFormAndErasedSegments) {
    ImageIdRecord r;
    r.revision = 0x1234;
    r.texts = {std::string(40, 'x')};
    FlashProm f(sim::FlashFaults{}, 1);
    EXPECT_FALSE(sim::WriteImageIdRecord(f, kSmall, 0x100 - 15, r)) << "less than 32 free bytes";
    EXPECT_EQ(f.Word(kSmall.start + 0xFF), 0xFFFF);
    EXPECT_FALSE(sim::ReadImageIdRecord(f, kSmall, nullptr)) << "erased";
    ASSERT_TRUE(sim::WriteImageIdRecord(f, kSmall, 0x100 - 16, r)) << "32 free bytes: the header only";
    EXPECT_EQ(f.Word(kSmall.start + 0xFB) * 0x10000u + f.Word(kSmall.start + 0xFC), 0x00001234u);
    EXPECT_EQ(Byte(f, kSmall, 501), 0xFF);
    EXPECT_FALSE(sim::ReadImageIdRecord(f, kSmall, nullptr)) << "a header without text reads as no record";
    // The older form: length 4 and the text's absolute word address 0x3000F0 (byte 0x1E0 of the segment).
    FlashProm old(sim::FlashFaults{}, 1);
    const std::string text("old\0\0\0", 6);
    old.WriteBytes(0x3000F0, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    const uint16_t header[4] = {0x0BAD, 4, 0x00F0, 0x0030};
    old.WriteWords(kSmall.start + 0xFC, header, 4);
    ASSERT_TRUE(sim::ReadImageIdRecord(old, kSmall, &r));
    EXPECT_EQ(r.textOffset, 0x1E0u);
    EXPECT_EQ(r.texts, std::vector<std::string>{"old"});
}

TEST(HealthyFlash, SegmentsHoldTheFixtureImagesTheirRecordsAndTheBootFallsBackPastMissingHeaders) {
    sim::BoardConfig cfg = sim::DefaultBoard(sim::BoardKind::Nuxa, "N");
    cfg.revision = 0xC6A;
    FlashProm f(sim::FlashFaults{}, 1);
    sim::InstallHealthyContents(f, cfg);
    for (const auto& [seg, id] : {std::pair{sim::kSafeSegment, "ZVKS"}, {sim::kPcixSegment, "KEZO"}, {sim::kPciSegment, "ZVKP"}}) {
        const sim::FirmwareImage& image = *sim::FindFirmwareImage(id);
        const std::string file = support::ReadText(std::string(PEX_TESTDATA_DIR) + "/oxd/" + sim::FirmwareFileName(image));
        const size_t L = size_t{static_cast<uint8_t>(file[10])} << 8 | static_cast<uint8_t>(file[11]);
        for (size_t i = L; i < file.size(); ++i) ASSERT_EQ(Byte(f, seg, i - L), static_cast<uint8_t>(file[i])) << id << " " << i;
        ImageIdRecord r;
        ASSERT_TRUE(sim::ReadImageIdRecord(f, seg, &r)) << id;
        EXPECT_EQ(r.revision, 0xC6A0) << "the running revision and a build digit";
        EXPECT_EQ(r.texts, (std::vector<std::string>{sim::FactoryInstallerText(sim::FirmwareFileName(image)), sim::OxdHeaderText(image, 0xC6A)}));
    }
    const std::vector<uint8_t> vpd = sim::BuildVpdImage(cfg);
    EXPECT_EQ(f.Word(sim::kExpArea) * 0x10000u + f.Word(sim::kVpdArea), 0xAA550000u + (vpd[0] | vpd[1] << 8));
    EXPECT_EQ(sim::ChooseBootImage(f), sim::BootImage::Pcix);
    const uint16_t zero = 0;
    f.WriteWords(sim::kPcixSegment.start + 5, &zero, 1);
    EXPECT_EQ(sim::ChooseBootImage(f), sim::BootImage::Pci) << "one damaged header word passes a segment over";
    cfg.faults.flash.missingHeaders = {"PCIX", "PCI"};
    FlashProm g(sim::FlashFaults{}, 1);
    sim::InstallHealthyContents(g, cfg);
    EXPECT_EQ(g.Word(sim::kPcixSegment.start + 2) * 0x10000u + g.Word(sim::kSafeSegment.start + 2), 0xFFFF9955u);
    EXPECT_FALSE(sim::ReadImageIdRecord(g, sim::kPcixSegment, nullptr));
    EXPECT_EQ(sim::ChooseBootImage(g), sim::BootImage::Safe);
}

}  // namespace
