// Tests of the board-link transfers ("Over the top", "Loopback"): arguments and refusals, the worked values, the link faults they catch, and the link download over the cabled rig.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "framework/hw/oxd.h"
#include "framework/result_screen.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"
#include "tests/support/stop_flag.h"
#include "videopath/vantrel.h"

namespace {

using namespace support;

const std::string kImage = (std::filesystem::path(__FILE__).parent_path() / "../../testdata/oxd/FESK0202.oxd").string();
const std::string kOtt = "\"Over the top\" ", kLoop = "\"Loopback\" ", kPage = "Seed=0x0 Incr=0x1 Size=0x20000 BitsPerPixel=8 Format=4:2:2";

// A pair of 64 MiB boards; codec and expansion give what is on those ports of the main board ("" open).
std::string PairRig(const std::string& codec = "Nuxa1", const std::string& expansion = "Nuxa1", const std::string& faults = "[]") {
    const std::string ports = (codec.empty() ? "" : R"("codec_port": ")" + codec + "\"") + (codec.empty() || expansion.empty() ? "" : ", ") +
                              (expansion.empty() ? "" : R"("expansion_port": ")" + expansion + "\"");
    return R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "sdram_mib": 64, "attached": {)" + ports +
           R"(}}, {"tag": "Nuxa1", "kind": "nuxa", "sdram_mib": 64}], "faults": )" + faults + "}";
}
std::string PlugRig(const std::string& faults = "[]") { return MainBoardRig(faults, R"(, "attached": {"codec_port": "loopback"})"); }

DWORD Bar0(const char* board, DWORD offset) { return RigBoard(board)->GetRegisters()[offset / 4]; }
// Word w of DCB 1 of a channel: what the test loaded.
DWORD Dcb1(const char* board, int channel, int w) { return Bar0(board, 0x60000 + 0x200 * channel + 0x20 + 4 * w); }

// A link test under a root, bound to a board; with program set its port's FPGA is loaded on both
// boards of the pair first, as a station does before it tests.
template <class Test = Recording<CVantrel>>
struct LinkOf {
    LinkOf(DWORD id, const char* board, bool program = true) : vantrel(id, id == 3 ? "CVantrelCodec" : "CVantrelExpansion") {
        vantrel.SetParent(&root);
        EXPECT_EQ(vantrel.SetupDevice(board), kRunPassed);
        if (COxd image(kImage.c_str(), 1); program) vantrel.Program(nullptr, image);
    }
    DWORD Run(const std::string& command) { vantrel.out = {}; return vantrel.Run(command.c_str()); }
    RecordingTreeTest root{"CBrimolaBoard"};
    Test vantrel;
};
using Link = LinkOf<>;

class VantrelTransfer : public RigTest {};

