// Tests of the codec root's image saves by DCB: the commands it issues and the fields it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/result_screen.h"
#include "tests/boards/root_fixture.h"

namespace {

// Stands in for a codec packer or unpacker test: keeps the arguments the root hands it and fails,
// so a failed save must not stop the next DCB.
class CodecTestStandIn : public support::RecordingTreeTest {
public:
    using RecordingTreeTest::RecordingTreeTest;
    DWORD Run(CString arguments) override {
        received.push_back(arguments.str());
        return kRunFailed;
    }
    std::vector<std::string> received;
};

TEST_F(RootKeywords, SaveByDCBIssuesOneCommandPerDCB) {
    struct Row { std::string arguments; const char* target; std::vector<std::string> issued; };
    const Row rows[] = {
        {"\"Save Image\" ADDRESS=@DCB(unpacker, deviceb, 3, 2) FILE=img", "CSorbelinUnpackerB",
         {"\"Save Image\" ADDRESS=@DCB(29, 25, 3) FILE=img.Unpacked.3", "\"Save Image\" ADDRESS=@DCB(29, 25, 4) FILE=img.Unpacked.4"}},
        // The file named like the keyword; the macro in lower case, its fields split by tab and comma.
        {"\"Save Image\" address=@dcb(PACKER\tDEVICEA,15 1) FILE=Image VERBOSE=0", "CSorbelinPackerA",
         {"\"Save Image\" address=@dcb(28, 24, 15) FILE=Image.Packed.15 VERBOSE=0"}},
        // A quoted name holding blanks, the root's name and a parenthesis, before the macro.
        {"\"Save Alpha\" FILE= \"C:\\CNuxaBoard x\\a(1)\" ADDRESS=@DCB(Packer, DeviceB, 1, 2)", "CSorbelinPackerB",
         {"\"Save Alpha\" FILE= \"C:\\CNuxaBoard x\\a(1)\".Packed.1 ADDRESS=@DCB(29, 25, 1)",
          "\"Save Alpha\" FILE= \"C:\\CNuxaBoard x\\a(1)\".Packed.2 ADDRESS=@DCB(29, 25, 2)"}},
        // A quoted name holding the macro text as written.
        {"\"Save Image\" ADDRESS=@DCB(unpacker devicea 14 2) FILE=\"unpacker devicea 14 2\"", "CSorbelinUnpackerA",
         {"\"Save Image\" ADDRESS=@DCB(28, 24, 14) FILE=\"unpacker devicea 14 2\".Unpacked.14",
          "\"Save Image\" ADDRESS=@DCB(28, 24, 15) FILE=\"unpacker devicea 14 2\".Unpacked.15"}},
        // Only "FILE=" in upper case names the file.
        {"\"Save Alpha\" ADDRESS=@DCB(UNPACKER, DEVICEB, 1, 1) file=x", "CSorbelinUnpackerB",
         {"\"Save Alpha\" ADDRESS=@DCB(29, 25, 1) file=x"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments);
        CodecTestStandIn standIn(row.target);
        ASSERT_TRUE(standIn.AddToMap(&nuxa));
        EXPECT_EQ(Run("Nuxa1 <CNuxaBoard " + row.arguments + ">"), 1u);
        EXPECT_EQ(standIn.received, row.issued);
        nuxa.GetChildMap()->erase(row.target);
    }
}

TEST_F(RootKeywords, SaveByDCBRefusesBadFields) {
    // Each refused command prints its one red line and issues nothing; without a macro it is silent.
    struct Row { std::string arguments; DWORD result; const char* red; };
    const Row rows[] = {
        {"FILE=img", 0, nullptr},
        {"ADDRESS=@DCB packer, devicea, 1, 1", 0, nullptr},
        {"ADDRESS=@DCB(packer, devicea, 1, 1", 0, nullptr},
        {"ADDRESS=@DCB( , )", 0, "DCB Field #1:  Unable to find PACKER/UNPACKER.\n"},
        {"ADDRESS=@DCB(pack, devicea, 1, 1)", 0, "DCB Field #1:  Must be PACKER or UNPACKER.\n"},
        {"ADDRESS=@DCB(packer)", 0, "DCB Field #2:  Unable to find DEVICEA/DEVICEB.\n"},
        {"ADDRESS=@DCB(packer, devicec, 1, 1)", 0, "DCB Field #2:  Must be DEVICEA or DEVICEB.\n"},
        {"ADDRESS=@DCB(packer, devicea)", 0, "DCB Field #3:  Unable to find dcbStart.\n"},
        {"ADDRESS=@DCB(packer, devicea, 0, 1)", 0, "DCB Field #3:  Illegal value for dcbStart.\n"},
        {"ADDRESS=@DCB(packer, devicea, 16, 1)", 0, "DCB Field #3:  Illegal value for dcbStart.\n"},
        {"ADDRESS=@DCB(packer, devicea, 3x, 1)", 0, "DCB Field #3:  Illegal value for dcbStart.\n"},
        {"ADDRESS=@DCB(packer, devicea, 1)", 0, "DCB Field #4:  Unable to find dcbCount.\n"},
        {"ADDRESS=@DCB(packer, devicea, 15, 2)", 0, "DCB Field #4:  Illegal value for dcbCount.\n"},
        {"ADDRESS=@DCB(packer, devicea, 1, 0)", 0, "DCB Field #4:  Illegal value for dcbCount.\n"},
        {"ADDRESS=@DCB(unpacker, deviceb, 3, 2) FILE=\"img", 0, "Invalid file name"},
        {"ADDRESS=@DCB(unpacker, deviceb, 3, 2 FILE=x)", 0, "Invalid file name"},
        // With no packer test registered the issued command is answered as any unknown test.
        {"ADDRESS=@DCB(packer, devicea, 15, 1) FILE=x", 1,
         "ERROR:  Unable to find test[Nuxa1 <CSorbelinPackerA \"Save Image\" ADDRESS=@DCB(28, 24, 15) FILE=x.Packed.15>]\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments);
        EXPECT_EQ(Run("Nuxa1 <CNuxaBoard \"Save Image\" " + row.arguments + ">"), row.result);
        const auto& coloured = nuxa.out.coloured;
        EXPECT_EQ(std::count_if(coloured.begin(), coloured.end(), [](const auto& c) { return c.second == kColorRed; }), row.red ? 1 : 0);
        EXPECT_TRUE(!row.red || nuxa.out.HasColoured(row.red, kColorRed));
    }
}

}  // namespace
