// Tests of CBrimolaWemp "Play": GenFile frames in SDRAM, the DCB ring of channel 4, and every refusal before the channel starts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "framework/hw/wexal_dcb.h"
#include "framework/result_screen.h"
#include "framework/hw/jastel.h"
#include "tests/boards/root_fixture.h"
#include "tests/support/run_program.h"
#include "tests/support/stop_flag.h"

namespace {

using namespace support;

// A GenFile as the format describes it; written holds fewer frames than declared for a cut file.
struct GenSpec {
    ULONGLONG declared = 10;
    DWORD written = 10, size = 512, block = 4096, offset = 0, lineField = 8 << 2, lineLength = 16;
};

DWORD FrameWord(DWORD frame, DWORD i) { return 0xA5000000 | frame << 16 | i; }

std::string GenFile(const GenSpec& g) {
    std::string bytes(4096, '\0');
    auto put = [&](size_t at, ULONGLONG v, int n) {
        for (int b = 0; b < n; ++b) bytes[at + b] = static_cast<char>(v >> 8 * b);
    };
    put(44, g.lineField, 4), put(48, g.lineLength, 4), put(52, g.size, 4), put(56, g.declared, 8);
    put(176, g.block, 4), put(180, g.offset, 4);
    const DWORD blocks = g.block ? (g.size + g.block - 1) / g.block : 0;
    for (DWORD n = 0; n < g.written; ++n) {
        const size_t at = (size_t{n} * blocks + 1) * g.block + g.offset;
        bytes.resize(std::max(bytes.size(), at + g.size), '\0');
        for (DWORD i = 0; i < g.size / 4; ++i) put(at + 4 * i, FrameWord(n, i), 4);
    }
    return bytes;
}

class Play : public ::testing::Test {
protected:
    Play() { TakeText(); }
    DWORD Run(const std::string& arguments) {
        root.out = {};
        const DWORD result = root.Run(("Brimola1 <CBrimolaWemp " + arguments + ">").c_str());
        text = root.out.text + TakeText();
        return result;
    }
    static CWexalDMAChannel* Channel() { return RigBoard("Brimola1")->GetDMAChannel(4); }
    static RegisterRef Reg(DWORD offset) { return RigBoard("Brimola1")->GetRegisters()[offset / 4]; }
    static WexalDCB Dcb(int n) {
        WexalDCB dcb;
        Channel()->GetDCB(n, &dcb);
        return dcb;
    }
    static DWORD SdramWord(DWORD address) {
        DWORD word = 0;
        RigBoard("Brimola1")->GetSDRAMSpace()->Get(&word, address, 4);
        return word;
    }
    HostFolder host;
    Recording<CBrimolaBoardTests> root{"CBrimolaBoard"};
    std::string text;
};

TEST_F(Play, LoadsFramesOneAfterAnotherAndChainsTheirDcbs) {
    struct Slot { int dcb; DWORD frame, next; };
    const struct { const char* name; GenSpec file; std::string args; bool enabled; std::vector<Slot> slots; } rows[] = {
        {"three of ten", {}, "genfile=clip.gen FRAMES=3", true, {{1, 0, 2}, {2, 1, 3}, {3, 2, 1}}},
        {"fifteen taken", {15, 15}, "GenFile=clip.gen FRAMES=15", false, {{1, 0, 2}, {14, 13, 15}, {15, 14, 1}}},
        // All frames: no chaining, and the DCB index wraps after 15 (the channel kept off so DCB 0 stays).
        {"all of seventeen", {17, 17}, "GenFile=clip.gen FRAMES=0", false, {{15, 14, 0}, {0, 15, 0}, {1, 16, 0}}},
        {"frames on blocks", {3, 3, 600, 256, 16}, "GenFile=clip.gen FRAMES=2", false, {{1, 0, 2}, {2, 1, 1}}},
        {"file ends before FRAMES closes the ring", {2, 2}, "GenFile=clip.gen FRAMES=5", false, {{1, 0, 2}, {2, 1, 1}}},
        {"GENFILE= upper case", {}, "GENFILE=clip.gen FRAMES=1", false, {{1, 0, 1}}},
    };
    for (const auto& row : rows) {
        devlib::LoadDefaultRig();
        Reg(0x58010) = row.enabled ? 1 : 0;
        host.cwd.Dir().Write("clip.gen", GenFile(row.file));
        ASSERT_EQ(Run("Play " + row.args), kRunPassed) << row.name << "\n" << text;
        for (const Slot& slot : row.slots) {
            const WexalDCB dcb = Dcb(slot.dcb);
            const DWORD address = 0x1000 + slot.frame * row.file.size;
            EXPECT_EQ(dcb.GetStartAddress(), address) << row.name << " DCB " << slot.dcb;
            EXPECT_EQ(dcb.GetOpField().GetNext(), slot.next) << row.name << " DCB " << slot.dcb;
            EXPECT_EQ(dcb.GetPortField().GetTag(), (slot.frame + 1) & 0xF) << row.name;
            EXPECT_EQ(dcb.GetOpField().GetBCUPointer(), 4u) << row.name;
            EXPECT_EQ(dcb.GetLines() << 16 | dcb.GetLineLength(), 7u << 16 | 16) << row.name;
            EXPECT_EQ(dcb.GetInitialLineLength(), 16u) << row.name;
            for (DWORD i : {0u, row.file.size / 4 - 1})
                EXPECT_EQ(SdramWord(address + 4 * i), FrameWord(slot.frame, i)) << row.name << " frame " << slot.frame;
        }
        EXPECT_EQ(Reg(0x70040) >> 29 & 1, 1u) << row.name << ": BCU 4 goes";
        EXPECT_EQ(Reg(0x58010), 1u) << row.name << ": DCB enable set last";
        // A started channel shows DCB 1 as its live context.
        if (row.enabled) {
            EXPECT_EQ(Dcb(0).GetStartAddress(), 0x1000u) << row.name;
        }
    }
    // Three of ten with the geometry overridden: the fourth frame is not loaded, verbose 2 lists every DCB.
    devlib::LoadDefaultRig();
    host.cwd.Dir().Write("clip.gen", GenFile({}));
    ASSERT_EQ(Run("Play GenFile=clip.gen FRAMES=3 VERBOSE=2 XSize=32 ISize=8 YSize=3"), kRunPassed);
    EXPECT_TRUE(HasAll(text, {"Test BrimolaWemp Images\n", "DCB  Wexal outbound to Wemp=4\n",
                              "SRC Image:  Tag[1]  Addr[0x00001000]  [I=8,W=32,H=3] Next[2]\n",
                              "SRC Image:  Tag[3]  Addr[0x00001400]  [I=8,W=32,H=3] Next[1]\n"})) << text;
    EXPECT_EQ(SdramWord(0x1600), 0u);
}

TEST_F(Play, RefusesBeforeTheChannelStarts) {
    const ULONGLONG huge = 1ULL << 40;
    const struct { const char* name; GenSpec file; std::string args; std::string message; } rows[] = {
        {"16 frames", {}, "Play GenFile=clip.gen FRAMES=16", "Number of frames must be between less than 15.\nTo specify"},
        {"negative frames", {}, "Play GenFile=clip.gen FRAMES=-1", "Number of frames must be between less than 15.\n"},
        {"lower-case keyword", {}, "play GenFile=clip.gen", "ERROR:  CBrimolaWemp\n\"play GenFile=clip.gen\"\n Not recognized"},
        {"no file named", {}, "Play FRAMES=2", "ERROR:  Missing GenFile= on the command line\n"},
        {"no such file", {}, "Play GenFile=none.gen", "ERROR:  Unable to open GenFile\n"},
        // Not regular files: refused at once, where a FIFO used to wait for a writer for ever.
        {"a FIFO", {}, "Play GenFile=pipe.gen", "ERROR:  Unable to open GenFile\n"},
        {"a folder", {}, "Play GenFile=folder.gen", "ERROR:  Unable to open GenFile\n"},
        {"block size 0", {3, 0, 512, 0}, "Play GenFile=clip.gen", "its block size is 0\n"},
        {"frame size 0", {3, 0, 0}, "Play GenFile=clip.gen", "frame size 0 does not fit SDRAM"},
        {"frame beyond SDRAM", {1, 0, 0xFFFFFFF0}, "Play GenFile=clip.gen", "frame size 4294967280 does not fit SDRAM"},
        {"no lines", {3, 3, 512, 4096, 0, 0}, "Play GenFile=clip.gen", "[I=16,W=16,H=-1] does not fit the DCB's 16-bit"},
        {"wide override", {}, "Play GenFile=clip.gen XSize=65536", "[I=16,W=65536,H=7] does not fit"},
        // Overrides past 32 bits, or negative, are refused as typed, never cut into the fields.
        {"XSize past 32 bits", {}, "Play GenFile=clip.gen XSize=4294967312", "Argument XSize=4294967312 does not fit its range 0..4294967295\n"},
        {"ISize past 64 bits", {}, "Play GenFile=clip.gen ISize=18446744073709551632", "Argument ISize=18446744073709551632 does not fit its range 0..4294967295\n"},
        {"negative YSize", {}, "Play GenFile=clip.gen YSize=-1", "Argument YSize=-1 does not fit its range 0..4294967295\n"},
        {"frames past the end", {huge, 1}, "Play GenFile=clip.gen", "1099511627776 frames of 512 bytes from 0x1000 run past"},
        {"file cut short", {3, 1}, "Play GenFile=clip.gen FRAMES=3", "ERROR:  Unable to read frame 1 of the GenFile\n"},
    };
    ASSERT_EQ(::mkfifo(host.cwd.Dir().File("pipe.gen").c_str(), 0600), 0);
    host.cwd.Dir().MakeDir("folder.gen");
    for (const auto& row : rows) {
        host.cwd.Dir().Write("clip.gen", GenFile(row.file));
        EXPECT_EQ(Run(row.args), kRunFailed) << row.name;
        EXPECT_EQ(Count(text, row.message), 1u) << row.name << ": the refusal once\n" << text;
        EXPECT_TRUE(HasAll(text, {row.message})) << row.name;
        EXPECT_EQ(Reg(0x70040) >> 29 & 1, 0u) << row.name << ": the channel was started";
    }
    host.cwd.Dir().Write("short.gen", std::string(100, '\0'));
    EXPECT_EQ(Run("Play GenFile=short.gen"), kRunFailed);
    EXPECT_TRUE(HasAll(text, {"ERROR:  Unable to open GenFile\n"}));
    // A RAM clock enable that does not hold: nothing is loaded.
    ScopedRig rig(MainBoardRig(R"([{"board": "Brimola1", "kind": "register_stuck_bit", "offset": "0x4018", "bit": 0}])"));
    host.cwd.Dir().Write("clip.gen", GenFile({}));
    EXPECT_EQ(Run("Play GenFile=clip.gen FRAMES=1"), kRunFailed);
    EXPECT_TRUE(HasAll(text, {"ERROR:  Unable to set SulvthSDRAMClock\n"}));
    EXPECT_EQ(SdramWord(0x1000), 0u);
}

// The generator of the checked-in GenFile: options it does not know and names it was not given
// end with the usage and status 2, and it replaces nothing but a GenFile.
TEST_F(Play, TheGenFileToolWritesWhatPlaysAndRefusesWhatItDoesNotKnow) {
    const support::TempDir& dir = host.cwd.Dir();
    dir.Write("notes.gen", "not a GenFile");
    ASSERT_EQ(::mkfifo(dir.File("fifo.gen").c_str(), 0600), 0);
    const struct { std::vector<std::string> args; int status; const char* said; } rows[] = {
        {{"--help"}, 0, "usage: make_genfile [--check] FILE"},
        {{"-h"}, 0, "usage: make_genfile"},
        {{"--bogus", "clip.gen"}, 2, "unknown option \"--bogus\""},
        {{}, 2, "no FILE given"},
        {{"--check"}, 2, "no FILE given"},
        {{"clip.gen", "other.gen"}, 2, "unexpected argument \"other.gen\""},
        {{"notes.gen"}, 1, "notes.gen exists and is not a GenFile"},
        {{"fifo.gen"}, 1, "fifo.gen exists and is not a GenFile"},
        {{"--check", "clip.gen"}, 1, "clip.gen: missing"},
        {{"--check", "fifo.gen"}, 1, "fifo.gen: not a regular file"},
        {{"clip.gen"}, 0, ""},
        {{"clip.gen"}, 0, ""},  // its own kind of file is replaced
        {{"--check", "clip.gen"}, 0, ""},
    };
    for (const auto& row : rows) {
        std::vector<std::string> command = {PEX_MAKE_GENFILE};
        command.insert(command.end(), row.args.begin(), row.args.end());
        const support::ProgramRun tool = support::RunProgram(command, dir.Path());
        const std::string said = tool.out + tool.err, args = ::testing::PrintToString(row.args);
        EXPECT_EQ(tool.status, row.status) << args << "\n" << said;
        EXPECT_TRUE(HasAll(said, {row.said})) << args;
        if (row.status == 2) {
            EXPECT_TRUE(HasAll(said, {"usage: make_genfile"})) << args;
        }
    }
    for (const char* name : {"--help", "-h", "--bogus", "other.gen", "--check"})
        EXPECT_FALSE(platform::FileExists(dir.File(name).c_str())) << name;
    EXPECT_EQ(dir.Read("notes.gen"), "not a GenFile");
    // What it wrote plays: four frames of 64 words by 16 lines, one a block.
    ASSERT_EQ(Run("Play GenFile=clip.gen FRAMES=4"), kRunPassed) << text;
    for (int n = 1; n <= 4; ++n) {
        const WexalDCB dcb = Dcb(n);
        EXPECT_EQ(dcb.GetStartAddress(), 0x1000u + 4096u * (n - 1)) << n;
        EXPECT_EQ(dcb.GetLines() << 16 | dcb.GetLineLength(), 15u << 16 | 64) << n;
        EXPECT_EQ(dcb.GetOpField().GetNext(), n == 4 ? 1u : n + 1u) << n;
    }
}

// A whole file can hold far more frames than a run should wait for: the host's stop flag ends the
// loading after the frame it was raised in, before the ring is closed or the channel started.
TEST_F(Play, TheStopFlagEndsTheLoadingWithResultThree) {
    host.cwd.Dir().Write("clip.gen", GenFile({17, 17}));
    CJastel jastel("CJastel");
    const struct { const char* frames; int nth; } rows[] = {{"FRAMES=0", 1}, {"FRAMES=0", 16}, {"FRAMES=5", 4}};
    for (const auto& row : rows) {
        devlib::LoadDefaultRig();
        jastel.SetControllerRegisters(RigBoard("Brimola1")->GetControllerRegisters());
        Reg(0x58010) = 0;
        StopOnPrint<CBrimolaWemp> wemp(&jastel, "CBrimolaWemp");
        wemp.SetParent(&root);
        ASSERT_EQ(wemp.SetupDevice("Brimola1"), kRunPassed);
        wemp.StopAt("SRC Image:", row.nth);
        EXPECT_EQ(wemp.Run((std::string("Play GenFile=clip.gen VERBOSE=2 ") + row.frames).c_str()), kRunStopped) << row.nth;
        EXPECT_EQ(Count(wemp.out.text, "SRC Image:"), static_cast<size_t>(row.nth)) << row.nth << ": no frame loaded after the stop";
        EXPECT_TRUE(wemp.out.HasColoured("Stopped by User\n", kColorRed)) << row.nth;
        EXPECT_EQ(SdramWord(0x1000 + 512 * row.nth), 0u) << row.nth;
        EXPECT_EQ(Reg(0x70040) >> 29 & 1, 0u) << row.nth << ": the channel was started";
        EXPECT_EQ(Reg(0x58010), 0u) << row.nth;
    }
}

TEST_F(Play, HelpIsNotAvailableAndAnOrphanSaysSo) {
    root.out = {};
    root.Help("Brimola1 <CBrimolaWemp Play GenFile=x>");
    EXPECT_EQ(root.out.text + TakeText(), "\nHelp is not available for:\n  CBrimolaWemp Play GenFile=x\n");
    Recording<CBrimolaWemp> orphan(nullptr, "CBrimolaWemp");
    EXPECT_EQ(orphan.Run("Play GenFile=x"), kRunFailed);
    EXPECT_TRUE(orphan.out.HasColoured("CKerzil:  Parent is NULL\n", kColorRed));
}

}  // namespace
