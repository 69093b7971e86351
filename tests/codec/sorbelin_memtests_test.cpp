// The shared memory tests of the packer and unpacker chip tests on the simulated codec board: context RAM, DCM phase, self-test, scan, range, and the faults each catches.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "codec/chip/sorbelin_memtests.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "tests/codec/codec_board_fixture.h"
#include "tests/devlib/rig_fixture.h"
#include "tests/support/fixtures.h"
#include "tests/support/output.h"
#include "tests/support/temp_dir.h"

namespace {

using support::Bracketed;
using support::Recording;
using Kind = CSorbelinMemTests::Kind;

constexpr const char* kStepTooWide = "STEP must not be above 255: the phases run 0x00 ... 0xFF\n";

const std::string kPacker = support::Fixture("oxd/PAQE0202.oxd");
const std::string kPackerFFFF = support::Fixture("oxd/PAQF0202.oxd");
const std::string kUnpacker = support::Fixture("oxd/UPQE0202.oxd");

// A chip test that hands the five keywords to its memory tests, as the packer and unpacker do, and
// answers "Probe" (printing "Probe\n") from a script (1 when the script is empty; 2 is a stop the
// host asked for).
class MemChip : public support::StopOnPrint<CSorbelin> {
public:
    MemChip(CNuxaDSP* dsp, CDremolun* bridge, CJastel* jastel, const char* name, Kind kind)
        : support::StopOnPrint<CSorbelin>(dsp, bridge, jastel, name), mem(*this, kind, jastel) {}
    DWORD GetNextRunStage(DWORD previous) override { return previous == 0 ? 1 : previous == 1 ? 2 : 3; }
    DWORD RunTest(CString command) override {
        if (command.Find("Probe") == 0) {
            ++probes;
            PrintColor("Probe\n", kColorBlack);
            if (answers.empty()) return 1;
            const DWORD a = answers.front();
            answers.pop_front();
            if (a == 2) *g_StopFlag() = 1;
            return a;
        }
        // Keyword, then the text after it.
        auto take = [&](const char* keyword) {
            if (command.Find(keyword) != 0) return false;
            command = command.Mid(static_cast<int>(std::strlen(keyword)));
            command.TrimLeft(" ");
            return true;
        };
        DWORD status = 0;
        if (take("\"Context RAM\"")) return static_cast<DWORD>(mem.TestContextRAM(m_pattern));
        if (take("\"Set DCM Phase\"")) return static_cast<DWORD>(mem.SetDCMPhase(command, 1));
        if (take("\"MemBist Test\"")) return static_cast<DWORD>(mem.MemBistTest(command, &status));
        if (take("\"MemBist Scan\"")) return static_cast<DWORD>(mem.MemBistScan(GetProgrammedFile(), command));
        if (take("\"MemBist Range\"")) return mem.MemBistRange(command);
        return 0;
    }
    void HelpTest(CString) override {}
    BOOL RAMInit(DWORD) override { return TRUE; }
    int GetChipFromName(DWORD) override { return GetName().Right(1) == "B" ? 2 : 1; }
    CSorbelinMemTests mem;
    std::deque<DWORD> answers;
    int probes = 0;
};

class SorbelinMemTestsTest : public codectest::CodecBoardTest<devtest::RigTest> {
protected:
    void Attach() override {
        CodecBoardTest::Attach();
        jastel.SetControllerRegisters(Board("Nuxa1")->GetControllerRegisters());
        support::SelectCodecBoard(packerA, packerB, unpackerA, unpackerB, unclocked);
        for (MemChip* t : {&packerA, &packerB, &unpackerA, &unpackerB, &unclocked}) t->SetPatternBuffer(&pattern);
    }
    static DWORD Program(MemChip& t, const std::string& image) {
        const DWORD r = t.ProgramImage(image.c_str());
        t.out = {};
        return r;
    }
    DWORD Reg(int chip, DWORD address) {
        bridge.SetDSPBlock(chip);
        return bridge.ReadDataFixed(address);
    }

