// The codec chips' packer and unpacker personalities through the bridge: identification, DDR start, DCM phases, self-tests, flush, context RAM, CRC registers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "codec/dsp/dremolun.h"
#include "images/image_crc.h"
#include "images/unpacked_image.h"
#include "platform/clock.h"
#include "sim/bitstream.h"
#include "sim/codec_chip.h"
#include "tests/codec/codec_board_fixture.h"
#include "tests/devlib/rig_fixture.h"
#include "tests/support/output.h"

namespace {

using support::Recording;
using sim::CodecChip;

constexpr DWORD kId = 0x6C000000, kDdr = 0x6C000004, kPhase = 0x6C000008, kDcm = 0x6C00000C;
constexpr DWORD kBist64 = 0x6C000010, kCount64 = 0x6C000014, kBist32 = 0x6C000020, kCount32 = 0x6C000024;
constexpr DWORD kFlush = 0x6C000014, kReset = 0x01C40008;

// Loads an image of this identification word into a chip by its configuration port.
template <class Write>
void Configure(Write write, uint32_t idWord) {
    write(CodecChip::kConfigControl, CodecChip::kProg);
    write(CodecChip::kConfigControl, 0);
    std::vector<uint8_t> bytes = sim::Bitstream::Build(CodecChip::kTargets, idWord, 0x100);
    bytes.resize((bytes.size() + 3) / 4 * 4, 0);
    for (size_t i = 0; i < bytes.size(); i += 4)
        write(CodecChip::kConfigData, bytes[i] | bytes[i + 1] << 8 | bytes[i + 2] << 16 | static_cast<uint32_t>(bytes[i + 3]) << 24);
}

void Wait(DWORD ms) { Sleep(ms); }

// A chip model's board with the video port's output bit `bit` stuck at 1, or none when bit < 0.
sim::BoardConfig OutputStuckBit(int bit) {
    sim::BoardConfig config;
    if (bit < 0) return config;
    sim::CodecChipFault f;
    f.kind = sim::CodecChipFault::Kind::OutputStuckBit;
    f.port = 0;
    f.bit = bit;
    f.value = 1;
    config.faults.codec.chips.push_back(f);
    return config;
}

class CodecPixelTest : public codectest::CodecBoardTest<devtest::RigTest> {
protected:
    // Selects chip (1 A, 2 B) on the bridge and loads the image.
    void Load(int chip, uint32_t idWord) {
        bridge.SetDSPBlock(chip);
        Configure([this](uint32_t a, uint32_t v) { bridge.WriteDataFixed(a, v); }, idWord);
        ASSERT_EQ(bridge.ReadDataFixed(CodecChip::kConfigControl) & CodecChip::kDone, CodecChip::kDone);
    }
    DWORD R(DWORD a) { return bridge.ReadDataFixed(a); }
    void W(DWORD a, DWORD v) { bridge.WriteDataFixed(a, v); }
    // Loads a phase into the memory's DCM as the library does: register first, then its load bit.
    void LoadPhase(int memory, DWORD phase) {
        W(kPhase, memory == 32 ? phase << 16 : phase);
        W(kDcm, memory == 32 ? 4 : 8);
        W(kDcm, 0);
    }
};

TEST_F(CodecPixelTest, IdentificationNamesDeviceAndRevision) {
    struct Row {
        const char* name;
        uint32_t image;
        int chip;
        const char* faults;
        DWORD id;
    } const rows[] = {
        {"packer A", CodecChip::kPackerIdWord, 1, "[]", 0x12004024},
        {"packer B", CodecChip::kPackerIdWord, 2, "[]", 0x13004024},
        {"packer FFFF", CodecChip::kPackerTestIdWord, 1, "[]", 0x120FF0FF},
        {"unpacker A", CodecChip::kUnpackerIdWord, 1, "[]", 0x1400600B},
        {"unpacker B", CodecChip::kUnpackerIdWord, 2, "[]", 0x1500600B},
        {"wrong device on A", CodecChip::kUnpackerIdWord, 1, R"([{"kind": "codec_wrong_device_id", "board": "Nuxa1", "id": 1911}])", 0x7770600B},
        {"wrong device on A leaves B", CodecChip::kPackerIdWord, 2, R"([{"kind": "codec_wrong_device_id", "board": "Nuxa1", "id": 1911}])",
         0x13004024},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LoadFaults(row.faults);
        Load(row.chip, row.image);
        EXPECT_EQ(R(kId), row.id);
        EXPECT_EQ(R(kId + 2), row.id) << "byte addresses reach the same register";
    }
}

TEST_F(CodecPixelTest, DdrStartsSetTheirDoneBitsAFewMillisecondsLater) {
    struct Row {
        const char* name;
        uint32_t image;
        const char* faults;
        DWORD write, after;
    } const rows[] = {
        {"packer 64", CodecChip::kPackerIdWord, "[]", 1, 0x10001},
        {"packer has no 32-bit start", CodecChip::kPackerIdWord, "[]", 2, 0},
        {"unpacker 32", CodecChip::kUnpackerIdWord, "[]", 2, 0x20000},
        {"unpacker both", CodecChip::kUnpackerIdWord, "[]", 3, 0x30001},
        {"64 never done: bit 0 alone", CodecChip::kUnpackerIdWord, R"([{"kind": "codec_ddr_init_never_done", "board": "Nuxa1", "memory": 64}])", 3,
         0x20001},
        {"32 never done", CodecChip::kUnpackerIdWord, R"([{"kind": "codec_ddr_init_never_done", "board": "Nuxa1", "memory": 32}])", 3, 0x10001},
        {"on chip B only", CodecChip::kPackerIdWord, R"([{"kind": "codec_ddr_init_never_done", "board": "Nuxa1", "memory": 64, "chip": 2}])", 1,
         0x10001},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LoadFaults(row.faults);
        Load(1, row.image);
        EXPECT_EQ(R(kDdr), 0u);
        W(kDdr, row.write);
        EXPECT_EQ(R(kDdr), 0u) << "not at once";
        Wait(5);
        EXPECT_EQ(R(kDdr), row.after);
        W(kReset, 1);
        EXPECT_EQ(R(kDdr), 0u) << "a reset forgets the initialisation";
    }
}

// One self-test: 0, then the test number; the status after a wait of ms.
struct BistRow {
    const char* name;
    uint32_t image;
    const char* faults;
    int memory;
    DWORD phase;  // 0: none loaded (the image's own)
    DWORD status;
    DWORD errors;  // the unpacker's count; the packer shows none
};

TEST_F(CodecPixelTest, SelfTestsPassWhenTheLoadedPhaseLiesInTheWindow) {
    const char* window64 = R"([{"kind": "codec_membist_window", "board": "Nuxa1", "memory": 64, "low": 16, "high": 32}])";
    const BistRow rows[] = {
        {"image phase", CodecChip::kPackerIdWord, "[]", 64, 0, 0x30003, 0},
        {"default phase", CodecChip::kPackerIdWord, "[]", 64, 0x82, 0x30003, 0},
        {"low edge", CodecChip::kPackerIdWord, "[]", 32, 0x48, 0x30003, 0},
        {"below the edge", CodecChip::kPackerIdWord, "[]", 32, 0x47, 0x10003, 0},
        {"high edge", CodecChip::kUnpackerIdWord, "[]", 64, 0xB8, 0x30003, 0},
        {"above the edge", CodecChip::kUnpackerIdWord, "[]", 64, 0xB9, 0x10003, 0x801},
        {"far below", CodecChip::kUnpackerIdWord, "[]", 32, 0x08, 0x10003, 0x40 * 0x801},
        {"far beyond 255", CodecChip::kUnpackerIdWord, "[]", 32, 0xFFFF, 0x10003, 0x3FFFFF},
        {"moved window", CodecChip::kPackerIdWord, window64, 64, 0x82, 0x10003, 0},
        {"in the moved window", CodecChip::kPackerIdWord, window64, 64, 0x18, 0x30003, 0},
        {"the other memory keeps its window", CodecChip::kPackerIdWord, window64, 32, 0x82, 0x30003, 0},
        {"fails", CodecChip::kUnpackerIdWord, R"([{"kind": "codec_membist_fails", "board": "Nuxa1", "memory": 32}])", 32, 0x82, 0x10003, 0x12345},
        {"fails with its count", CodecChip::kUnpackerIdWord,
         R"([{"kind": "codec_membist_fails", "board": "Nuxa1", "memory": 64, "errors": 4194303}])", 64, 0x82, 0x10003, 0x3FFFFF},
        {"never done", CodecChip::kPackerIdWord, R"([{"kind": "codec_membist_fails", "board": "Nuxa1", "memory": 64, "result": "not_done"}])",
         64, 0x82, 0x20003, 0},
        {"never started", CodecChip::kPackerIdWord,
         R"([{"kind": "codec_membist_fails", "board": "Nuxa1", "memory": 32, "result": "not_started"}])", 32, 0x82, 0, 0},
    };
    for (const BistRow& row : rows) {
        SCOPED_TRACE(row.name);
        LoadFaults(row.faults);
        Load(1, row.image);
        if (row.phase) LoadPhase(row.memory, row.phase);
        const DWORD control = row.memory == 64 ? kBist64 : kBist32, count = row.memory == 64 ? kCount64 : kCount32;
        W(control, 0);
        Wait(1);
        W(control, 3);
        if (row.status) {
            EXPECT_EQ(R(control), 0x20003u) << "running";
        }
        Wait(1200);
        EXPECT_EQ(R(control), row.status);
        // A finished status clears when read; one that never finished stays.
        EXPECT_EQ(R(control), (row.status & 0x10000) ? 0u : row.status);
        W(control, 0x20);
        const DWORD low = R(count) & 0xFFFF;
        W(control, 0x30);
        const DWORD high = R(count);
        EXPECT_EQ(low | high << 16, row.errors);
        W(control, 0);
        W(control, 0x20);
        EXPECT_EQ(R(count) & 0xFFFF, 0u) << "idle clears the count";
    }
}

TEST_F(CodecPixelTest, PhasesLoadOnlyIntoTheMemoryWhoseBitIsWritten) {
    Load(1, CodecChip::kPackerIdWord);
    W(kPhase, 0x00100010);  // both halves far outside the window
    EXPECT_EQ(R(kPhase), 0x00100010u);
    W(kDcm, 8);  // the 64-bit memory only
    W(kDcm, 0);
    EXPECT_EQ(R(kDcm), 0u);
    for (DWORD control : {kBist64, kBist32}) W(control, 1);
    Wait(300);
    EXPECT_EQ(R(kBist64), 0x10001u);
    EXPECT_EQ(R(kBist32), 0x30001u);
    // A reset keeps the loaded phases; a new configuration starts from the image's.
    W(kReset, 1);
    W(kBist64, 1);
    Wait(300);
    EXPECT_EQ(R(kBist64), 0x10001u);
    Load(1, CodecChip::kPackerIdWord);
    EXPECT_EQ(R(kPhase), 0u);
    W(kBist64, 1);
    Wait(300);
    EXPECT_EQ(R(kBist64), 0x30001u);
}

TEST_F(CodecPixelTest, FlushBusyBitClearsWithinAMillisecondUnlessStuck) {
    struct Row {
        const char* name;
        uint32_t image;
        const char* faults;
        bool stuck;
    } const rows[] = {
        {"packer", CodecChip::kPackerIdWord, "[]", false},
        {"unpacker", CodecChip::kUnpackerIdWord, "[]", false},
        {"stuck", CodecChip::kPackerIdWord, R"([{"kind": "codec_flush_stuck", "board": "Nuxa1"}])", true},
        {"stuck on B only", CodecChip::kPackerIdWord, R"([{"kind": "codec_flush_stuck", "board": "Nuxa1", "chip": 2}])", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LoadFaults(row.faults);
        Load(1, row.image);
        EXPECT_EQ(R(kFlush) & 0x10000, 0u);
        // The bridge's own write takes a millisecond, so a healthy flush is over by the first read.
        W(kFlush, 0x10000);
        EXPECT_EQ(R(kFlush) & 0x10000, row.stuck ? 0x10000u : 0u);
        Wait(100);
        EXPECT_EQ(R(kFlush) & 0x10000, row.stuck ? 0x10000u : 0u);
        EXPECT_EQ(R(0x6C000018), 1u);
        EXPECT_EQ(R(0x6C00001C), 1u);
    }
}

TEST_F(CodecPixelTest, ContextRamKeepsWholeWordsUntilTheNextConfiguration) {
    struct Row {
        const char* name;
        const char* faults;
        DWORD address, stuck;  // address 0: healthy
    } const rows[] = {
        {"healthy", "[]", 0, 0},
        {"entry 5 word 1 bit 31 at 1", R"([{"kind": "codec_context_ram_stuck_bit", "board": "Nuxa1", "entry": 5, "word": 1, "bit": 31}])",
         0x6400002C, 0x80000000},
        {"entry 0 word 0 bit 0 at 0",
         R"([{"kind": "codec_context_ram_stuck_bit", "board": "Nuxa1", "entry": 0, "word": 0, "bit": 0, "value": 0}])", 0x64000000, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LoadFaults(row.faults);
        Load(1, CodecChip::kUnpackerIdWord);
        std::vector<DWORD> words(32);
        for (DWORD i = 0; i < 32; ++i) words[i] = (i & 1 ? 0x0001FFFE : 0xFFFE0001) ^ (i * 0x01010101);
        for (DWORD i = 0; i < 32; ++i) W(0x64000000 + 4 * i, words[i]);
        W(kReset, 1);
        for (DWORD i = 0; i < 32; ++i) {
            const DWORD address = 0x64000000 + 4 * i;
            EXPECT_EQ(R(address), address == row.address ? words[i] ^ row.stuck : words[i]) << std::hex << address;
        }
        EXPECT_EQ(R(0x64000080), 0u) << "past the sixteenth entry";
        Load(1, CodecChip::kUnpackerIdWord);
        EXPECT_EQ(R(0x64000004), 0u);
    }
}

TEST(CodecPixelFlush, BusyShowsUntilTheFlushEnds) {
    for (uint32_t image : {CodecChip::kPackerIdWord, CodecChip::kUnpackerIdWord}) {
        CodecChip chip(sim::BoardConfig{}, 1);
        Configure([&](uint32_t a, uint32_t v) { chip.Write(a, v); }, image);
        chip.Write(kFlush, 0xFFFF);  // without bit 16 nothing starts
        EXPECT_EQ(chip.Read(kFlush) & 0x10000, 0u);
        chip.Write(kFlush, 0x10000);
        EXPECT_EQ(chip.Read(kFlush) & 0x10000, 0x10000u);
        Sleep(1);
        EXPECT_EQ(chip.Read(kFlush) & 0x10000, 0u);
    }
}

// The packer's frames unpacked again give back every 10-bit sample (bits 15-6 of each half), for
// pictures and alphas of even and odd sizes; a frame one byte short reads 0 for the byte it lacks.
// Frames of several thousand words go through in slices: every sample, a stuck output bit and the
// port CRCs come out as over the whole frame at once.
TEST(CodecPixelFrames, UnpackingAPackedFrameGivesBackItsSamples) {
    sim::BoardConfig config;
    config.kind = sim::BoardKind::Nuxa;
    CodecChip packer(config, 1);
    Configure([&](uint32_t a, uint32_t v) { packer.Write(a, v); }, CodecChip::kPackerIdWord);
    constexpr uint32_t kContextRam = 0x64000000, kImage = 16, kAlpha = 17;
    const struct {
        uint32_t width, height;
        bool alpha;
        bool short1;     // the packed frame's last plane byte left off
        int stuckBit = -1;  // an output bit of the video port stuck at 1
    } rows[] = {{64, 8, false, false}, {63, 5, false, false}, {64, 8, true, false}, {63, 5, true, false},
                {64, 8, false, true}, {64, 8, true, true},
                // Many slices, an odd last pair or sample: 9207 pixels, 9207 % 4 == 3; 8481 % 4 == 1.
                {1023, 9, false, false}, {1023, 9, true, false}, {257, 33, true, false}, {257, 33, false, false},
                {1024, 9, false, true}, {1022, 9, true, true},
                {1023, 9, false, false, 6}, {257, 33, true, false, 22},
                // A last slice of sixteen words, eight and seven (4127 words), of sixteen and eight
                // (4120), of eight alone (4104, a stuck bit): each step width of the unpacking; an
                // odd alpha whose last sixteen words lack the last sample (8223 samples).
                {2751, 3, true, false}, {2060, 2, false, false}, {2052, 2, false, false, 17}, {2741, 3, true, false},
                // An odd alpha whose words end on a whole run of 128 samples: the last run lacks its last sample.
                {127, 1, true, false}, {1023, 129, true, false}};
    std::mt19937 random(7);
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height) + (row.alpha ? " alpha" : " picture") +
                     (row.short1 ? " short" : "") + (row.stuckBit >= 0 ? " stuck " + std::to_string(row.stuckBit) : ""));
        sim::BoardConfig faulty = config;
        if (row.stuckBit >= 0) {
            sim::CodecChipFault f;
            f.kind = sim::CodecChipFault::Kind::OutputStuckBit;
            f.chip = 2;
            f.bit = row.stuckBit;
            faulty.faults.codec.chips.push_back(f);
        }
        CodecChip unpacker(faulty, 2);
        Configure([&](uint32_t a, uint32_t v) { unpacker.Write(a, v); }, CodecChip::kUnpackerIdWord);
        const uint32_t pixels = row.width * row.height;
        // Picture: a 32-bit word a pixel (two 16-bit samples); alpha: a 16-bit sample a pixel.
        std::vector<uint8_t> in(row.alpha ? 2 * pixels : 4 * pixels);
        for (uint8_t& b : in) b = static_cast<uint8_t>(random());
        packer.Write(kContextRam, row.width | row.height << 16);
        packer.Write(kContextRam + 4, row.alpha ? kAlpha : kImage);
        ASSERT_TRUE(packer.TakeFrame(0, in));
        std::vector<uint8_t> packed;
        for (const uint32_t w : packer.Outbound().TakeAll())
            for (int i = 0; i < 4; ++i) packed.push_back(static_cast<uint8_t>(w >> (8 * i)));
        // The planes: a picture's follow its pad (which the unpacker takes as what lies before
        // them, so a short one goes without it), an alpha's come before its pad.
        if (row.alpha) {
            packed.resize(pixels + (pixels + 2) / 4);
        } else if (row.short1) {
            packed.erase(packed.begin(), packed.end() - (2 * pixels + (pixels + 1) / 2));
        }
        if (row.short1) packed.pop_back();
        unpacker.Write(kContextRam, row.width | row.height << 16);
        unpacker.Write(kContextRam + 4, row.alpha ? 1 : 0);
        ASSERT_TRUE(unpacker.TakeFrame(0, packed));
        const std::vector<uint32_t> out = unpacker.Outbound().TakeAll();
        // What came in, 10 bits a sample; an alpha's odd last pixel leaves the word's high half 0.
        std::vector<uint32_t> want(row.alpha ? (pixels + 1) / 2 : 2 * (pixels / 2));
        for (size_t i = 0; i < want.size() * 4 && i + 1 < in.size(); i += 2)
            want[i / 4] |= (uint32_t{in[i]} | uint32_t{in[i + 1]} << 8) << (i % 4 ? 16 : 0);
        for (uint32_t& w : want) w &= 0xFFC0FFC0;
        if (row.alpha && pixels % 4 == 1) want.back() &= 0x0000FF3F;  // its two low bits have no byte
        if (row.short1) {
            // The byte left off: the picture's last 8-bit byte (Y1 of the last pair), the alpha's last 2-bit byte.
            if (row.alpha) {
                for (uint32_t p = (pixels - 1) / 4 * 4; p < pixels; ++p) want[p / 2] &= p % 2 ? 0xFF3FFFFF : 0xFFFFFF3F;
            } else {
                want.back() &= 0x00C0FFFF;
            }
        }
        if (row.stuckBit >= 0)
            for (uint32_t& w : want) w |= 1u << row.stuckBit;
        EXPECT_EQ(out, want);
        // The port CRCs: whole pairs of the words sent (as faulted) and of the packed words taken in.
        std::vector<uint32_t> inWords(packed.size() / 4);
        for (size_t i = 0; i < inWords.size(); ++i)
            for (int k = 0; k < 4; ++k) inWords[i] |= uint32_t{packed[4 * i + static_cast<size_t>(k)]} << (8 * k);
        EXPECT_EQ(unpacker.Read(0x6C00002C), sim::PixelCrc64(0, want.data(), want.size() / 2));
        EXPECT_EQ(unpacker.Read(0x6C000028), sim::PixelCrc64(0, inWords.data(), inWords.size() / 2));
    }
}