TEST_F(VantrelTransfer, RefusesBadArgumentsBeforeTouchingTheBoards) {
    const std::string ott = "CVantrel::OverTheTop:  ", loop = "CVantrel::Loopback:  ", sizeRule = " must be a multiple of 0x20000 (at least 0x20000)\n";
    struct Row { const char* name; std::string command, text; COLORREF colour = 0x0000C0; };
    const Row rows[] = {
        {"keyword without quotes", "Loopback " + kPage, ""},
        {"keyword in another case", "\"over the top\" " + kPage, ""},
        {"no Seed", kOtt + "Incr=0x1 Size=0x20000 BitsPerPixel=8 Format=4:2:2", ott + "No valid Seed parameter\n"},
        {"no Incr", kOtt + "Seed=0x1 Size=0x20000 BitsPerPixel=8 Format=4:2:2", ott + "No valid Incr parameter\n"},
        {"no Size", kLoop + "Seed=0x1 Incr=0x1 BitsPerPixel=8 Format=4:2:2", loop + "No valid Size parameter\n"},
        {"no BitsPerPixel", kLoop + "Seed=0x1 Incr=0x1 Size=0x20000 Format=4:2:2", loop + "No valid BitsPerPixel parameter\n"},
        {"no Format", kOtt + "Seed=0x1 Incr=0x1 Size=0x20000 BitsPerPixel=16", ott + "No valid Format parameter\n"},
        {"BitsPerPixel 12", kLoop + "Seed=0x1 Incr=0x1 Size=0x20000 BitsPerPixel=12 Format=4:2:2", loop + "BitsPerPixel must be either 8 or 16.\n"},
        {"SrcAddress without 0x", kLoop + "SrcAddress=100 " + kPage, loop + "No valid SrcAddress parameter\n"},
        {"DstAddress unreadable", kLoop + "DstAddress=zz " + kPage, loop + "No valid DstAddress parameter\n"},
        {"Size 0", kOtt + "Seed=0x0 Incr=0x1 Size=0x0 BitsPerPixel=8 Format=4:2:2", ott + "Size[0x00000000]" + sizeRule},
        {"Size below a page", kLoop + "Seed=0x0 Incr=0x1 Size=0x10000 BitsPerPixel=8 Format=4:2:2", loop + "Size[0x00010000]" + sizeRule},
        {"Size not whole pages", kLoop + "Seed=0x0 Incr=0x1 Size=0x30000 BitsPerPixel=8 Format=4:2:2", loop + "Size[0x00030000]" + sizeRule},
        {"Sequence with Incr 0", kOtt + "Seed=0x0 Incr=0x0 Size=0x20000 BitsPerPixel=8 Format=4:2:2 Mode=Sequence", ott + "Mode=Sequence needs an Incr other than 0\n"},
        // The default main board has 512 MiB, the codec board 256 MiB.
        {"source past its SDRAM", kLoop + "SrcAddress=0x1FFE0000 Seed=0x0 Incr=0x1 Size=0x40000 BitsPerPixel=8 Format=4:2:2",
         loop + "Address[0x1FFE0000] + Size[0x00040000] runs past the SDRAM of the SRC board\n"},
        {"destination past its SDRAM", kLoop + "DstAddress=0x1FFF0000 " + kPage, loop + "Address[0x1FFF0000] + Size[0x00020000] runs past the SDRAM of the DST board\n"},
        {"codec board too small", kOtt + "Src=Brimola Seed=0x0 Incr=0x1 Size=0x10020000 BitsPerPixel=8 Format=4:2:2",
         ott + "Address[0x00000000] + Size[0x10020000] runs past the SDRAM of the DST board\n"},
        // From 0x70040000 bytes the first line of the one transfer DCB would not fit its field.
        {"first line past 16 bits", kLoop + "Seed=0x0 Incr=0x1 Size=0x7FFC0000 BitsPerPixel=8 Format=4:2:2",
         loop + "Size[0x7FFC0000] does not fit the line fields of one transfer DCB\n"},
        {"the smallest such size", kOtt + "Seed=0x0 Incr=0x1 Size=0x70040000 BitsPerPixel=8 Format=4:2:2",
         ott + "Size[0x70040000] does not fit the line fields of one transfer DCB\n"},
        // Numbers past 32 bits are refused as typed, never cut to a size, seed or address that would run.
        {"Size past 32 bits", kOtt + "Seed=0x0 Incr=0x1 Size=0x100020000 BitsPerPixel=8 Format=4:2:2",
         ott + "Argument Size=0X100020000 does not fit its range 0..4294967295\n", kColorRed},
        {"SrcAddress past 32 bits", kLoop + "SrcAddress=0x100000000 " + kPage, loop + "No valid SrcAddress parameter\n"},
    };
    for (const Row& row : rows) {
        Link link(3, "Brimola1", false);
        EXPECT_EQ(link.Run(row.command), kRunFailed) << row.name;
        EXPECT_EQ(link.vantrel.out.text, row.text) << row.name;
        EXPECT_TRUE(row.text.empty() || link.vantrel.out.HasColoured(row.text, row.colour)) << row.name;
    }
    // A wrong Format is named, and the run goes on with 4:2:2 up to the unloaded FPGA.
    Link unloaded(3, "Brimola1", false);
    RigBoard("Brimola1")->GetControllerRegisters()[0x18 / 4] |= 0x100;
    EXPECT_EQ(unloaded.Run(kOtt + "Seed=0x0 Incr=0x1 Size=0x20000 BitsPerPixel=8 Format=4:4:4"), kRunFailed);
    EXPECT_EQ(unloaded.vantrel.out.text, "CVantrel::OverTheTop:  Format parameter is not correct\n"
                                         "CVantrel::OverTheTop:  Vantrel on SRC device not loaded\r\n");
    // The loop bit found set is back after the run; the clock enables it switched on stay.
    EXPECT_EQ(Bar0("Brimola1", 0x4018) & 0x108, 0x108u);
}

