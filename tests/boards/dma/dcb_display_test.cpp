// Tests of the DCB display: the roots' "Show DCB Info" and the stand-alone "DispDCB", on DCBs put in place through BAR0.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "boards/dma/test_dcb.h"
#include "framework/result_screen.h"
#include "tests/boards/root_fixture.h"

namespace {

using support::Count;
using support::HasAll;
using Words = std::array<DWORD, 8>;

constexpr COLORREF kBlue = 0xFF0000, kDarkRed = 0x0000C0;

// OP: Next 5, ForceBCU, Pack 5, IntEn, 16bit, InputFormat 1, BCU increment, sequence 3, BCU 496.
constexpr DWORD kOp = 5 | 1u << 6 | 5u << 8 | 1u << 11 | 1u << 13 | 1u << 14 | 1u << 16 | 3u << 17 | 496u << 23;
// Port: Context ID 7, bits 4-9 0b001101, Tag 0x123. Lines 16, initial 32; pad 4, line length 64.
constexpr Words kPci = {kOp, 0x012300D7, 0x00ABCDE0, 0x00100020, 0x00040040, 0, 0x89ABCDEF, 0x01234567};

class DCBDisplay : public RootKeywords {
protected:
    DCBDisplay() : bar0(support::RigBoard("Brimola1")->GetBAR0Space()->GetRegisterPointer(0, 0x100000)) {
        Words remap = kPci, alpha = kPci;
        remap[6] = 0xFEDCBA98, remap[7] = 0x76543210;
        // Five-bit gains 1-6 at bits 0, 5, 10, 16, 21 and 26 of word 5, 7-12 in word 6, then 13, 14, 15 and 31.
        alpha[5] = 0x18A40C41, alpha[6] = 0x316A2507, alpha[7] = 0x001F3DCD;
        for (int channel : {5, 9, 12, 13, 16, 24, 28}) Put(channel, 3, kPci);
        Put(22, 3, remap);
        Put(41, 3, alpha);
        // BCU 496: Write and Go, capacity 16, 8 lines a slice; 2 written, 3 read; sequence 5, 4 valid.
        Bcu(496, {1u << 31 | 1u << 29 | 16u << 16 | 8, 0, 3u << 16 | 2, 5u << 16 | 4});
    }
    void Put(int channel, int dcb, const Words& w) { (bar0 + (0x60000 + 512 * channel + 32 * dcb) / 4).WriteBlock(w.data(), 8); }
    void Bcu(int n, const std::array<DWORD, 4>& r) { (bar0 + (0x70000 + 16 * n) / 4).WriteBlock(r.data(), 4); }
    void Control(int channel, DWORD value) { bar0[(0x58000 + 4 * channel) / 4] = value; }
    RegisterPtr bar0;
};

TEST_F(DCBDisplay, ShowDCBInfoDumpsOneChannelOnBothRoots) {
    const std::string decodedPci =
        "    OP {\n      Next[5]  ForceBCU[1]  RepeatLine[0]  IntEn[1]  WaitDMA[0]  16bit[1]\n"
        "      Pack[WEXAL_DCBPACK_WWWX]  InputFormat[INPUT_FORMAT_4444]\n"
        "      BCU[ Increment[1]  Sequence[3]  Pointer[496] ]\n    }\n"
        "    Port {\n      Tag[0x123=291]\n      Next Context ID[7]\n      Secondary Control[13]\n    }\n"
        "    {\n      Start Addr[0x00ABCDE0]\n      Line Length[Initial[32], 64]\n      Lines[16] Pad[4]\n    }\n"
        "    PCIAddress[0x0123456789ABCDEF]\n"
        "  Buffer Control Unit (BCU) {\n      Stop[0]  Go[1]  Read[0]  Write[1]\n"
        "      BufferCapacity[16]  Lines/Slice[8]\n      LinesWrittenToNextSlice[2]  LinesReadFromNextSlice[3]\n"
        "      ValidSlicesInBuffer[4]  CurrentBufferSequence[5]\n  }\n\n  }\n";
    struct Row { const char* command; int blocks; std::vector<std::string> parts; };
    const Row rows[] = {
        {"Brimola1 <CBrimolaBoard Show DCB Info Channel=12 VERBOSE=0>", 16,
         {"Channel=12 VERBOSE=0[0x00061800]:\n", "[3] 0x00061860:  0xF8076D45  0x012300D7  0x00ABCDE0  0x00100020  \n",
          "[3] 0x00061870:  0x00040040  0x00000000  0x89ABCDEF  0x01234567  \n  BCU_Ptr[496]\n", decodedPci}},
        {"Brimola1 <CBrimolaBoard Show DCB Info   Channel=12 EXPAND=hex_only VERBOSE=0>", 0, {"[15] 0x000619F0:  "}},
        {"Brimola1 <CBrimolaBoard Show DCB Info Channel=22 VERBOSE=0>", 16, {"    Sample[8,9,10,11,12,13,14,15,0,1,2,3,4,5,6,7]\n"}},
        {"Brimola1 <CBrimolaBoard Show DCB Info Channel=41 VERBOSE=0>", 16, {"    Gain[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,31]\n"}},
        {"Brimola1 <CBrimolaBoard Show DCB Info Channel=64 VERBOSE=0>", -1, {}},
        {"Brimola1 <CBrimolaBoard Show DCB Info Channel=x VERBOSE=0>", -1, {}},
        // Numbers past an int or a long are no channel either, never one cut to fit.
        {"Brimola1 <CBrimolaBoard Show DCB Info Channel=4294967308 VERBOSE=0>", -1, {}},
        {"Brimola1 <CBrimolaBoard Show DCB Info Channel=18446744073709551628 VERBOSE=0>", -1, {}},
        {"Brimola1 <CBrimolaBoard Show DCB Info channel=3 VERBOSE=0>", -1, {}},
        {"Brimola1 <CBrimolaBoard Show DCB Info VERBOSE=0>", -1, {}},
        {"Nuxa1 <CNuxaBoard Show DCB Info Channel=0 VERBOSE=0>", 16, {"Channel=0 VERBOSE=0[0x00060000]:\n", "    }\n    {\n"}},
        {"Nuxa1 <CNuxaBoard Show DCB Info All DCB0 VERBOSE=0>", -1, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        std::string out;
        EXPECT_EQ(Run(row.command, &out), kRunPassed);
        EXPECT_EQ(out.empty(), row.blocks < 0);  // -1: nothing shown
        EXPECT_EQ(Count(out, "  BCU_Ptr["), row.blocks < 0 ? 0u : 16u);
        EXPECT_EQ(Count(out, "  0x"), row.blocks < 0 ? 0u : 128u);  // every word
        EXPECT_EQ(Count(out, "  DMA Context Block (DCB) {\n"), static_cast<size_t>(std::max(row.blocks, 0)));
        EXPECT_TRUE(HasAll(out, row.parts));
    }
}

TEST_F(DCBDisplay, OverviewColoursEachChannelByStateAndItsBCU) {
    // Running channels: writing channel 1 on BCU 496, whose Write adds a line for BCU 497; reading
    // channels 4 on BCU 496 (no Read: no second line), 12 on BCU 500 (Read: BCU 501 follows) and 16
    // on the last BCU, which has none after it.
    Put(1, 0, kPci);
    const std::pair<int, DWORD> reading[] = {{4, 496}, {12, 500}, {16, 511}};
    for (const auto& [channel, bcu] : reading) Put(channel, 0, Words{bcu << 23, 0, 0, 0x00100000});  // Lines 16
    Bcu(497, {8u << 16, 0, 0, 8});
    Bcu(500, {1u << 30, 0, 0, 0});
    Bcu(511, {1u << 31, 0, 0, 3});
    for (int channel : {1, 2, 4, 6, 12, 16}) Control(channel, 1);  // 2 is present (ACT), 6 is not (EN)
    Control(0, 0);
    std::string out;
    EXPECT_EQ(Run("Brimola1 <CBrimolaBoard Show DCB Info All DCB0 VERBOSE=0>", &out), kRunPassed);
    const std::string blanks(54, ' ');
    struct Row { std::string text; COLORREF colour; };
    const Row rows[] = {
        {"BVi0 00 0000 0000 0000 0000 00000000 0 0 0 0 00 000 OFF", kBlue},
        {"BVi1 01 0040 0004 0010 0020 00ABCDE0 7 1 1 5 05 123 RUN", kColorRed},
        {" 1F0 004 008 010 1010\n", kColorGreen},
        {blanks + "1F1 008 000 008 0000\n", kBlue},
        {"BVi2 02 0000 0000 0000 0000 00000000 0 0 0 0 00 000 ACT", kDarkRed},
        {"AUBi 06 0000 0000 0000 0000 00000000 0 0 0 0 00 000 EN ", kColorBlack},
        {"BVo  04 0000 0000 0010 0000 00000000 0 0 0 0 00 000 RUN", kColorRed},
        {" 1F4 000 000 000 0100\n", kColorBlack},
        {blanks + "1F5 000 000 000 0000\n", kColorBlack},
        {" 1FF 003 000 000 1000\n", kColorGreen},
    };
    for (const Row& row : rows) EXPECT_TRUE(brimola.out.HasColoured(row.text, row.colour)) << row.text;
    EXPECT_EQ(Count(out, blanks), 2u);  // BCUs 497 and 501 only
    EXPECT_EQ(Count(out, " OFF ") + Count(out, " RUN ") + Count(out, " ACT ") + Count(out, " EN  "), 48u);
    for (const char* absent : {"EDPo", "TSi ", "TSo ", "    07 "}) EXPECT_EQ(out.find(absent), std::string::npos) << absent;
}

TEST_F(DCBDisplay, DispDCBShowsTheNamedDCBInItsChannelsLayout) {
    const std::string nibbles = "            8   9   A   B   C   D   E   F   0   1   2   3   4   5   6   7\n";
    const std::string gains = "           01  02  03  04  05  06  07  08  09  0A  0B  0C  0D  0E  0F  1F\n";
    struct Row { const char* args; DWORD result; std::vector<std::string> parts; };
    const Row rows[] = {
        {"", kRunFailed, {"Device name (parameter 1) missing from command line.\n"}},
        {"Brimola1", kRunFailed, {"Error getting parameter 2\n"}},
        {"Brimola1 BARIn1", kRunFailed, {"Error getting parameter 3\n"}},
        {"Brimola1 BVideoIn0, 16", kRunFailed, {"Error in parameter 3 - index exceeds array bounds\n"}},
        {"Brimola1 BVideoIn0, -1", kRunFailed, {"Error in parameter 3 - index exceeds array bounds\n"}},
        {"Brimola1 BVideoIn0, 4294967299", kRunFailed, {"Error in parameter 3 - index exceeds array bounds\n"}},
        {"Brimola1 BVideoIn0, 18446744073709551619", kRunFailed, {"Error in parameter 3 - index exceeds array bounds\n"}},
        {"Brimola1 BVideoIn0, 3x", kRunFailed, {"Error getting parameter 3\n"}},
        {"Brimola1 bvideoin0, 1", kRunFailed, {"Error in parameter 2 - DCB struct name not found\n"}},
        {"Brimola1 BVideoOut, 3", kRunPassed,
         {"DCB offset: 0x061800\nWexalDCBOp: 0xF8076D45\n",
          "\tNext:  05, ForceBCU: 1, YRpt:  0, Pack: 0xfffffffd, Inten:    1, Wait:   0\n",
          "\tWSize:  1, IForm:    1, BCUInc: 1, BCUSeq: 0x3, BCUPtr: 496\nWexalDCBPort: 0x012300D7\n",
          "\tContext ID: 7, SConv: 1, CRound: 0, LRound: -1, Tag: 291\nSDRAM DMA Start address:       0x00ABCDE0\n",
          "Line length in DWORDs:         64 (0x0040)\nNumber of lines (<=16383):     16 (0x0010)\n",
          "Initial line length in DWORDs: 32 (0x0020)\nInterline SDRAM DWORD spacing: 4 (0x0004)\n",
          "PCI DMA address: 0x0123456789ABCDEF\n"}},
        {"Brimola1 MixerInA,3", kRunPassed, {"WexalDCBARemap (Audio): 0x76543210FEDCBA98\n Channels: 01  02  03", "16\n" + nibbles}},
        {"Brimola1 DSK2Out ,3", kRunPassed, {"WexalDCBAAlpha: (Gain) 0x18A40C41, 0x", "16\n" + gains}},
        {"Brimola1 EDRIn, 3", kRunPassed, {"\tContext ID: 7, Field: 1, Task: 0, Tag: 291\n"}},
        {"Brimola1 BAudioIn1, 3", kRunPassed, {"\tContext ID: 7, SConv: 1, Tag: 291\n"}},
        {"Brimola1 AUtilOut, 3", kRunPassed, {"\tContext ID: 7, CRound: 1, LRound: -2, Tag: 291\n"}},
        {"Brimola1 Ch28, 3", kRunPassed, {"\tContext ID: 7, Tag: 291\n"}},
        {"Brimola1 BARIn1, 3", kRunPassed, {"\tContextID: 7, SecCtrl: 0xD, Tag: 291\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        support::Recording<CTestDCB> test;
        EXPECT_EQ(test.Run(row.args), row.result);
        EXPECT_TRUE(HasAll(test.out.text, row.parts));
        EXPECT_TRUE(row.result == kRunPassed || test.out.HasColoured(row.parts[0], kColorRed));
        const std::string args = row.args;  // channels 12 and 16 here
        EXPECT_EQ(test.out.Has("PCI DMA address"), args.find("BVideoOut") != std::string::npos || args.find("BAudioIn1") != std::string::npos);
    }
}

}  // namespace
