// Firmware and flash: configuration bit streams (the CRC against published values and an independent CRC, what a loading
// FPGA accepts), the OXD fixtures under testdata/oxd, the flash PROM model (command set, timing, faults, image file) and its
// contents (image records, healthy images, the boot choice).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/file_identity.h"
#include "sim/bitstream.h"
#include "sim/firmware_images.h"
#include "sim/flash_contents.h"
#include "sim/flash_prom.h"
#include "sim/vpd.h"
#include "tests/support/save_checks.h"
#include "tests/support/temp_dir.h"

namespace {

using sim::Bitstream;
using State = sim::BitstreamChecker::State;
using sim::FlashFaults;
using sim::FlashProm;
using sim::ImageIdRecord;
using Words = std::vector<uint16_t>;
using support::Entries;

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

TEST(Bitstream, Crc32AndACheckerThatAcceptsOnlyWholeStreamsForItsDevice) {
    const std::string check = "123456789";
    EXPECT_EQ(sim::Crc32Ieee(check.data(), check.size()), 0xCBF43926u);
    EXPECT_EQ(sim::Crc32Ieee(check.data() + 4, 5, sim::Crc32Ieee(check.data(), 4)), 0xCBF43926u);
    const std::vector<uint8_t> s = Bitstream::Build(0x06, 0x004020A0, 300);
    ASSERT_EQ(s.size(), 328u);
    const uint32_t crc = s[324] | s[325] << 8 | s[326] << 16 | static_cast<uint32_t>(s[327]) << 24;
    EXPECT_EQ(crc, ReferenceCrc(std::vector<uint8_t>(s.begin(), s.end() - 4))) << "the closing CRC covers the rest";
    EXPECT_EQ(s[4] | s[5] << 8, 0x9955) << "starts with the flash segment header words";
    sim::BitstreamChecker c(2);
    for (uint8_t b : s) c.Push(b);
    for (int i = 0; i < Bitstream::kStartupClocks; ++i) c.Push(0);
    EXPECT_EQ(c.ClocksAfterEnd(), static_cast<uint64_t>(Bitstream::kStartupClocks)) << "start-up clocks after the whole stream";
    std::vector<uint8_t> body = s, preamble = s, oversized = Bitstream::Build(0x01, 1, 8);
    body[100] ^= 0x40;
    preamble[5] = 0;
    oversized[22] = 0x40;  // claims 4 MiB
    const struct { const char* name; int device; std::vector<uint8_t> bytes; State state; long at; } rows[] = {
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
            EXPECT_TRUE(!ok || c.IdWord() == image.idWord) << "identification word, device " << device;
        }
    }
}

// A block erase (after a status clear) polled every 20 ms as the flash access code does; answers the final status.
uint8_t Erase(FlashProm& f, uint32_t block) {
    for (uint16_t c : {0x50, 0x20, 0xD0}) f.Write(block << 16, c);
    for (int i = 0; i < 100 && !(f.Status() & 0x80); ++i) Sleep(20);
    return f.Status();
}

// A buffered program (after a status clear) of the words at a, polled to the end; answers the final status.
uint8_t Program(FlashProm& f, uint32_t a, const Words& w) {
    for (uint16_t c : {0x50, 0xE8E8, 0x0F00 | static_cast<int>(w.size() - 1)}) f.Write(a, c);
    for (size_t i = 0; i < w.size(); ++i) f.Write(a + static_cast<uint32_t>(i), w[i]);
    f.Write(a, 0xD0);
    for (int i = 0; i < 100 && !(f.Status() & 0x80); ++i) Sleep(1);
    return f.Status();
}