TEST_F(VantrelTransfer, WorkedValuesOverTheTopAndLoopback) {
    struct Row { const char* name; DWORD id; const char* board; std::string rig, command; std::vector<std::string> parts; size_t passes; const char* source; DWORD opBits; };
    const std::string fill = "Filling host memory buffer Seed[0x00000000] Incr[";
    const Row rows[] = {
        {"Seed=5 reads 0, one page", 3, "Brimola1", "", kOtt + "Seed=5 Incr=0x1 Size=0x20000 BitsPerPixel=8 Format=4:2:2", {fill + "0x00000001]", "DMA WexalAddr[0x00020000]  Size[131072] and compare board data to host\n"}, 1, "Nuxa1", 0},
        {"sequence of three increments", 4, "Nuxa1", "", kOtt + "Seed=0x0 Incr=0x40000000 Size=0x20000 BitsPerPixel=8 Format=4:2:2 Mode=Sequence", {fill + "0x40000000]", fill + "0x80000000]", fill + "0xC0000000]"}, 3, "Nuxa1", 0},
        {"Incr 0: one constant pass", 3, "Nuxa1", "", kOtt + "Seed=0x0 Incr=0x0 Size=0x40000 BitsPerPixel=8 Format=4:2:2", {fill + "0x00000000]"}, 1, "Nuxa1", 0},
        {"Format 4:4:4 runs as 4:2:2", 3, "Brimola1", "", kOtt + "Seed=0x0 Incr=0x1 Size=0x20000 BitsPerPixel=8 Format=4:4:4", {"CVantrel::OverTheTop:  Format parameter is not correct\n"}, 1, "Nuxa1", 0},
        {"4:4:4:4, 16 bits", 3, "Brimola1", "", kOtt + "Seed=0x12345 Incr=0x10001 Size=0x20000 BitsPerPixel=16 Format=4:4:4:4", {}, 1, "Nuxa1", 0x6000},
        {"Src=brimola from the codec board", 4, "Nuxa1", "", kOtt + "Src=brimola " + kPage, {}, 1, "Brimola1", 0},
        {"Loopback through a plug", 3, "Brimola1", PlugRig(), kLoop + "SrcAddress=0x100000 DstAddress=0x300000 " + kPage, {"DMA WexalAddr[0x00120000]"}, 1, "Brimola1", 0},
        {"Loopback inside the FPGA", 4, "Brimola1", MainBoardRig(), kLoop + "DstAddress=0x40000 " + kPage, {}, 1, "Brimola1", 0},
        {"Loopback on the cabled pair", 3, "Nuxa1", "", kLoop + "DstAddress=0x40000 " + kPage, {}, 1, "Nuxa1", 0},
    };
    for (const Row& row : rows) {
        std::unique_ptr<ScopedRig> rig = row.rig.empty() ? nullptr : std::make_unique<ScopedRig>(row.rig);
        Link link(row.id, row.board);
        EXPECT_EQ(link.Run(row.command), kRunPassed) << row.name << "\n" << link.vantrel.out.text;
        EXPECT_TRUE(HasAll(link.vantrel.out.text, row.parts)) << row.name;
        EXPECT_EQ(Count(link.vantrel.out.text, "DMA_Read compare passed\n"), row.passes) << row.name;
        EXPECT_EQ(Count(link.vantrel.out.text, "Filling host memory buffer"), row.passes) << row.name;
        const int channel = row.id == 3 ? 37 : 36;
        // One page: Lines 3, LineLength 8192, Initial 8192 (with Size=0x40000: Lines 7); the tag and the element flags.
        const std::vector<DWORD> dcb = {Dcb1(row.source, channel, 0) & 0x6000, Dcb1(row.source, channel, 1) >> 16, Dcb1(row.source, channel, 3), Dcb1(row.source, channel, 4)};
        EXPECT_EQ(dcb, (std::vector<DWORD>{row.opBits, 0xA5A, (row.command.find("Size=0x40000") != std::string::npos ? 7u : 3u) << 16 | 8192, 8192})) << row.name;
        EXPECT_EQ(Bar0(row.board, 0x4018) & 0x100, 0u) << row.name;
    }
    // The count runs on across pages: the second page of the destination starts at Seed + 0x8000 Incr
    // (the last eight words of the first page and the first eight of the second, word i Seed + i Incr).
    Link link(3, "Brimola1");
    ASSERT_EQ(link.Run(kOtt + "Seed=0x7 Incr=0x3 Size=0x40000 BitsPerPixel=8 Format=4:2:2"), kRunPassed) << link.vantrel.out.text;
    DWORD words[16] = {};
    ASSERT_EQ(RigBoard("Nuxa1")->GetSDRAMSpace()->Get(words, 0x1FFE0, 64), 64);
    std::vector<DWORD> expected;
    for (DWORD i = 0x7FF8; i < 0x8008; ++i) expected.push_back(7 + 3 * i);
    EXPECT_EQ(std::vector<DWORD>(words, words + 16), expected);
}

