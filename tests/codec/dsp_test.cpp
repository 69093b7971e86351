// The host-port bridge and the DSPs on the default and faulty rigs: waits and their texts, identification, microcode, mailbox, memory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/dsp/dremolun.h"
#include "codec/dsp/nuxa_dsp.h"
#include "platform/clock.h"
#include "sim/codec_bridge.h"
#include "tests/codec/codec_board_fixture.h"
#include "tests/devlib/rig_fixture.h"
#include "tests/support/output.h"
#include "tests/support/temp_dir.h"

namespace {

using support::Recording;

class CodecDspTest : public codectest::CodecBoardTest<devtest::RigTest> {
protected:
    std::string Microcode(uint32_t revision, int corruptAt = -1) {
        std::vector<uint8_t> bytes = sim::BuildDspMicrocodeOxd(revision);
        if (corruptAt >= 0) bytes[bytes.size() - static_cast<size_t>(corruptAt)] ^= 0x40;
        return dir.Write("KAWF0101.oxd", std::string(bytes.begin(), bytes.end()));
    }
    // Boots the microcode in DSP chip (1 A, 2 B).
    bool Boot(Recording<CNuxaDSP>& dsp) {
        CString path(Microcode(sim::kDspMicrocodeRevision).c_str());
        return dsp.DownloadMicrocode(path, 1) == TRUE;
    }

