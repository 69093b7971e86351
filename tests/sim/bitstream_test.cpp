// Configuration bit streams: the CRC against published values, the layout, and what a loading FPGA accepts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/bitstream.h"

namespace {

using sim::Bitstream;
using sim::BitstreamChecker;

// Bit-by-bit CRC-32 (reflected 0xEDB88320), independent of the table the model uses.
uint32_t ReferenceCrc(const std::vector<uint8_t>& bytes) {
    uint32_t c = 0xFFFFFFFF;
    for (uint8_t b : bytes) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

BitstreamChecker::State Feed(BitstreamChecker& c, const std::vector<uint8_t>& bytes, size_t* errorAt = nullptr) {
    for (size_t i = 0; i < bytes.size(); ++i)
        if (c.Push(bytes[i]) == BitstreamChecker::State::Error) {
            if (errorAt) *errorAt = i;
            return BitstreamChecker::State::Error;
        }
    return c.GetState();
}

TEST(Bitstream, Crc32MatchesPublishedValuesAndContinues) {
    const std::string check = "123456789";
    EXPECT_EQ(sim::Crc32Ieee(check.data(), check.size()), 0xCBF43926u);
    EXPECT_EQ(sim::Crc32Ieee("a", 1), 0xE8B7BE43u);
    EXPECT_EQ(sim::Crc32Ieee(nullptr, 0), 0u);
    // A CRC carried over two calls equals the CRC of the whole.
    const uint32_t first = sim::Crc32Ieee(check.data(), 4);
    EXPECT_EQ(sim::Crc32Ieee(check.data() + 4, 5, first), 0xCBF43926u);
}

TEST(Bitstream, LayoutCarriesTargetsIdLengthAndClosingCrc) {
    const std::vector<uint8_t> s = Bitstream::Build(0x06, 0x004020A0, 100);
    ASSERT_EQ(s.size(), 24u + 100u + 4u);
    // Read as little-endian 16-bit words the stream starts with the flash segment header words.
    const uint16_t words[6] = {0xFFFF, 0xFFFF, 0x9955, 0x66AA, 0x000C, 0x8001};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(s[2 * i] | s[2 * i + 1] << 8, words[i]) << "word " << i;
    EXPECT_EQ(s[12], 0x06);
    EXPECT_EQ(s[13], 0x00);
    EXPECT_EQ(s[16] | s[17] << 8 | s[18] << 16 | static_cast<uint32_t>(s[19]) << 24, 0x004020A0u);
    EXPECT_EQ(s[20], 100);
    const std::vector<uint8_t> covered(s.begin(), s.end() - 4);
    const uint32_t crc = s[124] | s[125] << 8 | s[126] << 16 | static_cast<uint32_t>(s[127]) << 24;
    EXPECT_EQ(crc, ReferenceCrc(covered));
    // Streams for other FPGAs differ in their bodies.
    EXPECT_NE(Bitstream::Build(0x01, 0x003010A5, 100), Bitstream::Build(0x01, 0x003010B2, 100));
}

TEST(Bitstream, CheckerAcceptsOnlyWholeStreamsForItsDevice) {
    const std::vector<uint8_t> s = Bitstream::Build(0x06, 0x004020A0, 300);
    for (int device : {1, 2}) {
        BitstreamChecker c(device);
        EXPECT_EQ(Feed(c, s), BitstreamChecker::State::Complete) << device;
        EXPECT_EQ(c.IdWord(), 0x004020A0u);
        for (int i = 0; i < Bitstream::kStartupClocks; ++i) c.Push(0);
        EXPECT_EQ(c.ClocksAfterEnd(), static_cast<uint64_t>(Bitstream::kStartupClocks));
    }
    // Not meant for the keyer: refused as soon as the targets are in.
    BitstreamChecker keyer(0);
    size_t at = 0;
    EXPECT_EQ(Feed(keyer, s, &at), BitstreamChecker::State::Error);
    EXPECT_EQ(at, 13u);
    // One wrong body byte shows at the closing CRC; a wrong preamble byte at once.
    std::vector<uint8_t> bad = s;
    bad[100] ^= 0x40;
    BitstreamChecker c1(1);
    EXPECT_EQ(Feed(c1, bad, &at), BitstreamChecker::State::Error);
    EXPECT_EQ(at, s.size() - 1);
    bad = s;
    bad[5] = 0x00;
    BitstreamChecker c2(1);
    EXPECT_EQ(Feed(c2, bad, &at), BitstreamChecker::State::Error);
    EXPECT_EQ(at, 5u);
    // A truncated stream stays incomplete; nothing after an error changes the state.
    BitstreamChecker c3(2);
    EXPECT_EQ(Feed(c3, std::vector<uint8_t>(s.begin(), s.end() - 1)), BitstreamChecker::State::Receiving);
    EXPECT_EQ(c2.Push(0xFF), BitstreamChecker::State::Error);
}

TEST(Bitstream, CheckerRefusesAnOversizedBody) {
    std::vector<uint8_t> s = Bitstream::Build(0x01, 1, 8);
    s[22] = 0x40;  // claims 4 MiB
    BitstreamChecker c(0);
    size_t at = 0;
    EXPECT_EQ(Feed(c, s, &at), BitstreamChecker::State::Error);
    EXPECT_EQ(at, 23u);
}

}  // namespace