// The pixel CRC register after the words, a bit at a time: each word's low 16-bit unit, then its
// high one, each most significant bit first.
uint32_t BitwisePixelCrc(uint32_t crc, const std::vector<uint32_t>& words) {
    for (const uint32_t w : words)
        for (const uint32_t unit : {w & 0xFFFF, w >> 16})
            for (int b = 15; b >= 0; --b) {
                const uint32_t in = (unit >> b & 1) ^ (crc >> 31);
                crc = in ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
            }
    return crc;
}

// The packer's frame and port CRCs, whatever size the frame (the whole steps the fast path takes and
// the odd ends it leaves to the plain one), against a byte-by-byte packing written from the layouts
// and bit-at-a-time CRCs: with an output fault, a word the in register already held, the registers
// held in restart, and a frame too short to pack.
TEST(CodecPixelFrames, PackedFramesAndPortCrcsMatchAPlainPacking) {
    constexpr uint32_t kContextRam = 0x64000000, kImage = 16, kAlpha = 17;
    enum class Crc { Fresh, WordHeld, Restart };
    const struct Row {
        uint32_t width, height;
        bool alpha;
        Crc crc;
        bool stuckBit;  // bit 5 of the video port's words stuck at 1
        bool shortBy1;  // the inbound frame a word short of its context
    } rows[] = {
        {1, 1, false, Crc::Fresh, false, false},      {3, 3, false, Crc::Fresh, false, false},
        {15, 2, false, Crc::Fresh, false, false},     {16, 2, false, Crc::Fresh, false, false},  // 15 and 16 pairs: the first fast step
        {33, 1, false, Crc::Fresh, false, false},     {257, 3, false, Crc::Fresh, false, false},
        {720, 486, false, Crc::Fresh, false, false},  {1023, 9, false, Crc::WordHeld, false, false},
        {255, 7, false, Crc::Restart, false, false},  {640, 4, false, Crc::Fresh, true, false},
        {64, 8, false, Crc::Fresh, false, true},      {1, 1, true, Crc::Fresh, false, false},
        {17, 9, true, Crc::Fresh, false, false},      {63, 1, true, Crc::Fresh, false, false},  // 63, 64, 65, 66 pixels: every
        {64, 1, true, Crc::Fresh, false, false},      {65, 1, true, Crc::Fresh, false, false},  // tail of a step of 16 groups
        {66, 1, true, Crc::Fresh, false, false},      {720, 486, true, Crc::Fresh, false, false},
        {1021, 3, true, Crc::WordHeld, false, false}, {129, 5, true, Crc::Restart, true, false},
        {64, 8, true, Crc::Fresh, false, true},
    };
    std::mt19937 random(11);
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height) + (row.alpha ? " alpha" : " picture"));
        const sim::BoardConfig config = OutputStuckBit(row.stuckBit ? 5 : -1);
        CodecChip chip(config, 1);
        Configure([&](uint32_t a, uint32_t v) { chip.Write(a, v); }, CodecChip::kPackerIdWord);
        const uint64_t pixels = uint64_t{row.width} * row.height;
        std::vector<uint8_t> in((row.alpha ? 2 : 4) * pixels);
        for (uint8_t& b : in) b = static_cast<uint8_t>(random());
        std::vector<uint32_t> inWords(in.size() / 4);
        for (size_t i = 0; i < inWords.size(); ++i)
            inWords[i] = in[4 * i] | in[4 * i + 1] << 8 | in[4 * i + 2] << 16 | static_cast<uint32_t>(in[4 * i + 3]) << 24;
        // What the plain packing gives: [pad][2-bit][8-bit] for a picture, [8-bit][2-bit][pad] for an alpha.
        const uint64_t size = row.alpha ? pixels + (pixels + 2) / 4 : 2 * pixels + (pixels + 1) / 2;
        std::vector<uint8_t> bytes((size + 4095) / 4096 * 4096, 0);
        const auto top = [&](uint64_t sample) { return static_cast<uint8_t>(in[2 * sample] >> 6); };  // bits 15-14 of a sample
        if (row.alpha) {
            for (uint64_t p = 0; p < pixels; ++p) bytes[p] = in[2 * p + 1];
            for (uint64_t p = 0; p < pixels && p / 4 < (pixels + 2) / 4; ++p) bytes[pixels + p / 4] |= static_cast<uint8_t>(top(p) << (2 * (p % 4)));
        } else {
            const uint64_t pairs = pixels / 2, pad = bytes.size() - size;
            for (uint64_t g = 0; g < pairs; ++g)
                for (uint64_t s = 0; s < 4; ++s) {
                    bytes[pad + pairs + 4 * g + s] = in[8 * g + 2 * s + 1];
                    bytes[pad + g] |= static_cast<uint8_t>(top(4 * g + s) << (2 * s));
                }
        }
        std::vector<uint32_t> want(bytes.size() / 4);
        for (size_t i = 0; i < want.size(); ++i)
            want[i] = (bytes[4 * i] | bytes[4 * i + 1] << 8 | bytes[4 * i + 2] << 16 | static_cast<uint32_t>(bytes[4 * i + 3]) << 24) |
                      (row.stuckBit ? 1u << 5 : 0);

        chip.Write(kContextRam, row.width | row.height << 16);
        chip.Write(kContextRam + 4, row.alpha ? kAlpha : kImage);
        const uint32_t held = 0xC0FFEE42;
        if (row.crc == Crc::WordHeld) chip.PixelCrcFeed(CodecChip::kCrcIn, &held, 1);
        if (row.crc == Crc::Restart) chip.Write(kDcm, 0x100);
        ASSERT_TRUE(chip.TakeFrame(0, std::span<const uint8_t>(in).first(in.size() - (row.shortBy1 ? 4 : 0))));
        const std::vector<uint32_t> out = chip.Outbound().TakeAll();
        if (row.shortBy1) {
            EXPECT_TRUE(out.empty()) << "a frame short of its context sends nothing";
            EXPECT_EQ(chip.Read(0x6C000028), 0u);
            continue;
        }
        EXPECT_EQ(out, want);
        std::vector<uint32_t> fedIn = inWords;
        if (row.crc == Crc::WordHeld) fedIn.insert(fedIn.begin(), held);
        if (fedIn.size() % 2) fedIn.pop_back();  // the odd word waits for its pair
        const bool counts = row.crc != Crc::Restart;
        EXPECT_EQ(chip.Read(0x6C000028), counts ? BitwisePixelCrc(0, fedIn) : 0u);
        EXPECT_EQ(chip.Read(0x6C00002C), counts ? BitwisePixelCrc(0, want) : 0u);
    }
}

