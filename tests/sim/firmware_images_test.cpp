// The synthetic OXD fixtures under testdata/oxd: current with their generator, and laid out as the readers of the library expect.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "sim/bitstream.h"
#include "sim/firmware_images.h"
#include "sim/vpd.h"

namespace {

std::vector<uint8_t> ReadFixture(const std::string& name) {
    std::ifstream in(std::string(PEX_TESTDATA_DIR) + "/oxd/" + name, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The value of tag letter in the tag area (from byte 44), as a reader of the container finds it.
std::string Tag(const std::vector<uint8_t>& f, size_t headerLength, char letter) {
    for (size_t i = 44; i + 1 < headerLength; ++i)
        if (f[i] == letter && f[i + 1] == ':') {
            std::string v;
            for (size_t j = i + 2; j < headerLength && f[j] != ';'; ++j) v += static_cast<char>(f[j]);
            return v;
        }
    return "(none)";
}

TEST(FirmwareFixtures, CheckedInFilesAreWhatTheGeneratorWrites) {
    const uint32_t revision = sim::BoardConfig{}.revision;
    ASSERT_EQ(sim::FirmwareCatalogue().size(), 15u);
    for (const auto& image : sim::FirmwareCatalogue()) {
        const std::vector<uint8_t> file = ReadFixture(sim::FirmwareFileName(image));
        ASSERT_FALSE(file.empty()) << sim::FirmwareFileName(image) << " missing: run make_oxd testdata/oxd";
        EXPECT_EQ(file, sim::BuildOxdFile(image, revision)) << sim::FirmwareFileName(image) << " is stale: run make_oxd";
    }
}

TEST(FirmwareFixtures, HeadersCarryTheFieldsAndTagsTheReadersUse) {
    const std::set<std::string> partNumbers = {sim::kBrimolaPartNumber, sim::kNuxaPartNumber};
    for (const auto& image : sim::FirmwareCatalogue()) {
        const std::string name = sim::FirmwareFileName(image);
        const std::vector<uint8_t> f = ReadFixture(name);
        ASSERT_GT(f.size(), 64u) << name;
        EXPECT_EQ(std::string(f.begin(), f.begin() + 8), "ZORV.OXD") << name;
        const size_t L = size_t{f[8]} << 24 | size_t{f[9]} << 16 | size_t{f[10]} << 8 | f[11];
        ASSERT_GE(L, 48u) << name;
        ASSERT_LT(L, f.size()) << name;
        // The flash test's fixed fields: 'F' at byte 17, the image id at 18-21, 'M' at 22, and four
        // hex digits of revision at 13-16.
        EXPECT_EQ(std::string(f.begin() + 17, f.begin() + 23), "F" + std::string(image.id) + "M") << name;
        for (int i = 13; i <= 16; ++i) EXPECT_TRUE(std::isxdigit(f[static_cast<size_t>(i)])) << name;
        // The name tag begins with the file name's first eight characters (the container check).
        EXPECT_EQ(Tag(f, L, 'N') + std::to_string(Tag(f, L, 'R').size()), name.substr(0, 8) + "4") << name;
        EXPECT_TRUE(partNumbers.count(Tag(f, L, 'P'))) << name;
        EXPECT_NE(Tag(f, L, 'W'), "(none)") << name;
        if (image.kind == sim::FirmwareImage::Kind::FpgaConfig) {
            EXPECT_EQ(Tag(f, L, 'B'), "BRIMOLA") << name;
        }
        // No letter-colon pair hides in the fixed block, so a search over the whole header text finds the tags.
        for (size_t i = 12; i + 1 < 44; ++i) EXPECT_NE(f[i + 1], ':') << name << " byte " << i;
        // The flash image reader's limits: 2 bytes to 3 MiB of data.
        EXPECT_TRUE(f.size() - L >= 2 && f.size() - L <= 0x300000) << name;
    }
}

TEST(FirmwareFixtures, DataIsWhatEachImageKindHolds) {
    for (const auto& image : sim::FirmwareCatalogue()) {
        const std::string name = sim::FirmwareFileName(image);
        const std::vector<uint8_t> f = ReadFixture(name);
        ASSERT_GT(f.size(), 12u) << name;
        const size_t L = size_t{f[8]} << 24 | size_t{f[9]} << 16 | size_t{f[10]} << 8 | f[11];
        const std::vector<uint8_t> data(f.begin() + static_cast<long>(L), f.end());
        switch (image.kind) {
        case sim::FirmwareImage::Kind::FpgaConfig:
        case sim::FirmwareImage::Kind::WexalImage: {
            // Every device the image targets accepts it whole and learns its identification word.
            int accepted = 0;
            for (int device = 0; device <= 8; ++device) {
                sim::BitstreamChecker c(device);
                for (uint8_t b : data) c.Push(b);
                const bool ok = c.GetState() == sim::BitstreamChecker::State::Complete;
                EXPECT_EQ(ok, (image.targets >> device & 1) != 0) << name << " device " << device;
                if (ok) {
                    EXPECT_EQ(c.IdWord(), image.idWord) << name;
                }
                accepted += ok;
            }
            EXPECT_GT(accepted, 0) << name;
            break;
        }
        case sim::FirmwareImage::Kind::ExpansionRom: {
            ASSERT_EQ(data.size(), 0x800u);
            EXPECT_EQ(data[0] | data[1] << 8, 0xAA55);
            EXPECT_EQ(std::string(data.begin() + data[0x18], data.begin() + data[0x18] + 4), "PCIR");
            uint8_t sum = 0;
            for (uint8_t b : data) sum = static_cast<uint8_t>(sum + b);
            EXPECT_EQ(sum, 0) << name;
            break;
        }
        case sim::FirmwareImage::Kind::ProductData: {
            // A PCI VPD chain: identifier string, read-only fields, end tag whose checksum zeroes the sum.
            ASSERT_EQ(data[0], 0x82);
            const size_t ro = 3 + data[1];
            ASSERT_EQ(data[ro], 0x90);
            const size_t end = ro + 3 + (data[ro + 1] | data[ro + 2] << 8);
            ASSERT_EQ(data[end], 0x79);
            uint8_t sum = 0;
            for (size_t i = 0; i <= end + 1; ++i) sum = static_cast<uint8_t>(sum + data[i]);
            EXPECT_EQ(sum, 0) << name;
            break;
        }
        }
    }
}

TEST(FirmwareFixtures, WexalImagesCarryTheRunningRevision) {
    const sim::FirmwareImage& zvkx = *sim::FindFirmwareImage("ZVKX");
    EXPECT_EQ(sim::ImageRevisionDigits(zvkx, 0xC75), "C750");
    EXPECT_EQ(sim::ImageRevisionTag(zvkx, 0xC75), "0C75");
    EXPECT_EQ(sim::ImageRevisionTag(zvkx, 0x1C6A), "0C6A");  // low 12 bits only
    EXPECT_EQ(sim::ImageRevisionTag(*sim::FindFirmwareImage("LOCV"), 0xC75), "0202");
    EXPECT_EQ(sim::FindFirmwareImage("ZZZZ"), nullptr);
    const std::string text = sim::OxdHeaderText(zvkx, 0xC6A);
    EXPECT_EQ(text.substr(0, 11), "RC6A0FZVKXM");
    EXPECT_NE(text.find("N:ZVKX0202;R:0C6A;"), std::string::npos);
}

}  // namespace