    std::vector<DWORD> pattern = std::vector<DWORD>(4096, 0x5A5AA5A5);
    Recording<CNuxaDSP> dspA{&bridge, "CNuxaDSPA"};
    Recording<CNuxaDSP> dspB{&bridge, "CNuxaDSPB"};
    Recording<CJastel> jastel{"CJastel"};
    Recording<CJastel> deadJastel{"CJastel"};  // no register block: the clock never switches on
    MemChip packerA{&dspA, &bridge, &jastel, "CSorbelinPackerA", Kind::kPacker};
    MemChip packerB{&dspB, &bridge, &jastel, "CSorbelinPackerB", Kind::kPacker};
    MemChip unpackerA{&dspA, &bridge, &jastel, "CSorbelinUnpackerA", Kind::kUnpacker};
    MemChip unpackerB{&dspB, &bridge, &jastel, "CSorbelinUnpackerB", Kind::kUnpacker};
    MemChip unclocked{&dspA, &bridge, &deadJastel, "CSorbelinUnpackerA", Kind::kUnpacker};
};

TEST_F(SorbelinMemTestsTest, ContextRamComparesEveryWordAndCapsItsLines) {
    // Words 0-24 even, 25-31 odd: a bit 0 stuck at 1 spoils exactly 25.
    std::vector<DWORD> evens(32);
    for (DWORD i = 0; i < 32; ++i) evens[i] = ((0x13570000 + 0x1111 * i) & ~1u) | (i >= 25 ? 1u : 0u);
    const std::vector<DWORD> zeros(32, 0), shortPattern(31, 0);
    struct Case {
        const char* name;
        bool unpacker, chipB;
        const char* faults;
        const std::vector<DWORD>* words;
        int result;
        size_t lines;
        const char* text;  // a line that must be there ("" none)
    } const cases[] = {
        {"healthy packer", false, false, "[]", &evens, 1, 0, ""},
        {"healthy unpacker B, zeros", true, true, "[]", &zeros, 1, 0, ""},
        {"stuck context bit", false, false, R"([{"kind": "codec_context_ram_stuck_bit", "board": "Nuxa1", "entry": 5, "word": 1, "bit": 31}])",
         &evens, 0, 1, "Address[0x6400002C]  Wrote[0x1357BBBA]  Read[0x9357BBBA]\n"},
        {"25 bad words", true, false, R"([{"kind": "codec_emif_stuck_bit", "board": "Nuxa1", "emif": "B", "bit": 0}])", &evens, 0, 20,
         "Total errors 25 out of 32\n\n"},
        {"stuck bit of zeros on B", false, true,
         R"([{"kind": "codec_context_ram_stuck_bit", "board": "Nuxa1", "chip": 2, "entry": 0, "bit": 7}])", &zeros, 0, 1,
         "Total errors 1 out of 32\n\n"},
        {"short pattern", false, false, "[]", &shortPattern, 0, 0, "ERROR:  The board test pattern is missing or shorter than 32 words\n"},
        {"no pattern", true, false, "[]", nullptr, 0, 0, "ERROR:  The board test pattern is missing or shorter than 32 words\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoadFaults(c.faults);
        MemChip& t = c.unpacker ? (c.chipB ? unpackerB : unpackerA) : (c.chipB ? packerB : packerA);
        ASSERT_EQ(Program(t, c.unpacker ? kUnpacker : kPacker), kRunPassed);
        EXPECT_EQ(t.mem.TestContextRAM(c.words), c.result);
        EXPECT_EQ(support::Count(t.out.text, "Address[0x640000"), c.lines);
        if (c.text[0]) {
            EXPECT_TRUE(t.out.HasColoured(c.text, kColorRed)) << t.out.text;
        } else {
            EXPECT_EQ(t.out.text, "");
        }
        // The RAM keeps the pattern (as the chip reads it) after the test.
        if (c.words && c.words->size() == 32 && c.result == 1) {
            EXPECT_EQ(Reg(c.chipB ? 2 : 1, 0x6400007C), (*c.words)[31]);
        }
    }
    // Through the keyword, the test's own board pattern.
    ASSERT_EQ(Program(packerA, kPacker), kRunPassed);
    EXPECT_EQ(packerA.Run("\"Context RAM\""), kRunPassed);
    EXPECT_EQ(Reg(1, 0x64000000), 0x5A5AA5A5u);
}

TEST_F(SorbelinMemTestsTest, DcmPhaseGoesIntoItsHalfAndLoads) {
    struct Case {
        const char* name;
        bool unpacker;
        const char* params;
        int result;
        DWORD phase;  // the phase register afterwards (0x12345678: untouched)
        const char* text;
    } const cases[] = {
        {"DRAM=32 alone", false, "DRAM=32", 1, 0x00820000, ""},
        {"unpacker says so", true, "DRAM=32", 1, 0x00820000, "Set DCM Phase DRAM=32 VALUE=130\n"},
        {"64 keeps 16 bits", false, "DRAM=64 VALUE=70000", 1, 70000 & 0xFFFF, ""},
        {"lower case", true, "dram=64 value=7", 1, 7, "Set DCM Phase DRAM=64 VALUE=7\n"},
        {"no DRAM", false, "VALUE=5", 0, 0x12345678, ""},
        {"DRAM not a number", true, "DRAM=abc", 0, 0x12345678, ""},
        {"VALUE not a number", false, "DRAM=32 VALUE=x", 0, 0x12345678, ""},
        {"DRAM 48", true, "DRAM=48 VALUE=1", 0, 0x12345678, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemChip& t = c.unpacker ? unpackerA : packerA;
        ASSERT_EQ(Program(t, c.unpacker ? kUnpacker : kPacker), kRunPassed);
        bridge.WriteDataFixed(CSorbelinMemTests::kPhaseRegister, 0x12345678);
        EXPECT_EQ(t.mem.SetDCMPhase(c.params, 1), c.result);
        EXPECT_EQ(Reg(1, CSorbelinMemTests::kPhaseRegister), c.phase);
        EXPECT_EQ(Reg(1, CSorbelinMemTests::kDcmControl), 0u) << "the load bit is released";
        EXPECT_EQ(t.out.text, c.text);
    }
    // The unpacker switches the memory clock on first; without it nothing is written.
    ASSERT_EQ(Program(unclocked, kUnpacker), kRunPassed);
    bridge.WriteDataFixed(CSorbelinMemTests::kPhaseRegister, 0x12345678);
    EXPECT_EQ(unclocked.mem.SetDCMPhase("DRAM=32 VALUE=1", 1), 0);
    EXPECT_TRUE(unclocked.out.HasColoured("ERROR:  Unable to set SulvthSDRAMClock\n", kColorRed));
    EXPECT_EQ(Reg(1, CSorbelinMemTests::kPhaseRegister), 0x12345678u);
}

TEST_F(SorbelinMemTestsTest, SelfTestJudgesItsStatus) {
    const char* window32 = R"([{"kind": "codec_membist_window", "board": "Nuxa1", "memory": 32, "low": 0, "high": 16}])";
    struct Case {
        const char* name;
        const std::string* image;
        bool unpacker;
        const char* faults;
        const char* params;
        int result;
        DWORD status;  // 0xFFFFFFFF: left alone
        const char* text;
        COLORREF colour;
    } const cases[] = {
        {"packer below FFFF", &kPacker, false, "[]", "DRAM=32 TEST=1", 0, 0xFFFFFFFF, "32 bit memory requires a minimum Packer revision of 0xFFFF\n",
         kColorRed},
        {"packer below FFFF, 64", &kPacker, false, "[]", "DRAM=64 TEST=1", 0, 0xFFFFFFFF,
         "64 bit memory requires a minimum Packer revision of 0xFFFF\n", kColorRed},
        {"packer FFFF passes", &kPackerFFFF, false, "[]", "DRAM=64 TEST=1", 1, 0x30001, "Membist Test=1 Result=0x00030001 - Passed\n", kColorGreen},
        {"no parameters", &kPackerFFFF, false, "[]", "", 0, 0xFFFFFFFF, "MEMORY must be set to 32 or 64.\n", kColorRed},
        {"packer TEST no number: silent", &kPackerFFFF, false, "[]", "TEST=x DRAM=64", 0, 0xFFFFFFFF, "", 0},
        {"unpacker TEST no number", &kUnpacker, true, "[]", "TEST=x DRAM=64", 0, 0xFFFFFFFF, "Unable to find TEST= on the command line\n",
         kColorRed},
        {"unpacker DRAM no number", &kUnpacker, true, "[]", "TEST=1 DRAM=y", 0, 0xFFFFFFFF, "Unable to find DRAM= on the command line\n",
         kColorRed},
        {"unpacker 32 from 060B", &kUnpacker, true, "[]", "DRAM=32 TEST=3", 1, 0x30003, "Membist Test=3 Result=0x00030003 - Passed\n",
         kColorGreen},
        {"unpacker failure counts", &kUnpacker, true, window32, "DRAM=32 TEST=3", 0, 0x10003,
         "Total errors = 229488.\n", kColorRed},
        {"unpacker count above 16 bits", &kUnpacker, true, R"([{"kind": "codec_membist_fails", "board": "Nuxa1", "memory": 64}])",
         "DRAM=64 TEST=1", 0, 0x10001, "Total errors = 74565.\n", kColorRed},
        {"packer failure has no count", &kPackerFFFF, false, window32, "DRAM=32 TEST=1", 0, 0x10001,
         "Membist Test=1 Result=0x00010001 - Failed\n", kColorRed},
        {"never done", &kUnpacker, true, R"([{"kind": "codec_membist_fails", "board": "Nuxa1", "memory": 64, "result": "not_done"}])",
         "DRAM=64 TEST=1", 0, 0x20001, "Membist Test=1 Result=0x00020001 - Not Done\n", 0x000000},
        {"never started", &kPackerFFFF, false, R"([{"kind": "codec_membist_fails", "board": "Nuxa1", "memory": 32, "result": "not_started"}])",
         "DRAM=32 TEST=1", 0, 0, "Membist Test=1 Result=0x00000000 - Not started?\n", kColorRed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoadFaults(c.faults);
        MemChip& t = c.unpacker ? unpackerA : packerA;
        ASSERT_EQ(Program(t, *c.image), kRunPassed);
        DWORD status = 0xFFFFFFFF;
        EXPECT_EQ(t.mem.MemBistTest(c.params, &status), c.result);
        EXPECT_EQ(status, c.status);
        if (c.text[0]) {
            EXPECT_TRUE(t.out.HasColoured(c.text, c.colour)) << t.out.text;
        } else {
            EXPECT_EQ(t.out.text, "");
        }
        if (c.status != 0xFFFFFFFF) {
            // Polled 100 ms apart: a 250 ms test shows a few dots, a test that never ends about 12.
            EXPECT_EQ(c.status == 0x20001 || c.status == 0, t.out.Has(std::string(10, '.'))) << t.out.text;
            EXPECT_TRUE(t.out.Has("..\n")) << "one dot a poll, then the line end";
            // The control register is back at 0: a new status read shows nothing running.
            const bool is32 = std::string(c.params).find("DRAM=32") != std::string::npos;
            EXPECT_EQ(Reg(1, is32 ? CSorbelinMemTests::kBist32 : CSorbelinMemTests::kBist64) & 0x30000, 0u);
        }
    }
    // Without the memory clock the unpacker stops before the chip.
    ASSERT_EQ(Program(unclocked, kUnpacker), kRunPassed);
    DWORD status = 7;
    EXPECT_EQ(unclocked.mem.MemBistTest("DRAM=64 TEST=1", &status), 0);
    EXPECT_EQ(status, 7u);
    EXPECT_TRUE(unclocked.out.HasColoured("ERROR:  Unable to set SulvthSDRAMClock\n", kColorRed));
}

// The 16 cells of map line h (0-15) of the map's row r.
std::string MapLine(const std::string& text, int h, int row = 0) {
    size_t at = 0;
    for (int r = 0; r <= row; ++r) at = text.find("\n\t0 1 2 3 4 5 6 7 8 9 A B C D E F\n", at + 1);
    if (at == std::string::npos) return "";
    char head[24];
    std::snprintf(head, sizeof head, "~*BLACK*~%Xx:\t", h);
    const size_t start = text.find(head, at);
    if (start == std::string::npos) return "";
    std::string line = text.substr(start + std::strlen(head), text.find('\n', start) - start - std::strlen(head));
    // One letter a cell.
    std::string cells;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line.compare(i, 2, "~*") == 0) {
            i = line.find("*~", i + 2) + 1;
            continue;
        }
        if (line[i] != ' ') cells += line[i];
    }
    return cells;
}

TEST_F(SorbelinMemTestsTest, ScanMapsThePhaseWindow) {
    const char* window64 = R"([{"kind": "codec_membist_window", "board": "Nuxa1", "memory": 64, "low": 112, "high": 144}])";
    // The packer image again, in a folder whose name holds a blank and a bracket out of pair: each
    // try programs the chip with it.
    support::TempDir copies;
    const std::string spacedPacker = copies.Write("a) folder/PAQF0202.oxd", support::ReadText(kPackerFFFF));
    struct Case {
        const char* name;
        const std::string* image;
        bool unpacker;
        const char* faults;
        std::string params;
        int result;
        std::vector<std::pair<int, std::string>> lines;  // map line h and its cells
        std::vector<std::string> texts;
        size_t tries;
    } const cases[] = {
        {"range mode defaults", &kPackerFFFF, false, "[]", "", 1,
         {{4, "1NNN1111PPPPPPPP"}, {0xB, "PPPPPPPPP1111NNN"}, {0, "1NNNNNNN1NNNNNNN"}},
         {"\tPHASE 1:  Test range(0x00 ... 0xFF) in increments of 8\n", "\tPHASE 2:  Now testing phases less than 71\n",
          "\tPHASE 3:  Now testing phases greater than 184\n", "\tPHASE 4:  Now testing phases between 72 and 184\n",
          "\tPHASE 5:  Now retry range (0 ... 255)\n", "\t--- TRY 72 { 0x48 } - Range(0x00 ... 0xFF)  ---\n", "F:\tFAIL:  Unrecognized failure code"},
         32 + 4 + 4 + 112 - 14},
        {"refused self-tests are failures", &kPacker, false, "[]", "RANGE=(0x40,0x50) STEP=8,8 MAXFAIL=0", 1, {{4, "FNNNNNNNFNNNNNNN"}, {5, "FNNNNNNNNNNNNNNN"}},
         {"64 bit memory requires a minimum Packer revision of 0xFFFF\n"}, 3},
        {"midpoint", &kUnpacker, true, window64, "MIDPOINT=0x80 STEP=4 MAXFAIL=2", 1,
         {{6, "NNNNNNNN1NNN1NNN"}, {7, "PNNNPNNNPNNNPNNN"}, {9, "PNNN1NNN1NNNNNNN"}},
         {"\tPHASE 1:  Now testing phases less than or equal to 128\n", "\t--- TRY 116 { 0x74 }  Phase less than 128 ---\n",
          "\tPHASE 2:  Now testing phases greater than 128\n", "\t--- TRY 148 { 0x94 }  phases greater than 128 ---\n",
          "\tPHASE 3:  Now retry range (112 ... 144)\n", "Membist Scan\nSTEP=4\nMAXFAIL=2\nFPGA="},
         7 + 6},
        {"retry pass", &kPackerFFFF, false, "[]", "RANGE=(0x40,0x60) STEP=16,8 MAXFAIL=0 RETRY=1", 1,
         {{4, "1NNNNNNNPNNNNNNN"}, {6, "PNNNNNNNNNNNNNNN"}},
         {"\tPHASE 4:  Now testing phases between 64 and 96\n", "\t--- TRY 80 { 0x50 }  Retry[1] Range(64 ... 96) ---\n", "\nRetry=1\n"},
         5 + 4},
        {"a command per phase", &kPackerFFFF, false, "[]", "RANGE=(0x10,0x20) STEP=8,8 MAXFAIL=0 TEST=Probe", 1, {{1, "PNNNNNNNPNNNNNNN"}, {2, "PNNNNNNNNNNNNNNN"}},
         {"\n\n--- KEY ---\nN:  Not tested\n~*GREEN*~P:\tPASSED\n"}, 3},
        {"an image in a folder whose name holds a blank and a bracket", &spacedPacker, false, "[]", "RANGE=(0x10,0x20) STEP=8,8 MAXFAIL=0 TEST=Probe", 1,
         {{1, "PNNNNNNNPNNNNNNN"}, {2, "PNNNNNNNNNNNNNNN"}}, {"\n\n--- KEY ---\nN:  Not tested\n~*GREEN*~P:\tPASSED\n"}, 3},
        {"STEP 0", &kPackerFFFF, false, "[]", "STEP=0,1", 0, {}, {"STEP must be at least 1\n"}, 0},
        // 4294967297 would be cut to a fine step of 1 in an int.
        {"STEP past an int", &kPackerFFFF, false, "[]", "STEP=8,4294967297", 0, {}, {"Argument STEP=4294967297 does not fit its range -2147483648..2147483647\n"}, 0},
        {"midpoint STEP past an int", &kPackerFFFF, false, "[]", "MIDPOINT=0x80 STEP=4294967300", 0, {}, {"Argument STEP=4294967300 does not fit its range"}, 0},
        // Steps that fit an int but not the phases: the walks would overflow past 0x7FFFFFFF.
        {"coarse STEP past the phases", &kPackerFFFF, false, "[]", "RANGE=(0x01,0x02) STEP=2147483647,1", 0, {}, {kStepTooWide}, 0},
        {"fine STEP past the phases", &kUnpacker, true, "[]", "RANGE=(0x01,0x02) STEP=8,2147483647 MAXFAIL=0", 0, {}, {kStepTooWide}, 0},
        {"midpoint STEP of 256", &kPackerFFFF, false, "[]", "MIDPOINT=0x80 STEP=256", 0, {}, {kStepTooWide}, 0},
        {"the widest step", &kPackerFFFF, false, "[]", "RANGE=(0x00,0xFF) STEP=255,255 MAXFAIL=0", 1,
         {{0, "1NNNNNNNNNNNNNNN"}, {0xF, "NNNNNNNNNNNNNNN1"}}, {"\tPHASE 4:  Now testing phases between 0 and 255\n"}, 2},
        {"RANGE backwards", &kPackerFFFF, false, "[]", "RANGE=(0x20,0x10)", 0, {}, {"RANGE must lie within 0x00 ... 0xFF"}, 0},
        {"RANGE past 0xFF", &kUnpacker, true, "[]", "RANGE=(0x10,0x100)", 0, {}, {"RANGE must lie within 0x00 ... 0xFF"}, 0},
        {"RETRY unbounded", &kPackerFFFF, false, "[]", "RETRY=100000", 0, {}, {"RETRY must be between 0 and 16\n"}, 0},
        {"DRAM no number", &kUnpacker, true, "[]", "DRAM=abc", 0, {}, {"DRAM parameter must be either 32 or 64\n"}, 0},
        {"no image to program", &kPackerFFFF, false, "[]", "FILE-MISSING", 0, {}, {"Unable to program device.\n"}, 1},
    };
    support::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoadFaults(c.faults);
        MemChip& t = c.unpacker ? unpackerA : packerA;
        ASSERT_EQ(Program(t, *c.image), kRunPassed);
        std::string params = c.params;
        std::string file = *c.image;
        if (params == "FILE-MISSING") {
            params = "";
            file = dir.File("none.oxd");
        }
        if (c.unpacker) params += " FPGA=" + Bracketed(file);
        EXPECT_EQ(t.mem.MemBistScan(c.unpacker ? "" : file.c_str(), params.c_str()), c.result);
        for (const auto& [h, cells] : c.lines) {
            EXPECT_EQ(MapLine(t.out.text, h, 0), cells) << "line " << h;
        }
        for (const std::string& text : c.texts) EXPECT_TRUE(t.out.Has(text)) << text << "\n" << t.out.text;
        EXPECT_EQ(support::Count(t.out.text, "\t--- TRY "), c.tries);
    }
}

TEST_F(SorbelinMemTestsTest, ScanEndsAsStoppedWhenItsCommandIsStoppedAndWritesItsLogs) {
    ASSERT_EQ(Program(unpackerA, kUnpacker), kRunPassed);
    support::RecordHost host;  // the logs take their records from the host's window
    host.record = "the window's record\n";
    GetResultScreen().SetHost(&host);
    support::TempDir dir;
    ASSERT_EQ(unpackerA.FileMap(("FILE=" + Bracketed(dir.File("phase.log")) + " NAME=MembistPhase").c_str()), 1u);
    ASSERT_EQ(unpackerA.FileMap(("FILE=" + Bracketed(dir.File("summary.log")) + " NAME=MembistSummary").c_str()), 1u);
    unpackerA.answers = {1, 2};
    EXPECT_EQ(unpackerA.mem.MemBistScan("", ("RANGE=(0x10,0x30) STEP=8,8 MAXFAIL=0 TEST=Probe FPGA=" + Bracketed(kUnpacker)).c_str()), 2);
    *g_StopFlag() = 0;
    EXPECT_EQ(unpackerA.probes, 2) << "nothing runs after the stop";
    EXPECT_FALSE(unpackerA.out.Has("--- KEY ---"));
    unpackerA.out = {};
    unpackerA.answers = {};
    EXPECT_EQ(unpackerA.mem.MemBistScan("", ("RANGE=(0x10,0x18) STEP=8,8 MAXFAIL=0 TEST=Probe FPGA=" + Bracketed(kUnpacker)).c_str()), 1);
    EXPECT_TRUE(unpackerA.out.Has("LogFile MembistPhase:\t" + dir.File("phase.log") + "\n")) << unpackerA.out.text;
    EXPECT_TRUE(unpackerA.out.Has("LogFile MembistSummary:\t" + dir.File("summary.log") + "\n"));
    for (const char* log : {"phase.log", "summary.log"}) EXPECT_NE(dir.Read(log).find("the window's record"), std::string::npos) << log;
    GetResultScreen().SetHost(nullptr);
}

// The host's stop ends a scan or a range at its next try or repetition, however many ITERATION=
// asks for, also when the TEST command itself goes on passing; the command answers 3 and nothing
// runs after the stop.
TEST_F(SorbelinMemTestsTest, AStopEndsTheScanAndTheRangeAtTheNextRepetition) {
    support::StopFlagReset reset;
    struct Row {
        const char* name;
        bool unpacker;
        std::string command;
        const char* trigger;  // the stop comes with the after-th text holding it
        int after;
        const char* started;  // what each started repetition prints, counted
        size_t runs;
    } const rows[] = {
        {"a scan's self-tests", false, "\"MemBist Scan\" RANGE=(0x48,0x60) STEP=8,8 MAXFAIL=0 ITERATION=50", " - Passed\n", 3,
         "Membist DRAM=64 Test=", 3},
        {"a scan's TEST command that passes on", true, "\"MemBist Scan\" RANGE=(0x48,0x60) STEP=8,8 MAXFAIL=0 ITERATION=50 TEST=Probe",
         "Probe\n", 1, "Probe\n", 1},
        {"a range's self-tests", true, "\"MemBist Range\" RANGE=(0x48,0x60) STEP=8 ITERATION=50", " - Passed\n", 2, "Membist DRAM=64 Test=", 2},
        {"between a scan's phases", false, "\"MemBist Scan\" RANGE=(0x48,0x60) STEP=8,8 MAXFAIL=0", "\t--- TRY ", 2, "Membist DRAM=64 Test=", 2},
        {"between a scan's retries", true, "\"MemBist Scan\" RANGE=(0x48,0x50) STEP=8,8 MAXFAIL=0 RETRY=16", "Retry[1]", 1, "Retry[", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MemChip& t = row.unpacker ? unpackerA : packerA;
        ASSERT_EQ(Program(t, row.unpacker ? kUnpacker : kPackerFFFF), kRunPassed);
        t.StopAt(row.trigger, row.after);
        const std::string fpga = row.unpacker ? " FPGA=" + Bracketed(kUnpacker) : "";
        EXPECT_EQ(t.Run((row.command + fpga + " -NORESET").c_str()), kRunStopped) << t.out.text;
        *g_StopFlag() = 0;
        t.StopAt("");
        EXPECT_EQ(support::Count(t.out.text, row.started), row.runs) << t.out.text;
        EXPECT_FALSE(t.out.Has("--- KEY ---"));
        EXPECT_FALSE(t.out.Has("found Range"));
    }
}

TEST_F(SorbelinMemTestsTest, RangeReportsTheFirstAndLastPassingPhase) {
    struct Case {
        const char* name;
        std::string params;
        DWORD result;
        size_t tries;
        const char* found;  // "" no range line
        COLORREF colour;
    } const cases[] = {
        {"defaults: 32 phases to 0xF8", "", 1, 32, "\nTest Range[ 0 ... 255 ] found Range[ 72 ... 184 ]\n", kColorRed},
        {"inside the window", "RANGE=(0x48,0xB8) STEP=16", 1, 8, "\nTest Range[ 72 ... 184 ] found Range[ 72 ... 184 ]\n", kColorGreen},
        {"a single phase", "RANGE=(0x10,0x10)", 1, 1, "\nTest Range[ 16 ... 16 ] found Range[ 0 ... 0 ]\n", kColorRed},
        {"capital X is not read", "RANGE=(0X10,0X40)", 1, 32, "\nTest Range[ 0 ... 255 ] found Range[ 72 ... 184 ]\n", kColorRed},
        {"first only", "RANGE=(0xF0) DRAM=32", 1, 2, "\nTest Range[ 240 ... 255 ] found Range[ 0 ... 0 ]\n", kColorRed},
        {"first above last", "RANGE=(0x20,0x10)", 1, 0, "\nTest Range[ 32 ... 16 ] found Range[ 0 ... 0 ]\n", kColorGreen},
        {"no self-test runs", "RANGE=(0x00,0x10) ITERATION=0", 1, 3, "\nTest Range[ 0 ... 16 ] found Range[ 0 ... 16 ]\n", kColorGreen},
        {"STEP 0", "STEP=0", 0, 0, "", 0},
        {"STEP past the phases", "RANGE=(0x01,0x02) STEP=2147483647", 0, 0, "", 0},
        {"the widest step", "RANGE=(0x00,0xFF) STEP=255", 1, 2, "\nTest Range[ 0 ... 255 ] found Range[ 0 ... 0 ]\n", kColorRed},
        {"RANGE past 0xFF", "RANGE=(0x10,0x1FF)", 0, 0, "", 0},
        {"DRAM no number", "DRAM=x", 0, 0, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Program(unpackerA, kUnpacker), kRunPassed);
        EXPECT_EQ(unpackerA.mem.MemBistRange((c.params + " FPGA=" + Bracketed(kUnpacker)).c_str()), c.result);
        EXPECT_EQ(support::Count(unpackerA.out.text, "\t--- TRY "), c.tries);
        if (c.found[0]) {
            EXPECT_TRUE(unpackerA.out.HasColoured(c.found, c.colour)) << unpackerA.out.text;
        } else {
            EXPECT_FALSE(unpackerA.out.Has("found Range"));
            EXPECT_TRUE(unpackerA.out.coloured.size() == 1 && unpackerA.out.coloured[0].second == kColorRed) << unpackerA.out.text;
        }
    }
    ASSERT_EQ(Program(unpackerA, kUnpacker), kRunPassed);
    unpackerA.mem.MemBistRange(("RANGE=(0x50,0x50) DRAM=32 FPGA=" + Bracketed(kUnpacker)).c_str());
    EXPECT_TRUE(unpackerA.out.Has("Membist DRAM=32 Test=1\n"));
    EXPECT_TRUE(unpackerA.out.Has("Membist DRAM=32 Test=3\n"));
}

TEST_F(SorbelinMemTestsTest, RangeAppendsItsLineToTheBoardsFile) {
    support::InTempCwd cwd;
    ASSERT_EQ(Program(unpackerB, kUnpacker), kRunPassed);
    for (int run = 0; run < 2; ++run) EXPECT_EQ(unpackerB.mem.MemBistRange(("RANGE=(0x48,0x48) SAVE=yes FPGA=" + Bracketed(kUnpacker)).c_str()), 1u);
    std::ifstream in("NUX0000001.txt", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string line = "NUX0000001Unpacker B   DRAM=64:  \nTest Range[ 72 ... 72 ] found Range[ 72 ... 72 ]\n\r\n";
    EXPECT_EQ(text.str(), line + line);
    // A file that cannot be opened fails the command (it is no stop).
    std::filesystem::remove("NUX0000001.txt");
    std::filesystem::create_directory("NUX0000001.txt");
    unpackerB.out = {};
    EXPECT_EQ(unpackerB.mem.MemBistRange(("SAVE=YES FPGA=" + Bracketed(kUnpacker)).c_str()), 0u);
    EXPECT_TRUE(unpackerB.out.HasColoured("Unable to open file NUX0000001.txt\nThe file could not be accessed.\n", kColorRed)) << unpackerB.out.text;
    EXPECT_EQ(support::Count(unpackerB.out.text, "--- TRY"), 0u);
    // The number comes from product data: one that is no plain name is refused before any file
    // is touched, so nothing lands outside the working folder.
    for (const char* serial : {"../codec-serial-escape", "sub/escaped", "C:escaped", ".hidden", "a\\b"}) {
        SCOPED_TRACE(serial);
        LoadFaults("[]", std::string(R"(, "vpd": {"SN": ")") + serial + R"("})");
        ASSERT_EQ(Program(unpackerB, kUnpacker), kRunPassed);
        unpackerB.out = {};
        EXPECT_EQ(unpackerB.mem.MemBistRange(("RANGE=(0x48,0x48) SAVE=YES FPGA=" + Bracketed(kUnpacker)).c_str()), 0u);
        EXPECT_TRUE(unpackerB.out.HasColoured("cannot name a file in the working folder", kColorRed)) << unpackerB.out.text;
        EXPECT_EQ(support::Count(unpackerB.out.text, "--- TRY"), 0u);
    }
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(cwd.Dir().Path())) left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"NUX0000001.txt"});
    const auto outside = std::filesystem::path(cwd.Dir().Path()).parent_path() / "codec-serial-escape.txt";
    EXPECT_FALSE(std::filesystem::exists(outside));
    std::filesystem::remove(outside);  // only ever made by a run this test failed
}

// Each fault of the chip's memories fails the keyword that must catch it, naming it; the healthy rig passes.
TEST_F(SorbelinMemTestsTest, FaultsAreCaughtByTheirKeywords) {
    const char* window = R"([{"kind": "codec_membist_window", "board": "Nuxa1", "memory": 64, "low": 16, "high": 32}])";
    const char* window32B = R"([{"kind": "codec_membist_window", "board": "Nuxa1", "chip": 2, "memory": 32, "low": 200, "high": 255}])";
    struct Case {
        const char* name;
        bool unpacker, chipB;
        const char* faults;
        std::vector<std::string> commands;  // run in turn; the last one's result counts
        DWORD result;
        const char* text;
        COLORREF colour;
    } const cases[] = {
        {"healthy self-test", false, false, "[]", {"\"MemBist Test\" DRAM=64 TEST=1"}, kRunPassed, "Result=0x00030001 - Passed\n", kColorGreen},
        {"window moved away", false, false, window, {"\"MemBist Test\" DRAM=64 TEST=1"}, kRunFailed, "Result=0x00010001 - Failed\n", kColorRed},
        {"the phase set into the moved window", false, false, window,
         {"\"Set DCM Phase\" DRAM=64 VALUE=24", "\"MemBist Test\" DRAM=64 TEST=3"}, kRunPassed, "Result=0x00030003 - Passed\n", kColorGreen},
        {"the phase set into the other memory", false, false, window,
         {"\"Set DCM Phase\" DRAM=32 VALUE=24", "\"MemBist Test\" DRAM=64 TEST=3"}, kRunFailed, "Result=0x00010003 - Failed\n", kColorRed},
        {"unpacker B, 32-bit window", true, true, window32B, {"\"MemBist Test\" DRAM=32 TEST=1"}, kRunFailed, "Total errors = ", kColorRed},
        {"unpacker A is not B", true, false, window32B, {"\"MemBist Test\" DRAM=32 TEST=1"}, kRunPassed, "Passed\n", kColorGreen},
        {"self-test never done", false, false, R"([{"kind": "codec_membist_fails", "board": "Nuxa1", "memory": 64, "result": "not_done"}])",
         {"\"MemBist Test\" DRAM=64 TEST=1"}, kRunFailed, " - Not Done\n", 0x000000},
        {"scan finds the moved window", false, false, window, {"\"MemBist Scan\" RANGE=(0x00,0x30) STEP=8,8 MAXFAIL=0"}, kRunPassed,
         "~*BLACK*~1x:\t~*GREEN*~P ~*BLACK*~N", 0},
        {"range reports it in red", true, false, window, {"\"MemBist Range\" FPGA=" + Bracketed(kUnpacker)}, kRunPassed,
         "found Range[ 16 ... 32 ]\n", kColorRed},
        {"healthy context RAM", true, false, "[]", {"\"Context RAM\""}, kRunPassed, "", 0},
        {"context RAM stuck bit", true, false, R"([{"kind": "codec_context_ram_stuck_bit", "board": "Nuxa1", "entry": 15, "word": 1, "bit": 17, "value": 0}])",
         {"\"Context RAM\""}, kRunFailed, "Address[0x6400007C]  Wrote[0x5A5AA5A5]  Read[0x5A58A5A5]", kColorRed},
        {"EMIF B stuck bit", false, true, R"([{"kind": "codec_emif_stuck_bit", "board": "Nuxa1", "chip": 2, "emif": "B", "bit": 1}])",
         {"\"Context RAM\""}, kRunFailed, "Total errors 32 out of 32\n", kColorRed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoadFaults(c.faults);
        MemChip& t = c.unpacker ? (c.chipB ? unpackerB : unpackerA) : (c.chipB ? packerB : packerA);
        ASSERT_EQ(Program(t, c.unpacker ? kUnpacker : kPackerFFFF), kRunPassed);
        DWORD result = 0;
        for (const std::string& command : c.commands) result = t.Run((command + " -NORESET").c_str());
        EXPECT_EQ(result, c.result);
        if (!c.text[0]) {
            EXPECT_FALSE(t.out.Has("Address[")) << t.out.text;
        } else if (c.colour) {
            EXPECT_TRUE(t.out.HasColoured(c.text, c.colour)) << t.out.text;
        } else {
            EXPECT_TRUE(t.out.Has(c.text)) << t.out.text;
        }
    }
}

}  // namespace