// Frames the packer writes straight into the cells that take them, against the same frames sent
// as words on one chip after another, frame after frame: the bytes (the pad and an odd half pair
// included, over cells that held something else) and both port CRCs, from 0, from a register
// holding a word and held in restart. Sizes not on whole word pairs keep to the words.
TEST(CodecPixelFrames, FramesPackedIntoTheirCellsMatchTheWordStream) {
    constexpr uint32_t kContextRam = 0x64000000, kImage = 16, kAlpha = 17;
    enum class Crc { Fresh, InHeld, OutHeld, Restart };
    struct Frame {
        uint32_t width, height;
        bool alpha;
    };
    const struct Row {
        std::vector<Frame> frames;
        Crc crc;
        bool direct;  // the frames go to the cells (all of them or none)
    } rows[] = {
        // Picture then alpha: the alpha's pad lies where the picture's 2-bit plane was.
        {{{64, 64, false}, {64, 64, true}, {64, 64, false}}, Crc::Fresh, true},
        {{{1920, 1080, false}, {1920, 1080, true}}, Crc::Fresh, true},
        {{{4092, 5, false}, {16, 1, true}, {4, 1, false}, {8, 1, true}}, Crc::Fresh, true},
        {{{720, 486, false}, {184, 120, true}}, Crc::InHeld, true},
        {{{720, 486, false}, {184, 120, true}}, Crc::OutHeld, true},
        {{{720, 486, false}, {184, 120, true}}, Crc::Restart, true},
        {{{3, 3, false}, {1023, 9, false}, {180, 121, true}, {6, 1, true}}, Crc::Fresh, false},
    };
    std::mt19937 random(23);
    for (const Row& row : rows) {
        CodecChip direct(sim::BoardConfig{}, 1), stream(sim::BoardConfig{}, 1);
        std::vector<uint8_t> cells;
        bool taken = false;
        direct.SetOutboundPush([] {});
        direct.SetOutboundTarget([&](uint64_t bytes, std::span<const uint8_t>, bool) {
            taken = true;
            cells.assign(bytes + 64, 0xA5);  // a tail past the frame stays as it was
            return cells.data();
        });
        for (CodecChip* chip : {&direct, &stream}) {
            Configure([&](uint32_t a, uint32_t v) { chip->Write(a, v); }, CodecChip::kPackerIdWord);
            const uint32_t held = 0xC0FFEE42;
            if (row.crc == Crc::InHeld) chip->PixelCrcFeed(CodecChip::kCrcIn, &held, 1);
            if (row.crc == Crc::OutHeld) chip->PixelCrcFeed(CodecChip::kCrcOut, &held, 1);
            if (row.crc == Crc::Restart) chip->Write(kDcm, 0x100);
        }
        for (const Frame& frame : row.frames) {
            SCOPED_TRACE(std::to_string(frame.width) + "x" + std::to_string(frame.height) + (frame.alpha ? " alpha" : " picture") + " crc " +
                         std::to_string(static_cast<int>(row.crc)));
            std::vector<uint8_t> in((frame.alpha ? 2 : 4) * uint64_t{frame.width} * frame.height);
            for (uint8_t& b : in) b = static_cast<uint8_t>(random());
            taken = false;
            for (CodecChip* chip : {&direct, &stream}) {
                chip->Write(kContextRam, frame.width | frame.height << 16);
                chip->Write(kContextRam + 4, frame.alpha ? kAlpha : kImage);
                ASSERT_TRUE(chip->TakeFrame(0, in));
            }
            const std::vector<uint32_t> want = stream.Outbound().TakeAll();
            ASSERT_EQ(taken, row.direct);
            if (taken) {
                ASSERT_EQ(cells.size(), 4 * want.size() + 64);
                EXPECT_TRUE(direct.Outbound().empty());
                EXPECT_EQ(std::memcmp(cells.data(), want.data(), 4 * want.size()), 0);
                EXPECT_EQ(std::count(cells.end() - 64, cells.end(), 0xA5), 64);
            } else {
                EXPECT_EQ(direct.Outbound().TakeAll(), want);
            }
            EXPECT_EQ(direct.Read(0x6C000028), stream.Read(0x6C000028));
            EXPECT_EQ(direct.Read(0x6C00002C), stream.Read(0x6C00002C));
        }
        if (row.crc != Crc::Restart) {
            EXPECT_NE(stream.Read(0x6C00002C), 0u);
        }
    }
}

