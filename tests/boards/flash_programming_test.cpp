// Tests of the flash programming test ("Flash") and its image ID record on the rig's flash.
#include "boards/flash/diag_flash.h"
#include "boards/flash/flash_image_id.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "framework/result_screen.h"
#include "platform/clock.h"
#include "tests/boards/flash_rig.h"
#include "tests/support/fixtures.h"

namespace {

using flashtest::Chip;
using flashtest::FaultRig;
using Flash = flashtest::OnRig<CDiagFlash>;

const std::string kOxd = support::Fixture("oxd") + "/";

std::string File(const char* id) { return " FILE=" + support::Bracketed(kOxd + id + "0202.oxd"); }

TEST(DiagFlash, ModesDevicesAndFiles) {
    struct Row { const char* name; const char* board; std::string args; DWORD result; std::vector<std::string> parts; };
    const Row rows[] = {
        {"no MODE: the board check only", "Brimola1", "DEVICE=PCIX", 1, {}},
        {"no DEVICE", "Brimola1", "MODE=REPORT", 2, {"ERROR:  Unable to verify board\n"}},
        {"unknown DEVICE", "Brimola1", "MODE=REPORT DEVICE=foo", 2, {"ERROR:  Unable to find DEVICE[FOO]\n"}},
        {"any case; the running image's record", "Brimola1", "MODE=REPORT DEVICE=pcix", 1, {"\nPROM Image PCIX, rev C750:\n Filename:     PUVI0202.oxd\n"}},
        {"the codec board's PCIX image", "Nuxa1", "MODE=REPORT DEVICE=PCIX", 1, {" Filename:     KEZO0202.oxd\n"}},
        {"no record kind", "Brimola1", "MODE=REPORT DEVICE=LABX", 2, {"  This image type cannot contain report data: LABX.\n"}},
        {"PROM has no record", "Brimola1", "MODE=REPORT DEVICE=PROM", 2, {"cannot contain report data: PROM"}},
        {"an empty segment", "Brimola1", "MODE=REPORT DEVICE=TEST", 2, {"  No report available for PROM section TEST.\n"}},
        {"CHECK of SAFE", "Brimola1", "MODE=CHECK DEVICE=SAFE" + File("ZVKS"), 1, {"the SAFE image from file \"ZVKS0202.oxd\"\n", "Comparing...Done.\n"}},
        {"SAF6 holds SAFE's image", "Brimola1", "MODE=CHECK DEVICE=SAF6" + File("ZVKS"), 1, {"1572864 16-bit words of capacity"}},
        {"PCI6 holds PCI's", "Brimola1", "MODE=(CHECK REPORT) DEVICE=PCI6" + File("ZVKP"), 2, {"No report available for PROM section PCI6"}},
        {"PCI", "Brimola1", "MODE=CHECK DEVICE=PCI" + File("ZVKP"), 1, {"Done.\n"}},
        {"EXP of the main board", "Brimola1", "MODE=CHECK DEVICE=EXP" + File("LOJT"), 1, {"Done.\n"}},
        {"EXP of the codec board", "Nuxa1", "MODE=CHECK DEVICE=EXP" + File("RYVD"), 1, {"Done.\n"}},
        {"VPD", "Brimola1", "MODE=CHECK DEVICE=VPD" + File("HUXO"), 1, {"Done.\n"}},
        {"VPD of the codec board", "Nuxa1", "MODE=CHECK DEVICE=VPD" + File("MIZB"), 1, {"Done.\n"}},
        {"PROM: the smallest segment's room", "Brimola1", "MODE=CHECK DEVICE=PROM" + File("LOJT"), 2, {"  Readying the image from file", "8192 16-bit words"}},
        {"another image", "Brimola1", "MODE=CHECK DEVICE=PCIX" + File("ZVKP"), 2, {"intended for PCI, not PCIX.\n", "contents is not correct at word 0x100"}},
        {"PROG without FILE", "Brimola1", "MODE=PROG DEVICE=PCIX", 2, {}},
        {"NOCHECK takes CHECK out", "Brimola1", "MODE=(CHECK NOCHECK) DEVICE=PCIX FILE=NOFILE.OXD", 1, {}},
        {"a missing file", "Brimola1", "MODE=CHECK DEVICE=PCIX FILE=$(CWD)ZVKX$(VPDVER).OXD", 2, {"ERROR:  ", "ZVKX0202.OXD not found\n"}},
    };
    for (const Row& row : rows) {
        Flash flash("", row.board);
        EXPECT_TRUE(flash.Gives(row.args, row.result, row.parts)) << row.name;
        EXPECT_EQ(row.parts.empty() ? flash.Text().find("ERROR") : std::string::npos, std::string::npos) << row.name;
        // The notice names another segment; an image of the segment it is checked in gets none.
        const bool notice = std::any_of(row.parts.begin(), row.parts.end(),
                                        [](const std::string& part) { return part.find("intended for") != std::string::npos; });
        EXPECT_EQ(flash.Text().find("Notice:") != std::string::npos, notice) << row.name << "\n" << flash.Text();
    }
}

TEST(DiagFlash, TheFileTakesTheBoardsRevisionAndMayLieUnderTestdata) {
    Flash flash;
    const std::string image = support::ReadText(kOxd + "PUVI0202.oxd");
    flash.Dir().MakeDir("testdata");
    flash.Dir().Write("testdata/PUVI0202.oxd", image);
    flash.Dir().Write("PUVI0203.oxd", image);
    EXPECT_TRUE(flash.Gives("MODE=CHECK DEVICE=PCIX FILE=$(ZORV)\\PUVI$(VPDVER).OXD", 1, {"Comparing...Done.\n"}));
    EXPECT_TRUE(flash.Gives("MODE=CHECK DEVICE=PCIX FILE=$(CWD)PUVI0203.OXD", 2, {"PUVI0203.OXD not found\n"}));
}

TEST(DiagFlash, TheSecondReleaseKnowsEachBoardsOwnPcixImage) {
    Flash flash("", "Nuxa1");
    flash.Dir().Write("Environment.txt", "Release = Grenlo\n");
    CWexalTestBase::FreeEnvironment();
    flash.test = std::make_unique<support::Recording<CDiagFlash>>(CString("Flash"));
    flash.test->SetupDevice("Nuxa1");
    // PUVI belongs to the main board: on the codec board the whole device has no room for it.
    EXPECT_TRUE(flash.Gives("MODE=CHECK DEVICE=PROM" + File("PUVI"), 2, {"  This OXD file does not contain a valid Brimola data.\n"}));
    EXPECT_TRUE(flash.Gives("MODE=CHECK DEVICE=PCIX" + File("KEZO"), 1, {"Comparing...Done.\n"}));
}

// An OXD file of the ZVKX header, revision C760, with data bytes of its own.
std::string MakeOxd(const support::TempDir& dir, const char* name, size_t bytes) {
    std::string file = support::ReadText(kOxd + "ZVKX0202.oxd").substr(0, 0x60);
    file.replace(13, 4, "C760");
    for (size_t i = 0; i < bytes; ++i) file += static_cast<char>('A' + i % 26);
    return dir.Write(name, file);
}

TEST(DiagFlash, ImageSizesAgainstTheSegment) {
    // {name, data bytes, PROG result, then REPORT result and text, a word of PCIX with its value}
    struct Row { const char* name; size_t bytes; DWORD prog; const char* progText; DWORD report; const char* reportText; DWORD word; WORD value; };
    const Row rows[] = {
        {"an odd last byte keeps the flash's high half", 5, 1, "Done.\n", 1,
         "rev C760: ~*BACK_LTYELLOW*~(but running C75x)~*BACK_WHITE*~\n", 0x100002, 0x9945},
        {"one byte over the segment", 0x200001, 2, "  There is not enough space in PROM for this Wexal image.\n", 1,
         "rev C750:\n", 0x1FFFFD, 8},
        {"into the last block: no record, none left behind", 2 * 0xF8000 + 1, 1, "Done.\n", 2,
         "No report available for PROM section PCIX.", 0x1FFFFD, 0xFFFF},
    };
    for (const Row& row : rows) {
        Flash flash;
        const std::string file = MakeOxd(flash.Dir(), "ZVKX0202.oxd", row.bytes);
        EXPECT_TRUE(flash.Gives("MODE=PROG DEVICE=PCIX FILE=" + support::Bracketed(file), row.prog, {row.progText})) << row.name;
        EXPECT_TRUE(flash.Gives("MODE=REPORT DEVICE=PCIX", row.report, {row.reportText})) << row.name;
        EXPECT_EQ(Chip().Word(row.word), row.value) << row.name;
        EXPECT_EQ(flash.Run("MODE=CHECK DEVICE=PCIX FILE=" + support::Bracketed(file)), row.prog) << row.name << flash.Text();  // checks as it programmed
    }
}

TEST(DiagFlash, ProgramCheckReportRoundTripAndItsRecord) {
    setenv("USERDOMAIN", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 1);
    setenv("USERNAME", "tester", 1);
    struct tm day = {};
    day.tm_year = 2026 - 1900, day.tm_mon = 11, day.tm_mday = 5, day.tm_hour = 12, day.tm_isdst = -1;
    const time_t before = platform::WallTime();
    platform::SetWallTime(std::mktime(&day));
    Flash flash;
    EXPECT_TRUE(flash.Gives("MODE=(PROG CHECK REPORT) DEVICE=PCIX" + File("ZVKP"), 1,
                            {"Programming...\n  ___\n  I##\nDone.\n", "Comparing...Done.\n",
                             "\nPROM Image PCIX, rev C750:\n Filename:     ZVKP0202.oxd\n Installer:    ABCDEFGHIJKLMNOPQRS - "
                             "tester\n Install Date: Saturday, December 05, 2026\n"}));
    platform::SetWallTime(before);
    unsetenv("USERDOMAIN");
    unsetenv("USERNAME");
    // The record as another reader finds it: the installer text and the file's header text.
    sim::ImageIdRecord record;
    ASSERT_TRUE(sim::ReadImageIdRecord(Chip(), sim::kPcixSegment, &record));
    ASSERT_EQ(record.texts.size(), 2u);
    EXPECT_EQ(record.revision, 0xC750);
    EXPECT_EQ(record.texts[1].substr(0, 10), "RC750FZVKP");
    const size_t list = record.texts[0].size() + record.texts[1].size() + 3;
    EXPECT_EQ(record.textOffset, (0x200000 - 8 - list) & ~size_t{1});
    EXPECT_EQ(Chip().Word(0x100000 + (record.textOffset & ~31u) / 2), 0xFFFF);
}

TEST(DiagFlash, AStopBetweenBlocksEndsTheProgramming) {
    Flash flash;
    flashtest::StopFlagSet stop;
    EXPECT_TRUE(flash.Gives("MODE=(PROG CHECK) DEVICE=PCIX" + File("ZVKX"), 3, {"  I...Aborting."}));
    EXPECT_EQ(flash.Text().find("Comparing"), std::string::npos);
}

TEST(DiagFlash, FlashFaultsAreCaught) {
    const std::string prog = "MODE=PROG DEVICE=PCIX" + File("ZVKX");
    const std::string check = "MODE=CHECK DEVICE=PCIX" + File("ZVKX");
    struct Row { std::string fault; std::string args; DWORD result; const char* text; bool red = true; };
    const Row rows[] = {
        {"", "MODE=(PROG CHECK REPORT) DEVICE=PCIX" + File("ZVKX"), 1, "Done.\n"},
        {R"("kind": "flash_erase_fails", "block": 31)", prog, 2, "\n  Flash device erase block failure."},
        {R"("kind": "flash_never_ready")", prog, 2, "\n  Flash device erase block failure."},
        {R"("kind": "flash_program_fails", "block": 16)", prog, 2, "\n  Flash device write block failure."},
        {R"("kind": "flash_locked_block", "block": 16)", prog, 2, "\n  Flash device write block failure."},
        {R"("kind": "flash_program_fails", "block": 31)", prog, 2, "\n  Unable to write Image ID to Flash device."},
        {R"("kind": "flash_stuck_bit", "bit": 3, "value": 1)", check, 2, "Flash PROM contents is not correct at word 0x10000"},
        {R"("kind": "flash_missing_header", "segment": "PCIX")", check, 2, "Flash PROM contents is not correct at word 0x100002.\n"},
        {R"("kind": "flash_missing_header", "segment": "PCIX")", "MODE=REPORT DEVICE=PCIX", 2,
         "  No report available for PROM section PCIX.\n", false},
    };
    for (const Row& row : rows) {
        Flash flash(FaultRig(row.fault), "B1");
        EXPECT_TRUE(flash.Gives(row.args, row.result, {row.text})) << row.fault;
        EXPECT_EQ(flash.test->out.HasColoured(row.text, kColorRed), row.red && row.result == 2) << row.fault;
    }
}

TEST(FlashImageID, RecordBytesInTheSegment) {
    // Records at the end of the erased TEST segment (0x300000, 0x0E0000 words) of a fresh rig.
    // {name, free words, texts, address, text offset, what the last 16 words hold, read back}
    constexpr int kStart = 0x300000, kSize = 0x0E0000, S = 2 * kSize;
    struct Row { const char* name; int free; std::vector<std::string> texts; int address; int offset; std::vector<WORD> tail; BOOL read; };
    const Row rows[] = {
        {"text and header", 0x100, {"one", "two"}, 2 * kStart + S - 32, S - 8 - 10,
         {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0x6E6F, 0x0065, 0x7774, 0x006F, 0, 0xC751, 8, (S - 18) & 0xFFFF, (S - 18) >> 16}, TRUE},
        {"a list too long for the free space: the header alone", 16, {std::string(30, 'x')}, 2 * kStart + S - 32, -1,
         {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0xC751, 8, 0xFFFF, 0xFFFF}, FALSE},
        {"less than 32 free bytes: no record", 15, {"one"}, -1, -1, std::vector<WORD>(16, 0xFFFF), FALSE},
    };
    for (const Row& row : rows) {
        devlib::LoadDefaultRig();
        CWexalBoardDevice* board = support::RigBoard("Brimola1");
        CFlashImageID record;
        record.Flash().Attach(board->GetControllerRegisters() + 2);
        record.SetGeometry(kStart, row.free, kSize);
        record.SetRevisionFrom("RC751FZVKXM");
        record.SetTexts(row.texts);
        EXPECT_EQ(record.GetRecordAddress(), row.address) << row.name;
        EXPECT_EQ(record.WriteId(), row.address >= 0) << row.name;
        std::vector<WORD> tail(16);
        Chip().ReadWords(kStart + kSize - 16, tail.data(), 16);
        EXPECT_EQ(tail, row.tail) << row.name;
        CFlashImageID report;
        report.Flash().Attach(board->GetControllerRegisters() + 2);
        report.SetGeometry(kStart, CFlashImageID::kReportRecordWords, kSize);
        ASSERT_EQ(report.ReadId(), row.read) << row.name;
        if (row.read) {
            EXPECT_EQ(report.GetTexts(), row.texts) << row.name;
            EXPECT_EQ(std::tuple(report.GetRevision(), report.GetTextOffset()), std::tuple(WORD{0xC751}, row.offset));
        }
    }
    // The older form: a 4-byte header whose text position is a flash word address.
    const WORD old[] = {0x6C6F, 0x0064, 0, 0x1234, 4, static_cast<WORD>(kStart + kSize - 7), static_cast<WORD>((kStart + kSize - 7) >> 16)};
    Chip().WriteWords(kStart + kSize - 7, old, 7);
    CFlashImageID report;
    report.Flash().Attach(support::RigBoard("Brimola1")->GetControllerRegisters() + 2);
    report.SetGeometry(kStart, CFlashImageID::kReportRecordWords, kSize);
    ASSERT_TRUE(report.ReadId());
    EXPECT_EQ(report.GetTexts(), std::vector<std::string>{"old"});
    EXPECT_EQ(std::tuple(report.GetRevision(), report.GetTextOffset()), std::tuple(WORD{0x1234}, S - 14));
}

}  // namespace
