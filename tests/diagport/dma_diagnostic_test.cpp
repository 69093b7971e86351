// Tests of the diagnostics port's DMA and memory diagnostics on both boards of the simulated rig, healthy and with faults.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devlib/devices.h"
#include "diagport/scr_port.h"
#include "tests/boards/root_fixture.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"

namespace {

using namespace support;

constexpr COLORREF kDarkRed = 0x0000C0, kGreen = 0x00A000, kBlack = 0;

std::string TwoBoards(const std::string& faults = "[]", const std::string& extra = "") {
    return R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "sdram_mib": 64}, {"tag": "Nuxa1", "kind": "nuxa"}])" +
           extra + R"(, "faults": )" + faults + "}";
}

// A port bound to one board of the rig, as its root binds it.
class DmaDiagnostics : public RigTest {
protected:
    void Bind(const char* tag) {
        port.SetParent(&parent);
        port.SetupDevice(tag);
        TakeText();
    }
    DWORD Run(const std::string& command) {
        port.out = {};
        const DWORD result = port.Run(command.c_str());
        port.out.text += TakeText();
        return result;
    }
    // The colours of the single-dot prints, in order.
    std::vector<COLORREF> Dots() const {
        std::vector<COLORREF> dots;
        for (const auto& [text, colour] : port.out.coloured)
            if (text == ".") dots.push_back(colour);
        return dots;
    }
    RecordingTreeTest parent{"CParent"};
    Recording<SCRport> port{nullptr, "SCRport"};
};

TEST_F(DmaDiagnostics, CacheTestComparesSixtyFourKilobytes) {
    const std::string dots32(32, '.');
    ScopedRig rig(TwoBoards(R"([{"kind": "sdram_stuck_bit", "board": "Nuxa1", "bit": 31, "value": 1, "from": 4000, "to": 4004}])"));
    struct Row {
        const char* name;
        const char* board;
        std::string command;
        DWORD result;
        std::string text;  // the whole output; empty: checked below
        std::vector<COLORREF> compareDots;
    };
    std::vector<COLORREF> oneBad(32, kDarkRed);
    oneBad[0] = oneBad[1] = kGreen;  // index 1000 lies between the dots of 512 and 1024
    const Row rows[] = {
        {"good main board", "Brimola1", "ZT-DMA_Cache", 1,
         "---------------------------------\nCACHE TEST 0x40 kBytes\nTesting Brimola...\nFilling SDRAM\n" + dots32 +
             "\nReading from Wexal SDRAM at location 0 onwards....\n" + dots32,
         std::vector<COLORREF>(32, kGreen)},
        {"word 1000 bad on the codec board", "Nuxa1", "ZT-DMA_Cache", 2,
         "---------------------------------\nCACHE TEST 0x40 kBytes\nTesting Nuxa...\nFilling SDRAM\n" + dots32 +
             "\nReading from Wexal SDRAM at location 0 onwards....\n" + dots32,
         oneBad},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Bind(row.board);
        EXPECT_EQ(Run(row.command), row.result);
        EXPECT_EQ(port.out.text, row.text);
        std::vector<COLORREF> dots = Dots();
        ASSERT_EQ(dots.size(), 64u);
        EXPECT_EQ(std::vector<COLORREF>(dots.begin(), dots.begin() + 32), std::vector<COLORREF>(32, kBlack));
        EXPECT_EQ(std::vector<COLORREF>(dots.begin() + 32, dots.end()), row.compareDots);
    }
    // Verbose 2: no dots in the compare, a dump line for every fourth word, and the bad word named.
    Bind("Nuxa1");
    EXPECT_EQ(Run("ZT-DMA_Cache VERBOSE=2"), kRunFailed);
    EXPECT_EQ(Count(port.out.text, "\n0x"), 4096u);
    EXPECT_EQ(Dots().size(), 32u);
    EXPECT_TRUE(HasAll(port.out.text, {"onwards....\n0x00000000: 0x00000000 0x00000001 0x00000002 0x00000003\n",
                                       "Expected: 0x3E8, Read: 0x800003E8\n",
                                       "0x00000FA0: 0x800003E8 0x000003E9 0x000003EA 0x000003EB\n"}));
    // The upper half counts as much: the top bit of the last word.
    ScopedRig top(TwoBoards(R"([{"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 31, "value": 1, "from": 65532, "to": 65536}])"));
    Bind("Brimola1");
    EXPECT_EQ(Run("ZT-DMA_Cache VERBOSE=2"), kRunFailed);
    EXPECT_TRUE(HasAll(port.out.text, {"Expected: 0x3FFF, Read: 0x80003FFF\n", "0x0000FFF0: 0x00003FFC 0x00003FFD 0x00003FFE 0x80003FFF\n"}));
    EXPECT_EQ(Count(port.out.text, "Expected: "), 1u);
}

TEST_F(DmaDiagnostics, CacheTestRefusesWhatItCannotRead) {
    // Without SDRAM the write and read fail: the cleared read array must not pass word 0.
    ScopedRig rig(TwoBoards(R"([{"kind": "missing_space", "board": "Brimola1", "space": "SDRAM"}])"));
    Bind("Brimola1");
    EXPECT_EQ(Run("ZT-DMA_Cache"), kRunFailed);
    const std::vector<COLORREF> dots = Dots();
    ASSERT_EQ(dots.size(), 64u);
    EXPECT_EQ(dots[32], kDarkRed);
    // No board at all: the red refusal, nothing else.
    Recording<SCRport> unbound{nullptr, "SCRport"};
    unbound.SetParent(&parent);
    EXPECT_EQ(unbound.Run("ZT-DMA_Cache"), kRunFailed);
    EXPECT_EQ(unbound.out.text, "BrimolaBAR0 and PNuxaBAR0 not setup");
}