TEST_F(VantrelTransfer, LinkFaultsFailWithTheirMessages) {
    const std::string hint = "CVantrel::OverTheTop:  Please check the over the top (board to board) cables\n", bits16 = kOtt + "Seed=0x0 Incr=0x1 Size=0x20000 BitsPerPixel=16 Format=4:2:2";
    auto corrupt = [](const char* board, const char* mask) { return std::string(R"([{"kind": "video_path_corrupt", "port": "EXPA", "stage": "link", "board": ")") + board + R"(", "mask": ")" + mask + "\"}]"; };
    auto fault = [](const char* kind, const char* board, const char* field, int value) { return std::string(R"([{"kind": ")") + kind + R"(", "board": ")" + board + R"(", ")" + field + R"(": )" + std::to_string(value) + "}]"; };
    struct Row { const char* name; std::string rig; DWORD id; std::string command; DWORD result; std::vector<std::string> parts; };
    const Row rows[] = {
        {"corrupt link", PairRig("Nuxa1", "Nuxa1", corrupt("Nuxa1", "0x8")), 3, kOtt + kPage, 2, {"Offset[0x00000000]:  Read[0x00000008]  Src[0x00000000]  XOR[0x00000008]\n", "CVantrel::OverTheTop:  DMA_Read compare failed\n", "Compare using slave mode reads\n",
         "WexalAddress[0x00000000] Write[0x00000000]  Read[0x00000008] XOR[0x00000008]\n", "CVantrel::OverTheTop:  Slave mode compare failed\n", hint}},
        // 16-bit elements: the low three bits of each half are not compared, the rest of both halves is.
        {"16 bits, low bits", PairRig("Nuxa1", "Nuxa1", corrupt("Nuxa1", "0x00070007")), 3, bits16, 1, {"DMA_Read compare passed\n"}},
        {"16 bits, upper half", PairRig("Nuxa1", "Nuxa1", corrupt("Nuxa1", "0x00080000")), 3, bits16, 2, {"XOR[0x00080000]", "DMA_Read compare failed\n", hint}},
        {"source FPGA not loaded", PairRig("Nuxa1", "Nuxa1", fault("fpga_done_stays_low", "Nuxa1", "device", 3)), 3, kOtt + kPage, 2, {"CVantrel::OverTheTop:  Vantrel on SRC device not loaded\r\n"}},
        {"destination FPGA not loaded", PairRig("Nuxa1", "Nuxa1", fault("fpga_done_stays_low", "Brimola1", "device", 4)), 4, kOtt + kPage, 2, {"CVantrel::OverTheTop:  Vantrel on DST device not loaded\r\n"}},
        {"source channel stalls", PairRig("Nuxa1", "Nuxa1", fault("dma_stall", "Nuxa1", "channel", 37)), 3, kOtt + kPage, 2, {"CVantrel::OverTheTop:  Timeout waiting for this board to DMA to Dst\n", hint}},
        {"destination channel stalls", PairRig("Nuxa1", "Nuxa1", fault("dma_stall", "Brimola1", "channel", 59)), 3, kOtt + kPage, 2, {"CVantrel::OverTheTop:  Timeout waiting for data to arrive from SRC\n", hint}},
        {"destination tag wrong", PairRig("Nuxa1", "Nuxa1", fault("dma_wrong_tag", "Brimola1", "channel", 59)), 3, kOtt + kPage, 2, {"CVantrel::OverTheTop:  Timeout waiting for data to arrive from SRC\n", hint}},
        {"no cable", PairRig("", ""), 3, kOtt + kPage, 2, {"~*RED*~~*BACK_WHITE*~CVantrel::OverTheTop:  \nError: Timed out (250msec) waiting for clock.\n", "cable is not in place on Expansion Port CVantrelCodec. \n"}},
        {"loopback, corrupt link", PlugRig(corrupt("Brimola1", "0x100")), 3, kLoop + "DstAddress=0x100000 " + kPage, 2, {"CVantrel::Loopback:  DMA_Read compare failed\n",
         "CVantrel::Loopback:  Slave mode compare failed\n", "CVantrel::Loopback:  Please check the over the top (board to board) cables\n"}},
        {"loopback, partner without cable", PairRig("loopback", ""), 4, kLoop + "DstAddress=0x100000 " + kPage, 2, {"CVantrel::Loopback:  \nError: Timed out (250msec) waiting for clock.\n", "Expansion Port CVantrelExpansion"}},
    };
    for (const Row& row : rows) {
        ScopedRig rig(row.rig);
        Link link(row.id, "Brimola1");
        EXPECT_EQ(link.Run(row.command), row.result) << row.name;
        EXPECT_TRUE(HasAll(link.vantrel.out.text, row.parts)) << row.name;
        // The cables hint follows failed passes only (the rows that list it).
        EXPECT_EQ(link.vantrel.out.Has("Please check"), row.parts.back().find("Please check") != std::string::npos) << row.name;
    }
}

// With a partner board present "Loopback" waits for its own port's clock: a plug on the other port
// does not stand in for the one missing here.
TEST_F(VantrelTransfer, LoopbackWaitsForItsOwnPortsClock) {
    const std::string command = kLoop + "DstAddress=0x100000 " + kPage;
    const struct { const char* codec; const char* expansion; DWORD id; DWORD result; } rows[] = {
        {"loopback", "", 3, kRunPassed},
        {"loopback", "", 4, kRunFailed},
        {"", "loopback", 4, kRunPassed},
        {"", "loopback", 3, kRunFailed},
    };
    for (const auto& row : rows) {
        ScopedRig rig(PairRig(row.codec, row.expansion));
        Link link(row.id, "Brimola1");
        const std::string name = std::string(row.codec) + "|" + row.expansion + " id " + std::to_string(row.id);
        EXPECT_EQ(link.Run(command), row.result) << name << "\n" << link.vantrel.out.text;
        const std::string missing = std::string("cable is not in place on Expansion Port ") +
                                    (row.id == 3 ? "CVantrelCodec" : "CVantrelExpansion") + ". \n";
        EXPECT_EQ(link.vantrel.out.Has(missing), row.result == kRunFailed) << name;
        EXPECT_EQ(link.vantrel.out.Has("DMA_Read compare passed\n"), row.result == kRunPassed) << name;
    }
}

// The host's stop flag ends a run before its next pass or page: result 3 at once, no cables hint.
// Mode=Sequence with Incr 1 would otherwise run a pass for every multiple that fits 32 bits.
TEST_F(VantrelTransfer, TheStopFlagEndsPassesAndPagesWithResultThree) {
    const std::string sequence = kOtt + "Seed=0x0 Incr=0x1 Size=0x20000 BitsPerPixel=8 Format=4:2:2 Mode=Sequence";
    const std::string pages = kLoop + "DstAddress=0x400000 Seed=0x0 Incr=0x1 Size=0x200000 BitsPerPixel=8 Format=4:2:2";
    struct Row { const char* name; std::string rig, command, marker; int nth; DWORD id; size_t passes; };
    const Row rows[] = {
        {"after two passes", "", sequence, "Filling host memory buffer", 3, 3, 2},
        {"before the first upload", "", sequence, "Filling host memory buffer", 1, 4, 0},
        {"before the first read-back page", PlugRig(), pages, "and compare board data to host", 1, 3, 0},
    };
    for (const Row& row : rows) {
        std::unique_ptr<ScopedRig> rig = row.rig.empty() ? nullptr : std::make_unique<ScopedRig>(row.rig);
        LinkOf<StopOnPrint<CVantrel>> link(row.id, "Brimola1");
        link.vantrel.StopAt(row.marker, row.nth);
        EXPECT_EQ(link.Run(row.command), kRunStopped) << row.name << "\n" << link.vantrel.out.text;
        const std::string& text = link.vantrel.out.text;
        EXPECT_EQ(Count(text, "DMA_Read compare passed\n"), row.passes) << row.name;
        EXPECT_EQ(link.vantrel.Seen(), row.nth) << row.name << ": nothing more was sent after the stop";
        EXPECT_TRUE(HasAll(text, {"Stopped by User\n"})) << row.name;
        EXPECT_FALSE(HasAll(text, {"Please check"}) || HasAll(text, {"compare failed"})) << row.name;
        EXPECT_EQ(Bar0("Brimola1", 0x4018) & 0x100, 0u) << row.name << ": the loop bit is put back";
    }
}

// The link download over the cabled rig: a partner's clock is seen only through a cable to a loaded, enabled port.
TEST_F(VantrelTransfer, ProgramChecksTheClockOnBothEndsOfTheCable) {
    const std::string dual = "***************************** Program using dual board *****************************\n";
    const std::string src = "CVantrel::Program:  Clock is not ticking on Src\n", dst = "CVantrel::Program:  Clock is not ticking on Dst\n";
    struct Row { const char* name; std::string rig; DWORD id; DWORD result; std::string text; };
    const Row rows[] = {
        {"dual, cabled", PairRig(), 4, 1, dual},
        {"dual, no cable", PairRig("", ""), 3, 2, dual + src + dst},
        {"dual, cable on the other port", PairRig("", "Nuxa1"), 3, 2, dual + src + dst},
        {"partner without cable, own plug", PairRig("Nuxa1", "loopback"), 4, 2, dual + dst},
    };
    for (const Row& row : rows) {
        ScopedRig rig(row.rig);
        Link link(row.id, "Brimola1", false);
        COxd image(kImage.c_str(), 1);
        EXPECT_EQ(link.vantrel.Program(nullptr, image), row.result) << row.name;
        EXPECT_EQ(link.vantrel.out.text, row.text) << row.name;
        // With a partner the own link sees its clock unless the check said otherwise; alone, without a plug, it has none.
        EXPECT_EQ((Bar0("Brimola1", 0x4010) & (row.id == 3 ? 0x2 : 0x4)) != 0, row.text.find(dual) == 0 && row.text.find(src) == std::string::npos) << row.name;
    }
}

}  // namespace
