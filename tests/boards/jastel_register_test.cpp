// Tests of the controller register test ("JastelTest") and the flash chip test ("FlashTest") on the rig.
#include "boards/flash/flash_test.h"
#include "boards/flash/jastel_test.h"

#include <gtest/gtest.h>

#include "framework/result_screen.h"
#include "tests/boards/flash_rig.h"

namespace {

using flashtest::FaultRig;

// Both tests under one parent, as a board root holds them, bound to one board of the rig.
struct Controller {
    explicit Controller(const std::string& rig = "", const char* board = "B1")
        : jastel(rig.empty() ? FaultRig("") : rig, board, "JastelTest") {
        jastel.test->SetParent(&root);
        flash.SetParent(&root);
        flash.SetupDevice(board);
    }
    DWORD Flash(const char* keyword) {
        flash.out = {};
        return flash.Run(keyword);
    }
    // The controller test's run; the flash port it leaves for the timing test.
    DWORD Jastel() { return jastel.Run(""); }

    support::RecordingTreeTest root{"Root"};
    flashtest::OnRig<CJastelTest> jastel;
    support::Recording<CFlashTest> flash{CString("FlashTest")};
};

TEST(JastelTest, HealthyBoardsOfBothKindsAndTheirFaults) {
    struct Row { const char* fault; const char* kind; DWORD result; std::vector<std::string> parts; };
    const Row rows[] = {
        {"", "brimola", 1, {"Checking Jastel.BID ...Okay\n", "Checking Jastel.Flash.Data ...Okay.\n", "Checking Jastel.RAM ...Okay\n"}},
        {"", "nuxa", 1, {"Checking Jastel.FPGA ...Okay\nChecking Jastel.RAM ...Okay\n"}},
        {R"("kind": "missing_space", "space": "I2C.TSENSOR")", "brimola", 1, {"Checking Jastel.LED ...Okay\n"}},
        {R"("kind": "flash_stuck_bit", "bit": 3, "value": 1)", "brimola", 2,
         {"Flash.Data ...Failed\n  FlashData register is at BAR0+0x00400C.\n", "FPGA SAFE image\n", "expected at 0x3E0000:\n   ....."}},
        {R"("kind": "flash_missing_header", "segment": "PCIX")", "nuxa", 2, {"  The board may not have a FPGA PCIX image\n"}},
        {R"("kind": "flash_mirror_mismatch", "offset": "0x2010", "mask": 256)", "brimola", 2, {"  PCI or VPD data expected at 0x3F0000:\n"}},
        {R"("kind": "flash_mirror_mismatch", "offset": "0x2000", "mask": 1)", "nuxa", 2, {"  PCI or VPD data expected at 0x3F0000:\n"}},
        {R"("kind": "flash_mirror_mismatch", "offset": "0x1F00", "mask": 1)", "nuxa", 2, {"  PCI or VPD data expected at 0x3E0F68:\n"}},
        {R"("kind": "flash_mirror_mismatch", "offset": "0x1FFC", "mask": 1)", "nuxa", 2, {"  PCI or VPD data expected at 0x3E0FC0:\n"}},
        {R"("kind": "fpga_code_stuck_bit", "bit": 1, "value": 1)", "brimola", 2,
         {"FPGA ... Failed.\n  At BAR0+0x004014, these bits failed: 0x00020000.\n  Unable to write these fields:  Device Code\n"}},
        {R"("kind": "sensor_over_limit", "sensor": "2TEMP")", "brimola", 2, {"  The Over-Temperature indicator is on.\n", "   FPGA1 Temp.~*RED*~"}},
        {R"("kind": "sensor_bad_reading", "value": 200)", "brimola", 2, {"  The Over-Temperature indicator isn't on.\n"}},
        {R"("kind": "register_stuck_bit", "offset": "0x4000", "bit": 0, "value": 1)", "brimola", 2,
         {"0x004000, these bits failed: ~*RED*~0x000000FF\n  Board ID is not correct.  Expected 0x52;  Received 0x53.~*BLACK*~\n"}},
        {R"("kind": "register_stuck_bit", "offset": "0x4004", "bit": 2, "value": 1)", "nuxa", 2,
         {"Testing Jastel.I2C ...Failed\n  At BAR0+0x004004, bits 3-0 are CI,DO,DI,DO.\n  I2C.DO is stuck high.\n"}},
        {R"("kind": "register_stuck_bit", "offset": "0x4004", "bit": 3, "value": 0)", "brimola", 2, {"The I2C Clock is in use.\n"}},
        {R"("kind": "register_stuck_bit", "offset": "0x4008", "bit": 5, "value": 0)", "brimola", 2,
         {"Wrote 0x3FFFFF to FlashAddr.  Got back 0x3FFFDF.\n", "Checking Jastel.Flash.Data ...Not Tested.\nChecking Jastel.LED"}},
        {R"("kind": "register_stuck_bit", "offset": "0x4008", "bit": 3, "value": 1)", "brimola", 2, {"Got back 0x3F1008.\n"}},
        {R"("kind": "register_stuck_bit", "offset": "0x4010", "bit": 15, "value": 1)", "brimola", 2,
         {"  Jastel LED register is at BAR0+0x004010.\n  These bits failed: 0x00008000.\n  Unable to write these bits:  Green LED\n"}},
        {R"("kind": "register_stuck_bit", "offset": "0x4010", "bit": 12, "value": 0)", "nuxa", 2, {"  The Flash indicator is off.\n"}},
        {R"("kind": "register_stuck_bit", "offset": "0x4018", "bit": 8, "value": 1)", "brimola", 2,
         {"RAM ... Failed.\n  At BAR0+0x004018, these bits failed: 0x00000100.\n  Unable to write these indicators:  Vantrel\n"}},
    };
    for (const Row& row : rows) {
        Controller board(FaultRig(row.fault, row.kind));
        EXPECT_TRUE(board.jastel.Gives("", row.result, row.parts)) << row.fault;
    }
    // Sensor settings: a reading equal to its limit is not over it; each FPGA is judged by its own
    // limit register (FPGA1 2RHI, FPGA2 3RHI), so limits that differ tell them apart.
    const std::pair<const char*, Row> settings[] = {
        {R"("remote2_temp_c": 60, "remote2_temp_limit_c": 60)", {"", "", 1, {"Checking Jastel.LED ...Okay\n"}}},
        {R"("remote3_temp_c": 60, "remote3_temp_limit_c": 60)", {"", "", 1, {"Checking Jastel.LED ...Okay\n"}}},
        {R"("remote3_temp_c": 80, "remote3_temp_limit_c": 75)",
         {"", "", 2, {"  The Over-Temperature indicator is on.\n", "FPGA2 Hi Limit:  75      FPGA2 Temp.~*RED*~  80"}}},
        {R"("remote2_temp_limit_c": 75, "remote3_temp_c": 80)", {"", "", 1, {"Checking Jastel.LED ...Okay\n"}}},
    };
    for (const auto& [sensors, row] : settings) {
        Controller board(std::string(R"({"boards": [{"tag": "B1", "kind": "brimola", "sensors": {)") + sensors + "}}]}");
        EXPECT_TRUE(board.jastel.Gives("", row.result, row.parts)) << sensors;
    }
}

TEST(JastelTest, AStopIsHeededBeforeTheRunAndBetweenFlashChecks) {
    Controller board;
    flashtest::StopFlagSet stop;
    EXPECT_EQ(board.Jastel(), 3u);
    EXPECT_EQ(board.jastel.Text().find("Checking"), std::string::npos);
}

TEST(FlashTest, TheTimingTestNeedsAWorkingFlashPort) {
    // Only a passed FlashAddr and FlashData open the timing test, and its erase closes it again.
    const std::string refused = "  This test cannot be performed with that register failing.\n";
    Controller healthy;
    EXPECT_EQ(healthy.Flash("Timing Tests"), 3u);
    EXPECT_TRUE(healthy.flash.out.Has(refused));
    EXPECT_EQ(healthy.Jastel(), 1u);
    EXPECT_EQ(healthy.Flash("timing tests"), 1u) << healthy.flash.out.text;
    EXPECT_TRUE(support::HasAll(healthy.flash.out.text, {"register...Passed.\n  Access required 400 nsec.\n",
                                                        "0x3C0000...Completed.\n", "  Flash status register before: 80, after: 80\n"}));
    EXPECT_EQ(healthy.Flash("Timing Tests"), 3u);
    Controller broken(FaultRig(R"("kind": "flash_missing_header", "segment": "SAFE")"));
    EXPECT_EQ(broken.Jastel(), 2u);
    EXPECT_EQ(broken.Flash("Timing Tests"), 3u);
    EXPECT_TRUE(broken.flash.out.Has(refused));
}

TEST(FlashTest, KeywordsAndTheirFaults) {
    // {fault, keyword, result, parts, a part that must be red}
    struct Row { const char* fault; const char* keyword; DWORD result; std::vector<std::string> parts; const char* red; };
    const Row rows[] = {
        {"", "Poll STS Pin", 1, {"The Flash STS signal is on and steady.\n"}, nullptr},
        {"", "ID Checks", 1, {"Manufacturer Code:   0089.\n   Device Code:         0017.\n", "All 64 blocks are unlocked.\n"}, nullptr},
        {"", "ID Checks now", 2, {"ERROR:  CFlashTest - Test[ID Checks now] not found\n"}, "Test[ID Checks now]"},
        {R"("kind": "flash_wrong_id")", "ID Checks", 2, {"   Device Code:         0018.\n"}, nullptr},
        {R"("kind": "flash_wrong_id", "manufacturer": "0x1234")", "id checks", 2, {"Manufacturer Code:   1234.\n"}, "1234"},
        {R"("kind": "flash_locked_block", "block": 0)", "ID Checks", 2,
         {"   Block Locks:\n         rpt.byaLocks[0] = 0x01\n         " + std::string(63, 'u') + "L\n"}, "rpt.byaLocks[0] = 0x01"},
        {R"("kind": "flash_locked_block", "block": 63)", "ID Checks", 2, {"\n                  rpt.byaLocks[7] = 0x80\n         L"}, "L"},
        {R"("kind": "flash_stuck_bit", "bit": 4, "value": 1)", "ID Checks", 2, {"Manufacturer Code:   0099.\n"}, "0099"},
        {R"("kind": "flash_erase_fails", "block": 60)", "Timing Tests", 2, {"erase of block 0x3C0000...Failed.\n", "after: A0\n"}, "A0"},
        {R"("kind": "flash_never_ready")", "Timing Tests", 2, {"0x3C0000...Failed.\n", "  Total block erase time: 20"}, "Failed.\n"},
        {R"("kind": "flash_slow", "access_ns": 60000)", "Timing Tests", 2, {"Failed.\n  Timed out while reading Flash Status register.\n"}, "Timed out"},
        {R"("kind": "flash_slow", "access_ns": 35000)", "Timing Tests", 2, {"  Access required 35000 nsec.\n"}, "35000"},
        {R"("kind": "flash_slow", "access_ns": 35000)", "Timing Tests", 2, {"  Status read time #4: 36.000 usec.\n"}, "36.000"},
        {R"("kind": "flash_slow", "erase_ms": 1800)", "Timing Tests", 2, {"Completed.\n", "  Total block erase time: 18"}, "18"},
        {R"("kind": "flash_slow", "erase_ms": 30)", "Timing Tests", 1, {"read time #2: 1.400 usec.\n  Total block erase time: 4"}, nullptr},
        // The 79th status poll comes 1580 ms, 89 us and 80 port accesses after the erase starts: an erase that
        // ends later is read at the 80th, past 1600 ms. Either side of the edge whatever the nanoseconds carried.
        {R"("kind": "flash_slow", "access_ns": 11386, "erase_ms": 1581)", "Timing Tests", 2, {"  Total block erase time: 1601.0"}, "1601.0"},
        {R"("kind": "flash_slow", "access_ns": 11388, "erase_ms": 1581)", "Timing Tests", 1, {"  Total block erase time: 1581.0"}, nullptr},
        {R"("kind": "flash_slow", "access_ns": 23886, "erase_ms": 1582)", "Timing Tests", 2, {"  Total block erase time: 1602.0"}, "1602.0"},
        {R"("kind": "flash_slow", "access_ns": 23888, "erase_ms": 1582)", "Timing Tests", 1, {"  Total block erase time: 1582.0"}, nullptr},
        {R"("kind": "flash_slow", "access_ns": 29000, "erase_ms": 1583)", "Timing Tests", 2, {"  Total block erase time: 1602."}, "1602."},
        {R"("kind": "flash_sts_floating")", "Poll STS Pin", 2, {"The Flash STS signal is sometimes on ("}, "sometimes on ("},
    };
    for (const Row& row : rows) {
        Controller board(FaultRig(row.fault));
        board.Jastel();
        EXPECT_EQ(board.Flash(row.keyword), row.result) << row.fault << board.flash.out.text;
        EXPECT_TRUE(support::HasAll(board.flash.out.text, row.parts)) << row.fault;
        EXPECT_TRUE(!row.red || board.flash.out.HasColoured(row.red, kColorRed)) << row.fault;
    }
}

TEST(FlashTest, AChipThatNeverFinishesShowsInTheControllerTestAndThePin) {
    Controller board(FaultRig(R"("kind": "flash_never_ready")"));
    EXPECT_EQ(board.Jastel(), 1u);
    EXPECT_EQ(board.Flash("Timing Tests"), 2u);
    EXPECT_TRUE(board.jastel.Gives("", 2, {"  The Flash indicator is off.\n"}));
    EXPECT_EQ(board.Flash("Poll STS Pin"), 1u);
    EXPECT_TRUE(board.flash.out.HasColoured("off and steady.", 0x00C0E8));
}

}  // namespace
