// The commands that save files, run through the roots: each fails with its cause, keeps the file it would replace and leaves nothing beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/dialog.h"
#include "platform/file_identity.h"
#include "platform/files.h"
#include "platform/host_ui.h"
#include "tests/boards/root_fixture.h"
#include "tests/support/save_checks.h"

namespace {

class RootSaves : public RootKeywords {
protected:
    // A save command with its file and its large or small form put in; what a failed run said (its
    // text and its message boxes) goes to said.
    support::SaveKind Kind(const char* name, std::string (*command)(const std::string& path, bool large)) {
        return {name, [this, command](const std::string& path, std::string& said, bool large) {
                    platform::ClearMessageBoxHistory();
                    std::string out;
                    const DWORD result = Run(command(path, large), &out);
                    for (const auto& box : platform::MessageBoxHistory()) out += (box.caption + " " + box.text + "\n").str();
                    platform::ClearMessageBoxHistory();
                    said = out;
                    return result == kRunPassed;
                }, "The disk is full."};
    }
};

TEST_F(RootSaves, EverySaveCommandFailsWithItsCauseKeepsTheOldFileAndLeavesNothingBeside) {
    const support::SaveKind kinds[] = {
        Kind("memory to file", [](const std::string& p, bool large) {
            return "Brimola1 <CWexal Save Memory To File FILE=" + support::Bracketed(p) + " FORMAT=Binary ADDRESS=0x0 SIZE=" + (large ? "0x10000" : "0x40") + ">";
        }),
        Kind("Tcl SaveImage", [](const std::string& p, bool large) {
            return "Brimola1 <Tcl TclCommand set h [CreateBuffer " + std::string(large ? "65536" : "64") + "]; SaveImage " + support::TclWord(p) + " $h>";
        }),
        Kind("unpacker image", [](const std::string& p, bool large) {
            return "Nuxa1 <CSorbelinUnpackerA \"Save Image\" ADDRESS=0x00001000 DIM=" + std::string(large ? "(128,64)" : "(16,8)") + " FILE=" + support::Quoted(p) + ">";
        }),
        Kind("unpacker alpha text", [](const std::string& p, bool large) {
            return "Nuxa1 <CSorbelinUnpackerB \"Save Alpha\" ADDRESS=0x00001000 FORMAT=1 DIM=" + std::string(large ? "(128,64)" : "(4,2)") + " FILE=" + support::Quoted(p) + ">";
        }),
        Kind("packer alpha", [](const std::string& p, bool large) {
            return "Nuxa1 <CSorbelinPackerA \"Save Alpha\" ADDRESS=0x00001000 DIM=" + std::string(large ? "(256,128)" : "(16,8)") + " FILE=" + support::Quoted(p) + ">";
        }),
        Kind("packer image", [](const std::string& p, bool large) {
            return "Nuxa1 <CSorbelinPackerB \"Save Image\" ADDRESS=0x00001000 DIM=" + std::string(large ? "(128,64)" : "(16,8)") + " FILE=" + support::Quoted(p) + ">";
        }),
    };
    for (const support::SaveKind& kind : kinds) support::ExpectWholeFileSave(kind);
}

// A frame that runs past the end of the board's memory is not saved: the command fails and the
// file keeps what it held.
TEST_F(RootSaves, AFrameNotReadWholeFromMemoryIsNotSaved) {
    support::TempDir dir;
    const std::string file = dir.Write("frame.img", "kept");
    for (const char* command : {"CSorbelinUnpackerA \"Save Image\"", "CSorbelinUnpackerB \"Save Alpha\""}) {
        SCOPED_TRACE(command);
        std::string out;
        EXPECT_EQ(Run(std::string("Nuxa1 <") + command + " ADDRESS=0xFFFFF000 DIM=(64,64) FILE=" + support::Quoted(file) + ">", &out), kRunFailed) << out;
        EXPECT_EQ(support::ReadText(file), "kept");
        EXPECT_EQ(support::Entries(dir.Path()), std::vector<std::string>{"frame.img"});
    }
}

// "Save BMP Image" takes only a free name (an absent or empty file), so it replaces no file; a
// device is written in place and stays. A failed capture leaves no file of its own behind. The page
// it points at the BMP file is written above the BMP file's folder, no higher than the station folder.
TEST_F(RootSaves, TheBmpCaptureSaysWhyItFailedAndItsPageStaysInTheStationFolder) {
    const std::string capture = "Brimola1 <CWexal \"Save BMP Image\" ADDRESS=@DCB(57,1,1) DIM=(128,64) FORMAT=Image:YCbCr_8bit FILE=";
    std::string out;
    EXPECT_EQ(Run(capture + "/dev/null>", &out), kRunPassed) << out;
    EXPECT_EQ(Run(capture + "/dev/full>", &out), kRunFailed);
    EXPECT_TRUE(support::HasAll(out, {"Unable to write:  /dev/full\nThe disk is full.\n"}));
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full") && std::filesystem::is_character_file("/dev/null"));
    support::TempDir scratch;
    support::WithFileSizeLimit([&] { EXPECT_EQ(Run(capture + support::Bracketed(scratch.File("big%d.bmp")) + ">", &out), kRunFailed); });
    EXPECT_TRUE(support::HasAll(out, {"Unable to write:  " + scratch.File("big1.bmp") +
                                          "\nThe disk is full. The file is too large for the size limit of this process or of its file system.\n"}));
    EXPECT_EQ(support::Entries(scratch.Path()), std::vector<std::string>{});

    const std::string station = Dir().MakeDir("station");
    platform::SetDriveRoot(station);
    Dir().Write("station/pages/page.htm", "<img src=\"old.bmp\">");
    struct Row { std::string file; std::string page; } const rows[] = {
        {"C:\\shot%d.bmp", station + "/page.htm"},               // "C:\..\page.htm": the drive's root stops ".."
        {"C:\\shots\\deep\\shot%d.bmp", station + "/shots/page.htm"},
        {"\\shot%d.bmp", station + "/page.htm"},
        {"shot%d.bmp", station + "/page.htm"},                    // relative, from the station folder
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        std::filesystem::create_directories(station + "/shots/deep");
        EXPECT_EQ(Run(capture + row.file + " HTML=C:\\pages\\page.htm>", &out), kRunPassed) << out;
        EXPECT_NE(support::ReadText(row.page).find("src=\""), std::string::npos) << out;
        EXPECT_EQ(support::ReadText(row.page).find("old.bmp"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(Dir().File("page.htm")));
        std::filesystem::remove(row.page);
    }
    // A page that cannot be written fails the capture, saying why.
    std::filesystem::create_directory(station + "/page.htm");
    EXPECT_EQ(Run(capture + "C:\\again%d.bmp HTML=C:\\pages\\page.htm>", &out), kRunFailed);
    EXPECT_TRUE(support::HasAll(out, {"Unable to write:  C:\\..\\page.htm\n"}));
    platform::SetDriveRoot("");
}

// A log record or a result line appended to a file that cannot take it (a link to /dev/full) fails
// the command that wrote it, with the cause and the file; so does one appended to a file the run
// depends on, which keeps its bytes. The same command passes and leaves its record when the file
// takes it. Each harness keeps its own logs, so each is run.
TEST_F(RootSaves, AnAppendThatIsLostFailsItsCommandWithTheCause) {
    support::RecordHost host;
    host.record = "the host window's record\n";
    GetResultScreen().SetHost(&host);
    platform::ScriptedDialogRunner runner;  // for the peak monitor, which logs while its loop runs
    platform::DialogRunner* const before = platform::SetDialogRunner(&runner);
    const std::string unpacker = "Nuxa1 <CSorbelinUnpackerA";
    const std::string membist = " RANGE=(0x48,0x50) STEP=8 FPGA=$(CWD)\\testdata\\UPQE$(VPDVER).oxd>";
    const std::string logLost = "Unable to append to log file " + Dir().File("record.log") + "\nThe disk is full.\n";
    struct Row {
        const char* name;
        std::string mapper;  // the test that maps the log NAME= file; "" for a file the command names itself
        std::string file;    // the log's NAME=, or that file in the working folder
        std::string command;
        std::string said;
        bool dialog = false;
    } const rows[] = {
        {"main FPGA image summary", "Brimola1 <CBrimolaBoard", "Summary", "Brimola1 <CWexal \"Host Transfer:Unpacked Image\" DIM=(16,8)>", logLost},
        {"video path image summary", "Brimola1 <CBrimolaBoard", "Summary",
         "Brimola1 <CKerzil \"Bypass:Image:Unpacked\" CHANNEL=A DIM=(16,8) FPGA=$(CWD)\\testdata\\LOCV$(VPDVER).oxd>", logLost},
        {"breakout box image summary", "Brimola1 <CBrimolaBoard", "Summary", "Brimola1 <CNulk Internal Loopback Images DIM=(16,8)>", logLost},
        {"codec image summary", "Nuxa1 <CSorbelinPackerA", "Summary", "Nuxa1 <CSorbelinPackerA \"Video:Mixed\" DIM=(64,64)>", logLost},
        {"memory scan phases", unpacker, "MembistPhase", unpacker + " \"MemBist Scan\" MAXFAIL=0" + membist, logLost},
        {"memory range summary", unpacker, "MembistSummary", unpacker + " \"MemBist Range\"" + membist, logLost},
        {"memory range result line", "", "NUX0000001.txt", unpacker + " \"MemBist Range\" SAVE=Yes" + membist,
         "Unable to append to file NUX0000001.txt\nThe disk is full.\n"},
        {"peak temperatures", "", "peak.log", "Brimola1 <CBrimolaBoard \"Show Device Temperatures\" PEAK=1 UNIQUE=1 FILE=peak.log>",
         "Unable to append to log file peak.log\nThe disk is full.\n", true},
    };
    for (int device = 0; device < 3; ++device) ASSERT_EQ(Run(support::ProgramLine(device)), kRunPassed);
    ASSERT_EQ(Run("Nuxa1 <CSorbelinPackerA Program VERBOSITY=1 FILE=$(CWD)\\testdata\\PAQE$(VPDVER).oxd>"), kRunPassed);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string file = Dir().File(row.mapper.empty() ? row.file : "record.log");
        if (!row.mapper.empty()) {
            ASSERT_EQ(Run(row.mapper + " FileMap FILE=" + support::Bracketed(file) + " NAME=" + row.file + ">"), kRunPassed);
        }
        const auto run = [&](std::string& out) {
            if (row.dialog) runner.Push({"begin", "end", "close"});
            return Run(row.command, &out);
        };
        std::string out;
        EXPECT_EQ(run(out), kRunPassed) << out;
        EXPECT_FALSE(support::ReadText(file).empty());
        std::filesystem::remove(file);
        std::filesystem::create_symlink("/dev/full", file);
        EXPECT_EQ(run(out), kRunFailed);
        EXPECT_TRUE(support::HasAll(out, {row.said}));
        std::filesystem::remove(file);
        Dir().Write(row.mapper.empty() ? row.file : "record.log", "kept");
        platform::ProtectFile(file, "the rig file");
        EXPECT_EQ(run(out), kRunFailed);
        platform::ClearProtectedFiles();
        EXPECT_TRUE(support::HasAll(out, {(row.mapper.empty() ? row.file : file) + " is the rig file, which this run must not write over.\n"}));
        EXPECT_EQ(support::ReadText(file), "kept");
        std::filesystem::remove(file);
        if (!row.mapper.empty()) Run(row.mapper + " FileMap FILE=\"\" NAME=" + row.file + ">");
    }
    platform::SetDialogRunner(before);
    GetResultScreen().SetHost(nullptr);
}

}  // namespace