TEST_F(DmaDiagnostics, PciMasterChannelArgument) {
    ScopedRig rig(TwoBoards());
    const std::string read = "ZT-DMA_PCI_Master_RD_Multiple_DCB ", write = "ZT-DMA_PCI_Master_WR_Multiple_DCB_2Page ";
    const std::string passed = "PCI Master SDRAM write test with 2 DCBs passed\n";
    struct Row {
        const char* board;
        std::string command;
        DWORD result;
        std::vector<std::string> parts;
        size_t dumpLines;
    };
    const Row rows[] = {
        {"Brimola1", read + "Channel=12", 1, {"Testing Brimola...\n", "Flush DMA Channel 12\n", "Starting DCB 0 Channel 12 - Outbound\n", passed}, 0},
        {"Brimola1", read + "Channel= 13", 1, {"Initialising DCB 2 Channel 13\n", passed}, 0},
        {"Nuxa1", read + "Channel=12", 1, {"Testing Nuxa...\n", passed}, 0},
        // The keys stay in the argument text: the number ends at the first non-digit.
        {"Brimola1", read + "Channel=12 VERBOSE=2", 1, {"0x00000000: 0x00000001 0x00000002 0x00000003 0x00000004\n", passed}, 128 + 64 + 64 + 64 + 64},
        {"Brimola1", read + "VERBOSE=2 Channel=12", 2, {"No valid DMA channel to test\n"}, 0},
        {"Brimola1", read + "channel=12", 2, {"No valid DMA channel to test\n"}, 0},
        {"Brimola1", read + "Channel=14", 2, {"Invalid Channel Number\n"}, 0},
        {"Brimola1", read + "Channel=abc", 2, {"Invalid Channel Number\n"}, 0},
        {"Brimola1", read + "Channel=", 2, {"Invalid Channel Number\n"}, 0},
        {"Brimola1", read + "Channel=16", 2, {"Invalid Channel Number\n"}, 0},
        // Numbers that would land on 12 or 13 if cut to a narrower width are refused as typed.
        {"Brimola1", read + "Channel=4294967308", 2, {"Invalid Channel Number\n"}, 0},
        {"Brimola1", read + "Channel=18446744073709551628", 2, {"Invalid Channel Number\n"}, 0},
        {"Brimola1", read + "Channel=268", 2, {"Invalid Channel Number\n"}, 0},
        {"Brimola1", read + "Channel=-12", 2, {"Invalid Channel Number\n"}, 0},
        {"Brimola1", read + "Channel=013", 1, {"Flush DMA Channel 13\n", passed}, 0},
        {"Brimola1", write + "Channel=12", 2, {"Invalid Channel Number\n"}, 0},
        {"Brimola1", write + "Channel=16", 1, {"Initialising DCB 0 Channel 16(new)\n", "Reading the data at C00 from SDRAM\n", passed}, 0},
        {"Nuxa1", write + "Channel=17", 1, {"Testing Nuxa...\n", passed}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        Bind(row.board);
        EXPECT_EQ(Run(row.command), row.result);
        EXPECT_TRUE(HasAll(port.out.text, row.parts));
        EXPECT_EQ(Count(port.out.text, "\n0x"), row.dumpLines);
        if (row.result == kRunFailed) {
            EXPECT_EQ(Count(port.out.text, "\n"), 1u);  // the refusal only
            EXPECT_TRUE(port.out.HasColoured(row.parts[0], kDarkRed));
        }
    }
}

TEST_F(DmaDiagnostics, PciMasterTransfersThroughPageTables) {
    // The host buffers receive SDRAM 0-0x7FF in the read test; SDRAM 0-0xFFF holds the count 1..1024
    // after the write test.
    ScopedRig rig(TwoBoards());
    Bind("Brimola1");
    ASSERT_EQ(Run("ZT-DMA_PCI_Master_WR_Multiple_DCB_2Page Channel=17"), kRunPassed);
    std::vector<DWORD> sdram(1024);
    ASSERT_TRUE(port.ReadMemory(0, sdram.data(), 4096));
    for (DWORD i = 0; i < 1024; ++i) ASSERT_EQ(sdram[i], i + 1) << i;
    EXPECT_EQ(Count(port.out.text, ".Readback passed\n"), 5u);
    EXPECT_TRUE(HasAll(port.out.text, {"=========================================\nPage table Address for DCB 1 = 0x",
                                       "Host Buffer 4 Address        = 0x"}));
    ASSERT_EQ(Run("ZT-DMA_PCI_Master_RD_Multiple_DCB Channel=13"), kRunPassed);
    EXPECT_EQ(Count(port.out.text, ".Readback passed\n"), 5u);
    EXPECT_EQ(Count(port.out.text, "-------------------------------------------\n"), 9u);  // eight rules and the heading's dashes
}

TEST_F(DmaDiagnostics, PciMasterFaultsFailTheVerdict) {
    const std::string failed = "PCI Master SDRAM write test with 2 DCBs failed\n";
    struct Row {
        const char* name;
        std::string faults, command;
        std::vector<std::string> parts;
        size_t passedLines;  // ".Readback passed" lines of the run
    };
    const Row rows[] = {
        {"stalled read channel", R"([{"kind": "dma_stall", "board": "Brimola1", "channel": 12}])",
         "ZT-DMA_PCI_Master_RD_Multiple_DCB Channel=12", {"SDRAM Addr: 0x0 Expected: 0x0, Read: 0x1\n", failed}, 3},
        {"stalled write channel", R"([{"kind": "dma_stall", "board": "Brimola1", "channel": 16}])",
         "ZT-DMA_PCI_Master_WR_Multiple_DCB_2Page Channel=16", {"Expected: 0x1, Read: 0x0\n", failed}, 1},
        {"corrupting read channel, second DCB", R"([{"kind": "dma_corrupt", "board": "Brimola1", "channel": 13, "mask": 256, "first": 3}])",
         "ZT-DMA_PCI_Master_RD_Multiple_DCB Channel=13", {"SDRAM Addr: 0xC Expected: 0x104, Read: 0x4\n", "SDRAM Addr: 0x40C Expected: 0x4, Read: 0x104\n", failed}, 3},
        {"corrupting write channel", R"([{"kind": "dma_corrupt", "board": "Brimola1", "channel": 17, "mask": 1}])",
         "ZT-DMA_PCI_Master_WR_Multiple_DCB_2Page Channel=17", {"Expected: 0x1, Read: 0x0\n", "Expected: 0x201, Read: 0x200\n", failed}, 3},
        // The last word of each DCB, in its high byte or top bit alone.
        {"corrupting read channel, each DCB's last word", R"([{"kind": "dma_corrupt", "board": "Brimola1", "channel": 12, "mask": 4278190080, "first": 255, "count": 1}])",
         "ZT-DMA_PCI_Master_RD_Multiple_DCB Channel=12",
         {"SDRAM Addr: 0x3FC Expected: 0xFF000100, Read: 0x100\n", "SDRAM Addr: 0x7FC Expected: 0xFF000200, Read: 0x200\n", failed}, 3},
        {"corrupting write channel, each DCB's last word", R"([{"kind": "dma_corrupt", "board": "Brimola1", "channel": 16, "mask": 2147483648, "first": 511, "count": 1}])",
         "ZT-DMA_PCI_Master_WR_Multiple_DCB_2Page Channel=16",
         {"Reading the data at 400 from SDRAM\nExpected: 0x200, Read: 0x80000200\n", "Reading the data at C00 from SDRAM\nExpected: 0x400, Read: 0x80000400\n", failed}, 3},
        // The zero pre-check of the write test cannot read SDRAM: counted, the transfer is not judged by it.
        {"write test without SDRAM", R"([{"kind": "missing_space", "board": "Brimola1", "space": "SDRAM"}])",
         "ZT-DMA_PCI_Master_WR_Multiple_DCB_2Page Channel=16", {failed}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedRig rig(TwoBoards(row.faults));
        Bind("Brimola1");
        EXPECT_EQ(Run(row.command), kRunFailed);
        EXPECT_TRUE(HasAll(port.out.text, row.parts));
        EXPECT_EQ(Count(port.out.text, ".Readback passed\n"), row.passedLines);
        EXPECT_TRUE(port.out.HasColoured(failed, kDarkRed));
    }
}

TEST_F(DmaDiagnostics, PciMasterReleasesHostMemoryOnAllocationFailure) {
    // One MiB of host memory with all but three pages taken: dma_mem2 is the first that fails.
    ScopedRig rig(TwoBoards("[]", R"(, "host_memory_mib": 1)"));
    CHostPCDevice* host = GetZorvHardware();
    ASSERT_TRUE(host);
    void* filler = nullptr;
    LARGE_INTEGER bus{};
    ASSERT_EQ(host->Malloc((256 - 3) * 4096, &filler, &bus).status, 1u);
    Bind("Brimola1");
    EXPECT_EQ(Run("ZT-DMA_PCI_Master_RD_Multiple_DCB Channel=12"), kRunFailed);
    EXPECT_TRUE(HasAll(port.out.text, {"ERROR:  Unable to allocate dma_mem2.  DrvReturn[0x00000003:0x"}));
    EXPECT_FALSE(port.out.Has("dma_mem1."));
    EXPECT_FALSE(port.out.Has("PCI Master SDRAM write test"));
    // The three blocks that were had are back: three pages can be taken again.
    void* again = nullptr;
    EXPECT_EQ(host->Malloc(3 * 4096, &again, &bus).status, 1u);
    host->Free(again);
    host->Free(filler);
}

}  // namespace

namespace {

using namespace support;

std::string LoopRig(const std::string& attached, const std::string& faults = "[]") {
    return R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "sdram_mib": 64, "attached": )" + attached +
           R"(}, {"tag": "Nuxa1", "kind": "nuxa", "attached": )" + attached + R"(}], "faults": )" + faults + "}";
}
const char* const kCable = R"({"loopback_cable": true})";

TEST_F(DmaDiagnostics, AudioAndVideoUtilityLoopbacks) {
    const std::string audioPassed = "BoB Audio loopback test passed\n", audioFailed = "BoB Audio loopback test failed\n";
    const std::string vucPassed = "Video Utility Client test passed\n", vucFailed = "Video Utility Client test failed\n";
    const std::string counts = "0 Errors found checking filled Data.\n";
    struct Row {
        const char* name;
        std::string rig;
        const char* board;
        std::string command;
        DWORD result;
        std::vector<std::string> parts, absent;
    };
    const Row rows[] = {
        {"audio over the cable", LoopRig(kCable), "Brimola1", "ZT-DMA_BoB_LB_Audio", 1,
         {"----------------------------------------------\nDMA BOB Audio Loopback Test\nTesting Brimola\nInitializing SDRAM Controller\n",
          "Initializing DCB 1 Channel 32\nInitialising BCU 2\nInitialising DCB 1 Channel 20\nInitialising BCU 3\n",
          "Reading the BAI data at 0x800 from SDRAM\n", audioPassed},
         {}},
        {"audio on the codec board", LoopRig(kCable), "Nuxa1", "ZT-DMA_BoB_LB_Audio", 1, {"Testing Nuxa\n", audioPassed}, {}},
        {"audio without the cable", LoopRig("{}"), "Brimola1", "ZT-DMA_BoB_LB_Audio", 2,
         {"DMA BOB Audio Loopback Test\nTesting Brimola\nLoopback connector is not present\n"}, {"Initializing SDRAM"}},
        {"audio source stalled", LoopRig(kCable, R"([{"kind": "dma_stall", "board": "Brimola1", "channel": 20}])"), "Brimola1",
         "ZT-DMA_BoB_LB_Audio", 2, {"SDRAM Addr: 0x800 Expected: 0x100, Read: 0x0\n", audioFailed}, {}},
        {"audio sink corrupting", LoopRig(kCable, R"([{"kind": "dma_corrupt", "board": "Nuxa1", "channel": 32, "mask": 4096, "first": 2}])"),
         "Nuxa1", "ZT-DMA_BoB_LB_Audio", 2, {"SDRAM Addr: 0x808 Expected: 0x300, Read: 0x1300\n", audioFailed}, {}},
        {"audio sink corrupting the last word's top byte",
         LoopRig(kCable, R"([{"kind": "dma_corrupt", "board": "Brimola1", "channel": 32, "mask": 4278190080, "first": 255}])"), "Brimola1",
         "ZT-DMA_BoB_LB_Audio", 2, {"SDRAM Addr: 0xBFC Expected: 0x10000, Read: 0xFF010000\n", audioFailed}, {}},
        // The fill check ends the run at once: no verdict line.
        {"audio fill check", LoopRig(kCable, R"([{"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 3, "value": 1, "from": 16, "to": 20}])"),
         "Brimola1", "ZT-DMA_BoB_LB_Audio", 2, {"SDRAM Addr: 0x10 Expected: 0x500, Read: 0x508\n"}, {"Zeroing", audioFailed}},
        {"VUC", LoopRig("{}"), "Brimola1", "ZT-Play_VUC", 1,
         {"----------------------------------------------\nDMA VUC Test\n422 - 8 bit\n----------------------------------------------\n"
          "Filling the SDRAM\nReading the filled data from SDRAM...\n" + counts,
          "Reading from location 0x800 onwards....\n-------------------------------------------\n" + counts +
              "Flush DMA Channel 38\nFlush DMA Channel 57\nInitialising DCB 1 Channel 57\n"
              "\nAddress of SCRport_Wexal.Brimola_ptr->DMACRB.VUtilOut[1].op.dw = 0x00067220\n"
              "DMACRB.VUtilOut[1] = 0x67220. Needs to be 0x67220 \n\nSCRport_Wexal.Brimola_ptr->DMACRB.VUtilOut[1].op.dw = 0x01006000\n",
          "DMACRB.VUtilIn[1] = 0x64C20. Needs to be 0x64C20 \n\nSCRport_Wexal.Brimola_ptr->DMACRB.VUtilIn[1].op.dw = 0x01806000\n"
          "Initialising BCU 3\nStarting DCB 38 Channel Out\nStarting DCB 0 57 Channel - Out\n",
          vucPassed},
         {}},
        {"VUC at verbose 1: no count lines", LoopRig("{}"), "Nuxa1", "ZT-Play_VUC VERBOSE=1", 1, {vucPassed}, {"Errors found"}},
        {"VUC sink stalled", LoopRig("{}", R"([{"kind": "dma_stall", "board": "Brimola1", "channel": 57}])"), "Brimola1",
         "ZT-Play_VUC", 2, {"SDRAM Addr: 0x81C Expected: 0x1, Read: 0x0\n", vucFailed}, {}},
        {"VUC sink corrupting", LoopRig("{}", R"([{"kind": "dma_corrupt", "board": "Brimola1", "channel": 57, "mask": 16}])"), "Brimola1",
         "ZT-Play_VUC", 2, {"SDRAM Addr: 0x81C Expected: 0x1, Read: 0x11\n", vucFailed}, {}},
        // The top bit of the last word filled: the fill check counts it and the transfer carries it.
        {"VUC fill check, last word's top bit", LoopRig("{}", R"([{"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 31, "value": 1, "from": 1048, "to": 1052}])"),
         "Brimola1", "ZT-Play_VUC", 2, {"Reading the filled data from SDRAM...\n1 Errors found checking filled Data.\n",
          "SDRAM Addr: 0xC18 Expected: 0xFF00, Read: 0x8000FF00\n", vucFailed}, {}},
        // A bad word below the destination fails the zero check only: the transfer passes, the run does not.
        {"VUC pre-check", LoopRig("{}", R"([{"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 0, "value": 1, "from": 2048, "to": 2052}])"),
         "Brimola1", "ZT-Play_VUC", 2, {counts, "1 Errors found checking filled Data.\n", vucPassed}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedRig rig(row.rig);
        Bind(row.board);
        EXPECT_EQ(Run(row.command), row.result);
        EXPECT_TRUE(HasAll(port.out.text, row.parts));
        for (const std::string& a : row.absent) EXPECT_FALSE(port.out.Has(a)) << a;
    }
}

