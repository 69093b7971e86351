// Simulated rigs for tests: a fresh default rig per test, rigs from JSON for one scope, and common rig texts.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "devlib/devices.h"
#include "devlib/rig.h"
#include "devlib/wexal_spaces.h"
#include "sim/rig_config.h"
#include "tests/support/temp_dir.h"

namespace support {

inline const char* kThreeBoardRig = R"({"boards": [
    {"tag": "Brimola1", "kind": "brimola"},
    {"tag": "Nuxa1", "kind": "nuxa"},
    {"tag": "Brimola2", "kind": "brimola"}]})";

// A 64 MiB main board, with the faults given as the JSON text of a "faults" array.
inline std::string MainBoardRig(const std::string& faults = "[]", const std::string& extra = "") {
    return R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "sdram_mib": 64)" + extra + R"(}], "faults": )" +
           faults + "}";
}

// The main root's "Program" command as the manufacturing tree runs it for Brimola1's device
// (0 keyer, 1 and 2 the pair, 3 and 4 the board links).
inline std::string ProgramLine(int device) {
    static const char* const files[] = {"LOCV", "TAZU", "TAZU", "FESK", "FESK"};
    return "Brimola1 <CBrimolaBoard Program DEVICE=" + std::to_string(device) + " FILE=$(CWD)\\testdata\\" + files[device] +
           "$(VPDVER).oxd>";
}

inline CWexalBoardDevice* RigBoard(const char* tag) {
    return g_WexalHW ? dynamic_cast<CWexalBoardDevice*>(g_WexalHW->GetDevice(tag)) : nullptr;
}

// Loads a rig description (through a rig file, as the host does) for one scope; the default rig comes
// back when the object goes.
class ScopedRig {
public:
    explicit ScopedRig(const std::string& json) {
        m_dir.Write("rig.json", json);
        std::string error;
        m_loaded = devlib::LoadRigFile(m_dir.File("rig.json"), &error);
        EXPECT_TRUE(m_loaded) << error;
    }
    ~ScopedRig() { devlib::LoadDefaultRig(); }
    ScopedRig(const ScopedRig&) = delete;
    ScopedRig& operator=(const ScopedRig&) = delete;

private:
    TempDir m_dir;
    bool m_loaded = false;
};

// Each test starts and ends on the default rig; LoadJson swaps in another for the rest of the test.
class RigTest : public ::testing::Test {
protected:
    void SetUp() override { devlib::LoadDefaultRig(); }
    void TearDown() override { devlib::LoadDefaultRig(); }

    static CWexalBoardDevice* Board(const char* tag) { return RigBoard(tag); }
    static CWexalSDRAMSpace* Sdram(const char* tag) { return Board(tag)->GetSDRAMSpace(); }
    static void Load(const sim::RigConfig& cfg) { devlib::LoadRig(cfg); }
    static void LoadJson(const char* json) {
        sim::RigConfig cfg;
        std::string error;
        ASSERT_TRUE(sim::ParseRig(json, "test.json", cfg, error)) << error;
        devlib::LoadRig(cfg);
    }
};

}  // namespace support
