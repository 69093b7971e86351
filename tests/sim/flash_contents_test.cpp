// Flash contents: image identification records in their stored layout, the healthy set of images, and the boot choice.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/firmware_images.h"
#include "sim/flash_contents.h"
#include "sim/vpd.h"

namespace {

using sim::FlashProm;
using sim::ImageIdRecord;

constexpr sim::FlashSegment kSmall{"TEST", 0x300000, 0x100};  // 512 bytes

std::vector<uint8_t> SegmentBytes(const FlashProm& f, const sim::FlashSegment& s) {
    std::vector<uint8_t> b(size_t{s.words} * 2);
    for (uint32_t i = 0; i < s.words; ++i) {
        const uint16_t w = f.Word(s.start + i);
        b[2 * i] = static_cast<uint8_t>(w);
        b[2 * i + 1] = static_cast<uint8_t>(w >> 8);
    }
    return b;
}

TEST(ImageIdRecord, WrittenRecordHasTheStoredLayoutAndReadsBack) {
    FlashProm f(sim::FlashFaults{}, 1);
    ImageIdRecord r;
    r.revision = 0xC751;
    r.texts = {"first", "second text"};  // list of 6 + 12 + 1 = 19 bytes
    ASSERT_TRUE(sim::WriteImageIdRecord(f, kSmall, 0x80, r));  // 256 bytes free
    const std::vector<uint8_t> b = SegmentBytes(f, kSmall);
    const size_t S = 512, L = 19, T = (S - 8 - L) & ~size_t{1};  // 484
    EXPECT_EQ(b[S - 8] | b[S - 7] << 8, 0xC751);
    EXPECT_EQ(b[S - 6] | b[S - 5] << 8, 8);
    EXPECT_EQ(b[S - 4] | b[S - 3] << 8 | b[S - 2] << 16 | static_cast<size_t>(b[S - 1]) << 24, T);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[T])), "first");
    EXPECT_EQ(b[T + L - 1], 0);
    EXPECT_EQ(b[T + L], 0) << "zero up to the header";
    for (size_t i = T & ~size_t{31}; i < T; ++i) EXPECT_EQ(b[i], 0xFF) << i;
    EXPECT_EQ(f.Word(kSmall.start + 0x80), 0xFFFF) << "nothing before the record's 32-byte unit";
    ImageIdRecord back;
    ASSERT_TRUE(sim::ReadImageIdRecord(f, kSmall, &back));
    EXPECT_EQ(back.revision, 0xC751);
    EXPECT_EQ(back.textOffset, T);
    EXPECT_EQ(back.texts, r.texts);
}

TEST(ImageIdRecord, LittleRoomGivesAHeaderOnlyRecordOrNone) {
    ImageIdRecord r;
    r.revision = 0x1234;
    r.texts = {std::string(40, 'x')};
    {
        // 32 free bytes: room for the header, not the text.
        FlashProm f(sim::FlashFaults{}, 1);
        ASSERT_TRUE(sim::WriteImageIdRecord(f, kSmall, 0x100 - 16, r));
        const std::vector<uint8_t> b = SegmentBytes(f, kSmall);
        for (size_t i = 480; i < 502; ++i) EXPECT_EQ(b[i], 0xFF) << i;
        EXPECT_EQ(b[502], 0);
        EXPECT_EQ(b[503], 0);
        EXPECT_EQ(b[504] | b[505] << 8, 0x1234);
        for (size_t i = 508; i < 512; ++i) EXPECT_EQ(b[i], 0xFF);
        EXPECT_FALSE(sim::ReadImageIdRecord(f, kSmall, nullptr)) << "a header without text reads as no record";
    }
    {
        FlashProm f(sim::FlashFaults{}, 1);
        EXPECT_FALSE(sim::WriteImageIdRecord(f, kSmall, 0x100 - 15, r)) << "less than 32 free bytes";
        EXPECT_EQ(f.Word(kSmall.start + 0xFF), 0xFFFF);
    }
}