// Frames the unpacker writes straight into the cells that take them, against the same frames sent
// as words, frame after frame on one chip and another: the words (over cells that held something
// else, a tail past the frame left alone), the three port CRCs and a stuck output bit. A frame for
// the expansion port never goes to the cells; one short of its context reads as zeros where it ends.
// The in CRC against a bit-at-a-time reference over every word taken in.
TEST(CodecPixelFrames, FramesUnpackedIntoTheirCellsMatchTheWordStream) {
    constexpr uint32_t kContextRam = 0x64000000, kPassThrough = 1u << 11;
    struct Frame {
        uint32_t width, height;
        bool alpha, expansion;
        size_t shortBy = 0;  // bytes the inbound frame lacks
    };
    const struct Row {
        std::vector<Frame> frames;
        bool stuckBit = false;  // bit 22 of the video port's words stuck at 1
        bool heldWord = false;  // the out register holds a word before the first frame
        bool passThrough = false;
    } rows[] = {
        {{{64, 64, false, false}, {64, 64, true, false}, {64, 64, false, false}}},
        {{{1920, 1080, false, false}, {1920, 1080, true, false}}},
        // Odd counts: a picture's last pixel left out, an alpha's last sample alone in its word.
        {{{17, 9, false, false}, {17, 9, true, false}, {1023, 9, false, false}, {1, 1, true, false}}, false, true},
        {{{720, 486, false, false}, {184, 121, true, false}}, true},
        {{{64, 8, false, false, 100}, {100, 60, true, true}, {100, 60, false, false}}, true},
        {{{64, 64, false, false}, {16, 4, true, false}}, false, false, true},
    };
    std::mt19937 random(29);
    for (const Row& row : rows) {
        const sim::BoardConfig config = OutputStuckBit(row.stuckBit ? 22 : -1);
        CodecChip direct(config, 1), stream(config, 1);
        std::vector<uint8_t> cells;
        int taken = 0;
        direct.SetOutboundPush([] {});
        direct.SetOutboundTarget([&](uint64_t bytes, std::span<const uint8_t>, bool queued) {
            EXPECT_TRUE(queued) << "the unpacker's frames wait for the inbound chain";
            ++taken;
            cells.assign(bytes + 64, 0xA5);
            return cells.data();
        });
        for (CodecChip* chip : {&direct, &stream}) {
            Configure([&](uint32_t a, uint32_t v) { chip->Write(a, v); }, CodecChip::kUnpackerIdWord);
            const uint32_t held = 0xC0FFEE42;
            if (row.heldWord) chip->PixelCrcFeed(CodecChip::kCrcOut, &held, 1);
            if (row.passThrough) chip->Write(0x6C000010, kPassThrough);
        }
        std::vector<uint32_t> inWords;  // every word taken in, for the in CRC
        for (const Frame& frame : row.frames) {
            SCOPED_TRACE(std::to_string(frame.width) + "x" + std::to_string(frame.height) + (frame.alpha ? " alpha" : " picture") +
                         (frame.expansion ? " expansion" : ""));
            const uint64_t pixels = uint64_t{frame.width} * frame.height;
            const uint64_t size = frame.alpha ? pixels + (pixels + 2) / 4 : 2 * pixels + (pixels + 1) / 2;
            std::vector<uint8_t> in((size + 4095) / 4096 * 4096 - frame.shortBy);
            for (uint8_t& b : in) b = static_cast<uint8_t>(random());
            for (size_t i = 0; i + 4 <= in.size(); i += 4)
                inWords.push_back(in[i] | in[i + 1] << 8 | in[i + 2] << 16 | static_cast<uint32_t>(in[i + 3]) << 24);
            taken = 0;
            for (CodecChip* chip : {&direct, &stream}) {
                chip->Write(kContextRam, frame.width | frame.height << 16);
                chip->Write(kContextRam + 4, (frame.alpha ? 1u : 0u) | (frame.expansion ? 2u : 0u) << 16);
                ASSERT_TRUE(chip->TakeFrame(0, in));
            }
            const std::vector<uint32_t> want = stream.Outbound().TakeAll();
            if (row.passThrough) {
                EXPECT_EQ(want.size(), in.size() / 4) << "pass-through sends a word for each word in";
            }
            ASSERT_EQ(taken, frame.expansion ? 0 : 1);
            EXPECT_TRUE(direct.Outbound().empty());
            if (taken) {
                ASSERT_EQ(cells.size(), 4 * want.size() + 64);
                EXPECT_EQ(std::memcmp(cells.data(), want.data(), 4 * want.size()), 0);
                EXPECT_EQ(std::count(cells.end() - 64, cells.end(), 0xA5), 64);
                if (row.stuckBit) {
                    EXPECT_EQ(want.front() & 1u << 22, 1u << 22);
                }
            }
            for (uint32_t reg : {0x6C000028u, 0x6C00002Cu, 0x6C000030u}) EXPECT_EQ(direct.Read(reg), stream.Read(reg)) << std::hex << reg;
            // The in CRC over every whole pair of words taken in so far (an odd word waits for its pair).
            EXPECT_EQ(stream.Read(0x6C000028), BitwisePixelCrc(0, std::vector<uint32_t>(inWords.begin(), inWords.end() - inWords.size() % 2)));
        }
        EXPECT_NE(stream.Read(0x6C00002C), 0u);
    }
}

