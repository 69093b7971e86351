// The synthetic OXD fixtures under testdata/oxd: current with their generator, and laid out as the readers of the library expect.
#include <gtest/gtest.h>

#include <cctype>
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
        ASSERT_TRUE(L >= 48 && L < f.size());
        const std::string header = f.substr(0, L), data = f.substr(L);
        // Fixed fields: magic, four hex revision digits at 13-16, 'F', the image id and 'M' at 17-22.
        EXPECT_EQ(header.substr(0, 8) + header.substr(17, 6), "ZORV.OXDF" + std::string(image.id) + "M");
        for (int i = 13; i <= 16; ++i) EXPECT_TRUE(std::isxdigit(static_cast<uint8_t>(header[static_cast<size_t>(i)])));
        EXPECT_EQ(header.find(':'), header.find(':', 43)) << "no letter-colon pair in the fixed block";
        // The name tag begins with the file name's first eight characters (the container check).
        EXPECT_EQ(Tag(header, 'N') + std::to_string(Tag(header, 'R').size()), name.substr(0, 8) + "4");
        const std::string part = Tag(header, 'P');
        EXPECT_TRUE(part == sim::kBrimolaPartNumber || part == sim::kNuxaPartNumber) << part;
        EXPECT_NE(Tag(header, 'W'), "(none)");
        EXPECT_TRUE(data.size() >= 2 && data.size() <= 0x300000) << "the flash image reader's limits";
        switch (image.kind) {
        case sim::FirmwareImage::Kind::FpgaConfig:
        case sim::FirmwareImage::Kind::WexalImage:
            // Every device the image targets accepts it whole and learns its identification word; no other does.
            for (int device = 0; device <= 8; ++device) {
                sim::BitstreamChecker c(device);
                for (char b : data) c.Push(static_cast<uint8_t>(b));
                const bool ok = c.GetState() == sim::BitstreamChecker::State::Complete;
                EXPECT_EQ(ok, (image.targets >> device & 1) != 0) << "device " << device;
                EXPECT_EQ(ok ? c.IdWord() : image.idWord, image.idWord);
            }
            EXPECT_EQ(image.kind == sim::FirmwareImage::Kind::FpgaConfig ? Tag(header, 'B') : "BRIMOLA", "BRIMOLA");
            break;
        case sim::FirmwareImage::Kind::ExpansionRom:
            ASSERT_EQ(data.size(), 0x800u);
            EXPECT_EQ(data.substr(0, 2) + data.substr(static_cast<uint8_t>(data[0x18]), 4), "\x55\xAAPCIR");
            EXPECT_EQ(Sum(data, data.size()), 0);
            break;
        case sim::FirmwareImage::Kind::ProductData: {
            // A PCI VPD chain: identifier string, read-only fields, end tag whose checksum zeroes the sum.
            const auto at = [&](size_t i) { return static_cast<uint8_t>(data[i]); };
            const size_t ro = 3 + at(1), end = ro + 3 + (at(ro + 1) | at(ro + 2) << 8);
            ASSERT_EQ(at(0) * 0x10000 + at(ro) * 0x100 + at(end), 0x829079);
            EXPECT_EQ(Sum(data, end + 2), 0);
            break;
        }
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
