// The synthetic OXD fixtures under testdata/oxd: current with their generator, and laid out as the readers of the library expect.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/bitstream.h"
#include "sim/firmware_images.h"
#include "sim/vpd.h"
#include "tests/support/temp_dir.h"

namespace {

std::string Fixture(const sim::FirmwareImage& image) {
    return support::ReadText(std::string(PEX_TESTDATA_DIR) + "/oxd/" + sim::FirmwareFileName(image));
}

// The value of a tag letter in the tag area (from byte 44), as a reader of the container finds it.
std::string Tag(const std::string& header, char letter) {
    const size_t at = header.find(std::string(1, letter) + ":", 44);
    return at == std::string::npos ? "(none)" : header.substr(at + 2, header.find(';', at) - at - 2);
}

uint8_t Sum(const std::string& bytes, size_t n) {
    uint8_t sum = 0;
    for (size_t i = 0; i < n; ++i) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(bytes[i]));
    return sum;
}

TEST(FirmwareFixtures, CheckedInFilesAreCurrentAndLaidOutForTheReaders) {
    ASSERT_EQ(sim::FirmwareCatalogue().size(), 15u);
    for (const auto& image : sim::FirmwareCatalogue()) {
        const std::string name = sim::FirmwareFileName(image), f = Fixture(image);
        SCOPED_TRACE(name);
        const std::vector<uint8_t> built = sim::BuildOxdFile(image, sim::BoardConfig{}.revision);
        ASSERT_EQ(f, std::string(built.begin(), built.end())) << "missing or stale: run make_oxd testdata/oxd";
        const size_t L = size_t{static_cast<uint8_t>(f[10])} << 8 | static_cast<uint8_t>(f[11]);
        const std::string header = f.substr(0, L), data = f.substr(L);
        // Fixed fields: magic, 'F', the image id and 'M' at 17-22; the name tag begins with the file name's first eight characters.
        EXPECT_EQ(header.substr(0, 8) + header.substr(17, 6), "ZORV.OXDF" + std::string(image.id) + "M");
        EXPECT_EQ(header.find(':'), header.find(':', 43)) << "no letter-colon pair in the fixed block";
        EXPECT_EQ(Tag(header, 'N') + std::to_string(Tag(header, 'R').size()), name.substr(0, 8) + "4");
        if (image.kind == sim::FirmwareImage::Kind::ExpansionRom) {
            EXPECT_EQ(data.substr(0, 2) + std::to_string(Sum(data, data.size())), "\x55\xAA" "0") << "signature, bytes summing to 0";
            continue;
        }
        if (image.kind == sim::FirmwareImage::Kind::ProductData) continue;  // the VPD builder's layout, tested with it
        // Every device the image targets accepts it whole and learns its identification word; no other does.
        for (int device = 0; device <= 8; ++device) {
            sim::BitstreamChecker c(device);
            for (char b : data) c.Push(static_cast<uint8_t>(b));
            const bool ok = c.GetState() == sim::BitstreamChecker::State::Complete;
            EXPECT_EQ(ok, (image.targets >> device & 1) != 0) << "device " << device;
            EXPECT_EQ(ok ? c.IdWord() : image.idWord, image.idWord);
        }
    }
}

TEST(FirmwareFixtures, WexalImagesCarryTheRunningRevision) {
    const sim::FirmwareImage& zvkx = *sim::FindFirmwareImage("ZVKX");
    EXPECT_EQ(sim::ImageRevisionDigits(zvkx, 0xC75), "C750");
    EXPECT_EQ(sim::ImageRevisionTag(zvkx, 0x1C6A), "0C6A") << "low 12 bits only";
    EXPECT_EQ(sim::ImageRevisionTag(*sim::FindFirmwareImage("LOCV"), 0xC75), "0202");
    EXPECT_EQ(sim::FindFirmwareImage("ZZZZ"), nullptr);
    const std::string text = sim::OxdHeaderText(zvkx, 0xC6A);
    EXPECT_EQ(text.substr(0, 11), "RC6A0FZVKXM");
    EXPECT_NE(text.find("N:ZVKX0202;R:0C6A;"), std::string::npos);
}

}  // namespace