// The byte-stream CRC the encoder stamps its units with and the pixel CRC of word pairs, against
// the published check value and a bit-at-a-time reference over every length (short ones go by the
// tables, long ones are folded) and splits of a buffer: a chain of calls gives the same register.
// The outbound channel takes the chip's words a run at a time, whatever blocks they were sent in:
// every word once, in order, a run's words changed in place (a channel fault) going out as changed.
TEST(CodecOutbound, RunsTakeTheWordsInOrderAcrossBlocks) {
    struct Row {
        std::vector<size_t> blocks, runs;
    };
    const Row rows[] = {
        {{8}, {3, 5}},           // inside one block
        {{3, 1, 4}, {2, 4, 2}},  // runs across two and three blocks
        {{4, 4}, {4, 4}},        // runs ending on a block's end
        {{5}, {2, 9}},           // a run longer than what is left
        {{2, 2}, {1, 0, 3}},     // an empty run
    };
    for (const Row& row : rows) {
        sim::WordStream stream;
        uint32_t next = 1;
        size_t total = 0;
        for (const size_t n : row.blocks) {
            std::vector<uint32_t> block(n);
            for (uint32_t& w : block) w = next++;
            stream.Append(std::move(block));
            total += n;
        }
        stream.Append({});
        ASSERT_EQ(stream.size(), total);
        std::vector<uint32_t> got, scratch;
        for (const size_t asked : row.runs) {
            const size_t n = std::min(asked, stream.size());
            uint32_t* words = stream.Front(n, scratch);
            for (size_t i = 0; i < n; ++i) words[i] ^= 0x80000000u;
            got.insert(got.end(), words, words + n);
            stream.Pop(n);
        }
        std::vector<uint32_t> want;
        for (uint32_t w = 1; w <= total; ++w) want.push_back(w ^ 0x80000000u);
        EXPECT_EQ(got, want) << "blocks " << row.blocks.size() << ", runs " << row.runs.size();
        EXPECT_TRUE(stream.empty());
        EXPECT_TRUE(stream.TakeAll().empty());
    }
    // What a run leaves stays for the next one; TakeAll gives it and empties the stream.
    sim::WordStream stream;
    stream.Append({1, 2, 3});
    stream.Append({4, 5});
    std::vector<uint32_t> scratch;
    stream.Front(2, scratch);
    stream.Pop(2);
    EXPECT_EQ(stream.TakeAll(), (std::vector<uint32_t>{3, 4, 5}));
    EXPECT_EQ(stream.size(), 0u);
    // A block taken whole comes back empty for the next one, with its room; the larger is kept.
    stream.Append(std::vector<uint32_t>(1000, 7));
    stream.Pop(1000);
    stream.Recycle(std::vector<uint32_t>(10));
    const std::vector<uint32_t> next = stream.Recycled();
    EXPECT_TRUE(next.empty());
    EXPECT_GE(next.capacity(), 1000u);
    EXPECT_EQ(stream.Recycled().capacity(), 0u) << "handed out once";
    // A burst of blocks given back: the others are kept beside the spare, and RecycledFor hands out
    // the smallest that holds what is asked, emptied, each once.
    sim::WordStream burst;
    for (const size_t n : {300, 100, 250, 200}) burst.Append(std::vector<uint32_t>(n, 9));
    burst.Pop(850);
    EXPECT_GE(burst.Recycled().capacity(), 300u);
    const std::vector<uint32_t> fits = burst.RecycledFor(150);
    EXPECT_TRUE(fits.empty());
    EXPECT_GE(fits.capacity(), 200u);
    EXPECT_LT(fits.capacity(), 250u);
    EXPECT_GE(burst.RecycledFor(150).capacity(), 250u);
    EXPECT_GE(burst.RecycledFor(50).capacity(), 100u);
    EXPECT_EQ(burst.RecycledFor(50).capacity(), 0u) << "none left";
}

