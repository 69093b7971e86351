// The Tcl test's commands, run from scripts on both board roots and checked against the device library.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "boards/tcl/tcl_test.h"
#include "devlib/rig.h"
#include "devlib/wexal_spaces.h"
#include "sim/host_memory.h"
#include "tests/boards/root_fixture.h"

namespace {

std::string Hex(DWORD value) { return (std::ostringstream() << "0x" << std::hex << std::uppercase << value).str(); }

// The bus address the device library gives the board's register window.
std::string WindowAddress(const char* tag) {
    DWORD bus = 0;
    return support::RigBoard(tag)->GetBAR0Space()->GetPhysAddress(0, &bus) ? Hex(bus) : "none";
}

// The library's two roots on a rig (the default one unless told), rebound to it as at start-up,
// running scripts through their Tcl tests; what a run printed comes back in out.
struct TclBench {
    explicit TclBench(const std::string& rigJson = "") {
        if (!rigJson.empty()) rig.emplace(rigJson);
        for (CWexalTreeMapTB* root : {GetMainBoardRoot(), GetCodecBoardRoot()}) {
            root->GetBoardIF().Clear();
            root->SetupDevice(root == GetMainBoardRoot() ? "Brimola1" : "Nuxa1");
            TclOfRoot(root)->TakeBoardIF(root);
            TclOfRoot(root)->GetNulk()->TakeBoardIF(root);
        }
        support::TakeText();
    }
    static Tcl* Test(const std::string& board) { return TclOfRoot(board == "Nuxa1" ? GetCodecBoardRoot() : GetMainBoardRoot()); }
    DWORD Run(const std::string& board, const std::string& args, std::string* out) {
        const DWORD result = Test(board)->Run(args.c_str());
        *out = support::TakeText();
        return result;
    }
    DWORD Command(const std::string& board, const std::string& script, std::string* out) { return Run(board, "TclCommand " + script, out); }
    DWORD Load(const std::string& board, const std::string& script, std::string* out) {
        return Run(board, "TclLoad FILE=" + support::Bracketed(host.cwd.Dir().Write("script.tcl", script)), out);
    }
    HostFolder host;
    std::optional<support::ScopedRig> rig;
};

constexpr DWORD kPass = 1, kFail = 2;

struct CommandCase {
    const char* name;
    const char* board;
    const char* script;  // one TclCommand line
    DWORD result;
    const char* shows;    // printed text the run must show
    bool silent = false;  // no message of the command's own
};

const CommandCase kCommandCases[] = {
    {"ByteSwap", "Brimola1", "echo [ByteSwap 0x12345678]", kPass, "0x78563412"},
    {"ConvertBinary", "Nuxa1", "echo [ConvertBinary 5]", kPass, "00000000000000000000000000000101"},
    {"numbers: 0x, decimal; 0X, sign, blank refused", "Brimola1",
     "echo [ByteSwap 0x1f]/[ByteSwap 31]/[catch {ByteSwap 0X1F}][catch {ByteSwap -1}][catch {ByteSwap {1 }}]", kPass,
     "0x1F000000/0x1F000000/111"},
    {"numbers wider than 32 bits refused", "Brimola1",
     "echo [catch {ByteSwap 0x100000000}][catch {ByteSwap 4294967296}][catch {ByteSwap 0x0000000100000000}]/"
     "[ByteSwap 4294967295]/[ByteSwap 0x00000000000000FF]", kPass, "111/0xFFFFFFFF/0xFF000000"},
    {"an address wider than 32 bits does not wrap", "Nuxa1", "PokeSDRAM 0x100 0; echo [catch {PokeSDRAM 0x100000100 7}]<[PeekSDRAM 0x100]>",
     kPass, "1<0x0>"},
    {"leading zeros are decimal", "Brimola1", "echo [ByteSwap 010]/[ConvertBinary 011]/[ByteSwap 0x010]/[ByteSwap 0008]", kPass,
     "0xA000000/00000000000000000000000000001011/0x10000000/0x8000000"},
    {"echo without text", "Brimola1", "echo", kFail, "Error 1 executing", true},
    {"echo and DisplayString print as given", "Nuxa1", "echo one; DisplayString {t o}", kPass, "onet o"},
    {"DisplayObj", "Brimola1", "set v 2.5; DisplayObj v", kPass, "v: 2.500000\n"},
    {"DisplayObj missing variable", "Brimola1", "DisplayObj nothing", kFail, "\nVariable nothing not found\n"},
    {"count message", "Brimola1", "ByteSwap 1 2", kFail, "\nInvalid number of arguments 3\n"},
    {"word at offset 6 is word 1", "Brimola1",
     "set h [CreateBuffer 16]; SetBufferValue word $h 4 0x11223344; echo [GetBufferValue word $h 6]", kPass, "0x11223344"},
    {"short and byte elements", "Nuxa1",
     "set h [CreateBuffer 8]; SetBufferValue short $h 3 0xABCD; echo [GetBufferValue byte $h 3]", kPass, "0xAB"},
    {"offset past the end", "Brimola1", "set h [CreateBuffer 16]; GetBufferValue word $h 16", kFail,
     "Offset larger than buffer length(0x10)\n"},
    {"unknown width", "Brimola1", "set h [CreateBuffer 16]; GetBufferValue long $h 0", kFail,
     "Missing word size parameter byte, short,or word \n"},
    {"6-byte buffer has no storage", "Brimola1", "set h [CreateBuffer 6]; GetBufferValue byte $h 0", kFail,
     "Offset larger than buffer length(0x0)\n"},
    {"unknown handle", "Brimola1", "GetBufferValue word 0x7777 0", kFail, "\nInvalid Buffer Address \n"},
    {"script buffer of 256 MiB", "Brimola1",
     "set h [CreateBuffer 0x10000000]; SetBufferValue word $h 0xFFFFFFC 9; echo <[GetBufferValue word $h 0xFFFFFFC]>; DeleteBuffer $h",
     kPass, "<0x9>"},
    {"script buffer above 256 MiB", "Brimola1", "CreateBuffer 0x10000004", kFail,
     "Invalid length. Must be no greater than 268435456(0x10000000)\n"},
    {"script buffer of 4 GiB", "Nuxa1", "CreateBuffer 0xFFFFFFFC", kFail, "Invalid length. Must be no greater than 268435456"},
    {"page memory of 4096", "Nuxa1", "set p [CreatePageMemory 4096]; SetBufferValue word $p 4092 7; echo [GetBufferValue word $p 4092]",
     kPass, "0x7"},
    {"page memory of 4097", "Nuxa1", "CreatePageMemory 4097", kFail, "Invalid length. Must be no greater than 4096(0x1000)\n"},
    {"script buffer has no bus address", "Brimola1", "GetPhysicalAddr [CreateBuffer 8]", kFail, "\nInvalid Buffer Address \n"},
    {"compare of 16 and 12 bytes", "Brimola1", "set a [CreateBuffer 16]; set b [CreateBuffer 12]; "
     "foreach o {0 4 8 12} {SetBufferValue word $a $o 1}; echo =[CompareBuffers $a $b noprint]", kPass, "=3"},
    {"compare stops at the abort count", "Brimola1", "set a [CreateBuffer 120]; set b [CreateBuffer 120]; "
     "for {set o 0} {$o < 120} {incr o 4} {SetBufferValue word $a $o 1}; echo =[CompareBuffers $a $b NOPRINT]", kPass, "=20"},
    {"compare report", "Nuxa1",
     "set a [CreateBuffer 8]; set b [CreateBuffer 8]; SetBufferValue word $b 4 0x81; CompareBuffers $a $b", kPass,
     "Buffer Compare Error Detected\nFailure offset 0x4\nGood data 0x0\nBad data 0x81\nBits in error 0x81\n"},
    {"compare of a deleted buffer", "Brimola1",
     "set a [CreateBuffer 4]; set b [CreateBuffer 4]; set c [CreateBuffer 4]; DeleteBuffer $b; CompareBuffers $a $b", kFail,
     "\nInvalid Bad Buffer Address \n"},
    {"copy words", "Brimola1", "set a [CreateBuffer 8]; set b [CreateBuffer 8]; SetBufferValue word $a 4 0x1234; "
     "CopyBuffers $a 1 $b 0 4; echo [GetBufferValue word $b 0]", kPass, "0x1234"},
    {"copy past the source", "Brimola1", "set a [CreateBuffer 8]; set b [CreateBuffer 16]; CopyBuffers $a 1 $b 0 8", kFail,
     "runs past the source buffer"},
    {"copy offset wrapping 32 bits", "Brimola1",
     "set a [CreateBuffer 8]; set b [CreateBuffer 8]; CopyBuffers $a 0x40000000 $b 0 4", kFail, "runs past the source buffer"},
    {"addresses, offsets and lengths at their ends fail, never wrap", "Brimola1",
     "set a [CreateBuffer 0x100000]; echo <[catch {PeekSDRAM 0xFFFFFFFC}][catch {ReadSDRAM 0xFFFFFFF0 $a}]"
     "[catch {WriteSDRAM 0xFFFFF000 $a}][catch {CopyBuffers $a 0xFFFFFFFF $a 0xFFFFFFFF 0xFFFFFFFF}]"
     "[catch {SetBufferValue word $a 0xFFFFFFFF 1}][catch {BAR0 0xFFFFFFFC}]>", kPass, "<111111>"},
    {"image round trip", "Nuxa1", "set h [CreateBuffer 8]; SetBufferValue word $h 4 0xA1B2C3D4; SaveImage image.bin $h; "
     "echo [GetBufferValue word [LoadImage image.bin] 4]", kPass, "0xA1B2C3D4"},
    {"image of 5 bytes", "Brimola1", "set h [LoadImage five.bin]; echo [GetBufferValue word $h 4]/[GetBufferValue byte $h 7]",
     kPass, "0x35/0x0"},
    {"image of 256 MiB and one byte", "Brimola1", "LoadImage over256M.bin", kFail, "Unable to fetch entire file\n"},
    {"image of 4 GiB - 3 (rounds to 0)", "Brimola1", "LoadImage wrap3.bin", kFail, "Unable to fetch entire file\n"},
    {"image of 4 GiB - 1", "Nuxa1", "LoadImage wrap1.bin", kFail, "Unable to fetch entire file\n"},
    {"image of 4 GiB (length modulo 2^32 is 0)", "Brimola1", "LoadImage four.bin", kFail, "Unable to fetch entire file\n"},
    {"image of 4 GiB + 8", "Nuxa1", "LoadImage fourplus.bin", kFail, "Unable to fetch entire file\n"},
    {"image from a FIFO", "Brimola1", "LoadImage fifo", kFail, "Error opening "},
    {"image from a folder, with the cause", "Nuxa1", "LoadImage folder", kFail, "folder\nThe file could not be accessed.\n"},
    {"save of an unknown handle", "Brimola1", "SaveImage image.bin 0x7777", kFail, "\nInvalid Buffer Address \n"},
    {"save into no folder, with the cause", "Brimola1", "SaveImage none/image.bin [CreateBuffer 8]", kFail,
     "Error opening none/image.bin\nAll or part of the path is invalid.\n"},
    {"BAR0 past the window", "Nuxa1", "BAR0 0x100000", kFail, "outside the register window"},
    {"ReadReg below the window", "Brimola1", "ReadReg [format 0x%X [expr [GetBAR0] - 4]]", kFail, "outside the register window\n"},
    {"WriteReg past the window", "Nuxa1", "WriteReg [format 0x%X [expr [GetBAR0] + 0x100000]] 1", kFail, "outside the register"},
    {"unknown board silent", "Brimola1", "SetBoard Brimola7", kFail, "Error 1 executing", true},
    {"Yorb by symbol, YorbV by number", "Brimola1", "echo <[Yorb GetIOMode Type 0 Mode]|[YorbV GetIOMode Type 0 Mode]>", kPass,
     "<GetIOMode Type IOMode_Video Mode IOMode_None |GetIOMode Type 0x0 Mode 0x0 >"},
    {"Yorb reply past 2000 bytes", "Brimola1", "set r [Yorb GetIOMode {*}[lrepeat 120 Type 0] Mode]; "
     "echo =[string length $r][string range $r end-16 end]", kPass, "=2187Mode IOMode_None "},
    {"Yorb without a box", "Nuxa1", "Yorb GetIOMode Type 0 Mode", kFail, "Error 1 executing"},
};

TEST(TclCommands, AnswerScriptsAsDocumented) {
    TclBench bench;
    bench.host.cwd.Dir().Write("five.bin", "12345");
    // Sparse: their length without their bytes. The FIFO has no writer, so a read of it would wait.
    for (auto [name, length] : {std::pair{"over256M.bin", 0x10000001ull}, {"wrap3.bin", 0xFFFFFFFDull}, {"wrap1.bin", 0xFFFFFFFFull},
                                {"four.bin", 0x100000000ull}, {"fourplus.bin", 0x100000008ull}})
        ASSERT_EQ(::truncate(bench.host.cwd.Dir().Write(name, "").c_str(), static_cast<off_t>(length)), 0) << name;
    ASSERT_EQ(::mkfifo(bench.host.cwd.Dir().File("fifo").c_str(), 0600), 0);
    bench.host.cwd.Dir().MakeDir("folder");
    for (const CommandCase& c : kCommandCases) {
        SCOPED_TRACE(c.name);
        std::string out;
        EXPECT_EQ(bench.Command(c.board, c.script, &out), c.result);
        EXPECT_NE(out.find(c.shows), std::string::npos) << out;
        EXPECT_TRUE(!c.silent || out.find("Invalid") == std::string::npos) << out;
    }
}

// Registers and SDRAM against what the device library reads and writes on each board.
TEST(TclCommands, ReachTheSelectedBoard) {
    TclBench bench;
    for (const char* tag : {"Brimola1", "Nuxa1"}) {
        SCOPED_TRACE(tag);
        CWexalBoardDevice* board = support::RigBoard(tag);
        const RegisterPtr regs = board->GetRegisters();
        const std::string bar0 = WindowAddress(tag);
        std::string out;
        ASSERT_EQ(bench.Command(tag, "echo <[GetBAR0]>[BAR0 0x40003]/[ReadReg [format 0x%X [expr [GetBAR0] + 0x40000]]]", &out), kPass);
        EXPECT_NE(out.find("<" + bar0 + ">" + Hex(regs[0x40000 / 4]) + "/" + Hex(regs[0x40000 / 4])), std::string::npos) << out;
        ASSERT_EQ(bench.Command(tag, "BAR0 0x60040 0x5A5A; WriteReg [format 0x%X [expr [GetBAR0] + 0x6004C]] 0xA5A5", &out), kPass);
        EXPECT_EQ(static_cast<DWORD>(regs[0x60040 / 4]), 0x5A5Au);
        EXPECT_EQ(static_cast<DWORD>(regs[0x6004C / 4]), 0xA5A5u);

        CWexalSDRAMSpace* sdram = board->GetSDRAMSpace();
        const DWORD pattern[2] = {0x0BADCAFE, 0x12345678};
        ASSERT_EQ(sdram->Set(pattern, 0x2000, 8), 8);
        ASSERT_EQ(bench.Command(tag, "set b [CreateBuffer 8]; ReadSDRAM 0x2000 $b; PokeSDRAM 0x3000 0xFEED; WriteSDRAM 0x3004 $b; "
                                     "echo <[PeekSDRAM 0x2004]/[GetBufferValue word $b 0]>", &out), kPass);
        EXPECT_NE(out.find("<0x12345678/0xBADCAFE>"), std::string::npos) << out;
        DWORD back[3] = {};
        ASSERT_EQ(sdram->Get(back, 0x3000, 12), 12);
        EXPECT_EQ(std::vector<DWORD>(back, back + 3), (std::vector<DWORD>{0xFEED, pattern[0], pattern[1]}));

        // Page memory: the bus address it gives holds what the script wrote.
        ASSERT_EQ(bench.Command(tag, "set p [CreatePageMemory 64]; SetBufferValue word $p 8 0x600DF00D; echo <[GetPhysicalAddr $p]>", &out), kPass);
        unsigned high = 0, low = 0;
        ASSERT_EQ(std::sscanf(out.c_str() + out.find('<'), "<0x%8X:%8X>", &high, &low), 2) << out;
        const BYTE* host = devlib::RigHostMemory()->Translate((ULONGLONG{high} << 32 | low) + 8, 4);
        ASSERT_NE(host, nullptr);
        DWORD word = 0;
        std::memcpy(&word, host, 4);
        EXPECT_EQ(word, 0x600DF00Du);
    }
}

// SetBoard moves every later command to the other board; the marks still go to the running test.
TEST(TclCommands, SetBoardSelectsTheOtherRoot) {
    TclBench bench;
    const std::string nuxaBar0 = WindowAddress("Nuxa1");
    std::string out;
    ASSERT_EQ(bench.Command("Brimola1", "SetBoard nuxa1; echo <[GetBAR0]>; ReportError; ABORT", &out), kPass);
    EXPECT_NE(out.find("<" + nuxaBar0 + ">"), std::string::npos) << out;
    EXPECT_EQ(bench.Test("Nuxa1")->GetFailMark(), 0);
    EXPECT_EQ(bench.Test("Brimola1")->GetFailMark() + bench.Test("Brimola1")->GetAbortMark(), 2);
    EXPECT_EQ(bench.Load("Nuxa1", "SetBoard BRIMOLA1\nReportError\necho reached\n", &out), kFail);
    EXPECT_TRUE(support::HasAll(out, {"reached", "\nTest Failed\n"}));
}

struct FaultCase {
    const char* name;
    const char* faults;  // the rig's "faults" array; "[]" is the healthy rig
    const char* board;
    const char* script;  // a script file
    DWORD result;
    std::vector<std::string> shows;
};

constexpr const char* kSdramCheck =
    "set a [CreateBuffer 64]\nfor {set o 0} {$o < 64} {incr o 4} {SetBufferValue word $a $o $o}\n"
    "WriteSDRAM 0x1000 $a\nset b [CreateBuffer 64]\nReadSDRAM 0x1000 $b\nCompareBuffers $a $b\n";
constexpr const char* kDcbCheck =
    "BAR0 0x60020 0\nset v [BAR0 0x60020]\nif {$v != 0} {echo \"DCB word reads $v\"; ReportError}\n";

const FaultCase kFaultCases[] = {
    {"healthy SDRAM", "[]", "Brimola1", kSdramCheck, kPass, {}},
    {"SDRAM bit 7 stuck at 1", R"([{"kind": "sdram_stuck_bit", "board": "Brimola1", "bit": 7, "value": 1}])", "Brimola1",
     kSdramCheck, kFail, {"Buffer Compare Error Detected", "Bits in error 0x80", "\nTest Failed\n"}},
    {"healthy DCB word", "[]", "Nuxa1", kDcbCheck, kPass, {}},
    {"DCB word bit 3 stuck at 1",
     R"([{"kind": "register_stuck_bit", "board": "Nuxa1", "offset": "0x60020", "bit": 3, "value": 1}])", "Nuxa1", kDcbCheck,
     kFail, {"DCB word reads 0x8", "\nTest Failed\n"}},
    {"SDRAM space missing", R"([{"kind": "missing_space", "board": "Brimola1", "space": "SDRAM"}])", "Brimola1",
     "echo before\nPeekSDRAM 0\necho after\n", kFail, {"before", "TCL Command Error on line 2"}},
    {"codec board missing", R"([{"kind": "missing_board", "board": "Nuxa1"}])", "Brimola1", "SetBoard Nuxa1\n", kFail,
     {"TCL Command Error on line 1"}},
};

TEST(TclCommands, ScriptsCatchRigFaults) {
    for (const FaultCase& c : kFaultCases) {
        SCOPED_TRACE(c.name);
        TclBench bench(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}, {"tag": "Nuxa1", "kind": "nuxa"}], "faults": )" +
                       std::string(c.faults) + "}");
        std::string out;
        EXPECT_EQ(bench.Load(c.board, c.script, &out), c.result) << out;
        EXPECT_TRUE(support::HasAll(out, c.shows));
        EXPECT_EQ(out.find("after"), std::string::npos) << out;
    }
}

}  // namespace