TEST_F(DmaDiagnostics, VideoUtilityPatternAndCountLines) {
    ScopedRig rig(LoopRig("{}", R"([{"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 0, "value": 1, "from": 2048, "to": 2052}])"));
    Bind("Brimola1");
    EXPECT_EQ(Run("ZT-Play_VUC"), kRunFailed);
    DWORD words[256];
    ASSERT_TRUE(port.ReadMemory(0x81C, words, sizeof words));
    EXPECT_EQ(words[0], 1u);
    EXPECT_EQ(words[1], 0x102u);
    EXPECT_EQ(words[2], 0x203u);
    EXPECT_EQ(words[3], 0x304u);
    EXPECT_EQ(words[255], 0xFF00u);
    EXPECT_EQ(Count(port.out.text, "Errors found checking filled Data.\n"), 2u);
    EXPECT_TRUE(port.out.HasColoured("0 Errors found", kGreen));
    EXPECT_TRUE(port.out.HasColoured("1 Errors found", kDarkRed));
    // Verbose 2 names the word of the zero check.
    EXPECT_EQ(Run("ZT-Play_VUC VERBOSE=2"), kRunFailed);
    EXPECT_TRUE(HasAll(port.out.text, {"Expected: 0x0, Read: 0x1\n", "0x00000000: 0x00000001 0x00000000 0x00000000 0x00000000\n"}));
}

}  // namespace