    support::TempDir dir;
    Recording<CNuxaDSP> dspA{&bridge, "CNuxaDSPA"};
    Recording<CNuxaDSP> dspB{&bridge, "CNuxaDSPB"};
};

TEST_F(CodecDspTest, IdentificationNamesTheBridgeAndItsRevision) {
    struct Row {
        const char* extra;
        const char* faults;
        DWORD id;
        BOOL ours;
        DWORD major, minor;
    };
    const Row rows[] = {
        {"", "[]", 0x11001001, TRUE, 1, 1},
        {R"(, "bridge_revision": {"major": 2, "minor": 291})", "[]", 0x11002123, TRUE, 2, 0x123},
        {"", R"([{"kind": "bridge_wrong_id", "board": "Nuxa1", "id": 288, "major": 3, "minor": 4}])", 0x12003004, FALSE, 3, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.faults);
        LoadFaults(row.faults, row.extra);
        DWORD major = 0, minor = 0;
        EXPECT_EQ(bridge.ReadIdentification(), row.id);
        EXPECT_EQ(bridge.CheckIdentification(major, minor), row.ours);
        EXPECT_EQ(major, row.major);
        EXPECT_EQ(minor, row.minor);
    }
    bridge.SetRegisterBase(nullptr);
    EXPECT_EQ(bridge.ReadIdentification(), 0u);
}

TEST_F(CodecDspTest, FixedAccessReachesTheSelectedBlockOnlyWithAWindowAndABlock) {
    bridge.WriteDataFixed(0x100, 0x1234);  // no block selected: nothing
    bridge.SetDSPBlock(1);
    EXPECT_EQ(bridge.ReadDataFixed(0x100), 0u);
    bridge.WriteDataFixed(0x100, 0xCAFEF00D);
    EXPECT_EQ(bridge.ReadDataFixed(0x100), 0xCAFEF00Du);
    bridge.SetDSPBlock(2);  // DSP B's memory is its own
    EXPECT_EQ(bridge.ReadDataFixed(0x100), 0u);
    bridge.SetDSPBlock(3);
    EXPECT_EQ(bridge.GetDSPBlock(), 0);
    EXPECT_EQ(bridge.ReadDataFixed(0x100), 0u);
    bridge.SetDSPBlock(1);
    const DWORD words[3] = {1, 2, 3};
    EXPECT_TRUE(bridge.WriteDataAuto(0x200, words, 3));
    DWORD back[3] = {};
    EXPECT_TRUE(bridge.ReadDataAuto(0x200, back, 3));
    EXPECT_EQ(std::vector<DWORD>(back, back + 3), std::vector<DWORD>(words, words + 3));
    bridge.SetRegisterBase(nullptr);
    EXPECT_EQ(bridge.ReadDataFixed(0x100), 0u);
    EXPECT_EQ(bridge.out.text, "");
}

TEST_F(CodecDspTest, APortThatNeverGetsReadyTimesOutWithItsLineAndReadsZero) {
    LoadFaults(R"([{"kind": "bridge_not_ready", "board": "Nuxa1", "port": 1}])");
    bridge.SetDSPBlock(1);
    const LONGLONG before = platform::NowTicks();
    bridge.WriteDataFixed(0x100, 5);
    EXPECT_TRUE(bridge.out.HasColoured(
        "ERROR:  CDremolun::WriteDataFixed(addr,data)\nTimeout waiting for m_pDSP->ctrl & 8, loc 13 : Addr[0x00000100]\n", kColorRed));
    EXPECT_EQ(support::Count(bridge.out.text, "Timeout"), 1u);  // the rest of the access is abandoned
    // 100 polls with 1 ms sleeps.
    EXPECT_GE(platform::NowTicks() - before, 100 * (kPerfFrequency / 1000));
    EXPECT_LT(platform::NowTicks() - before, 102 * (kPerfFrequency / 1000));
    EXPECT_EQ(bridge.ReadDataFixed(0x100), 0u);
    EXPECT_TRUE(bridge.out.HasColoured("ERROR:  CDremolun::ReadDataFixed(addr)\nTimeout waiting for m_pDSP->ctrl & 8, loc 18 : Addr[0x00000100]\n",
                                       kColorRed));
    // The auto-increment runs give up at their first wait, each under its own name.
    const DWORD words[2] = {1, 2};
    DWORD back[2] = {};
    EXPECT_FALSE(bridge.WriteDataAuto(0x200, words, 2));
    EXPECT_TRUE(bridge.out.HasColoured("ERROR:  CDremolun::WriteDataAuto()\nTimeout waiting for m_pDSP->ctrl & 8 : Addr[0x00000200]\n",
                                       kColorRed));
    EXPECT_FALSE(bridge.ReadDataAuto(0x200, back, 2));
    EXPECT_TRUE(bridge.out.HasColoured("ERROR:  CDremolun::ReadDataAuto()\nTimeout waiting for m_pDSP->ctrl & 8 : Addr[0x00000200]\n",
                                       kColorRed));
    EXPECT_EQ(support::Count(bridge.out.text, "Timeout"), 4u);
    // The other port works.
    bridge.out = {};
    bridge.SetDSPBlock(2);
    bridge.WriteDataFixed(0x100, 5);
    EXPECT_EQ(bridge.ReadDataFixed(0x100), 5u);
    EXPECT_EQ(bridge.out.text, "");
    // A DSP on the dead port fails its download with the bridge's line.
    bridge.out = {};
    EXPECT_FALSE(Boot(dspA));
    EXPECT_TRUE(bridge.out.HasColoured("loc 13 : Addr[0x01C00000]", kColorRed));
    EXPECT_TRUE(Boot(dspB));
}

TEST_F(CodecDspTest, MicrocodeBootsOnlyWhenWholeAndGivesItsRevision) {
    EXPECT_EQ(dspA.GetChip(), 1);
    EXPECT_EQ(dspB.GetChip(), 2);
    EXPECT_FALSE(dspA.InitializeFirmware(1));  // halted until microcode runs
    EXPECT_TRUE(dspA.out.HasColoured("ERROR:  CNuxaDSP::SendCommand(1) The DSP firmware is not running\n", kColorRed));
    struct Row {
        int corruptAt;  // bytes from the end; -1 none
        bool boots;
    };
    for (const Row row : {Row{4, false}, Row{100, false}, Row{-1, true}}) {
        SCOPED_TRACE(row.corruptAt);
        CString path(Microcode(61, row.corruptAt).c_str());
        EXPECT_EQ(dspA.DownloadMicrocode(path, 1), row.boots ? TRUE : FALSE);
        EXPECT_EQ(dspA.GetMicrocodeRevision(), row.boots ? 61u : 0u);
        EXPECT_EQ(dspA.InitializeFirmware(1), row.boots ? TRUE : FALSE);
    }
    // DSP B is still halted.
    EXPECT_FALSE(dspB.InitializeFirmware(1));
    CString missing(dir.File("none.oxd").c_str());
    EXPECT_FALSE(dspB.DownloadMicrocode(missing, 1));
    EXPECT_TRUE(dspB.out.Has("Unable to find file["));
}

// Each DSP fault stops its own step on its own DSP; the other DSP boots and answers.
TEST_F(CodecDspTest, DspFaultsStopTheirStep) {
    struct Row {
        const char* stage;
        bool boots;
        const char* message;  // red, on the faulty DSP
    };
    const Row rows[] = {
        {"download", false, "ERROR:  CNuxaDSP::DownloadMicrocode() The DSP did not start the microcode["},
        {"boot", false, "ERROR:  CNuxaDSP::DownloadMicrocode() The DSP did not start the microcode["},
        {"initialise", true, "ERROR:  CNuxaDSP::InitializeFirmware() Firmware revision[0], downloaded[52]\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stage);
        LoadFaults(std::string(R"([{"kind": "dsp_fails", "board": "Nuxa1", "chip": 2, "stage": ")") + row.stage + "\"}]");
        dspA.out = dspB.out = {};
        EXPECT_EQ(Boot(dspB), row.boots);
        EXPECT_EQ(dspB.GetMicrocodeRevision(), row.boots ? sim::kDspMicrocodeRevision : 0u);
        EXPECT_FALSE(dspB.InitializeFirmware(1));
        EXPECT_TRUE(dspB.out.HasColoured(row.message, kColorRed)) << dspB.out.text;
        ASSERT_TRUE(Boot(dspA));
        EXPECT_TRUE(dspA.InitializeFirmware(1));
        EXPECT_EQ(dspA.out.text, "");
    }
}

TEST_F(CodecDspTest, MailboxCommandsStateModeMemoryAndTables) {
    ASSERT_TRUE(Boot(dspA));
    EXPECT_EQ(dspA.GetState(), "Run");
    // The status word's codec error bits (all of them, the top one too) do not stop the firmware.
    bridge.SetDSPBlock(1);
    bridge.WriteDataFixed(CNuxaDSP::kMailboxStatus, 0x8000000F);
    EXPECT_EQ(dspA.GetState(), "Run") << dspA.out.text;
    bridge.WriteDataFixed(CNuxaDSP::kMailboxStatus, 0);
    EXPECT_TRUE(dspA.SetStateByName("halt", 1));
    EXPECT_EQ(dspA.GetState(), "Halt");
    EXPECT_FALSE(dspA.SetStateByName("Sleep", 1));
    EXPECT_EQ(dspA.GetMode(), "Idle");
    EXPECT_TRUE(dspA.InitializeFirmwareMode("Encode", 1));
    EXPECT_EQ(dspA.GetMode(), "Encode");
    EXPECT_TRUE(dspA.SetMode("Decode", 1));
    EXPECT_EQ(dspA.GetMode(), "Decode");
    EXPECT_FALSE(dspA.InitializeFirmwareMode("Idle", 1));
    // Heap: two blocks do not overlap, a freed block is reused, an oversized one is refused.
    const DWORD a = dspA.Alloc(1000, 2, 1), b = dspA.Alloc(24, 2, 1);
    EXPECT_NE(a, 0u);
    EXPECT_GE(b, a + 1000);
    EXPECT_EQ(dspA.Alloc(0x100000, 2, 1), 0u);
    // The heap (0x80000-0xFF000, 16-byte blocks) has 0x7F000 - 1008 - 32 bytes left after a and b:
    // exactly that fits, one byte more does not.
    EXPECT_EQ(dspA.Alloc(0x7EBF1, 2, 1), 0u);
    const DWORD rest = dspA.Alloc(0x7EBF0, 2, 1);
    EXPECT_EQ(rest, 0x80410u);
    EXPECT_TRUE(dspA.Dealloc(rest, 0x7EBF0, 1));
    EXPECT_TRUE(dspA.Dealloc(a, 1000, 1));
    EXPECT_FALSE(dspA.Dealloc(a, 1000, 1));
    EXPECT_EQ(dspA.Alloc(16, 2, 1), a);
    const BYTE data[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_TRUE(dspA.WriteMemory(data, b, 6, 1));
    bridge.SetDSPBlock(1);
    EXPECT_EQ(bridge.ReadDataFixed(b), 0x04030201u);
    EXPECT_EQ(bridge.ReadDataFixed(b + 4), 0x0605u);
    // Table lists: command 11 refuses an empty list; offsets count up.
    EXPECT_FALSE(dspA.LoadTableList(1));
    DWORD offset = 99;
    EXPECT_TRUE(dspA.AddEncodeTableList(0x4E4, b, 1024, a, 16, &offset, 1));
    EXPECT_EQ(offset, 0u);
    EXPECT_TRUE(dspA.AddEncodeTableList(0x4E5, b, 1024, a, 16, &offset, 1));
    EXPECT_EQ(offset, 0x20u);
    EXPECT_FALSE(dspA.AddEncodeTableList(0x4E5, 0, 1024, a, 16, &offset, 1));
    EXPECT_EQ(offset, 0u);
    EXPECT_TRUE(dspA.LoadTableList(1));
}

TEST_F(CodecDspTest, EmifTablesLoadAndReadBack) {
    EXPECT_TRUE(dspA.InitEmif(0, 1));
    EXPECT_TRUE(dspB.InitEmif(1, 2));
    EXPECT_TRUE(dspB.out.Has("EMIF_B Address[0x01A00000] = 0x00002078\n"));
    // All 24 pairs, the last one included.
    EXPECT_EQ(support::Count(dspB.out.text, "EMIF_B Address["), 24u);
    EXPECT_TRUE(dspB.out.Has("EMIF_B Address[0x01A0005C] = 0x00000001\n"));
    EXPECT_FALSE(dspA.InitEmif(2, 1));
    EXPECT_FALSE(dspA.InitEmif(-1, 1));
    Recording<CNuxaDSP> nameless{&bridge, "CNuxaDSP"};
    EXPECT_FALSE(nameless.InitEmif(0, 1));
}

// The codec tests start their channels by writing 1 to the channel's control word.
TEST_F(CodecDspTest, AChannelsControlWordStartsItsChainAtDcbOne) {
    devtest::HostBuffer host(4096);
    for (DWORD i = 0; i < 1024; ++i) host.Words()[i] = 0xC0DE0000 + i;
    CWexalDMAChannel* c = Board("Nuxa1")->GetDMAChannel(16);
    c->Flush();
    SetGo("Nuxa1", 0);
    const devtest::Dcb d = devtest::MakeDcb(0, 0, 5, 0x1000, 0, 1024, 0, host.Table());
    c->SetDCBWords(1, d.w);
    EXPECT_EQ(static_cast<DWORD>(c->GetControlWord().Offset()), CWexalDMAChannel::kTriggerBase + 4 * 16);
    c->GetControlWord() = 1;
    const devtest::Dcb live = Live(c);
    EXPECT_TRUE(live.Done());
    EXPECT_EQ(live.Tag(), 5);
    std::vector<DWORD> back(1024);
    Sdram("Nuxa1")->Get(back.data(), 0x1000, 4096);
    EXPECT_EQ(back[1023], 0xC0DE0000u + 1023);
    // Without a board the word reads 0 and takes nothing.
    CWexalDMAChannel none;
    none.GetControlWord() = 1;
    EXPECT_EQ(static_cast<DWORD>(none.GetControlWord()), 0u);
}

TEST(CodecRigFile, CodecKeysAndFaultsAreCheckedWithTheirKey) {
    struct Row {
        const char* board;
        const char* faults;
        const char* error;  // empty: accepted
    };
    const Row rows[] = {
        {R"("kind": "nuxa", "bridge_revision": {"major": 2})", "[]", ""},
        {R"("kind": "brimola", "bridge_revision": {"major": 2})", "[]", "key \"boards[0].bridge_revision\": only a codec board"},
        {R"("kind": "nuxa", "bridge_revision": {"major": 256})", "[]", "boards[0].bridge_revision.major"},
        {R"("kind": "nuxa", "codec_sdram_mib": {"width16": 8})", "[]", "boards[0].codec_sdram_mib"},
        {R"("kind": "nuxa")", R"([{"kind": "codec_sdram_stuck_bit", "board": "X", "chip": 2, "width": 48}])", "faults[0].width"},
        {R"("kind": "nuxa")", R"([{"kind": "codec_emif_stuck_bit", "board": "X", "emif": "C"}])", "faults[0].emif"},
        {R"("kind": "nuxa")", R"([{"kind": "codec_config_fails", "board": "X", "chip": 3}])", "faults[0].chip"},
        {R"("kind": "nuxa")", R"([{"kind": "codec_everything", "board": "X"}])", "unknown fault kind \"codec_everything\""},
        {R"("kind": "nuxa")", R"([{"kind": "bridge_not_ready", "board": "X", "port": 3}])", "faults[0].port"},
        {R"("kind": "brimola")", R"([{"kind": "codec_ddr_init_never_done", "board": "X", "memory": 32}])", "only a codec board has codec chips"},
        {R"("kind": "nuxa")", R"([{"kind": "codec_ddr_init_never_done", "board": "X", "memory": 64, "chip": 2}])", ""},
        {R"("kind": "nuxa")", R"([{"kind": "codec_memory_word", "board": "X", "address": "0xB00001FC", "mask": "0x80000000"}])", ""},
        {R"("kind": "nuxa")", R"([{"kind": "codec_memory_word", "board": "X", "address": "0xB0000002"}])", "faults[0].address\": not a multiple of 4"},
        {R"("kind": "nuxa")", R"([{"kind": "codec_memory_word", "board": "X"}])", "faults[0].address\": missing"},
        {R"("kind": "nuxa")", R"([{"kind": "codec_memory_word", "board": "X", "address": 0, "mask": 0}])", "faults[0].mask"},
        {R"("kind": "nuxa")", R"([{"kind": "dsp_fails", "board": "X", "chip": 2, "stage": "initialise"}])", ""},
        {R"("kind": "nuxa")", R"([{"kind": "dsp_fails", "board": "X", "stage": "run"}])", "\"run\" is not \"download\", \"boot\" or \"initialise\""},
        {R"("kind": "nuxa")", R"([{"kind": "dsp_fails", "board": "X"}])", "faults[0].stage\": missing"},
        {R"("kind": "brimola")", R"([{"kind": "dsp_fails", "board": "X", "stage": "boot"}])", "only a codec board has DSPs"},
        {R"("kind": "nuxa")", R"([{"kind": "dsp_table_corrupt", "board": "X", "offset": "0xFFFFF", "mask": "0xFF"}])", ""},
        {R"("kind": "nuxa")", R"([{"kind": "dsp_table_corrupt", "board": "X", "mask": 256}])", "faults[0].mask\": value 256 is out of range 1..255"},
        {R"("kind": "nuxa")", R"([{"kind": "dsp_frame_corrupt", "board": "X", "offset": "0x100000"}])", "faults[0].offset"},
        {R"("kind": "nuxa")", R"([{"kind": "dsp_frame_corrupt", "board": "X", "chip": 3}])", "faults[0].chip"},
        {R"("kind": "nuxa")", R"([{"kind": "dsp_codec_status", "board": "X", "bits": "0xFFFFFFFF"}])", ""},
        {R"("kind": "nuxa")", R"([{"kind": "dsp_codec_status", "board": "X", "bits": 0}])", "faults[0].bits"},
        {R"("kind": "nuxa")", R"([{"kind": "dsp_codec_status", "board": "X", "bits": 1, "mask": 1}])", "faults[0].mask"},
        {R"("kind": "nuxa")", R"([{"kind": "dsp_everything", "board": "X"}])", "unknown fault kind \"dsp_everything\""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.faults);
        const std::string text = std::string(R"({"boards": [{"tag": "X", )") + row.board + R"(}], "faults": )" + row.faults + "}";
        sim::RigConfig config;
        std::string error;
        const bool ok = sim::ParseRig(text, "rig.json", config, error);
        EXPECT_EQ(ok, row.error[0] == '\0') << error;
        if (!ok) {
            EXPECT_NE(error.find(row.error), std::string::npos) << error;
        }
    }
}

TEST_F(CodecDspTest, NoCommandIsTheBridgesOrTheDspsOwn) {
    EXPECT_EQ(bridge.Run("Reset"), kRunFailed);
    EXPECT_TRUE(bridge.out.HasColoured("\n\nERROR:  CDremolun\n\"Reset\" Not recognized as a valid test\n", kColorRed));
    EXPECT_EQ(dspB.Run(""), kRunFailed);
    EXPECT_TRUE(dspB.out.HasColoured("\n\nERROR:  CNuxaDSPB\n\"\" Not recognized as a valid test\n", kColorRed));
}

}  // namespace