TEST(FlashProm, CommandsAnswerTheWordPairEraseTakesItsTimeProgramAndsAndBrokenSequencesSetBothErrorBits) {
    FlashProm f(FlashFaults{}, 1);
    const uint16_t w[2] = {0x1111, 0x2222};
    f.WriteWords(0x100, w, 2);
    EXPECT_EQ(f.ReadPair(0x101), 0x22221111u);  // the identifier codes are read through the flash library's tests
    f.Write(0, 0x98);
    EXPECT_EQ(f.ReadPair(0x10), 0x00520051u) << "\"QR\"";
    f.Write(0, 0x70);
    EXPECT_EQ(f.ReadPair(0x100), 0x00800080u);
    f.Write(0x3F1000, 0x5678);
    EXPECT_EQ(f.ReadPair(0x100), 0x22221111u) << "an unknown command byte returns to read array";
    FlashFaults never;
    never.neverReady = true;
    EXPECT_TRUE(FlashProm(never, 1).Ready()) << "never ready: idle until something starts";
    const Words block(16, 0x1234);
    f.WriteWords(0x20000, block.data(), 16);
    const int64_t t0 = platform::NowTicks();
    for (uint16_t c : {0x20, 0xD0, 0xFF}) f.Write(0x10000, c);  // the last ignored while busy
    EXPECT_EQ(f.ReadPair(0x10000), 0u) << "busy: status without bit 7 in both halves";
    platform::AdvanceTicks(FlashProm::kEraseMicros * 10 - 1 - (platform::NowTicks() - t0));
    EXPECT_FALSE(f.Ready());
    platform::AdvanceTicks(1);
    EXPECT_EQ(f.Status(), 0x80);
    EXPECT_EQ(f.Word(0x20000), 0x1234) << "only the addressed block";
    EXPECT_EQ(Program(f, 0x3FFFF0, Words(16, 0xF0F0)) + Program(f, 0x3FFFF0, Words(16, 0x0FFF)), 0x100);
    EXPECT_EQ(f.Word(0x3FFFFF), 0x00F0) << "programming only clears bits";
    EXPECT_EQ(Program(f, 0x500, {0x1234, 0x5678}), 0x80);
    EXPECT_EQ(f.Word(0x501) * 0x10000u + f.Word(0x502), 0x5678FFFFu) << "fewer words than the buffer holds";
    const std::pair<const char*, std::vector<std::pair<uint32_t, uint16_t>>> broken[] = {
        {"erase without confirm", {{0x30000, 0x20}, {0x30000, 0xFF}}},
        {"buffer word outside the buffer", {{0x100, 0xE8}, {0x100, 0x01}, {0x110, 0x1234}}},
        {"count above 16 words", {{0x100, 0xE8}, {0x100, 0x10}}}};
    for (const auto& [name, writes] : broken) {
        for (const auto& [a, v] : writes) f.Write(a, v);
        EXPECT_EQ(f.ReadPair(0), 0x00B000B0u) << name << ": read-status mode";
        f.Write(0, 0x50);
        EXPECT_EQ(f.ReadPair(0) & 0xFFFF, 0xFFFFu) << name << ": clear status returns to read array";
    }
    EXPECT_EQ(f.Word(0x110), 0xFFFF);
}

// The image file is made whole from the chip's contents, with nothing left beside it, and keeps
// every change from then on; a file that is there has its blocks reserved before it is mapped (a
// blank flash made by truncate holds none), so a full disk is met there and not by a store.
TEST(FlashProm, ImageFileIsMadeWholeReservedAndKeepsTheContentsAcrossPowerCycles) {
    using Use = FlashProm::ImageUse;
    support::TempDir dir;
    std::string error;
    {
        FlashProm f(FlashFaults{}, 1);
        const uint16_t w = 0x0ACE;
        f.WriteWords(0x123456, &w, 1);
        ASSERT_EQ(f.UseImageFile(dir / "board.flash", "", &error), Use::Created) << error;
        EXPECT_EQ(support::ReadText(dir / "board.flash").substr(0x123456 * 2, 4), std::string("\xCE\x0A\xFF\xFF", 4))
            << "a new file holds the chip's contents";
        EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"board.flash"});
        EXPECT_EQ(Program(f, 0x200000, Words(16, 0x5A5A)) + Erase(f, 0x12), 0x100);
    }
    FlashProm f(FlashFaults{}, 1);
    ASSERT_EQ(f.UseImageFile(dir / "board.flash", "", &error), Use::Kept) << error;
    EXPECT_EQ(f.Word(0x200000) * 0x10000u + f.Word(0x123456), 0x5A5AFFFFu);

    const std::string blank = dir.Write("blank.flash", "");
    std::filesystem::resize_file(blank, FlashProm::kWords * 2);
    ASSERT_EQ(f.UseImageFile(blank, "", &error), Use::Kept) << error;
    struct stat st{};
    ASSERT_EQ(::stat(blank.c_str(), &st), 0);
    EXPECT_GE(st.st_blocks * 512, FlashProm::kWords * 2) << "every block of the file is the file's own";
    EXPECT_EQ(f.Word(0x200000), 0);

    EXPECT_EQ(f.UseImageFile(dir.Write("small.flash", "not a flash"), "", &error), Use::Refused);
    EXPECT_NE(error.find("not a flash image of 8388608 bytes"), std::string::npos) << error;
    // Made as a save is made: over a file the run protects under another role, no file at all.
    platform::ProtectFile(dir / "log.flash", "the host's log");
    EXPECT_EQ(f.UseImageFile(dir / "log.flash", "the rig's flash image of B", &error), Use::Refused);
    platform::ClearProtectedFiles();
    EXPECT_NE(error.find("log.flash\": cannot be created: The file could not be accessed. " + dir / "log.flash" + " is the host's log"), std::string::npos)
        << error;
    EXPECT_FALSE(std::filesystem::exists(dir / "log.flash"));
    EXPECT_EQ(f.Word(0x200000), 0) << "a refused file leaves the chip as it was";
}