namespace {

using namespace support;

std::string PlugRig(const std::string& faults = "[]") {
    return R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "sdram_mib": 64, "attached": {"codec_port": "loopback", "expansion_port": "loopback"}},
               {"tag": "Nuxa1", "kind": "nuxa", "attached": {"codec_port": "loopback"}}], "faults": )" + faults + "}";
}

// The port through the roots, on a rig whose board links are loaded first.
class LinkLoopbacks : public RootKeywords {
protected:
    std::string Go(const std::string& rig, const std::string& command, DWORD expected, bool program = true) {
        ScopedRig scoped(rig);
        if (program) {
            for (int d : {0, 1, 2, 3, 4}) brimola.Run(ProgramLine(d).c_str());
            nuxa.Run("Nuxa1 <CNuxaBoard Program DEVICE=3 FILE=$(CWD)\\testdata\\FESK$(VPDVER).oxd>");
            TakeText();
        }
        std::string out;
        EXPECT_EQ(Run(command, &out), expected) << out;
        keyerControlTwo = RigBoard("Brimola1")->GetRegisters()[0x8FC8 / 4];
        return out;
    }
    DWORD keyerControlTwo = 0;  // channel A's; all ones while the keyer is not loaded
};

TEST_F(LinkLoopbacks, PortTokenFormatsAndSummary) {
    const std::string summary0 = "Test 0 -- SIZE: 8-Bit FORMAT: 4-2-2 PASSED\n", summary3 = "Test 3 -- SIZE: 16-Bit FORMAT: 4x4 PASSED\n";
    struct Row {
        const char* name;
        std::string command;
        DWORD result;
        std::vector<std::string> parts, absent;
    };
    const Row rows[] = {
        {"internal, C", "Brimola1 <SCRport QG-DMA_CFESK_ILB CFESK>", 1,
         {"DMA VelkoDRUN C-Channel Vantrel Internal Loopback ", "Testing Brimola\nBUF LEN = 0x300\nInitializing SDRAM Controller\n"
          "Vantrel (3) : LOADED\nPower on Vantrel Port LVDS parts\nFilling the SDRAM\n...\n",
          "Zeroing SDRAM at 0x1000000\n-------------------------------------------\n....\nCheck Zeroed Buffer at  0x1000000\n",
          "Flush DMA Channel 59\nFlush DMA Channel 37\nReset Vantrel - Device: 3\nInitializing DCB 1 Channel 59\ninbound Size: 8-bit Format: 4-2-2\n",
          "DEBUG: Outbound DCB1 DMA addr: 0x64A20\n", "Programming Loopback Mode in Jastel for Vantrel\nSetting up Context as F, Force Update\n"
          "Frame Size: Y=0x2 I=0x100 L=0x100 P=0x0\n", "Test # 3 PASSED\n" + summary0, summary3 + "4 # Tests PASSED\n"
          "DMA VelkoDRUN C-Channel Vantrel Internal Loopback PASSED\nDONE.\n"},
         {"Reseting Vantrel"}},
        {"both tokens: C", "Brimola1 <SCRport QG-DMA_CFESK_ELB EFESK CFESK>", 1,
         {"C-Channel Vantrel External Loopback ", "Vantrel (3) : LOADED\nPower off, then on Ports LVDS parts\nReseting Vantrel\n"
          "Clearing Loopback Mode in Jastel for Vantrel\n", "Size: 16-bit Format: 4-2-2\nInitializing BCU 2\n", "External Loopback PASSED\nDONE.\n"},
         {"Programming Loopback"}},
        {"E channel", "Brimola1 <SCRport QG-DMA_CFESK_ELB EFESK>", 1, {"Vantrel (4) : LOADED\n", "Flush DMA Channel 58\nFlush DMA Channel 36\n", "E-Channel Vantrel External Loopback PASSED\n"}, {}},
        {"codec board", "Nuxa1 <SCRport QG-DMA_CFESK_ILB CFESK FULL_TEST=1>", 1, {"Testing Nuxa\n", summary3}, {}},
        {"lower-case token", "Brimola1 <SCRport QG-DMA_CFESK_ILB cfesk>", 2, {"No CFESK or EFESK defined"}, {"DMA VelkoDRUN"}},
        {"FULL_TEST=0: one sub-test, no summary", "Brimola1 <SCRport QG-DMA_CFESK_ILB EFESK FULL_TEST=0>", 1, {"Test # 0 PASSED\n1 # Tests PASSED\n"}, {"Test # 1", summary0}},
        {"FULL_TEST=2: four sub-tests, no summary", "Brimola1 <SCRport QG-DMA_CFESK_ILB EFESK FULL_TEST=2>", 1, {"Test # 3 PASSED\n4 # Tests PASSED\n"}, {summary0}},
        {"FULL_TEST=ABC: the default", "Brimola1 <SCRport QG-DMA_CFESK_ILB EFESK FULL_TEST=ABC>", 1, {summary0, summary3}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string out = Go(PlugRig(), row.command, row.result);
        EXPECT_TRUE(HasAll(out, row.parts));
        for (const std::string& a : row.absent) EXPECT_EQ(out.find(a), std::string::npos) << a;
    }
}

TEST_F(LinkLoopbacks, FaultsAndLimits) {
    struct Row {
        const char* name;
        std::string rig, command;
        bool program;
        std::vector<std::string> parts, absent;
        DWORD result = kRunFailed;
    };
    const std::string stall59 = R"([{"kind": "dma_stall", "board": "Brimola1", "channel": 59}])";
    const std::string tenBad = R"([{"kind": "dma_corrupt", "board": "Brimola1", "channel": 37, "mask": 256, "count": 10}])";
    const Row rows[] = {
        {"not loaded", PlugRig(R"([{"kind": "fpga_done_stays_low", "board": "Brimola1", "device": 3}])"),
         "Brimola1 <SCRport QG-DMA_CFESK_ILB CFESK>", true, {"Vantrel (3) : NOT LOADED\n"}, {"Power on"}},
        {"no plug on the E port", MainBoardRig(), "Brimola1 <SCRport QG-DMA_CFESK_ELB EFESK>", true,
         {"Vantrel (4) : LOADED\nExternal Loopback Connector/Cable is NOT present for Vantrel 4\n"}, {"Power off"}},
        {"stalled sink: time-out, later sub-tests not run", PlugRig(stall59), "Brimola1 <SCRport QG-DMA_CFESK_ILB CFESK>", true,
         {"260ms sec: Y and I 0x", "Waiting for the DCB to complete exceeded the maxtime of 256ms\nOutbound Memory Read DCB Word 2 (Y 0x",
          "Inbound Memory Read DCB Word 3 (L 0x", "Test # 0  FAILED with 1 errors\nTest 0 -- SIZE: 8-Bit FORMAT: 4-2-2 FAILED\n1 # Tests FAILED\n"
          "DMA VelkoDRUN C-Channel Vantrel Internal Loopback FAILED with 1 error(s)\nDONE.\n"},
         {"270ms", "Reading the YJPI", "Test # 1", "Test 1 --"}},
        {"corrupted source", PlugRig(R"([{"kind": "dma_corrupt", "board": "Brimola1", "channel": 37, "mask": 256}])"),
         "Brimola1 <SCRport QG-DMA_CFESK_ELB CFESK>", true,
         {"SDRAM Addr: 0x1000000 Expected: 0x3020100, Read: 0x3020000\n", "Test # 0  FAILED with 1 errors\n", "Test 0 -- SIZE: 8-Bit FORMAT: 4-2-2 FAILED\n",
          "4 # Tests FAILED\nDMA VelkoDRUN C-Channel Vantrel External Loopback FAILED with 4 error(s)\n"}, {}},
        {"ten bad words over a limit of five", PlugRig(tenBad), "Brimola1 <SCRport QG-DMA_CFESK_ILB CFESK ABORTCOUNT=5>", true,
         {"MAX ERROR COUNT EXCEEDED! aborting error printing....\n"}, {"Test # 0", "DONE."}},
        {"a negative limit never ends it", PlugRig(tenBad), "Brimola1 <SCRport QG-DMA_CFESK_ILB CFESK ABORTCOUNT=-1>", true,
         {"Test # 0  FAILED with 10 errors\n", "FAILED with 40 error(s)\n"}, {"MAX ERROR"}},
        // The top sample bit of the buffer's last word, in each sub-test and width, on the E port's own source.
        {"E source corrupting the last word's high sample", PlugRig(R"([{"kind": "dma_corrupt", "board": "Brimola1", "channel": 36, "mask": 268435456, "first": 191}])"),
         "Brimola1 <SCRport QG-DMA_CFESK_ILB EFESK>", true,
         {"Test # 0  FAILED with 1 errors\n", "Test # 3  FAILED with 1 errors\n", "E-Channel Vantrel Internal Loopback FAILED with 4 error(s)\n"}, {}},
        {"sync error of the C port", PlugRig(R"([{"kind": "port_sync_error", "board": "Brimola1", "port": "EXPA"}])"),
         "Brimola1 <SCRport QG-DMA_CFESK_ILB CFESK FULL_TEST=0>", true, {"Sync Error!!!\nTest # 0  FAILED with 1 errors\n"}, {}},
        {"the other port's flag is not this port's", PlugRig(R"([{"kind": "port_sync_error", "board": "Brimola1", "port": "EXPA"}])"),
         "Brimola1 <SCRport QG-DMA_CFESK_ILB EFESK>", true, {"E-Channel Vantrel Internal Loopback PASSED\n"}, {"Sync Error"}, kRunPassed},
        {"SDRAM stuck bit: the pre-check ends it", PlugRig(R"([{"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 1, "value": 1, "from": 0, "to": 4096}])"),
         "Brimola1 <SCRport QG-DMA_CFESK_ILB CFESK>", true, {"SDRAM Addr: 0x0 Expected: 0x3020100, Read: 0x3020102\n"}, {"Zeroing", "DONE."}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string out = Go(row.rig, row.command, row.result, row.program);
        EXPECT_TRUE(HasAll(out, row.parts));
        for (const std::string& a : row.absent) EXPECT_EQ(out.find(a), std::string::npos) << a;
    }
}