TEST(ImageIdRecord, OlderFormWithAWordAddressReadsLikeANewOne) {
    FlashProm f(sim::FlashFaults{}, 1);
    // Length 4 and the text's absolute word address 0x3000F0 (byte offset 0x1E0 in the segment).
    const std::string text = std::string("old") + '\0' + '\0' + '\0';
    f.WriteBytes(0x3000F0, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    const uint16_t header[4] = {0x0BAD, 4, 0x00F0, 0x0030};
    f.WriteWords(kSmall.start + 0xFC, header, 4);
    ImageIdRecord r;
    ASSERT_TRUE(sim::ReadImageIdRecord(f, kSmall, &r));
    EXPECT_EQ(r.revision, 0x0BAD);
    EXPECT_EQ(r.textOffset, 0x1E0u);
    ASSERT_EQ(r.texts.size(), 1u);
    EXPECT_EQ(r.texts[0], "old");
    EXPECT_FALSE(sim::ReadImageIdRecord(FlashProm(sim::FlashFaults{}, 1), kSmall, nullptr)) << "erased";
}

TEST(HealthyFlash, SegmentsHoldTheFixtureImagesAndTheirRecords) {
    for (sim::BoardKind kind : {sim::BoardKind::Brimola, sim::BoardKind::Nuxa}) {
        sim::BoardConfig cfg = sim::DefaultBoard(kind, "B");
        cfg.revision = 0xC6A;
        FlashProm f(sim::FlashFaults{}, 1);
        sim::InstallHealthyContents(f, cfg);
        const bool main = kind == sim::BoardKind::Brimola;
        const struct {
            sim::FlashSegment seg;
            const char* id;
        } images[] = {{sim::kSafeSegment, "ZVKS"}, {sim::kPcixSegment, main ? "ZVKX" : "KEZO"}, {sim::kPciSegment, "ZVKP"}};
        for (const auto& [seg, id] : images) {
            // The flash programming test's compare with the checked-in file passes.
            const sim::FirmwareImage& image = *sim::FindFirmwareImage(id);
            std::ifstream in(std::string(PEX_TESTDATA_DIR) + "/oxd/" + sim::FirmwareFileName(image), std::ios::binary);
            const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            ASSERT_GT(file.size(), 0x60u);
            const size_t L = size_t{file[10]} << 8 | file[11];
            const std::vector<uint8_t> segment = SegmentBytes(f, {seg.name, seg.start, 0x20000});
            EXPECT_TRUE(std::equal(file.begin() + static_cast<long>(L), file.end(), segment.begin())) << id;
            for (int i = 0; i < 6; ++i) EXPECT_EQ(f.Word(seg.start + static_cast<uint32_t>(i)), sim::kSegmentHeader[i]);
            ImageIdRecord r;
            ASSERT_TRUE(sim::ReadImageIdRecord(f, seg, &r)) << id;
            EXPECT_EQ(r.revision, 0xC6A0) << "the running revision and a build digit";
            ASSERT_EQ(r.texts.size(), 2u);
            EXPECT_EQ(r.texts[0], sim::FactoryInstallerText(sim::FirmwareFileName(image)));
            EXPECT_EQ(r.texts[1], sim::OxdHeaderText(image, 0xC6A));
        }
        // EXP: the expansion ROM; VPD: the product-data image of the rig's fields.
        EXPECT_EQ(f.Word(sim::kExpArea), 0xAA55);
        const std::vector<uint8_t> vpd = sim::BuildVpdImage(cfg);
        for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(f.Word(sim::kVpdArea + i), vpd[2 * i] | vpd[2 * i + 1] << 8);
        EXPECT_EQ(sim::ChooseBootImage(f), sim::BootImage::Pcix);
    }
}

TEST(HealthyFlash, MissingHeadersLeaveSegmentsBlankAndTheBootFallsBack) {
    sim::BoardConfig cfg = sim::DefaultBoard(sim::BoardKind::Brimola, "B");
    cfg.faults.flash.missingHeaders = {"PCIX"};
    FlashProm f(sim::FlashFaults{}, 1);
    sim::InstallHealthyContents(f, cfg);
    EXPECT_EQ(f.Word(sim::kPcixSegment.start + 2), 0xFFFF);
    EXPECT_FALSE(sim::ReadImageIdRecord(f, sim::kPcixSegment, nullptr));
    EXPECT_EQ(f.Word(sim::kSafeSegment.start + 2), 0x9955) << "the other segments are whole";
    EXPECT_EQ(sim::ChooseBootImage(f), sim::BootImage::Pci);
    cfg.faults.flash.missingHeaders = {"PCIX", "PCI"};
    FlashProm g(sim::FlashFaults{}, 1);
    sim::InstallHealthyContents(g, cfg);
    EXPECT_EQ(sim::ChooseBootImage(g), sim::BootImage::Safe);
    // One damaged word is enough to pass a segment over.
    FlashProm h(sim::FlashFaults{}, 1);
    sim::InstallHealthyContents(h, sim::DefaultBoard(sim::BoardKind::Nuxa, "N"));
    const uint16_t zero = 0;
    h.WriteWords(sim::kPcixSegment.start + 5, &zero, 1);
    EXPECT_EQ(sim::ChooseBootImage(h), sim::BootImage::Pci);
}

}  // namespace