TEST(CodecPixelCrc, ByteStreamAndPairCrcsMatchBitwiseReference) {
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(sim::Crc32Mpeg2(0xFFFFFFFF, check, sizeof check), 0x0376E6E7u);
    const auto bitwise = [](uint32_t crc, const uint8_t* data, size_t length) {
        for (size_t i = 0; i < length; ++i) {
            crc ^= uint32_t{data[i]} << 24;
            for (int b = 0; b < 8; ++b) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
        }
        return crc;
    };
    std::vector<uint8_t> bytes(1100);  // past 32 blocks: the 512-bit folding with its four remainders
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 151 + 7);
    for (const uint32_t seed : {0u, 0xFFFFFFFFu, 0x12345678u})
        for (size_t length = 0; length <= bytes.size(); ++length) {
            const uint32_t expected = bitwise(seed, bytes.data(), length);
            EXPECT_EQ(sim::Crc32Mpeg2(seed, bytes.data(), length), expected) << length;
            for (size_t split = 1; split < length; split += 7 + length / 16)
                EXPECT_EQ(sim::Crc32Mpeg2(sim::Crc32Mpeg2(seed, bytes.data(), split), bytes.data() + split, length - split), expected)
                    << length << " split at " << split;
        }
    // Long buffers are folded 512 bits at a time where the processor can, what is left over
    // the narrow way and by the tables.
    std::vector<uint8_t> longer(70000);
    for (size_t i = 0; i < longer.size(); ++i) longer[i] = static_cast<uint8_t>(i * 151 + i / 251);
    for (const size_t length : {511u, 512u, 527u, 528u, 640u, 1031u, 4111u, 70000u})
        for (const size_t from : {0u, 3u})
            EXPECT_EQ(sim::Crc32Mpeg2(0x12345678, longer.data() + from, length - from), bitwise(0x12345678, longer.data() + from, length - from))
                << length << " from " << from;
    // A pair feeds each word's low 16-bit unit, then its high one, each most significant byte first.
    std::vector<uint32_t> words(bytes.size() / 4);
    std::vector<uint8_t> fed;
    for (size_t i = 0; i < words.size(); ++i) {
        words[i] = static_cast<uint32_t>(i * 0x9E3779B9u + 0x1234567u);
        for (const int shift : {8, 0, 24, 16}) fed.push_back(static_cast<uint8_t>(words[i] >> shift));
    }
    for (const uint32_t seed : {0u, 0xFFFFFFFFu})
        for (size_t pairs = 0; pairs <= words.size() / 2; ++pairs)
            EXPECT_EQ(sim::PixelCrc64(seed, words.data(), pairs), bitwise(seed, fed.data(), 8 * pairs)) << pairs << " pairs";
    // The same words read as little-endian bytes where they lie, at every alignment.
    std::vector<uint8_t> laid(4 * words.size() + 3);
    for (size_t from = 0; from < 4; ++from) {
        for (size_t i = 0; i < words.size(); ++i)
            for (size_t k = 0; k < 4; ++k) laid[from + 4 * i + k] = static_cast<uint8_t>(words[i] >> (8 * k));
        for (const uint32_t seed : {0u, 0xFFFFFFFFu})
            for (size_t pairs = 0; pairs <= words.size() / 2; ++pairs)
                EXPECT_EQ(sim::PixelCrc64Bytes(seed, laid.data() + from, pairs), bitwise(seed, fed.data(), 8 * pairs)) << pairs << " pairs from " << from;
    }
    // A register carried over a run of zero bytes, as the direct packer joins its planes' CRCs.
    const std::vector<uint8_t> zeros(70000, 0);
    for (const uint32_t seed : {0u, 1u, 0x80000000u, 0x12345678u, 0xFFFFFFFFu})
        for (const size_t length : {0u, 1u, 3u, 4u, 8u, 255u, 4096u, 65537u, 70000u})
            EXPECT_EQ(sim::Crc32Mpeg2Zeros(seed, length), bitwise(seed, zeros.data(), length)) << seed << " over " << length;
}