// A plug on one port only: that port's external loopback runs and passes, the other port's names
// its own missing connector (each reads its own clock-present bit, never the other port's).
TEST_F(LinkLoopbacks, ExternalLoopbackReadsItsOwnPortsConnector) {
    auto oneplug = [](const char* port) {
        return std::string(R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "sdram_mib": 64, "attached": {")") + port +
               R"(": "loopback"}}]})";
    };
    struct Row {
        const char* name;
        std::string rig, command;
        DWORD result;
        std::string text;
    };
    const Row rows[] = {
        {"codec plug, C port", oneplug("codec_port"), "Brimola1 <SCRport QG-DMA_CFESK_ELB CFESK>", kRunPassed,
         "C-Channel Vantrel External Loopback PASSED\nDONE.\n"},
        {"codec plug, E port", oneplug("codec_port"), "Brimola1 <SCRport QG-DMA_CFESK_ELB EFESK>", kRunFailed,
         "Vantrel (4) : LOADED\nExternal Loopback Connector/Cable is NOT present for Vantrel 4\n"},
        {"expansion plug, E port", oneplug("expansion_port"), "Brimola1 <SCRport QG-DMA_CFESK_ELB EFESK>", kRunPassed,
         "E-Channel Vantrel External Loopback PASSED\nDONE.\n"},
        {"expansion plug, C port", oneplug("expansion_port"), "Brimola1 <SCRport QG-DMA_CFESK_ELB CFESK>", kRunFailed,
         "Vantrel (3) : LOADED\nExternal Loopback Connector/Cable is NOT present for Vantrel 3\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string out = Go(row.rig, row.command, row.result);
        EXPECT_TRUE(HasAll(out, {row.text}));
        // A missing connector ends the run before the port is touched.
        EXPECT_EQ(out.find("Power off") != std::string::npos, row.result == kRunPassed);
    }
}

}  // namespace

namespace {

using namespace support;

TEST_F(DmaDiagnostics, DskPassthruForegroundAndBackground) {
    const std::string head = "----------------------------------------------\nDMA DSK FG 422 Passthru ";
    struct Row {
        const char* name;
        std::string faults;
        const char* board;
        std::string command;
        DWORD result;
        std::vector<std::string> parts, absent;
    };
    const std::string stall46 = R"([{"kind": "dma_stall", "board": "Brimola1", "channel": 46}])";
    const std::string threeBad = R"([{"kind": "dma_corrupt", "board": "Brimola1", "channel": 42, "mask": 1, "first": 5, "count": 3}])";
    const Row rows[] = {
        {"foreground", "[]", "Brimola1", "QEV-DMA_DSK_FG_422", 1,
         {head, "Testing Brimola\nFrame Size: Y=0x1 I=0x80 L=0x80 P=0x0\nBUF LEN = 0x100\nInitializing SDRAM Controller\nFilling the SDRAM\n.\n"
                "Reading the filled data from SDRAM at 0x0\n",
          "Check Zeroed Buffer at  0x100000\n", "Flush DMA Channel 46\nFlush DMA Channel 42\nInitializing DCB 1 Channel 42 - DSK1 Out\n"
          "Initializing BCU 2\nInitialising DCB 1 Channel 46 - Compositor FG IN\nInitializing BCU 3\nReading the data at 0x100000 from SDRAM\n",
          "Loop # 0 PASSED\n-------------------------------------------\n1 # Loops PASSED\nDMA DSK FG 422 Passthru PASSED\nDONE.\nDone\n"},
         {"Active Reg", "ms sec:", "Channel 62"}},
        {"foreground and background, verbose 1", "[]", "Nuxa1", "QEV-DMA_DSK_FG_BG VERBOSE=1", 1,
         {head, "Testing Nuxa\n", "Flush DMA Channel 46\nFlush DMA Channel 62\nFlush DMA Channel 42\n",
          "Initialising DCB 1 Channel 46 - Compositor FG IN\nInitializing DCB 1 Channel 62 - DSK1 Out\nInitializing BCU 3\nInitializing BCU 4\n",
          " DSK Control Active Reg : 0xC000050B\n DSK Control Active Reg : 0xC000050B\n", "DMA DSK FG BG 422 Passthru PASSED\nDONE.\nDone\n"},
         {}},
        {"foreground stalled", stall46, "Brimola1", "QEV-DMA_DSK_FG_422", 2,
         {"10ms sec: Y and I 0x", "260ms sec: Y and I 0x", "Waiting for the DCB to complete exceeded the maxtime of 256ms\n"
          "Outbound Memory Read DCB Word 2 (Y 0x", "Inbound Memory Read DCB Word 3 (L 0x",
          "Loop # 0  FAILED with 1 errors\n-------------------------------------------\n1 # Loops FAILED\nDMA DSK FG 422 Passthru FAILED with 1 error(s)\nDone\n"},
         {"270ms", "Reading the data at"}},
        {"three words corrupted on the output", threeBad, "Brimola1", "QEV-DMA_DSK_FG_BG", 2,
         {"SDRAM Addr: 0x100014 Expected: 0x30, Read: 0x31\n", "Loop # 0  FAILED with 3 errors\n", "DMA DSK FG BG 422 Passthru FAILED with 3 error(s)\nDone\n"},
         {"MAX ERROR"}},
        {"the last word's high byte on the output", R"([{"kind": "dma_corrupt", "board": "Nuxa1", "channel": 42, "mask": 4278190080, "first": 255}])",
         "Nuxa1", "QEV-DMA_DSK_FG_422", 2, {"SDRAM Addr: 0x1003FC Expected: 0x800, Read: 0xFF000800\n", "Loop # 0  FAILED with 1 errors\n"}, {}},
        {"a limit of 0", threeBad, "Brimola1", "QEV-DMA_DSK_FG_422 ABORTCOUNT=0", 2,
         {"MAX ERROR COUNT EXCEEDED! aborting error printing....\n"}, {"Loop #", "Done\n"}},
        {"the fill check ends it", R"([{"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 0, "value": 1, "from": 0, "to": 4}])", "Brimola1",
         "QEV-DMA_DSK_FG_422", 2, {"SDRAM Addr: 0x0 Expected: 0x8, Read: 0x9\n"}, {"Zeroing", "Done\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedRig rig(TwoBoards(row.faults));
        Bind(row.board);
        RigBoard(row.board)->GetControllerRegisters()[0x18 / 4] = 0x100;
        EXPECT_EQ(Run(row.command), row.result);
        EXPECT_TRUE(HasAll(port.out.text, row.parts));
        for (const std::string& a : row.absent) EXPECT_FALSE(port.out.Has(a)) << a;
        // Bit 8 of the RAM register is cleared on the abort path only.
        const DWORD ram = RigBoard(row.board)->GetControllerRegisters()[0x18 / 4];
        EXPECT_EQ(ram & 0x100, port.out.Has("MAX ERROR") ? 0u : 0x100u);
    }
}

}  // namespace

