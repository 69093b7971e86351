// Configuration bit streams: the CRC against published values and an independent CRC, and what a loading FPGA accepts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/bitstream.h"

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
    for (int device : {1, 2}) {
        sim::BitstreamChecker c(device);
        for (uint8_t b : s) c.Push(b);
        EXPECT_EQ(c.GetState(), State::Complete) << device;
        EXPECT_EQ(c.IdWord(), 0x004020A0u);
        for (int i = 0; i < Bitstream::kStartupClocks; ++i) c.Push(0);
        EXPECT_EQ(c.ClocksAfterEnd(), static_cast<uint64_t>(Bitstream::kStartupClocks));
    }
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

}  // namespace