// The register carried over pieces by the wide stream, then fed the bytes it leaves over, is the
// register fed all the words at once: pieces of any whole-word size, across and inside its
// 256-byte runs, from any seed.
TEST(CodecPixelCrc, StreamFedInPiecesMatchesTheRegisterFedAtOnce) {
    if (!sim::PixelCrcStream::Wide()) GTEST_SKIP() << "no 512-bit folding here";
    std::vector<uint8_t> bytes(20000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 151 + i / 253 + 7);
    // Piece sizes in bytes, taken in turn until the total is fed.
    struct Row { size_t total; std::vector<size_t> pieces; };
    const Row rows[] = {
        {0, {4}}, {248, {248}}, {256, {256}}, {264, {264}}, {8192, {8192}}, {20000, {20000}},
        {20000, {4}}, {20000, {12}}, {20000, {252, 8}}, {20000, {1292, 4096, 4}}, {19992, {256}}, {19996, {500, 8200}},
        {8200, {1024, 1028}}, {520, {260, 260}},
    };
    for (const Row& row : rows)
        for (const uint32_t seed : {0u, 0xFFFFFFFFu, 0x12345678u}) {
            SCOPED_TRACE(std::to_string(row.total) + " bytes in pieces of " + std::to_string(row.pieces[0]) + ", seed " + std::to_string(seed));
            sim::PixelCrcStream stream(seed);
            for (size_t fed = 0, k = 0; fed < row.total; ++k) {
                const size_t n = std::min(row.pieces[k % row.pieces.size()], row.total - fed);
                stream.Feed(bytes.data() + fed, n);
                fed += n;
            }
            const uint8_t* rest = nullptr;
            size_t restBytes = 1000;
            const uint32_t crc = stream.Finish(&rest, &restBytes);
            ASSERT_EQ(row.total % 256, restBytes);
            EXPECT_EQ(0, std::memcmp(rest, bytes.data() + row.total - restBytes, restBytes));
            EXPECT_EQ(sim::PixelCrc64Bytes(seed, bytes.data(), row.total / 8), sim::PixelCrc64Bytes(crc, rest, restBytes / 8));
        }
}

// Runs unpacked the wide way give each sample as the chip's formula does and leave the stream
// where feeding it the words would: from a fresh stream and after whole runs fed before; a stream
// with bytes waiting is left to the caller.
TEST(CodecPixelCrc, RunsUnpackedWhileFoldedMatchTheSamplesAndTheirCrc) {
    if (!sim::PixelCrcStream::Wide()) GTEST_SKIP() << "no 512-bit folding here";
    std::mt19937 random(11);
    std::vector<uint8_t> high(128 * 9), low(32 * 9);
    for (uint8_t& b : high) b = static_cast<uint8_t>(random());
    for (uint8_t& b : low) b = static_cast<uint8_t>(random());
    for (const size_t runs : {1u, 2u, 9u})
        for (const size_t before : {0u, 256u, 768u}) {
            SCOPED_TRACE(std::to_string(runs) + " runs after " + std::to_string(before) + " bytes");
            std::vector<uint32_t> want(64 * runs), got(64 * runs + 1, 0xDEADBEEF);
            for (size_t t = 0; t < 128 * runs; ++t)
                want[t / 2] |= (uint32_t{high[t]} << 8 | (low[t / 4] >> (2 * (t % 4)) & 3u) << 6) << (t % 2 ? 16 : 0);
            sim::PixelCrcStream stream(0x2468ACE1);
            const std::vector<uint8_t> lead(before, 0x5C);
            stream.Feed(lead.data(), lead.size());
            ASSERT_EQ(runs, sim::UnpackRunsFast(high.data(), low.data(), runs, got.data(), stream));
            EXPECT_EQ(0xDEADBEEFu, got.back());
            got.pop_back();
            EXPECT_EQ(want, got);
            const uint8_t* rest = nullptr;
            size_t restBytes = 0;
            std::vector<uint8_t> all(lead);
            for (const uint32_t w : want)
                for (int k = 0; k < 4; ++k) all.push_back(static_cast<uint8_t>(w >> (8 * k)));
            EXPECT_EQ(sim::PixelCrc64Bytes(0x2468ACE1, all.data(), all.size() / 8), stream.Finish(&rest, &restBytes));
            EXPECT_EQ(0u, restBytes);
        }
    sim::PixelCrcStream waiting(0);
    const uint8_t four[4] = {1, 2, 3, 4};
    waiting.Feed(four, 4);
    std::vector<uint32_t> out(64);
    EXPECT_EQ(0u, sim::UnpackRunsFast(high.data(), low.data(), 1, out.data(), waiting));
    // Streamed past the cache into 64-byte aligned cells: the same words and register; cells
    // off that alignment are left to the caller.
    std::vector<uint32_t> cells(64 * 3 + 16), slice(64 * 2);
    uint32_t* const aligned = cells.data() + (16 - reinterpret_cast<uintptr_t>(cells.data()) % 64 / 4) % 16;
    sim::PixelCrcStream streamed(7), stored(7);
    ASSERT_EQ(2u, sim::UnpackRunsFast(high.data(), low.data(), 2, aligned, streamed, true));
    ASSERT_EQ(2u, sim::UnpackRunsFast(high.data(), low.data(), 2, slice.data(), stored));
    EXPECT_EQ(slice, std::vector<uint32_t>(aligned, aligned + slice.size()));
    const uint8_t* rest = nullptr;
    size_t restBytes = 0;
    EXPECT_EQ(stored.Finish(&rest, &restBytes), streamed.Finish(&rest, &restBytes));
    EXPECT_EQ(0u, sim::UnpackRunsFast(high.data(), low.data(), 1, aligned + 1, streamed, true));
}