namespace {

using namespace support;

TEST_F(LinkLoopbacks, KeyerZbtAddressLines) {
    const std::string head = "----------------------------------------------\nKerzil ZBT ADDR Test Started: ";
    const std::string written = "\nAll data written, now read back and check all data\n";
    auto alias = [](const std::string& how) {
        return PlugRig(R"([{"kind": "zbt_address_alias", "board": "Brimola1", )" + how + "}]");
    };
    struct Row {
        const char* name;
        std::string rig, command;
        DWORD result;
        bool program;
        std::vector<std::string> parts, absent;
        size_t mismatches;
    };
    const Row rows[] = {
        {"healthy", PlugRig(), "Brimola1 <SCRport QEV-ZBT_Addr>", 1, true,
         {head, written + "Write the rest of the address space, testing upper addr bits\n" + written + "Entire ZBT RAM Read SUCCESSFULLY\n"}, {}, 0},
        {"keyer not loaded", PlugRig(), "Brimola1 <SCRport QEV-ZBT_Addr>", 2, false, {"ERROR: Kerzil has not been downloaded\n"}, {"All data"}, 0},
        {"keyer that never loads", PlugRig(R"([{"kind": "fpga_done_stays_low", "board": "Brimola1", "device": 0}])"),
         "Brimola1 <SCRport QEV-ZBT_Addr>", 2, true, {"ERROR: Kerzil has not been downloaded\n"}, {"All data"}, 0},
        {"codec board", PlugRig(), "Nuxa1 <SCRport QEV-ZBT_Addr>", 2, false, {head, "BrimolaBAR0 not setup or Brimola not found in system"}, {"All data"}, 0},
        // A low line held: the first check finds the words overwritten, the 21st mismatch ends the run.
        {"line 5 stuck at 0", alias(R"("line": 5, "stuck": 0)"), "Brimola1 <SCRport QEV-ZBT_Addr>", 2, true,
         {"Consecutive Data readback failed @0x0, expected: 0x0 read: 0x20\n", "Failure Count exceeded 21, ABORTING...\n"}, {"upper addr"}, 21},
        {"line 5 stuck, a limit of 0", alias(R"("line": 5, "stuck": 0)"), "Brimola1 <SCRport QEV-ZBT_Addr ABORTCOUNT=0>", 2, true,
         {"Failure Count exceeded 1, ABORTING...\n"}, {}, 1},
        // A high line shorted to its neighbour: only the upper check sees it.
        {"line 14 shorted to 13", alias(R"("line": 14, "shorted_to": 13)"), "Brimola1 <SCRport QEV-ZBT_Addr>", 2, true,
         {written + "Write the rest of the address space, testing upper addr bits\n" + written +
              "Consecutive Data readback failed @0x1000, expected: 0x1000 read: 0x5000\n",
          "Failure Count exceeded 21, ABORTING...\n"},
         {"SUCCESSFULLY"}, 21},
        // The top line of each check: the highest address written there lands on the lowest one.
        {"line 11 stuck at 0, the top of the low check", alias(R"("line": 11, "stuck": 0)"), "Brimola1 <SCRport QEV-ZBT_Addr>", 2, true,
         {"Consecutive Data readback failed @0x0, expected: 0x0 read: 0x800\n"}, {"upper addr", "SUCCESSFULLY"}, 21},
        {"line 18 stuck at 0, the top of the upper check", alias(R"("line": 18, "stuck": 0)"), "Brimola1 <SCRport QEV-ZBT_Addr>", 2, true,
         {"testing upper addr bits\n" + written + "Consecutive Data readback failed @0x1000, expected: 0x1000 read: 0x41000\n"},
         {"SUCCESSFULLY"}, 21},
        // Without a limit every other low word fails and the upper check still runs.
        {"line 1 stuck at 1, no limit", alias(R"("line": 1, "stuck": 1)"), "Brimola1 <SCRport QEV-ZBT_Addr ABORTCOUNT=-1>", 2, true,
         {"Consecutive Data readback failed @0x0, expected: 0x0 read: 0x2\n", "@0xffc, expected: 0xFFC read: 0xFFE\nWrite the rest"},
         {"SUCCESSFULLY", "ABORTING"}, 1024},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string out = Go(row.rig, row.command, row.result, row.program);
        EXPECT_TRUE(HasAll(out, row.parts));
        for (const std::string& a : row.absent) EXPECT_EQ(out.find(a), std::string::npos) << a;
        if (row.mismatches) {
            EXPECT_EQ(Count(out, "Consecutive Data readback failed"), row.mismatches);
        }
    }
}

}  // namespace

