// The codec chip test base and the diagnostics test on the simulated codec board: stages, help, result mapping, every keyword, worked values, faults.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "codec/chip/sorbelin_diag.h"
#include "framework/test_record.h"
#include "tests/codec/codec_board_fixture.h"
#include "tests/devlib/rig_fixture.h"
#include "tests/support/fixtures.h"
#include "tests/support/output.h"
#include "tests/support/temp_dir.h"

namespace {

using support::Bracketed;
using support::Recording;

const std::string kImage = support::Fixture("oxd/SDIA0202.oxd");
const char* const kKeywords[] = {"FIFO EMIF_A",        "FIFO EMIF_B",         "RAMTable EMIF_A",      "RAMTable EMIF_B",
                                 "SDRAM_32 Block",     "SDRAM_64 Block",      "SDRAM_32 Address",     "SDRAM_64 Address",
                                 "Register write EMIF_A", "Register write EMIF_B", "Register read EMIF_A", "Register read EMIF_B"};

// The board's "Unique Byte" pattern: DWORD i holds bytes 4i .. 4i+3 modulo 256, lowest first.
std::vector<DWORD> UniqueByte() {
    std::vector<DWORD> p(4096);
    for (DWORD i = 0; i < p.size(); ++i) {
        const DWORD b = 4 * i;
        p[i] = (b & 0xFF) | ((b + 1) & 0xFF) << 8 | ((b + 2) & 0xFF) << 16 | ((b + 3) & 0xFF) << 24;
    }
    return p;
}

class SorbelinDiagTest : public codectest::CodecBoardTest<devtest::RigTest> {
protected:
    void Attach() override {
        CodecBoardTest::Attach();
        support::SelectCodecBoard(diagA, diagB);
        for (auto* t : {&diagA, &diagB}) t->SetPatternBuffer(&pattern);
        dspA.SetPatternBuffer(&pattern);
        dspB.SetPatternBuffer(&pattern);
    }
    DWORD Program(Recording<CSorbelinDiag>& t) { return t.Run(("Program VERBOSITY=1 FILE=" + Bracketed(kImage)).c_str()); }
    std::string AllText() { return bridge.out.text + dspA.out.text + dspB.out.text + diagA.out.text + diagB.out.text; }
    void Clear() {
        for (support::OutputLog* log : {&bridge.out, &dspA.out, &dspB.out, &diagA.out, &diagB.out}) *log = {};
    }

    std::vector<DWORD> pattern = UniqueByte();
    Recording<CNuxaDSP> dspA{&bridge, "CNuxaDSPA"};
    Recording<CNuxaDSP> dspB{&bridge, "CNuxaDSPB"};
    Recording<CSorbelinDiag> diagA{&dspA, &bridge, nullptr, "CSorbelinDiagA"};
    Recording<CSorbelinDiag> diagB{&dspB, &bridge, nullptr, "CSorbelinDiagB"};
};

// A test whose RunTest answers what it is told, counting the resets and RAM initialisations after it.
class ScriptedSorbelin : public Recording<CSorbelin> {
public:
    ScriptedSorbelin() : Recording<CSorbelin>(nullptr, nullptr, nullptr, "CScriptedA") {}
    DWORD GetNextRunStage(DWORD previous) override { return previous == 0 ? 1 : previous == 1 ? 2 : 3; }
    DWORD RunTest(CString) override { return ++runs, answer; }
    void HelpTest(CString name) override { helped.push_back(name.str()); }
    BOOL RAMInit(DWORD) override { return ++ramInits, TRUE; }
    int GetChipFromName(DWORD) override { return 1; }
    void Reset(int) override { ++resets; }
    DWORD answer = 1;
    int resets = 0, ramInits = 0, runs = 0;
    std::vector<std::string> helped;
};

TEST(SorbelinBase, HelpAndRunStages) {
    ScriptedSorbelin t;
    struct Row {
        const char* name;
        bool base;
    };
    for (const Row row : {Row{"Reset", true}, Row{"RAM_Init", true}, Row{"Program", true}, Row{"Program FILE=x", true}, Row{"reset", false},
                          Row{"Reset ", false}, Row{"Re-Program", false}, Row{"FIFO EMIF_A", false}}) {
        SCOPED_TRACE(row.name);
        t.out = {};
        t.helped.clear();
        EXPECT_EQ(t.Help(row.name), kRunPassed);
        if (row.base) {
            EXPECT_EQ(t.out.text, std::string("\nHelp is not available for:\n  CSorbelin ") + row.name + "\n");
            EXPECT_TRUE(t.helped.empty());
        } else {
            EXPECT_EQ(t.out.text, "");
            EXPECT_EQ(t.helped, std::vector<std::string>{row.name});
        }
    }
    CSorbelinDiag diag(nullptr, nullptr, nullptr, "CSorbelinDiagA");
    const DWORD stages[][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 3}, {0xFFFFFFFF, 3}};
    for (const auto& s : stages) EXPECT_EQ(diag.GetNextRunStage(s[0]), s[1]);
    // The base version has no stage at all: nothing runs.
    EXPECT_EQ(diag.CSorbelin::GetNextRunStage(0), 3u);
}