// The CRC registers against the library's 64-bit model and its worked values, fed in chunks.
TEST(CodecPixelCrc, RegistersComputeTheSixtyFourBitImageModel) {
    EXPECT_EQ(sim::PixelCrc64(0, std::vector<uint32_t>{0x89ABCDEF, 0xFEDCBA98}.data(), 1), 0x82C4CDBAu);
    EXPECT_EQ(sim::PixelCrc64(0xFFFFFFFF, std::vector<uint32_t>{0x89ABCDEF, 0xFEDCBA98}.data(), 1), 0xEBC076E3u);
    EXPECT_EQ(sim::PixelCrc64(0, std::vector<uint32_t>{0x89ABCDEF, 0xFEDCBA98, 0xA5A5C3C3, 0xF0F0E1E1}.data(), 2), 0xCE3A653Cu);

    Unpacked::Alpha::YCbCr_10_6 alpha(98, 7);  // 343 words: the last one unpaired
    ASSERT_TRUE(alpha.FillRandom(17));
    const CrcWordSpan span = alpha.GetCrcWords();
    std::vector<uint32_t> words(span.words);
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = span.data[4 * i] | span.data[4 * i + 1] << 8 | span.data[4 * i + 2] << 16 | static_cast<uint32_t>(span.data[4 * i + 3]) << 24;
    const DWORD once = alpha.ComputeCRC(CRC32_D64<Unpacked::Alpha::YCbCr_10_6>(), 0, 1);

    struct Row {
        const char* name;
        uint32_t image;
        int reg;
        std::vector<size_t> chunks;  // feed sizes
        bool counts;
    } const rows[] = {
        {"packer in, whole", CodecChip::kPackerIdWord, CodecChip::kCrcIn, {342}, true},
        {"packer out, odd chunks", CodecChip::kPackerIdWord, CodecChip::kCrcOut, {1, 3, 5, 333}, true},
        {"unpacker expansion", CodecChip::kUnpackerIdWord, CodecChip::kCrcExpansion, {171, 171}, true},
        {"packer has no expansion CRC", CodecChip::kPackerIdWord, CodecChip::kCrcExpansion, {342}, false},
    };
    const uint32_t address[3] = {0x6C000028, 0x6C00002C, 0x6C000030};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CodecChip chip(sim::BoardConfig{}, 1);
        Configure([&](uint32_t a, uint32_t v) { chip.Write(a, v); }, row.image);
        size_t at = 0;
        for (size_t n : row.chunks) {
            chip.PixelCrcFeed(row.reg, words.data() + at, n);
            at += n;
        }
        EXPECT_EQ(chip.Read(address[row.reg]), row.counts ? once : 0u);
        for (int other = 0; other < 3; ++other) {
            if (other != row.reg) {
                EXPECT_EQ(chip.Read(address[other]), 0u);
            }
        }
        // Bit 8 restarts the registers and holds them; they count again from 0 once it is released.
        chip.Write(kDcm, 0x100);
        EXPECT_EQ(chip.Read(address[row.reg]), 0u);
        chip.PixelCrcFeed(row.reg, words.data(), 342);
        EXPECT_EQ(chip.Read(address[row.reg]), 0u);
        chip.Write(kDcm, 0);
        chip.PixelCrcFeed(row.reg, words.data(), 171);
        chip.PixelCrcFeed(row.reg, words.data() + 171, 171);
        chip.PixelCrcFeed(row.reg, words.data(), 342);
        EXPECT_EQ(chip.Read(address[row.reg]), row.counts ? alpha.ComputeCRC(CRC32_D64<Unpacked::Alpha::YCbCr_10_6>(), 0, 2) : 0u);
        // A reset starts them again too.
        chip.Write(kReset, 1);
        EXPECT_EQ(chip.Read(address[row.reg]), 0u);
    }
}

TEST(CodecPixelCrc, AWrongRegisterReadsWithItsMask) {
    sim::BoardConfig config;
    sim::CodecChipFault f;
    f.kind = sim::CodecChipFault::Kind::CrcWrong;
    f.reg = CodecChip::kCrcOut;
    f.mask = 0x100;
    config.faults.codec.chips.push_back(f);
    CodecChip chip(config, 1);
    Configure([&](uint32_t a, uint32_t v) { chip.Write(a, v); }, CodecChip::kUnpackerIdWord);
    const std::vector<uint32_t> pair{0x89ABCDEF, 0xFEDCBA98};
    for (int reg = 0; reg < 3; ++reg) chip.PixelCrcFeed(reg, pair.data(), 2);
    EXPECT_EQ(chip.Read(0x6C000028), 0x82C4CDBAu);
    EXPECT_EQ(chip.Read(0x6C00002C), 0x82C4CDBAu ^ 0x100);
    EXPECT_EQ(chip.Read(0x6C000030), 0x82C4CDBAu);
}

TEST(CodecRigFile, PackerAndUnpackerFaultsAreCheckedWithTheirKey) {
    struct Row {
        const char* faults;
        const char* error;  // empty: accepted
    } const rows[] = {
        {R"([{"kind": "codec_membist_window", "board": "X", "memory": 32, "low": 1, "high": 255}])", ""},
        {R"([{"kind": "codec_membist_window", "board": "X", "memory": 32, "low": 9, "high": 8}])", "faults[0].high"},
        {R"([{"kind": "codec_membist_window", "board": "X", "memory": 32, "low": 9}])", "faults[0].high"},
        {R"([{"kind": "codec_membist_window", "board": "X", "memory": 32, "low": 0, "high": 256}])", "faults[0].high"},
        {R"([{"kind": "codec_membist_fails", "board": "X", "memory": 64, "result": "late"}])", "faults[0].result"},
        {R"([{"kind": "codec_membist_fails", "board": "X", "memory": 64, "errors": 4194304}])", "faults[0].errors"},
        {R"([{"kind": "codec_membist_fails", "board": "X", "chip": 2}])", "faults[0].memory"},
        {R"([{"kind": "codec_crc_wrong", "board": "X", "register": "video"}])", "faults[0].register"},
        {R"([{"kind": "codec_crc_wrong", "board": "X", "register": "expansion", "mask": 0}])", "faults[0].mask"},
        {R"([{"kind": "codec_context_ram_stuck_bit", "board": "X", "entry": 16}])", "faults[0].entry"},
        {R"([{"kind": "codec_context_ram_stuck_bit", "board": "X", "word": 2}])", "faults[0].word"},
        {R"([{"kind": "codec_wrong_device_id", "board": "X"}])", "faults[0].id"},
        {R"([{"kind": "codec_wrong_device_id", "board": "X", "id": 4096}])", "faults[0].id"},
        {R"([{"kind": "codec_flush_stuck", "board": "X", "memory": 64}])", "faults[0]"},
        {R"([{"kind": "codec_output_stuck_bit", "board": "X", "port": "expansion", "bit": 31, "value": 0}])", ""},
        {R"([{"kind": "codec_output_stuck_bit", "board": "X", "port": "audio"}])", "faults[0].port"},
        {R"([{"kind": "codec_output_stuck_bit", "board": "X", "bit": 32}])", "faults[0].bit"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.faults);
        const std::string text = std::string(R"({"boards": [{"tag": "X", "kind": "nuxa"}], "faults": )") + row.faults + "}";
        sim::RigConfig config;
        std::string error;
        const bool ok = sim::ParseRig(text, "rig.json", config, error);
        EXPECT_EQ(ok, row.error[0] == '\0') << error;
        if (!ok) {
            EXPECT_NE(error.find(row.error), std::string::npos) << error;
        }
    }
}

}  // namespace