namespace {

using namespace support;

// A port whose SDRAM check fails at its n-th call: a pre-check that ends the run in a later sub-test.
class FailingCheckPort : public Recording<SCRport> {
public:
    FailingCheckPort() : Recording<SCRport>(nullptr, "SCRport") {}
    DWORD VerifySDRAM(const DWORD* expected, DWORD address, DWORD bytes, DWORD verbose) override {
        return ++calls == failAt ? 1 : SCRport::VerifySDRAM(expected, address, bytes, verbose);
    }
    int calls = 0, failAt = 0;
};

TEST_F(LinkLoopbacks, PppLoopbacksThroughTheKeyerAndThePair) {
    const std::string lpbkA = "Brimola1 <SCRport QG-YJP_PPA_Lpbk YJP-PPA", tazu = "Brimola1 <SCRport QG-YJP_PPA_Tazu ";
    const std::string fault = R"([{"kind": ")";
    struct Row {
        const char* name;
        std::string faults, command;
        DWORD result;
        std::vector<std::string> parts, absent;
        bool program = true;
    };
    const Row rows[] = {
        {"keyer loop A", "[]", lpbkA + ">", 1,
         {"VelkoDRUN A-Channel PPP Kerzil Loopback  Started: ", "Initializing SDRAM Controller\nBUF LEN = 0x300\nKerzil DCM Status: 0x7F",
          "\n...\nReading the filled data from SDRAM at 0x0\n", "Flush DMA Channel 24\nFlush DMA Channel 28\n",
          "Initializing BCU 3\nProgramming Loopback Mode in Kerzil\nSetting up Context as F\nFrame Size:",
          "Test # 3 PASSED\nTake Kerzil out of Loopback\nTest 0 -- SIZE: 8-Bit FORMAT: 4-2-2 PASSED\n",
          "4 # Tests PASSED\nVelkoDRUN A-Channel PPP Kerzil Loopback PASSED\nDONE.\n"},
         {"Filling the SDRAM", "DEBUG:"}},
        {"both tokens: A", "[]", "Brimola1 <SCRport QG-YJP_PPA_Lpbk YJP-PPB YJP-PPA FULL_TEST=0>", 1, {"A-Channel", "1 # Tests PASSED\n"}, {"Test # 1", "Test 0 --"}},
        {"no token", "[]", "Brimola1 <SCRport QG-YJP_PPA_Lpbk yjp-ppa>", 2, {"No YJP-PPA or YJP-PPB defined"}, {"VelkoDRUN"}},
        {"codec board", "[]", "Nuxa1 <SCRport QG-YJP_PPA_Lpbk YJP-PPA>", 2, {"BrimolaBAR0 not setup or Brimola not found in system"}, {"VelkoDRUN"}},
        {"keyer not loaded", "[]", lpbkA + ">", 2, {"ERROR: Kerzil has not been downloaded\n"}, {"BUF LEN"}, false},
        {"TAPA unlocked", fault + R"(dcm_unlocked", "board": "Brimola1", "device": 0, "bit": 25}])", lpbkA + ">", 2,
         {"Kerzil DCM Status: 0x7D000000 Some DCMs not locked\n LockTAPB(26) LockTAPA(25) LockMain(24)\n"
          " LockMain2(30) LockUlt(29) LockAOPB(28) LockAOPA(27)\n LockTAPA is not locked\n"},
         {"LockTAPB is", "Filling"}},
        // The check does not require AOPB; the rig's keyer then moves no data, so the transfer times out.
        {"AOPB unlocked: not required", fault + R"(dcm_unlocked", "board": "Brimola1", "device": 0, "bit": 28}])", lpbkA + " FULL_TEST=0>", 2,
         {"Kerzil DCM Status: 0x6F000000\n", "Frame Size:"}, {"Some DCMs"}},
        {"sync error B", fault + R"(port_sync_error", "board": "Brimola1", "port": "PPPB"}])", "Brimola1 <SCRport QG-YJP_PPA_Lpbk YJP-PPB FULL_TEST=0>", 2,
         {"Sync Error!!!\nTest # 0  FAILED with 1 errors\nTake Kerzil out of Loopback\n1 # Tests FAILED\nVelkoDRUN B-Channel PPP Kerzil Loopback FAILED with 1 error(s)\nDONE.\n"}, {}},
        // A limit of 0 ends the run on the first mismatch, before the sync check.
        {"limit 0", fault + R"(dma_corrupt", "board": "Brimola1", "channel": 28, "mask": 256}, {"kind": "port_sync_error", "board": "Brimola1", "port": "PPPA"}])",
         lpbkA + " ABORTCOUNT=0>", 2, {"SDRAM Addr: 0x1000000 Expected: 0x3020100, Read: 0x3020000\n"}, {"Sync Error", "Test # 0", "MAX ERROR", "DONE."}},
        {"five bad words", fault + R"(dma_corrupt", "board": "Brimola1", "channel": 24, "mask": 256, "count": 5}])", lpbkA + " FULL_TEST=0>", 2,
         {"Test # 0  FAILED with 5 errors\n", "FAILED with 5 error(s)\n"}, {}},
        {"keyer loop B: the last word's high sample, every sub-test", fault + R"(dma_corrupt", "board": "Brimola1", "channel": 25, "mask": 268435456, "first": 191}])",
         "Brimola1 <SCRport QG-YJP_PPA_Lpbk YJP-PPB>", 2,
         {"Test # 0  FAILED with 1 errors\n", "Test # 3  FAILED with 1 errors\n", "VelkoDRUN B-Channel PPP Kerzil Loopback FAILED with 4 error(s)\n"}, {}},
        {"stalled sink", fault + R"(dma_stall", "board": "Brimola1", "channel": 24}])", lpbkA + ">", 2,
         {"Waiting for the DCB to complete exceeded the maxtime of 256ms\n", "Take Kerzil out of Loopback\nTest 0 -- SIZE: 8-Bit FORMAT: 4-2-2 FAILED\n1 # Tests FAILED\n"},
         {"Test # 1"}},
        {"through pair A", "[]", tazu + "SulvethA>", 1,
         {"VelkoDRUN A-Channel PPP Kerzil to SulvethA Started: ", "CurrentOXD:  $(CWD)\\TESTDATA\\TAZU$(VPDVER).OXD\nDefaultOXD:  ",
          "Programming NO Loopback in Kerzil\nReset Kerzil A channel Datapath\nReset Sulveth A channel Datapath\n"
          "Programming Mask Skew/Scale of Sulveth SDRAM Control Regs\nInitialization Complete.\nFilling the SDRAM\n",
          "DEBUG: Outbound DCB1 DMA addr: 0x63820\n", "VelkoDRUN A-Channel PPP Kerzil to Sulveth PASSED\nDONE.\n"},
         {"Program Xilinx", "Programming Loopback Mode"}},
        {"pair A corrupting: the keyer loop still passes", fault + R"(video_path_corrupt", "board": "Brimola1", "port": "PPPA", "stage": "pair"}])",
         lpbkA + " FULL_TEST=0>", 1, {"PASSED\nDONE.\n"}, {}},
        {"pair A corrupting", fault + R"(video_path_corrupt", "board": "Brimola1", "port": "PPPA", "stage": "pair"}])", tazu + "SulvethA FULL_TEST=0>", 2,
         {"SDRAM Addr: 0x1000000 Expected: 0x3020100, Read: 0x3020101\n", "Kerzil to Sulveth FAILED with "}, {}},
        {"pair B corrupting", fault + R"(video_path_corrupt", "board": "Brimola1", "port": "PPPB", "stage": "pair"}])", tazu + "SulvethB FULL_TEST=0>", 2,
         {"VelkoDRUN B-Channel PPP Kerzil to SulvethB Started: ", "Kerzil to Sulveth FAILED with "}, {}},
        {"pair A DDR pass 2", fault + R"(ddr_init_fails", "board": "Brimola1", "device": 1, "pass": 2}])", tazu + "SulvethA>", 2,
         {"Initialization NOT completed in time: Sulveth A 2st-Pass DDR chips\n"}, {"Initialization Complete", "Filling"}},
        {"pair A not loaded", fault + R"(fpga_done_stays_low", "board": "Brimola1", "device": 1}])", tazu + "SulvethA>", 2,
         {"ERROR: Sulveth A has not been downloaded\n"}, {"Programming NO"}},
        {"keyer not loaded, through the pair", fault + R"(fpga_done_stays_low", "board": "Brimola1", "device": 0}])", tazu + "SulvethB>", 2,
         {"ERROR: Kerzil has not been downloaded\n"}, {"CurrentOXD"}},
        {"no pair token", "[]", tazu + "SulvethC>", 2, {"No SulvethA or SulvethB defined"}, {}},
        {"the same file in other letters: no programming", "[]", tazu + "SulvethA FPGA=$(cwd)\\testdata\\tazu$(vpdver).OXD FULL_TEST=0>", 1,
         {"Kerzil to Sulveth PASSED\n"}, {"OXD FILE:"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string out = Go(PlugRig(row.faults), row.command, row.result, row.program);
        EXPECT_TRUE(HasAll(out, row.parts));
        for (const std::string& a : row.absent) EXPECT_EQ(out.find(a), std::string::npos) << a;
        if (keyerControlTwo != 0xFFFFFFFF) {
            EXPECT_EQ(keyerControlTwo & 0x8000, 0u) << "the keyer is left in loopback";
        }
    }
}