TEST(SorbelinBase, RunMapsResultsAndResetsUnlessNoReset) {
    struct Row {
        DWORD answer;
        bool stop;
        const char* command;
        DWORD result;
        int resets;
    };
    const Row rows[] = {
        {1, false, "X", kRunPassed, 1},       {0, false, "X", kRunFailed, 1},        {2, false, "X", kRunFailed, 0},
        {2, true, "X", kRunStopped, 0},       {7, false, "X", kRunFailed, 0},        {1, false, "X -NORESET", kRunPassed, 0},
        {0, false, "X -noReset", kRunFailed, 0}, {1, false, "X-norESETx", kRunPassed, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        ScriptedSorbelin t;
        t.answer = row.answer;
        *g_StopFlag() = row.stop ? 1 : 0;
        EXPECT_EQ(t.Run(row.command), row.result);
        *g_StopFlag() = 0;
        EXPECT_EQ(t.resets, row.resets);
        EXPECT_EQ(t.ramInits, row.resets);
    }
}

// A VERBOSE= level an int cannot hold is refused before any stage: neither a base command nor
// RunTest runs, nothing else is printed and the command fails. The ends of an int still run.
TEST(SorbelinBase, AVerbosityPastAnIntIsRefusedBeforeAnythingRuns) {
    const std::string range = " does not fit its range -2147483648..2147483647\n";
    struct Row {
        const char* command;
        const char* typed;  // the level the refusal names; null: the command runs
        DWORD result;
        int resets, ramInits, runs;
    } const rows[] = {
        {"RAM_Init VERBOSE=4294967298", "4294967298", kRunFailed, 0, 0, 0},
        {"Reset verbose=2147483648", "2147483648", kRunFailed, 0, 0, 0},
        {"Program FILE=x VERBOSE=-2147483649", "-2147483649", kRunFailed, 0, 0, 0},
        {"FIFO EMIF_A VERBOSE=99999999999999999999", "99999999999999999999", kRunFailed, 0, 0, 0},
        {"RAM_Init VERBOSE=2147483647", nullptr, kRunPassed, 0, 1, 0},
        {"FIFO EMIF_A VERBOSE=-2147483648", nullptr, kRunPassed, 1, 1, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        ScriptedSorbelin t;
        EXPECT_EQ(t.Run(row.command), row.result);
        EXPECT_EQ(t.resets, row.resets);
        EXPECT_EQ(t.ramInits, row.ramInits);
        EXPECT_EQ(t.runs, row.runs);
        if (row.typed) {
            EXPECT_EQ(t.out.text, "Argument VERBOSE=" + std::string(row.typed) + range);
            EXPECT_TRUE(t.out.HasColoured("Argument VERBOSE=", kColorRed));
        }
    }
}

TEST_F(SorbelinDiagTest, ProgramThenEveryKeywordPassesOnBothChips) {
    for (auto* t : {&diagA, &diagB}) {
        SCOPED_TRACE(t->GetName().c_str());
        ASSERT_EQ(Program(*t), kRunPassed) << AllText();
        DWORD revision = 0;
        EXPECT_TRUE(t->GetProgrammedRevision(&revision));
        EXPECT_EQ(revision, 0x0102u);
        EXPECT_EQ(t->Run("RAM_Init"), kRunPassed) << AllText();
        for (const char* keyword : kKeywords) {
            Clear();
            EXPECT_EQ(t->Run(keyword), kRunPassed) << keyword << "\n" << AllText();
            EXPECT_EQ(AllText().find("ERROR"), std::string::npos) << keyword;
        }
    }
}

TEST_F(SorbelinDiagTest, UnknownCommandsNotImplementedAndCaseAreFailures) {
    ASSERT_EQ(Program(diagA), kRunPassed);
    EXPECT_EQ(diagA.Run("fifo emif_a"), kRunFailed);
    EXPECT_TRUE(diagA.out.HasColoured("\n\nERROR:  CSorbelinDiag\n\"fifo emif_a\" Not recognized as a valid test\n", kColorRed));
    EXPECT_EQ(diagA.Run("SDRAM_32/64 Block"), kRunFailed);
    EXPECT_TRUE(diagA.out.HasColoured("Not implemented yet!!!\n", 0x00C0E8));
    // Keywords are prefixes: options may follow.
    Clear();
    EXPECT_EQ(diagA.Run("FIFO EMIF_A VERBOSE=2"), kRunPassed);
    EXPECT_EQ(support::Count(diagA.out.text, "Address[0x9"), 25u);
    EXPECT_TRUE(diagA.out.HasColoured("Address[0x90000000]  Wrote[0x00000018]  Read[0x00000018]\n", kColorGreen));
}

TEST_F(SorbelinDiagTest, ChipNameAndRamTableSizes) {
    struct Row {
        const char* name;
        int chip;
    };
    for (const Row row : {Row{"CSorbelinDiagA", 1}, Row{"CSorbelinDiagB", 2}, Row{"CSorbelinDiagA ", 1}, Row{"CSorbelinDiag7", 0},
                          Row{"CSorbelinDiagc", 3}}) {
        CSorbelinDiag t(nullptr, nullptr, nullptr, row.name);
        EXPECT_EQ(t.GetChipFromName(1), row.chip) << row.name;
    }
    ASSERT_EQ(Program(diagA), kRunPassed);
    Clear();
    EXPECT_EQ(diagA.RamTableTest(CSorbelinDiag::kRamTableA, 0x204), 0u);
    EXPECT_EQ(diagA.RamTableTest(CSorbelinDiag::kRamTableB, 0x82), 0u);
    EXPECT_EQ(AllText(), "");
    // Without a pattern the table tests refuse with a red line; the FIFO needs none.
    diagA.SetPatternBuffer(nullptr);
    dspA.SetPatternBuffer(nullptr);
    EXPECT_EQ(diagA.Run("RAMTable EMIF_A -NORESET"), kRunFailed);
    EXPECT_TRUE(diagA.out.HasColoured("The board test pattern is missing", kColorRed));
    EXPECT_EQ(diagA.Run("Register read EMIF_A -NORESET"), kRunFailed);
    EXPECT_TRUE(dspA.out.HasColoured("ERROR:  CNuxaDSP::RegisterAccessTest() No test pattern\n", kColorRed));
    EXPECT_EQ(diagA.Run("FIFO EMIF_A"), kRunPassed);
}

TEST_F(SorbelinDiagTest, SdramWorkedValues) {
    ASSERT_EQ(Program(diagA), kRunPassed);
    Clear();
    EXPECT_EQ(diagA.SdramTest(0x200, 32, 1, 2), 1u);
    EXPECT_EQ(support::Count(diagA.out.text, "WRITE:  Wait for busy block("), 32u);
    EXPECT_EQ(support::Count(diagA.out.text, "Write["), 64u);
    EXPECT_TRUE(diagA.out.Has("WRITE:  Wait for busy block(124) ..."));
    Clear();
    EXPECT_EQ(diagA.SdramTest(0x200, 64, 1, 2), 1u);
    EXPECT_EQ(support::Count(diagA.out.text, "Write["), 128u);
    Clear();
    EXPECT_EQ(diagA.SdramTest(0x800000, 32, 2, 2), 1u);
    EXPECT_EQ(support::Count(diagA.out.text, "WRITE:  Wait for busy block("), 20u);
    for (const char* index : {"IndexReg[0x00000000]", "IndexReg[0x00000004]", "IndexReg[0x00040000]", "IndexReg[0x00100000]",
                              "IndexReg[0x00200000]"})
        EXPECT_TRUE(diagA.out.Has(index)) << index;
    EXPECT_FALSE(diagA.out.Has("IndexReg[0x00080000]"));  // block 0x80000 is addressed as 0x100000
    // The address test compares whole words: the board pattern has upper halves and passes.
    EXPECT_NE(pattern[1] >> 16, 0u);
}

TEST_F(SorbelinDiagTest, FaultsAreCaughtByTheirKeywords) {
    struct Row {
        const char* fault;
        int chip;                    // 1 A, 2 B
        const char* failing;         // keyword that must fail
        const char* message;         // text that must appear
        const char* passing;         // keyword of the same chip that still passes (or null)
    };
    const Row rows[] = {
        {R"({"kind": "codec_emif_stuck_bit", "board": "Nuxa1", "chip": 1, "emif": "A", "bit": 3})", 1, "FIFO EMIF_A",
         "Address[0x90000004]  Wrote[0x00000017]  Read[0x0000001F]", "FIFO EMIF_B"},
        {R"({"kind": "codec_emif_stuck_bit", "board": "Nuxa1", "chip": 1, "emif": "A", "bit": 2, "value": 0})", 1, "RAMTable EMIF_A",
         "ERROR:   Total errors", "RAMTable EMIF_B"},
        {R"({"kind": "codec_emif_stuck_bit", "board": "Nuxa1", "chip": 2, "emif": "B", "bit": 0})", 2, "Register read EMIF_B",
         "Address[0x6c000000]  Read[0x00009877]", "Register read EMIF_A"},
        {R"({"kind": "codec_sdram_stuck_bit", "board": "Nuxa1", "chip": 2, "width": 64, "bit": 5})", 2, "SDRAM_64 Block",
         "Address[0x00000000] Wrote[0x03020100]  Read[0x03020120]", "SDRAM_32 Block"},
        {R"({"kind": "codec_sdram_stuck_bit", "board": "Nuxa1", "chip": 1, "width": 32, "bit": 31, "value": 0})", 1, "SDRAM_32 Address",
         "RD[", "SDRAM_64 Address"},
        {R"({"kind": "codec_sdram_address_alias", "board": "Nuxa1", "chip": 1, "width": 32, "line": 8})", 1, "SDRAM_32 Address",
         "IndexReg[0x00000000]  WR[0x03020100]", "SDRAM_32 Block"},
        {R"({"kind": "codec_sdram_address_alias", "board": "Nuxa1", "chip": 2, "width": 64, "line": 20})", 2, "SDRAM_64 Address",
         "WR[", "SDRAM_64 Block"},
        {R"({"kind": "codec_sdram_busy_stuck", "board": "Nuxa1", "chip": 1, "width": 32})", 1, "SDRAM_32 Block",
         "The busy bit is high on entrance to function, ABORTING!!!\n", "SDRAM_64 Block"},
        {R"({"kind": "codec_ddr_init_never_done", "board": "Nuxa1", "chip": 2, "memory": 64})", 2, "RAM_Init",
         "Timeout (100 milliseconds) waiting for 64Bit DDR Init done.\nReceived Status[0x00020000], Looking for bit(s)[0x00030000]\n",
         "FIFO EMIF_A -NORESET"},
        {R"({"kind": "codec_ddr_init_never_done", "board": "Nuxa1", "chip": 1, "memory": 32})", 1, "RAM_Init",
         "RAMInit() Timeout (100 milliseconds) waiting for 32Bit DDR Init done.", nullptr},
        {R"({"kind": "bridge_not_ready", "board": "Nuxa1", "port": 1})", 1, "FIFO EMIF_A",
         "Timeout waiting for m_pDSP->ctrl & 8, loc 13 : Addr[0x90000000]", nullptr},
        // Faults confined to one part of the data: a FIFO word's high byte, a table's last word and
        // its top bit, one byte lane, an SDRAM word's top bit at each width, the top index lines.
        {R"({"kind": "codec_emif_stuck_bit", "board": "Nuxa1", "chip": 1, "emif": "A", "bit": 12})", 1, "FIFO EMIF_A",
         "Address[0x90000000]  Wrote[0x00000018]  Read[0x00001018]\n", "FIFO EMIF_B"},
        {R"({"kind": "codec_emif_stuck_bit", "board": "Nuxa1", "chip": 2, "emif": "B", "bit": 15})", 2, "FIFO EMIF_B",
         "Address[0x64000000]  Wrote[0x00000018]  Read[0x00008018]\n", "FIFO EMIF_A"},
        {R"({"kind": "codec_memory_word", "board": "Nuxa1", "chip": 1, "address": "0xB00001FC", "mask": "0x80000000"})", 1,
         "RAMTable EMIF_A", "Address[0xB00001FC]  Wrote[0xFFFEFDFC]  Read[0x7FFEFDFC]\n\nERROR:   Total errors 1 bytes out of 512 bytes\n",
         "RAMTable EMIF_B"},
        {R"({"kind": "codec_memory_word", "board": "Nuxa1", "chip": 2, "address": "0x6C00007C", "mask": "0x00FF0000"})", 2,
         "RAMTable EMIF_B", "Address[0x6C00007C]  Wrote[0x7F7E7D7C]  Read[0x7F817D7C]\n\nERROR:   Total errors 1 bytes out of 128 bytes\n",
         "RAMTable EMIF_A"},
        {R"({"kind": "codec_memory_word", "board": "Nuxa1", "chip": 1, "address": "0xB0010000", "mask": "0x10000"})", 1,
         "Register read EMIF_A", "Address[0xb0010000]  Read[0x00019876]\n", "Register read EMIF_B"},
        {R"({"kind": "codec_sdram_stuck_bit", "board": "Nuxa1", "chip": 1, "width": 32, "bit": 31})", 1, "SDRAM_32 Block",
         "Address[0x00000000] Wrote[0x03020100]  Read[0x83020100]\n\n", "SDRAM_64 Block"},
        {R"({"kind": "codec_sdram_stuck_bit", "board": "Nuxa1", "chip": 2, "width": 64, "bit": 30, "value": 0})", 2, "SDRAM_64 Address",
         "0 MB - Address[0x00000100] IndexReg[0x00000020]  WR[0x43424140]  RD[0x03424140]\n\n", "SDRAM_32 Address"},
        {R"({"kind": "codec_sdram_stuck_bit", "board": "Nuxa1", "chip": 1, "width": 64, "bit": 31})", 1, "SDRAM_64 Block",
         "Address[0x00000000] Wrote[0x03020100]  Read[0x83020100]\n\n", "SDRAM_32 Address"},
        {R"({"kind": "codec_sdram_address_alias", "board": "Nuxa1", "chip": 1, "width": 32, "line": 21})", 1, "SDRAM_32 Address",
         "0 MB - Address[0x00000000] IndexReg[0x00000000]  WR[0x03020100]  RD[0x9B9A9998]\n\n", "SDRAM_64 Address"},
        {R"({"kind": "codec_sdram_address_alias", "board": "Nuxa1", "chip": 2, "width": 64, "line": 21})", 2, "SDRAM_64 Address",
         "IndexReg[0x00000000]  WR[0x03020100]", "SDRAM_32 Address"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        LoadFaults(std::string("[") + row.fault + "]");
        Recording<CSorbelinDiag>& t = row.chip == 1 ? diagA : diagB;
        // The register reads pass only after the writes.
        auto prepare = [](Recording<CSorbelinDiag>& d) {
            d.Run("Register write EMIF_A -NORESET");
            d.Run("Register write EMIF_B -NORESET");
        };
        Program(t);
        prepare(t);
        Clear();
        EXPECT_EQ(t.Run(row.failing), kRunFailed);
        EXPECT_NE(AllText().find(row.message), std::string::npos) << AllText().substr(0, 3000);
        if (row.passing) {
            Clear();
            EXPECT_EQ(t.Run(row.passing), kRunPassed) << AllText().substr(0, 2000);
        }
        // The other chip is healthy.
        Recording<CSorbelinDiag>& other = row.chip == 1 ? diagB : diagA;
        if (std::string(row.fault).find("bridge") == std::string::npos) {
            ASSERT_EQ(Program(other), kRunPassed);
            prepare(other);
            EXPECT_EQ(other.Run(row.failing), kRunPassed);
        }
    }
}

// A single wrong word in a RAM table: that word in red (the line and the empty line after it),
// the correct words after it in green as context, twenty lines in all, then the total.
TEST_F(SorbelinDiagTest, RamTableShowsOneBadWordWithTheWordsAfterIt) {
    LoadFaults(R"([{"kind": "codec_memory_word", "board": "Nuxa1", "chip": 1, "address": "0xB000000C", "mask": "0xFF"}])");
    ASSERT_EQ(Program(diagA), kRunPassed);
    diagA.out = {};
    EXPECT_EQ(diagA.RamTableTest(CSorbelinDiag::kRamTableA, 0x200), 0u);
    std::vector<std::pair<std::string, COLORREF>> expected;
    char line[96];
    std::snprintf(line, sizeof line, "Address[0xB000000C]  Wrote[0x%08X]  Read[0x%08X]\n\n", pattern[3], pattern[3] ^ 0xFFu);
    expected.emplace_back(line, kColorRed);
    for (DWORD i = 4; i < 23; ++i) {
        std::snprintf(line, sizeof line, "Address[0x%08X]  Wrote[0x%08X]  Read[0x%08X]\n", 0xB0000000 + 4 * i, pattern[i], pattern[i]);
        expected.emplace_back(line, kColorGreen);
    }
    expected.emplace_back("ERROR:   Total errors 1 bytes out of 512 bytes\n", kColorRed);
    EXPECT_EQ(diagA.out.coloured, expected);
    // Chip B and chip A's other table are healthy.
    EXPECT_EQ(diagA.RamTableTest(CSorbelinDiag::kRamTableB, 0x80), 1u);
    ASSERT_EQ(Program(diagB), kRunPassed);
    EXPECT_EQ(diagB.RamTableTest(CSorbelinDiag::kRamTableA, 0x200), 1u);
}

// The inbound VelkoDrun test passes only on a whole stream; the outbound test always gives 0; what they print shows the path.
class VelkoDrunTest : public SorbelinDiagTest {
protected:
    void SetUp() override {
        SorbelinDiagTest::SetUp();
        Prepare();
    }
    void Prepare() {
        jastel.SetControllerRegisters(Board("Nuxa1")->GetControllerRegisters());
        support::SelectCodecBoard(a, c);
        for (auto* t : {&a, &c}) t->SetPatternBuffer(&pattern);
    }
    Recording<CJastel> jastel{"CJastel"};
    Recording<CSorbelinDiag> a{&dspA, &bridge, &jastel, "CSorbelinDiagA"};
    Recording<CSorbelinDiag> c{&dspA, &bridge, &jastel, "CSorbelinDiagC"};
};

TEST_F(VelkoDrunTest, InboundComparesEachReadWholeAndStopsAfterFortyErrors) {
    // Frame word k goes as two halves, low first, after the port word 0xA; read k carries the high
    // half of word k-1 (the port word for k = 0) and the low half of word k.
    struct Row {
        const char* faults;
        DWORD result;
        std::vector<std::string> red;  // lines that must be shown in red
        size_t offsets;                // "Offset[" lines
        bool ok;
    };
    const Row rows[] = {
        {"[]", kRunPassed, {}, 0, true},
        // A low half changed: the high half of its read.
        {R"([{"kind": "dma_corrupt", "board": "Nuxa1", "channel": 28, "mask": "0x100", "first": 5}])", kRunFailed,
         {"Offset[5]\t dataWritten[0x15141312]  dataRead[0x14141312]\n"}, 1, false},
        // A high half changed: the low half of the next read.
        {R"([{"kind": "dma_corrupt", "board": "Nuxa1", "channel": 28, "mask": "0x01000000", "first": 5}])", kRunFailed,
         {"Offset[6]\t dataWritten[0x19181716]  dataRead[0x19181616]\n"}, 1, false},
        // The frame's last word.
        {R"([{"kind": "dma_corrupt", "board": "Nuxa1", "channel": 28, "mask": "0x100", "first": 311039}])", kRunFailed,
         {"Offset[311039]\t"}, 1, false},
        // Every word wrong: forty lines, then the loop ends.
        {R"([{"kind": "dma_corrupt", "board": "Nuxa1", "channel": 28, "mask": "0xFFFFFFFF", "count": 0}])", kRunFailed,
         {"Offset[0]\t dataWritten[0x0100000A]  dataRead[0xFEFF000A]\n", "Offset[39]\t"}, 40, false},
        // Nothing arrives: the time-out line, then an empty line.
        {R"([{"kind": "dma_stall", "board": "Nuxa1", "channel": 28}])", kRunFailed, {"Read Timeout DataIndex = 0\n\n"}, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.faults);
        LoadFaults(row.faults);
        Prepare();
        ASSERT_EQ(Program(a), kRunPassed);
        a.out = {};
        EXPECT_EQ(a.Run("VelkoDrun_IB"), row.result);
        EXPECT_TRUE(a.out.HasColoured("Test Sorbelin A\n", kColorGreen));
        EXPECT_TRUE(a.out.Has("Waiting for Data ready ... \n"));
        for (const std::string& line : row.red) EXPECT_TRUE(a.out.HasColoured(line, kColorRed)) << line << "\n" << a.out.text.substr(0, 3000);
        EXPECT_EQ(support::Count(a.out.text, "Offset["), row.offsets);
        EXPECT_EQ(a.out.HasColoured("OK\n", kColorGreen), row.ok);
    }
}

TEST_F(VelkoDrunTest, OutboundFeedsThePortAndShowsWhatLanded) {
    // The first pattern word's halves, low first, shifted right by 3: a changed bit of either half
    // shows in its own line.
    struct Row {
        const char* faults;
        const char* shown;
    };
    const Row rows[] = {
        {"[]", "Data Read = 0x0020\nData Read = 0x0060\n"},
        {R"([{"kind": "dma_corrupt", "board": "Nuxa1", "channel": 24, "mask": "0x8"}])", "Data Read = 0x0021\nData Read = 0x0060\n"},
        {R"([{"kind": "dma_corrupt", "board": "Nuxa1", "channel": 24, "mask": "0x80000"}])", "Data Read = 0x0020\nData Read = 0x0061\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.faults);
        LoadFaults(row.faults);
        Prepare();
        ASSERT_EQ(Program(a), kRunPassed);
        a.out = {};
        EXPECT_EQ(a.Run("VelkoDrun_OB"), kRunFailed);
        EXPECT_EQ(support::Count(a.out.text, "Data = 0x"), 10u);
        EXPECT_EQ(support::Count(a.out.text, "Data Read = 0x"), 64u);
        EXPECT_TRUE(a.out.Has("Data = 0x03020100\nData = 0x07060504\n"));
        EXPECT_TRUE(a.out.Has(row.shown)) << a.out.text.substr(0, 1500);
    }
}

TEST_F(VelkoDrunTest, AnotherChipStartsNothingAndADeadPortEndsTheOutboundWait) {
    c.out = {};
    EXPECT_EQ(c.Run("VelkoDrun_IB"), kRunFailed);
    EXPECT_TRUE(c.out.HasColoured("Unrecognized Chip", kColorRed));
    EXPECT_FALSE(c.out.Has("Waiting for Data"));
    LoadFaults(R"([{"kind": "bridge_not_ready", "board": "Nuxa1", "port": 1}])");
    Prepare();
    a.out = {};
    EXPECT_EQ(a.Run("VelkoDrun_OB -NORESET"), kRunFailed);
    EXPECT_TRUE(a.out.HasColoured("ERROR:  Timeout (100 milliseconds) waiting for the outbound port to get ready\n", kColorRed));
    EXPECT_EQ(support::Count(a.out.text, "Data = 0x"), 0u);
}

TEST_F(SorbelinDiagTest, AFailedProgrammingKeepsThePreviousInformation) {
    LoadFaults(R"([{"kind": "codec_config_fails", "board": "Nuxa1", "chip": 1}])");
    EXPECT_EQ(Program(diagA), kRunFailed);
    EXPECT_TRUE(dspA.out.HasColoured("ERROR:  CNuxaDSP::ProgramFPGA() DONE did not rise after [", kColorRed));
    diagA.out = {};
    EXPECT_EQ(diagA.Run("Show Programmed Info"), kRunPassed);
    EXPECT_EQ(diagA.out.text, "Programmed File[]  Revision[]\n");
    DWORD revision = 5;
    EXPECT_FALSE(diagA.GetProgrammedRevision(&revision));
    EXPECT_EQ(revision, 0u);
    // Unconfigured, the chip answers all ones: the diagnostics fail.
    EXPECT_EQ(diagA.Run("FIFO EMIF_A"), kRunFailed);
    EXPECT_EQ(Program(diagB), kRunPassed);
    diagB.out = {};
    diagB.Run("Show Programmed Info");
    EXPECT_TRUE(diagB.out.Has("SDIA0202.oxd]  Revision[0102]\n"));
}

TEST_F(SorbelinDiagTest, OnFailRunsTheFileAndReportsWhatItCannotRun) {
    ASSERT_EQ(Program(diagA), kRunPassed);
    support::TempDir dir;
    // A program and an argument holding blanks, each one quoted word: the shell exits with 7.
    const std::string shell = dir.File("a shell");
    std::filesystem::create_symlink("/bin/sh", shell);
    dir.Write("OnFail.txt", "# comment\nShow Programmed Info\n\n@SYSCMD " + support::Quoted(dir.File("no-such-program")) + " -x\n@SYSCMD " +
                                support::Quoted(shell) + " -c \"exit 7\"\nFIFO EMIF_A -NORESET\n");
    diagA.GetOnFailList()->Add(("@FILE=" + dir.File("OnFail.txt")).c_str());
    diagA.GetOnFailList()->Add(("@FILE=" + dir.File("missing.txt")).c_str());
    diagA.GetOnFailList()->Add("RAM_Init");
    Clear();
    diagA.RunOnFail();
    EXPECT_TRUE(diagA.out.Has("Programmed File["));
    EXPECT_TRUE(diagA.out.HasColoured("OnFail: " + dir.File("no-such-program") + " exit code -1\n", kColorRed));
    EXPECT_TRUE(diagA.out.HasColoured("OnFail: " + shell + " exit code 7\n", kColorRed)) << diagA.out.text;
    EXPECT_TRUE(diagA.out.HasColoured("ERROR:  Unable to open OnFail file[" + dir.File("missing.txt") + "]\n", kColorRed));
    EXPECT_EQ(support::Count(diagA.out.text, "ERROR"), 1u);  // the FIFO and RAM_Init lines passed quietly
    // The shipped file's commands are the test's own.
    diagA.GetOnFailList()->FreeStrings();
    diagA.GetOnFailList()->Add(("@FILE=" + support::Fixture("OnFail.txt")).c_str());
    Clear();
    diagA.RunOnFail();
    EXPECT_TRUE(diagA.out.Has("Channel[28] DCB[0]"));
    EXPECT_EQ(support::Count(diagA.out.text, "ERROR"), 0u);
}

TEST_F(SorbelinDiagTest, ChannelsContextEntriesPackagesAndChipIds) {
    DWORD to = 0, from = 0;
    ASSERT_TRUE(diagB.GetChipDMAChannels(to, from, nullptr));
    EXPECT_EQ(to, 29u);
    EXPECT_EQ(from, 25u);
    CSorbelinDiag other(nullptr, nullptr, nullptr, "CSorbelinDiagX");
    EXPECT_FALSE(other.GetChipDMAChannels(to, from, nullptr));
    // Show DCB Info: 16 DCBs of each channel; the base checks nothing, so all lines are black.
    diagB.out = {};
    EXPECT_EQ(diagB.Run("Show DCB Info"), kRunPassed);
    EXPECT_EQ(support::Count(diagB.out.text, "Channel[29] DCB["), 16u);
    EXPECT_EQ(support::Count(diagB.out.text, "Channel[25] DCB["), 16u);
    for (const auto& [text, colour] : diagB.out.coloured) EXPECT_EQ(colour, kColorBlack) << text;
    // A context entry lands at 0x60000100 + 16 x its ID (bits 12-15 of word 0, not the width's).
    ASSERT_EQ(Program(diagA), kRunPassed);
    const DWORD entry[4] = {0x12343675, 2, 3, 4};
    EXPECT_TRUE(diagA.WriteContextEntry(entry));
    bridge.SetDSPBlock(1);
    EXPECT_EQ(bridge.ReadDataFixed(0x60000130), 0x12343675u);
    EXPECT_EQ(bridge.ReadDataFixed(0x60000150), 0u);
    EXPECT_EQ(bridge.ReadDataFixed(0x6000013C), 4u);
    // The supported packages of an image: its tag 'X'.
    support::TempDir dir;
    std::string header = std::string("ZORV.OXD") + std::string("\0\0\0\x50", 4) + std::string(32, ' ') + "N:TEST0202;X:ZM04E4,ZM04E5 ZM04D6;";
    header.resize(0x50, '\0');
    const std::string path = dir.Write("TEST0202.oxd", header + "data");
    const std::vector<CString> packages = CSorbelin::GetSupportedPackages(path.c_str());
    ASSERT_EQ(packages.size(), 3u);
    EXPECT_EQ(packages[0], "ZM04E4");
    EXPECT_EQ(packages[2], "ZM04D6");
    EXPECT_TRUE(CSorbelin::GetSupportedPackages(kImage.c_str()).empty());
    // Chip B of artwork 2 (the default product data) reports a device id 0x10 above A's.
    ASSERT_EQ(Program(diagB), kRunPassed);
    bridge.SetDSPBlock(1);
    const DWORD idA = bridge.ReadDataFixed(0x01C4000C);
    bridge.SetDSPBlock(2);
    EXPECT_EQ(bridge.ReadDataFixed(0x01C4000C), idA + (0x10u << 20));
    EXPECT_EQ(idA >> 20, 0x5D0u);
}

TEST_F(SorbelinDiagTest, TemperatureOfEachChipFromItsSensorChannel) {
    // Default sensors: channel 2 at 40 C, channel 3 at 42 C, limits 85 C.
    diagA.out = {};
    EXPECT_TRUE(diagA.ShowTemperature(1));
    EXPECT_TRUE(diagA.out.HasColoured("SorbelinA\t85 C\t\t40 C\n", kColorBlack)) << diagA.out.text;
    LoadFaults(R"([{"kind": "sensor_over_limit", "board": "Nuxa1", "sensor": "3TEMP", "by": 4}])");
    diagB.out = {};
    EXPECT_TRUE(diagB.ShowTemperature(1));
    EXPECT_TRUE(diagB.out.HasColoured("SorbelinB\t85 C\t\t89 C\n", kColorRed)) << diagB.out.text;
}

TEST_F(SorbelinDiagTest, InformationCommandsOnFilesAndPackages) {
    support::TempDir dir;
    const std::string zyv = support::Fixture("zyv/20040416");
    dir.Write("a.bin", "same");
    dir.Write("b.bin", "same");
    dir.Write("c.bin", "diff");
    dir.Write("bad.zyv", "ZYV1");
    // Past 4 GiB, where a length cut to 32 bits would compare 16 bytes of each: sparse, so fast.
    // The pair that differs only in its last byte is read whole (about 3 s).
    constexpr unsigned long long kBig = (4ull << 30) + 16;
    const std::string big1 = dir.WriteSparse("big1.bin", kBig, 1000, "A"), big2 = dir.WriteSparse("big2.bin", kBig, 1000, "B"),
                      bigEnd1 = dir.WriteSparse("end1.bin", kBig, kBig - 1, "A"), bigEnd2 = dir.WriteSparse("end2.bin", kBig, kBig - 1, "B");
    ASSERT_FALSE(big1.empty() || big2.empty() || bigEnd1.empty() || bigEnd2.empty()) << "no sparse files here";
    struct Row {
        std::string command;
        DWORD result;
        const char* text;
        COLORREF colour;
    };
    const Row rows[] = {
        {"Show ZYV Info FILE=" + Bracketed(zyv + "/ZM04E4.zyv"), kRunPassed,
         "VCID[0x4E4]  10-bit  Fields  Raster[720 x 486]  Lines[243 of 262]  MaxFrame[245760]  Tables[3]  CRC[0x740A551F]\n", kColorBlack},
        {"Show ZYV Info FILE=" + Bracketed(zyv + "/ZM04E4.zyv"), kRunPassed, "Resolution[0]  Width[720]  Height[486]  Lines[243]  TotalLines[262]\n",
         kColorBlack},
        {"Show ZYV Info FILE=" + Bracketed(zyv), kRunPassed, "] date[20040416]\n", kColorGreen},
        {"Show ZYV Info FILE=" + Bracketed(zyv), kRunPassed, "ZM04D6.zyv  CRC[0x81F0B422]\n", kColorBlack},
        {"Show ZYV Info FILE=" + Bracketed(dir.Path()), kRunFailed, "] date[0]\n", kColorRed},
        {"Show ZYV Info FILE=" + Bracketed(dir.File("bad.zyv")), kRunFailed, "length is not a whole package", kColorRed},
        {"Show ZYV Info", kRunFailed, "ERROR:  FILE= not specified on the command line.\n", kColorRed},
        {"Show OXD Info FILE=" + Bracketed(kImage), kRunPassed, "  N: SDIA0202\n", kColorBlack},
        {"Show OXD Info FILE=" + Bracketed(dir.File("a.bin")), kRunFailed, "ERROR:  Unrecognized file[", kColorRed},
        {"Compare Files FILE1=" + Bracketed(dir.File("a.bin")) + " FILE2=" + Bracketed(dir.File("b.bin")), kRunPassed, "Files match\n", kColorGreen},
        {"Compare Files FILE1=" + Bracketed(dir.File("a.bin")) + " FILE2=" + Bracketed(dir.File("c.bin")),
         kRunFailed, "] does not match FILE2[", kColorRed},
        {"Compare Files FILE1=" + Bracketed(big1) + " FILE2=" + Bracketed(big2), kRunFailed, "] does not match FILE2[", kColorRed},
        {"Compare Files FILE1=" + Bracketed(bigEnd1) + " FILE2=" + Bracketed(bigEnd2), kRunFailed, "] does not match FILE2[", kColorRed},
        {"Compare Files FILE1=" + Bracketed(big1) + " FILE2=" + Bracketed(dir.File("a.bin")),
         kRunFailed, "] does not match FILE2[", kColorRed},  // by length
        {"Compare Files FILE1=" + Bracketed(dir.File("a.bin")) + " FILE2=" + Bracketed(dir.File("none.bin")),
         kRunFailed, "ERROR:  Unable to open[", kColorRed},
        {"Compare Files FILE1=" + Bracketed(dir.File("a.bin")), kRunFailed, "ERROR:  FILE2= not specified on the command line.\n", kColorRed},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        diagA.out = {};
        EXPECT_EQ(diagA.Run(row.command.c_str()), row.result);
        EXPECT_TRUE(diagA.out.HasColoured(row.text, row.colour)) << diagA.out.text;
    }
}

TEST_F(SorbelinDiagTest, TheTestsOwnImageAndResolutionLists) {
    EXPECT_EQ(diagA.Run("IMAGE_LIST ADD=(Bars)"), kRunPassed);
    EXPECT_EQ(diagA.Run("RESOLUTION_LIST ADD=DIM=(720,486)"), kRunPassed);
    EXPECT_EQ(diagA.GetImageList()->GetCount(), 1);
    EXPECT_EQ(diagA.GetImageList()->GetAt(0), "BARS");
    EXPECT_EQ(diagB.GetImageList()->GetCount(), 0);  // each test has its own
    diagA.out = {};
    EXPECT_EQ(diagA.Run("IMAGE_LIST SHOW"), kRunPassed);
    EXPECT_TRUE(diagA.out.Has("BARS"));
    // Without a host the sheet is cancelled: the lists stay as they were.
    EXPECT_EQ(diagA.Run("Modify Image/Resolution List"), kRunPassed);
    EXPECT_EQ(diagA.GetImageList()->GetCount(), 1);
    EXPECT_EQ(diagA.GetResolutionList()->GetCount(), 1);
}

TEST_F(SorbelinDiagTest, ASmallerChipSdramWrapsAndFailsTheAddressTest) {
    LoadJson(R"({"boards": [{"tag": "Nuxa1", "kind": "nuxa", "codec_sdram_mib": {"width32": 8, "width64": 64},
                 "vpd": {"ZA": "01"}}]})");
    Attach();
    ASSERT_EQ(Program(diagA), kRunPassed);
    EXPECT_EQ(diagA.Run("SDRAM_32 Block"), kRunPassed);
    EXPECT_EQ(diagA.Run("SDRAM_32 Address"), kRunFailed);
    EXPECT_EQ(diagA.Run("SDRAM_64 Address"), kRunPassed);
    // Artwork 1: both chips report the same id.
    ASSERT_EQ(Program(diagB), kRunPassed);
    bridge.SetDSPBlock(1);
    const DWORD idA = bridge.ReadDataFixed(0x01C4000C);
    bridge.SetDSPBlock(2);
    EXPECT_EQ(bridge.ReadDataFixed(0x01C4000C), idA);
}

}  // namespace
