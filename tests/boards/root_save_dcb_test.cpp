// Tests of the codec root's image saves by DCB: the commands it issues and the fields it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "tests/boards/root_fixture.h"

namespace {

// A stand-in codec test that keeps what it is issued; one that stops sets the host's stop flag as it runs.
struct StandIn : support::RecordingTreeTest {
    StandIn(const char* name, bool stopping) : RecordingTreeTest(name), stops(stopping) {}
    DWORD Run(CString arguments) override {
        if (stops) *g_StopFlag() = 1;
        return RecordingTreeTest::Run(arguments);
    }
    bool stops;
};

TEST_F(RootKeywords, SaveByDCBIssuesOneCommandPerDCBAndRefusesBadFields) {
    // A refused command prints its one red line and issues nothing; without a macro it is silent.
    const std::string save = "\"Save Image\" ";
    struct Row {
        std::string arguments;
        const char* target;
        DWORD result;
        std::vector<std::string> issued;
        const char* red = nullptr;
        DWORD answer = kRunPassed;  // what the stand-in test answers each issued save
        bool stops = false;         // the host asks to stop while the stand-in runs
    };
    const Row rows[] = {
        {"\"Save Image\" ADDRESS=@DCB(unpacker, deviceb, 3, 2) FILE=img", "CSorbelinUnpackerB", 1,
         {"\"Save Image\" ADDRESS=@DCB(29, 25, 3) FILE=img.Unpacked.3", "\"Save Image\" ADDRESS=@DCB(29, 25, 4) FILE=img.Unpacked.4"}},
        // The file named like the keyword; the macro in lower case, its fields split by tab and comma.
        {"\"Save Image\" address=@dcb(PACKER\tDEVICEA,15 1) FILE=Image VERBOSE=0", "CSorbelinPackerA", 1,
         {"\"Save Image\" address=@dcb(28, 24, 15) FILE=Image.Packed.15 VERBOSE=0"}},
        // A quoted name holding blanks, the root's name and a parenthesis, before the macro.
        {"\"Save Alpha\" FILE= \"C:\\CNuxaBoard x\\a(1)\" ADDRESS=@DCB(Packer, DeviceB, 1, 2)", "CSorbelinPackerB", 1,
         {"\"Save Alpha\" FILE= \"C:\\CNuxaBoard x\\a(1)\".Packed.1 ADDRESS=@DCB(29, 25, 1)",
          "\"Save Alpha\" FILE= \"C:\\CNuxaBoard x\\a(1)\".Packed.2 ADDRESS=@DCB(29, 25, 2)"}},
        // A quoted name holding the macro text as written.
        {"\"Save Image\" ADDRESS=@DCB(unpacker devicea 14 2) FILE=\"unpacker devicea 14 2\"", "CSorbelinUnpackerA", 1,
         {"\"Save Image\" ADDRESS=@DCB(28, 24, 14) FILE=\"unpacker devicea 14 2\".Unpacked.14",
          "\"Save Image\" ADDRESS=@DCB(28, 24, 15) FILE=\"unpacker devicea 14 2\".Unpacked.15"}},
        // Only "FILE=" in upper case names the file.
        {"\"Save Alpha\" ADDRESS=@DCB(UNPACKER, DEVICEB, 1, 1) file=x", "CSorbelinUnpackerB", 1, {"\"Save Alpha\" ADDRESS=@DCB(29, 25, 1) file=x"}},
        {save + "FILE=img", "CSorbelinPackerA", 0, {}},
        {save + "ADDRESS=@DCB packer, devicea, 1, 1", "CSorbelinPackerA", 0, {}},
        {save + "ADDRESS=@DCB(packer, devicea, 1, 1", "CSorbelinPackerA", 0, {}},
        {save + "ADDRESS=@DCB( , )", "CSorbelinPackerA", 0, {}, "DCB Field #1:  Unable to find PACKER/UNPACKER.\n"},
        {save + "ADDRESS=@DCB(pack, devicea, 1, 1)", "CSorbelinPackerA", 0, {}, "DCB Field #1:  Must be PACKER or UNPACKER.\n"},
        {save + "ADDRESS=@DCB(packer)", "CSorbelinPackerA", 0, {}, "DCB Field #2:  Unable to find DEVICEA/DEVICEB.\n"},
        {save + "ADDRESS=@DCB(packer, devicec, 1, 1)", "CSorbelinPackerA", 0, {}, "DCB Field #2:  Must be DEVICEA or DEVICEB.\n"},
        {save + "ADDRESS=@DCB(packer, devicea)", "CSorbelinPackerA", 0, {}, "DCB Field #3:  Unable to find dcbStart.\n"},
        {save + "ADDRESS=@DCB(packer, devicea, 0, 1)", "CSorbelinPackerA", 0, {}, "DCB Field #3:  Illegal value for dcbStart.\n"},
        {save + "ADDRESS=@DCB(packer, devicea, 16, 1)", "CSorbelinPackerA", 0, {}, "DCB Field #3:  Illegal value for dcbStart.\n"},
        {save + "ADDRESS=@DCB(packer, devicea, 3x, 1)", "CSorbelinPackerA", 0, {}, "DCB Field #3:  Illegal value for dcbStart.\n"},
        {save + "ADDRESS=@DCB(packer, devicea, 1)", "CSorbelinPackerA", 0, {}, "DCB Field #4:  Unable to find dcbCount.\n"},
        {save + "ADDRESS=@DCB(packer, devicea, 15, 2)", "CSorbelinPackerA", 0, {}, "DCB Field #4:  Illegal value for dcbCount.\n"},
        {save + "ADDRESS=@DCB(packer, devicea, 1, 0)", "CSorbelinPackerA", 0, {}, "DCB Field #4:  Illegal value for dcbCount.\n"},
        {save + "ADDRESS=@DCB(unpacker, deviceb, 3, 2) FILE=\"img", "CSorbelinUnpackerB", 0, {}, "Invalid file name"},
        {save + "ADDRESS=@DCB(unpacker, deviceb, 3, 2 FILE=x)", "CSorbelinUnpackerB", 0, {}, "Invalid file name"},
        // With no packer A test registered the issued command is answered as any unknown test: nothing saved, a failure.
        {save + "ADDRESS=@DCB(packer, devicea, 15, 1) FILE=x", "CSorbelinPackerB", 2, {},
         "ERROR:  Unable to find test[Nuxa1 <CSorbelinPackerA \"Save Image\" ADDRESS=@DCB(28, 24, 15) FILE=x.Packed.15>]\n"},
        // A failed save does not stop the next DCB, but the whole save fails.
        {"\"Save Image\" ADDRESS=@DCB(unpacker, deviceb, 3, 2) FILE=img", "CSorbelinUnpackerB", 2,
         {"\"Save Image\" ADDRESS=@DCB(29, 25, 3) FILE=img.Unpacked.3", "\"Save Image\" ADDRESS=@DCB(29, 25, 4) FILE=img.Unpacked.4"},
         nullptr, kRunFailed},
        // A stop during a save issues no further DCB: the whole save is stopped.
        {"\"Save Image\" ADDRESS=@DCB(unpacker, deviceb, 3, 2) FILE=img", "CSorbelinUnpackerB", 3,
         {"\"Save Image\" ADDRESS=@DCB(29, 25, 3) FILE=img.Unpacked.3"}, nullptr, kRunStopped, true},
    };
    // The root's own packer and unpacker tests step aside for the stand-ins.
    for (const char* name : {"CSorbelinPackerA", "CSorbelinPackerB", "CSorbelinUnpackerA", "CSorbelinUnpackerB"}) nuxa.GetChildMap()->erase(name);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments);
        StandIn standIn(row.target, row.stops);  // a codec packer or unpacker test
        standIn.result = row.answer;
        ASSERT_TRUE(standIn.AddToMap(&nuxa));
        EXPECT_EQ(Run("Nuxa1 <CNuxaBoard " + row.arguments + ">"), row.result);
        EXPECT_EQ(standIn.received, row.issued);
        const auto& coloured = nuxa.out.coloured;
        EXPECT_EQ(std::count_if(coloured.begin(), coloured.end(), [](const auto& c) { return c.second == kColorRed; }), row.red ? 1 : 0);
        EXPECT_TRUE(!row.red || nuxa.out.HasColoured(row.red, kColorRed));
        nuxa.GetChildMap()->erase(row.target);
        *g_StopFlag() = 0;
    }
}

}  // namespace
