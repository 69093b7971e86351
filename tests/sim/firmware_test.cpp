// Configuration bit streams (the CRC against published values and an independent CRC, what a loading FPGA accepts) and
// the synthetic OXD fixtures under testdata/oxd: current with their generator, and laid out as the library's readers expect.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/bitstream.h"
#include "sim/firmware_images.h"
#include "tests/support/temp_dir.h"

namespace {

using sim::Bitstream;
using State = sim::BitstreamChecker::State;

// Bit-by-bit CRC-32 (reflected 0xEDB88320), independent of the table the model uses.
uint32_t ReferenceCrc(const std::vector<uint8_t>& bytes) {
    uint32_t c = 0xFFFFFFFF;
    for (uint8_t b : bytes) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

// Feeds the bytes to a checker for device; answers the state and the index of the byte that failed (or -1).
std::pair<State, long> Feed(int device, const std::vector<uint8_t>& bytes) {
    sim::BitstreamChecker c(device);
    for (size_t i = 0; i < bytes.size(); ++i)
        if (c.Push(bytes[i]) == State::Error) return {c.Push(0xFF), static_cast<long>(i)};
    return {c.GetState(), -1};
}

TEST(Bitstream, Crc32MatchesPublishedValuesAndContinues) {
    const std::string check = "123456789";
    EXPECT_EQ(sim::Crc32Ieee(check.data(), check.size()), 0xCBF43926u);
    EXPECT_EQ(sim::Crc32Ieee("a", 1), 0xE8B7BE43u);
    EXPECT_EQ(sim::Crc32Ieee(check.data() + 4, 5, sim::Crc32Ieee(check.data(), 4)), 0xCBF43926u);
    const std::vector<uint8_t> s = Bitstream::Build(0x06, 0x004020A0, 100);
    ASSERT_EQ(s.size(), 128u);
    const uint32_t crc = s[124] | s[125] << 8 | s[126] << 16 | static_cast<uint32_t>(s[127]) << 24;
    EXPECT_EQ(crc, ReferenceCrc(std::vector<uint8_t>(s.begin(), s.end() - 4))) << "the closing CRC covers the rest";
    EXPECT_EQ(s[4] | s[5] << 8, 0x9955) << "starts with the flash segment header words";
}

TEST(Bitstream, CheckerAcceptsOnlyWholeStreamsForItsDevice) {
    const std::vector<uint8_t> s = Bitstream::Build(0x06, 0x004020A0, 300);
    sim::BitstreamChecker c(2);
    for (uint8_t b : s) c.Push(b);
    for (int i = 0; i < Bitstream::kStartupClocks; ++i) c.Push(0);
    EXPECT_EQ(c.ClocksAfterEnd(), static_cast<uint64_t>(Bitstream::kStartupClocks)) << "start-up clocks after the whole stream";
    std::vector<uint8_t> body = s, preamble = s, oversized = Bitstream::Build(0x01, 1, 8);
    body[100] ^= 0x40;
    preamble[5] = 0;
    oversized[22] = 0x40;  // claims 4 MiB
    const struct {
        const char* name;
        int device;
        std::vector<uint8_t> bytes;
        State state;
        long at;
    } rows[] = {
        {"meant for another FPGA: refused once the targets are in", 0, s, State::Error, 13},
        {"wrong body byte: at the closing CRC", 1, body, State::Error, static_cast<long>(s.size()) - 1},
        {"wrong preamble byte: at once", 1, preamble, State::Error, 5},
        {"oversized body", 0, oversized, State::Error, 23},
        {"truncated: still receiving", 2, std::vector<uint8_t>(s.begin(), s.end() - 1), State::Receiving, -1},
    };
    for (const auto& row : rows) {
        const auto [state, at] = Feed(row.device, row.bytes);
        EXPECT_EQ(state, row.state) << row.name;
        EXPECT_EQ(at, row.at) << row.name;
    }
}

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