constexpr sim::FlashSegment kSmall{"TEST", 0x300000, 0x100};  // 512 bytes

// Byte i of segment s (words stored little-endian).
uint8_t Byte(const FlashProm& f, const sim::FlashSegment& s, size_t i) {
    return static_cast<uint8_t>(f.Word(s.start + static_cast<uint32_t>(i / 2)) >> (8 * (i & 1)));
}

TEST(ImageIdRecord, StoredLayoutLittleRoomOlderFormAndErasedSegments) {
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
    // Little room, and erased segments.
    r.revision = 0x1234;
    r.texts = {std::string(40, 'x')};
    FlashProm e(sim::FlashFaults{}, 1);
    EXPECT_FALSE(sim::WriteImageIdRecord(e, kSmall, 0x100 - 15, r)) << "less than 32 free bytes";
    EXPECT_FALSE(sim::ReadImageIdRecord(e, kSmall, nullptr)) << "erased";
    ASSERT_TRUE(sim::WriteImageIdRecord(e, kSmall, 0x100 - 16, r)) << "32 free bytes: the header only";
    EXPECT_EQ(e.Word(kSmall.start + 0xFB) * 0x10000u + e.Word(kSmall.start + 0xFC), 0x00001234u);
    EXPECT_FALSE(sim::ReadImageIdRecord(e, kSmall, nullptr)) << "a header without text reads as no record";
    // The older form: length 4 and the text's absolute word address 0x3000F0 (byte 0x1E0 of the segment).
    FlashProm old(sim::FlashFaults{}, 1);
    const std::string text("old\0\0\0", 6);
    old.WriteBytes(0x3000F0, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    const uint16_t oldHeader[4] = {0x0BAD, 4, 0x00F0, 0x0030};
    old.WriteWords(kSmall.start + 0xFC, oldHeader, 4);
    ASSERT_TRUE(sim::ReadImageIdRecord(old, kSmall, &r));
    EXPECT_EQ(r.textOffset, 0x1E0u);
    EXPECT_EQ(r.texts, std::vector<std::string>{"old"});
}

TEST(HealthyFlash, SegmentsHoldTheFixtureImagesAndTheBootPassesADamagedHeaderOver) {
    sim::BoardConfig cfg = sim::DefaultBoard(sim::BoardKind::Nuxa, "N");
    FlashProm f(sim::FlashFaults{}, 1);
    sim::InstallHealthyContents(f, cfg);
    const std::string file = Fixture(*sim::FindFirmwareImage("KEZO"));
    const size_t L = size_t{static_cast<uint8_t>(file[10])} << 8 | static_cast<uint8_t>(file[11]);
    for (size_t i = L; i < file.size(); ++i) ASSERT_EQ(Byte(f, sim::kPcixSegment, i - L), static_cast<uint8_t>(file[i])) << i;
    ImageIdRecord r;
    ASSERT_TRUE(sim::ReadImageIdRecord(f, sim::kPciSegment, &r));
    EXPECT_EQ(r.revision, cfg.revision << 4) << "the running revision and a build digit";
    EXPECT_EQ(f.Word(sim::kExpArea) * 0x10000u + f.Word(sim::kVpdArea), 0xAA550000u + (sim::BuildVpdImage(cfg)[0] | sim::BuildVpdImage(cfg)[1] << 8));
    EXPECT_EQ(sim::ChooseBootImage(f), sim::BootImage::Pcix);
    const uint16_t zero = 0;
    f.WriteWords(sim::kPcixSegment.start + 5, &zero, 1);
    EXPECT_EQ(sim::ChooseBootImage(f), sim::BootImage::Pci) << "one damaged header word passes a segment over";
}

}  // namespace
