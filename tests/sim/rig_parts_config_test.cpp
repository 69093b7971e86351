// Rig files: sensor and memory clock settings, the I2C part, product-data and memory clock faults, and their errors.
#include <gtest/gtest.h>

#include "sim/rig_config.h"

namespace {

using sim::ParseRig;
using sim::RigConfig;

TEST(RigPartsConfig, ReadsSettingsAndEveryPartFault) {
    const char* text = R"({
      "boards": [
        {"tag": "B1", "kind": "brimola",
         "sensors": {"local_temp_c": -5, "remote3_temp_c": 50, "remote2_temp_limit_c": 60},
         "memory_clock": {"window_low": 100, "window_high": 200, "store": "clk.txt"}}
      ],
      "faults": [
        {"kind": "sensor_over_limit", "board": "B1", "sensor": "2TEMP", "by": 3},
        {"kind": "sensor_over_limit", "board": "B1"},
        {"kind": "sensor_bad_reading", "board": "B1", "sensor": "LTEMP", "value": 200, "count": 7},
        {"kind": "sensor_bad_reading", "board": "B1", "value": 0},
        {"kind": "spd_wrong_geometry", "board": "B1", "module": 2, "rows": 12},
        {"kind": "spd_wrong_size", "board": "B1", "mib": 256},
        {"kind": "vpd_broken", "board": "B1", "part": "checksum"},
        {"kind": "vpd_missing_field", "board": "B1", "field": "V0"},
        {"kind": "clock_window_shifted", "board": "B1", "by": -30},
        {"kind": "clock_no_window", "board": "B1"},
        {"kind": "missing_space", "board": "B1", "space": "I2C.TSENSOR"}
      ]})";
    RigConfig rig;
    std::string error;
    ASSERT_TRUE(ParseRig(text, "r.json", rig, error)) << error;
    const auto& b = rig.boards[0];
    EXPECT_EQ(b.sensors.tempC[0], -5);
    EXPECT_EQ(b.sensors.tempC[1], 45) << "unnamed settings keep their defaults";
    EXPECT_EQ(b.sensors.tempC[3], 50);
    EXPECT_EQ(b.sensors.limitC[2], 60);
    EXPECT_EQ(b.memoryClock.windowLow, 100);
    EXPECT_EQ(b.memoryClock.windowHigh, 200);
    EXPECT_EQ(b.memoryClock.store, "clk.txt");
    const auto& f = b.faults;
    ASSERT_EQ(f.sensorOverLimit.size(), 2u);
    EXPECT_EQ(f.sensorOverLimit[0].channel, 2);
    EXPECT_EQ(f.sensorOverLimit[0].by, 3);
    EXPECT_EQ(f.sensorOverLimit[1].channel, 1) << "the Wexal FPGA's channel by default";
    ASSERT_EQ(f.sensorBadReading.size(), 2u);
    EXPECT_EQ(f.sensorBadReading[0].channel, 0);
    EXPECT_EQ(f.sensorBadReading[0].value, 200);
    EXPECT_EQ(f.sensorBadReading[0].count, 7u);
    EXPECT_EQ(f.sensorBadReading[1].count, 0u);
    ASSERT_EQ(f.spdGeometry.size(), 1u);
    EXPECT_EQ(f.spdGeometry[0].module, 2);
    EXPECT_EQ(f.spdGeometry[0].rows, 12);
    EXPECT_EQ(f.spdSize[0].module, 0) << "both modules";
    EXPECT_EQ(f.spdSize[0].mib, 256u);
    EXPECT_EQ(f.vpdBroken, std::vector<sim::VpdDefect>{sim::VpdDefect::Checksum});
    EXPECT_EQ(f.vpdMissing, std::vector<std::string>{"V0"});
    EXPECT_EQ(f.clockWindowShift, -30);
    EXPECT_TRUE(f.clockNoWindow);
    EXPECT_EQ(f.missingSpaces, std::vector<std::string>{"I2C.TSENSOR"});
}

TEST(RigPartsConfig, BadPartSettingsAndFaultsNameTheirKey) {
    struct Bad {
        const char* text;
        const char* key;
    };
    const Bad cases[] = {
        {R"({"boards": [{"tag": "B1", "kind": "brimola", "sensors": {"fpga_temp_c": 150}}]})", "boards[0].sensors.fpga_temp_c"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola", "sensors": {"gpu_temp_c": 50}}]})", "boards[0].sensors.gpu_temp_c"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola", "memory_clock": {"window_low": 200, "window_high": 100}}]})",
         "boards[0].memory_clock.window_high"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola", "memory_clock": {"window_low": 256}}]})",
         "boards[0].memory_clock.window_low"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola", "vpd": {"SN": 5}}]})", "boards[0].vpd.SN"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "sensor_over_limit", "board": "B1", "sensor": "4TEMP"}]})",
         "faults[0].sensor"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "sensor_bad_reading", "board": "B1", "value": 150}]})",
         "faults[0].value"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "sensor_bad_reading", "board": "B1"}]})",
         "faults[0].value"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "spd_wrong_size", "board": "B1", "module": 3}]})",
         "faults[0].module"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "vpd_broken", "board": "B1", "part": "crc"}]})",
         "faults[0].part"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "vpd_missing_field", "board": "B1", "field": "SNX"}]})",
         "faults[0].field"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "clock_window_shifted", "board": "B1", "by": 0}]})",
         "faults[0].by"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}], "faults": [{"kind": "missing_space", "board": "B1", "space": "I2C.DIMM3"}]})",
         "faults[0].space"},
    };
    for (const auto& c : cases) {
        RigConfig rig;
        std::string error;
        EXPECT_FALSE(ParseRig(c.text, "bad.json", rig, error)) << c.text;
        EXPECT_NE(error.find(std::string("key \"") + c.key + "\""), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

}  // namespace