TEST_F(LinkLoopbacks, PairReprogrammingAndItsBookkeeping) {
    ScopedRig scoped(PlugRig());
    for (int d = 0; d < 3; ++d) ASSERT_EQ(brimola.Run(ProgramLine(d).c_str()), kRunPassed);
    std::string out;
    // Another name for the file: B is loaded through the root at verbosity 2, and the name kept.
    const std::string command = "Brimola1 <SCRport QG-YJP_PPA_Tazu SulvethB FPGA=$(CWD)\\testdata\\TAZU0202.oxd FULL_TEST=0>";
    EXPECT_EQ(Run(command, &out), kRunPassed) << out;
    EXPECT_TRUE(HasAll(out, {"Program Xilinx FPGA.\n", "Initialization Complete.\n"}));
    EXPECT_EQ(brimola.GetSulvethB()->GetCurrentOXD().str(), "$(CWD)\\TESTDATA\\TAZU0202.OXD");
    EXPECT_EQ(Run(command, &out), kRunPassed) << out;
    EXPECT_FALSE(HasAll(out, {"OXD FILE:"}));
    // A file that cannot be loaded: reported, the keyer restored, the bookkeeping unchanged.
    EXPECT_EQ(Run("Brimola1 <SCRport QG-YJP_PPA_Tazu SulvethA FPGA=$(CWD)\\testdata\\NONE.oxd>", &out), kRunFailed);
    EXPECT_TRUE(HasAll(out, {"ERROR: Sulveth A could not be programmed\n"}));
    EXPECT_EQ(brimola.GetSulvethA()->GetCurrentOXD().str(), "$(CWD)\\TESTDATA\\TAZU$(VPDVER).OXD");
    EXPECT_EQ(RigBoard("Brimola1")->GetRegisters()[0x8FC8 / 4] & 0x8000, 0u);
}

TEST_F(LinkLoopbacks, InternalLinkLoopIsSwitchedOffOnEveryEnd) {
    ScopedRig scoped(PlugRig(R"([{"kind": "dma_corrupt", "board": "Brimola1", "channel": 37, "mask": 256, "count": 10}])"));
    ASSERT_EQ(brimola.Run(ProgramLine(3).c_str()), kRunPassed);
    RecordingTreeTest parent{"CParent"};
    struct Row {
        const char* name;
        std::string command;
        int failAt;  // the SDRAM check that fails (0: none)
        std::string part;
    };
    const Row rows[] = {
        {"after the last sub-test", "QG-DMA_CFESK_ILB CFESK", 0, "FAILED with 40 error(s)\nDONE.\n"},
        {"a pre-check of sub-test 1", "QG-DMA_CFESK_ILB CFESK", 5, "Test # 0  FAILED with 10 errors\n"},
        {"the error limit", "QG-DMA_CFESK_ILB CFESK ABORTCOUNT=3", 0, "MAX ERROR COUNT EXCEEDED!"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FailingCheckPort port;
        port.SetParent(&parent);
        port.SetupDevice("Brimola1");
        port.failAt = row.failAt;
        EXPECT_EQ(port.Run(row.command.c_str()), kRunFailed);
        EXPECT_TRUE(HasAll(port.out.text, {"Programming Loopback Mode in Jastel for Vantrel\n", row.part}));
        EXPECT_EQ(RigBoard("Brimola1")->GetControllerRegisters()[0x18 / 4] & 0x119, 0x19u) << "SDRAM and links on, loop off";
    }
    TakeText();
}

TEST_F(LinkLoopbacks, KeyerLoopIsUndoneOnAFailedPreCheck) {
    ScopedRig scoped(PlugRig());
    ASSERT_EQ(brimola.Run(ProgramLine(0).c_str()), kRunPassed);
    RecordingTreeTest parent{"CParent"};
    FailingCheckPort port;
    port.SetParent(&parent);
    port.SetupDevice("Brimola1");
    // Sub-test 1's source check (the fifth check of the run) fails after sub-test 0 set the loop.
    port.failAt = 5;
    EXPECT_EQ(port.Run("QG-YJP_PPA_Lpbk YJP-PPA"), kRunFailed);
    EXPECT_TRUE(HasAll(port.out.text, {"Test # 0 PASSED\n"}));
    EXPECT_FALSE(HasAll(port.out.text, {"Test # 1", "DONE."}));
    EXPECT_EQ(RigBoard("Brimola1")->GetRegisters()[0x8FC8 / 4] & 0x8000, 0u);
    TakeText();
}

}  // namespace

namespace {

TEST(ZbtAliasFault, RigFileNamesTheBadField) {
    const std::string head = R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}], "faults": [{"kind": "zbt_address_alias", "board": "Brimola1", )";
    struct Row {
        std::string fields;
        const char* error;  // empty: accepted
    };
    const Row rows[] = {
        {R"("line": 18, "stuck": 1)", ""},
        {R"("line": 1, "shorted_to": 0)", ""},
        {R"("line": 19, "stuck": 1)", "line"},
        {R"("line": 0, "stuck": 1)", "line"},
        {R"("stuck": 1)", "line"},
        {R"("line": 4, "stuck": 1, "shorted_to": 3)", "shorted_to"},
        {R"("line": 4)", "shorted_to"},
        {R"("line": 4, "shorted_to": 4)", "shorted_to"},
        {R"("line": 4, "stuck": 2)", "stuck"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fields);
        sim::RigConfig cfg;
        std::string error;
        const bool ok = sim::ParseRig(head + row.fields + "}]}", "rig.json", cfg, error);
        EXPECT_EQ(ok, !*row.error) << error;
        if (*row.error) {
            EXPECT_NE(error.find(row.error), std::string::npos) << error;
        }
    }
}

}  // namespace

namespace {

using namespace support;

// A port on a board whose inbound buffer control unit stops once sub-test 0 has passed: the
// transfer of sub-test 1 then never completes.
class StoppingBcuPort : public Recording<SCRport> {
public:
    StoppingBcuPort() : Recording<SCRport>(nullptr, "SCRport") {}
    void Delay(int ms) override {
        const std::string context = "Setting up Context as F, Force Update\n";
        if (!stopped && out.Has("Test # 0 PASSED\n") && out.text.size() >= context.size() &&
            out.text.compare(out.text.size() - context.size(), context.size(), context) == 0) {
            RigBoard("Brimola1")->GetRegisters()[0x70020 / 4] = 0;  // BCU 2 without Go
            stopped = true;
        }
        SCRport::Delay(ms);
    }
    bool stopped = false;
};

TEST_F(LinkLoopbacks, ATimeOutInSubTestOneEndsTheRunWithTheSummarySoFar) {
    ScopedRig scoped(PlugRig());
    ASSERT_EQ(brimola.Run(ProgramLine(3).c_str()), kRunPassed);
    RecordingTreeTest parent{"CParent"};
    StoppingBcuPort port;
    port.SetParent(&parent);
    port.SetupDevice("Brimola1");
    EXPECT_EQ(port.Run("QG-DMA_CFESK_ILB CFESK"), kRunFailed);
    EXPECT_TRUE(port.stopped);
    EXPECT_TRUE(HasAll(port.out.text, {"Test # 0 PASSED\n", "Waiting for the DCB to complete exceeded the maxtime of 256ms\n",
                                       "Test # 1  FAILED with 1 errors\nTest 0 -- SIZE: 8-Bit FORMAT: 4-2-2 PASSED\n"
                                       "Test 1 -- SIZE: 8-Bit FORMAT: 4x4 FAILED\n1 # Tests PASSED\n1 # Tests FAILED\n"
                                       "DMA VelkoDRUN C-Channel Vantrel Internal Loopback FAILED with 1 error(s)\nDONE.\n"}));
    EXPECT_FALSE(port.out.Has("Test 2 --") || port.out.Has("Test # 2"));
    EXPECT_EQ(RigBoard("Brimola1")->GetControllerRegisters()[0x18 / 4] & 0x100, 0u);
    TakeText();
}

}  // namespace
