// Rig-file keys and fault kinds of the board controller, the flash PROM and the FPGA configuration port.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "sim/rig_config.h"

namespace {

using sim::ConfigDeviceFault;

sim::RigConfig Parse(const std::string& faults, const std::string& extra = "") {
    const std::string json = R"({"boards": [{"tag": "M", "kind": "brimola")" + extra +
                             R"(}, {"tag": "N", "kind": "nuxa"}], "faults": [)" + faults + "]}";
    sim::RigConfig rig;
    std::string error;
    EXPECT_TRUE(sim::ParseRig(json, "rigs/test.json", rig, error)) << error;
    return rig;
}

std::string Error(const std::string& faults, const std::string& extra = "") {
    const std::string json = R"({"boards": [{"tag": "M", "kind": "brimola")" + extra +
                             R"(}, {"tag": "N", "kind": "nuxa"}], "faults": [)" + faults + "]}";
    sim::RigConfig rig;
    std::string error;
    EXPECT_FALSE(sim::ParseRig(json, "rigs/test.json", rig, error));
    return error;
}

TEST(RigControllerConfig, FlashFaultsReadWithTheirDefaults) {
    const sim::RigConfig rig = Parse(R"(
        {"kind": "flash_erase_fails", "board": "M", "block": 60},
        {"kind": "flash_program_fails", "board": "M", "status": "0x18"},
        {"kind": "flash_never_ready", "board": "N"},
        {"kind": "flash_locked_block", "board": "M", "block": 3},
        {"kind": "flash_stuck_bit", "board": "M", "bit": 15, "value": 1},
        {"kind": "flash_wrong_id", "board": "N"},
        {"kind": "flash_missing_header", "board": "M", "segment": "PCI"},
        {"kind": "flash_mirror_mismatch", "board": "N"})");
    const sim::FlashFaults& m = rig.boards[0].faults.flash;
    ASSERT_EQ(m.eraseFails.size(), 1u);
    EXPECT_EQ(m.eraseFails[0].block, 60);
    EXPECT_EQ(m.eraseFails[0].status, 0) << "0: the operation's own error bit";
    ASSERT_EQ(m.programFails.size(), 1u);
    EXPECT_EQ(m.programFails[0].block, -1) << "every block";
    EXPECT_EQ(m.programFails[0].status, 0x18);
    EXPECT_EQ(m.lockedBlocks, std::vector<uint32_t>{3});
    ASSERT_EQ(m.stuckBits.size(), 1u);
    EXPECT_EQ(m.stuckBits[0].bit, 15);
    EXPECT_EQ(m.stuckBits[0].value, 1);
    EXPECT_EQ(m.missingHeaders, std::vector<std::string>{"PCI"});
    EXPECT_FALSE(m.neverReady);
    const sim::FlashFaults& n = rig.boards[1].faults.flash;
    EXPECT_TRUE(n.neverReady);
    EXPECT_EQ(n.manufacturer, -1);
    EXPECT_EQ(n.device, 0x18) << "another part of the family by default";
    ASSERT_EQ(n.mirrorMismatch.size(), 1u);
    EXPECT_EQ(n.mirrorMismatch[0].offset, 0x2000u);
    EXPECT_EQ(n.mirrorMismatch[0].mask, 1u);
}

TEST(RigControllerConfig, ConfigPortFaultsReadWithTheirDevices) {
    const sim::RigConfig rig = Parse(R"(
        {"kind": "fpga_init_never_falls", "board": "M", "device": 0},
        {"kind": "fpga_init_never_rises", "board": "M", "device": 1},
        {"kind": "fpga_done_stays_low", "board": "N", "device": 4},
        {"kind": "fpga_crc_error", "board": "M", "device": 2, "at": 500},
        {"kind": "fpga_crc_error", "board": "M", "device": 3},
        {"kind": "fpga_code_stuck_bit", "board": "N", "bit": 2, "value": 1})");
    const auto& m = rig.boards[0].faults.configPort.devices;
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0].kind, ConfigDeviceFault::Kind::InitNeverFalls);
    EXPECT_EQ(m[1].kind, ConfigDeviceFault::Kind::InitNeverRises);
    EXPECT_EQ(m[1].device, 1);
    EXPECT_EQ(m[2].kind, ConfigDeviceFault::Kind::CrcError);
    EXPECT_EQ(m[2].at, 500u);
    EXPECT_EQ(m[3].at, 1024u);
    const auto& n = rig.boards[1].faults.configPort;
    ASSERT_EQ(n.devices.size(), 1u);
    EXPECT_EQ(n.devices[0].kind, ConfigDeviceFault::Kind::DoneStaysLow);
    ASSERT_EQ(n.codeStuck.size(), 1u);
    EXPECT_EQ(n.codeStuck[0].bit, 2);
    EXPECT_EQ(n.codeStuck[0].value, 1);
}

TEST(RigControllerConfig, BadValuesNameTheKey) {
    EXPECT_NE(Error(R"({"kind": "flash_locked_block", "board": "M"})").find("key \"faults[0].block\": missing"), std::string::npos);
    EXPECT_NE(Error(R"({"kind": "flash_erase_fails", "board": "M", "block": 64})").find("faults[0].block"), std::string::npos);
    EXPECT_NE(Error(R"({"kind": "flash_stuck_bit", "board": "M", "bit": 16})").find("faults[0].bit"), std::string::npos);
    EXPECT_NE(Error(R"({"kind": "flash_missing_header", "board": "M", "segment": "VPD"})")
                  .find("\"VPD\" is not a Wexal image segment"),
              std::string::npos);
    EXPECT_NE(Error(R"({"kind": "flash_mirror_mismatch", "board": "M", "offset": "0x2002"})").find("multiple of 4"),
              std::string::npos);
    EXPECT_NE(Error(R"({"kind": "flash_mirror_mismatch", "board": "M", "offset": "0x4000"})").find("faults[0].offset"),
              std::string::npos);
    EXPECT_NE(Error(R"({"kind": "fpga_done_stays_low", "board": "N", "device": 1})")
                  .find("a codec board has only the board links 3 and 4"),
              std::string::npos);
    EXPECT_NE(Error(R"({"kind": "fpga_crc_error", "board": "M"})").find("faults[0].device"), std::string::npos);
    EXPECT_NE(Error(R"({"kind": "fpga_code_stuck_bit", "board": "M", "bit": 3})").find("faults[0].bit"), std::string::npos);
    EXPECT_NE(Error(R"({"kind": "flash_never_ready", "board": "M", "block": 1})").find("faults[0].block\": unknown key"),
              std::string::npos);
}

TEST(RigControllerConfig, FlashImageNamesAWholeImageFile) {
    EXPECT_EQ(Parse("", R"(, "flash": {"image": "m.flash"})").boards[0].flashImage, "m.flash");
    EXPECT_EQ(Parse("").boards[0].flashImage, "");
    EXPECT_NE(Error("", R"(, "flash": {"image": ""})").find("boards[0].flash.image"), std::string::npos);
    EXPECT_NE(Error("", R"(, "flash": {"file": "x"})").find("boards[0].flash.file\": unknown key"), std::string::npos);
    char dir[] = "/tmp/rigflashXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/short.flash";
    std::ofstream(path) << "0123456789";
    const std::string e = Error("", R"(, "flash": {"image": ")" + path + "\"}");
    EXPECT_NE(e.find("key \"boards[0].flash.image\": file \"" + path + "\" is 10 bytes, not a flash image of 8388608 bytes"),
              std::string::npos)
        << e;
    std::remove(path.c_str());
    rmdir(dir);
}

}  // namespace
