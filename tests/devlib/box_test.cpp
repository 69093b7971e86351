// The breakout-box conduit against the simulated box: round trips, the box's statuses, time-outs, the cable, rig keys and faults, TripDCBs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/rig.h"
#include "tests/devlib/rig_fixture.h"
#include "yorbflow/yorb_command.h"

namespace {

using devtest::RigTest;
using YorbFlow::YorbCommand;
namespace Wire = YorbFlow::Wire;

struct Value {
    const char* name;
    uint64_t value;
};

CFarnoDeKDevice* Connector(const char* tag = "Brimola1") {
    auto* space = dynamic_cast<CFarnoDeKAddrSpace*>(support::RigBoard(tag)->GetSpace(CDevAddrSpace::SPACE_FARNODEK, 0));
    return space ? space->GetBoxDevice() : nullptr;
}

CYorbFlowDevice* Conduit() { return dynamic_cast<CYorbFlowDevice*>(Connector()->GetDevice(CZorvDevice::DEVTYPE_YORBFLOW, 0)); }

sim::BreakoutBox* Box() { return devlib::CurrentRig()->Boards()[0]->Box(); }

// Sets each value with the setter of the type the command library gives the parameter.
void SetTyped(YorbCommand& c, const Value& v) {
    char type[20] = {};
    ASSERT_TRUE(YorbFlow::YorbCommandFactory::GetCommandParamTypeCodeString(c.GetCommandName(), v.name, sizeof type, type)) << v.name;
    switch (YorbFlow::TypeCodeFromString(type)) {
    case Wire::TYPE_INT8: c.SetParamInt8(v.name, static_cast<int8_t>(v.value)); break;
    case Wire::TYPE_INT32: c.SetParamInt32(v.name, static_cast<int32_t>(v.value)); break;
    case Wire::TYPE_UINT8: c.SetParamUInt8(v.name, static_cast<uint8_t>(v.value)); break;
    case Wire::TYPE_UINT16: c.SetParamUInt16(v.name, static_cast<uint16_t>(v.value)); break;
    default: c.SetParamUInt32(v.name, static_cast<uint32_t>(v.value)); break;
    }
}

uint64_t GetTyped(const YorbCommand& c, const char* name) {
    uint8_t u8 = 0;
    uint16_t u16 = 0;
    uint32_t u32 = 0;
    int32_t i32 = 0;
    if (c.GetParamUInt8(name, u8)) return u8;
    if (c.GetParamUInt16(name, u16)) return u16;
    if (c.GetParamInt32(name, i32)) return static_cast<uint32_t>(i32);
    return c.GetParamUInt32(name, u32) ? u32 : 0xDEADBEEF;
}

int Do(const char* name, bool send, const std::vector<Value>& values, YorbCommand* reply = nullptr) {
    YorbCommand c(name);
    send ? c.SetupSendCommand() : c.SetupRequestDataCommand();
    for (const Value& v : values) SetTyped(c, v);
    return Conduit()->DoYorbCommand(c, reply, 0, nullptr);
}

TEST_F(RigTest, ASendChangesTheBoxAndARequestReadsItBack) {
    struct Row {
        const char* what;
        const char* command;
        std::vector<Value> send, keys;
        Value expect;
    } rows[] = {
        {"project format", "HVProjectFormat", {{"ProjectFormat", 22}}, {}, {"ProjectFormat", 22}},
        {"proxy format", "HVOutputFormat", {{"OutputFormat", 14}, {"SDProxyFormat", 23}, {"OutputAlphaEnable", 1}}, {}, {"SDProxyFormat", 23}},
        {"input alpha", "HVInputFormat", {{"InputFormat", 24}, {"InputAlphaEnable", 1}}, {}, {"InputAlphaEnable", 1}},
        {"I/O mode of its type", "IOMode", {{"Type", 1}, {"Mode", 2}}, {{"Type", 1}}, {"Mode", 2}},
        {"I/O mode of another type", "IOMode", {{"Type", 1}, {"Mode", 2}}, {{"Type", 0}}, {"Mode", 0}},
        {"resizer", "HVResizerEnable", {{"ResizerEnable", 64}}, {}, {"ResizerEnable", 64}},
        {"Nulk input", "VideoInput", {{"VideoInType", 5}}, {}, {"VideoInType", 5}},
        {"audio clock by key", "HAClockRouting", {{"ClockToSet", 2}, {"SyncSource", 1}, {"SampleRate", 3}}, {{"ClockToSet", 2}}, {"SampleRate", 3}},
        {"audio clock, other key", "HAClockRouting", {{"ClockToSet", 2}, {"SyncSource", 1}, {"SampleRate", 3}}, {{"ClockToSet", 1}}, {"SampleRate", 0}},
    };
    for (const Row& r : rows) {
        devlib::LoadDefaultRig();
        YorbCommand reply;
        ASSERT_EQ(Do(r.command, true, r.send), 1) << r.what;
        ASSERT_EQ(Do(r.command, false, r.keys, &reply), 1) << r.what;
        EXPECT_EQ(GetTyped(reply, r.expect.name), r.expect.value) << r.what;
        EXPECT_EQ(Box()->Received().size(), 2u) << r.what;
    }
}

TEST_F(RigTest, TheBoxAnswersEachOfItsStatusesToByteCodeItRefuses) {
    std::vector<uint8_t> packet(40, 0);
    std::copy_n("zorv_diagnostics", 16, packet.begin());
    packet[31] = 41, packet[33] = 6, packet[35] = 4;
    auto diag = [&](size_t at, uint8_t byte) {
        std::vector<uint8_t> p = packet;
        p[at] = byte;
        return Wire::Message{Wire::KIND_SEND, 0, "Diagnostic", {{"Length", Wire::TYPE_UINT16, 36, {}}, {"DiagData", Wire::TYPE_BYTES, 0, p}}};
    };
    struct Row {
        const char* what;
        Wire::Message message;
        int result;
    } rows[] = {
        {"loopback on", diag(36, 1), 1},
        {"loopback flag 2", diag(36, 2), 9},
        {"packet name", diag(0, 'Z'), 21},
        {"packet type", diag(31, 42), 21},
        {"packet length", diag(33, 7), 21},
        {"invalid project format", {Wire::KIND_SEND, 0, "HVProjectFormat", {{"ProjectFormat", Wire::TYPE_UINT32, 0, {}}}}, 9},
        {"I/O type 5", {Wire::KIND_SEND, 0, "IOMode", {{"Type", Wire::TYPE_UINT8, 5, {}}, {"Mode", Wire::TYPE_UINT8, 1, {}}}}, 9},
        {"alpha missing", {Wire::KIND_SEND, 0, "HVInputFormat", {{"InputFormat", Wire::TYPE_UINT32, 22, {}}}}, 7},
        {"not its parameter", {Wire::KIND_SEND, 0, "StopIO", {{"Mode", Wire::TYPE_UINT8, 1, {}}}}, 15},
        {"wrong type", {Wire::KIND_SEND, 0, "HVProjectFormat", {{"ProjectFormat", Wire::TYPE_UINT8, 22, {}}}}, 4},
        {"send of a request", {Wire::KIND_SEND, 0, "HWConfigFB", {}}, 20},
        {"unknown command", {Wire::KIND_SEND, 0, "Teleport", {}}, 20},
    };
    for (const Row& r : rows) {
        std::vector<uint8_t> code, answer;
        ASSERT_EQ(Wire::Encode(r.message, code), YorbFlow::CMDSTATUS_OK) << r.what;
        ASSERT_EQ(Conduit()->Exchange(code, answer), CZorvDevice::PAR_SUCCESS) << r.what;
        Wire::Message reply;
        ASSERT_EQ(Wire::Decode(answer.data(), answer.size(), reply), YorbFlow::CMDSTATUS_OK) << r.what;
        EXPECT_EQ(reply.result, r.result) << r.what;
    }
    EXPECT_TRUE(Box()->Video().loopback);
    std::vector<uint8_t> answer;
    ASSERT_EQ(Conduit()->Exchange({'Y', 'F', 1}, answer), CZorvDevice::PAR_SUCCESS);
    Wire::Message reply;
    ASSERT_EQ(Wire::Decode(answer.data(), answer.size(), reply), YorbFlow::CMDSTATUS_OK);
    EXPECT_EQ(reply.result, 21) << "unreadable byte code";
}

TEST_F(RigTest, IdentityRepliesAndARestartKeepTheRunningStart) {
    YorbCommand reply;
    ASSERT_EQ(Do("HWConfigFB", false, {}, &reply), 1);
    const char* revs[] = {"GorvendalisMajorRev", "GorvendalisMinorRev", "TessmivarMajorRev", "BradolinMajorRev"};
    const uint64_t documented[] = {2, 1, 1, 1};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(GetTyped(reply, revs[i]), documented[i]) << revs[i];
    char text[32] = {};
    ASSERT_TRUE(reply.GetParamByteStream("FirmwareRev", text, sizeof text - 1, nullptr));
    EXPECT_STREQ(text, "FDK 2.14b");
    ASSERT_EQ(Do("VPDInfo", false, {{"Board", 0}}, &reply), 1);
    EXPECT_EQ(GetTyped(reply, "VPDSize"), std::string("PN=FDK-2200 SN=BX0417 REV=C").size());
    for (uint64_t frame : {5, 9}) {
        ASSERT_EQ(Do("StartIOFrame", false, {{"VideoFrame", frame}, {"AudioFrame", 0}}, &reply), 1);
        EXPECT_EQ(GetTyped(reply, "VideoFrame"), 5u) << "a start while running keeps frames in flight";
    }
    ASSERT_EQ(Do("StopIO", true, {}), 1);
    ASSERT_EQ(Do("StartIOFrame", false, {{"VideoFrame", 9}, {"AudioFrame", 0}}, &reply), 1);
    EXPECT_EQ(GetTyped(reply, "VideoFrame"), 9u);
    EXPECT_EQ(Box()->Video().starts, 2u);
}

TEST_F(RigTest, ASilentDeviceTimesOutItsCommandsOnTheVirtualClock) {
    struct Row {
        const char* device;
        const char* command;
        std::vector<Value> values;
        int result;
    } rows[] = {
        {"bexi", "HVProjectFormat", {{"ProjectFormat", 1}}, 13},
        {"bexi", "VideoOutput", {{"VideoOut_Type", 5}}, 1},
        {"nulk", "VideoOutput", {{"VideoOut_Type", 5}}, 13},
        {"dolwer", "HACaptureClockSource", {{"PortPair", 1}}, 13},
        {"dolwer", "HVProjectFormat", {{"ProjectFormat", 1}}, 1},
    };
    for (const Row& r : rows) {
        LoadJson(support::MainBoardRig(R"([{"kind": "box_device_silent", "board": "Brimola1", "device": ")" + std::string(r.device) + "\"}]",
                                       R"(, "attached": {"breakout_box": true})").c_str());
        const LONGLONG t0 = platform::NowTicks();
        EXPECT_EQ(Do(r.command, true, r.values), r.result) << r.device << " " << r.command;
        const LONGLONG ms = (platform::NowTicks() - t0) / (kPerfFrequency / 1000);
        EXPECT_TRUE(r.result == 13 ? ms >= 500 && ms < 600 : ms < 10) << ms << " ms: only a silent device waits out the time-out";
    }
}

TEST_F(RigTest, TheConnectorFollowsTheRigFileAndItsFaults) {
    struct Row {
        const char* what;
        const char* attached;
        const char* fault;
        BOOL connected;
        int type;
        bool conduit;
        BOOL init;
        int result;  // of sending an input format
    } rows[] = {
        {"box", "breakout_box", "", 1, 5, true, 1, 1},
        {"cable", "loopback_cable", "", 1, 6, true, 1, 19},
        {"nothing", "", "", 0, 5, true, 1, 19},
        {"link down", "breakout_box", R"({"kind": "box_link_down"})", 0, 5, true, 0, 19},
        {"init fails", "breakout_box", R"({"kind": "box_init_fails"})", 1, 5, true, 0, 1},
        {"no conduit", "breakout_box", R"({"kind": "box_no_conduit"})", 1, 5, false, 0, 0},
        {"command fails", "breakout_box", R"({"kind": "box_command_fails", "command": "HVInputFormat"})", 1, 5, true, 1, 21},
        {"status 12", "breakout_box", R"({"kind": "box_command_fails", "command": "HVInputFormat", "status": 12})", 1, 5, true, 1, 12},
        {"other command", "breakout_box", R"({"kind": "box_command_fails", "command": "IOMode"})", 1, 5, true, 1, 1},
        {"reply corrupt", "breakout_box", R"({"kind": "box_reply_corrupt", "command": "HVInputFormat", "mask": 256})", 1, 5, true, 1, 18},
    };
    for (const Row& r : rows) {
        std::string fault = *r.fault ? "[" + std::string(r.fault).insert(1, R"("board": "Brimola1", )") + "]" : "[]";
        std::string attached = *r.attached ? std::string(R"(, "attached": {")") + r.attached + "\": true}" : "";
        LoadJson(support::MainBoardRig(fault, attached).c_str());
        CFarnoDeKDevice* connector = Connector();
        ASSERT_TRUE(connector) << r.what;
        EXPECT_EQ(connector->IsCableConnected(), r.connected) << r.what;
        EXPECT_EQ(Board("Brimola1")->GetBoBStatusByte(0x10) & 1, r.connected) << r.what;
        EXPECT_EQ(connector->GetType(), r.type) << r.what;
        ASSERT_EQ(Conduit() != nullptr, r.conduit) << r.what;
        if (!r.conduit) continue;
        EXPECT_EQ(Conduit()->YorbFlowInit() && r.connected, r.init && r.connected) << r.what;
        EXPECT_EQ(Do("HVInputFormat", true, {{"InputFormat", 22}, {"InputAlphaEnable", 0}}), r.result) << r.what;
    }
    for (const char* bad : {R"({"boards": [{"tag": "B", "kind": "brimola", "attached": {"breakout_box": true, "loopback_cable": true}}]})",
                            R"({"boards": [{"tag": "B", "kind": "brimola"}], "faults": [{"kind": "box_link_down", "board": "B"}]})",
                            R"({"boards": [{"tag": "B", "kind": "brimola", "attached": {"breakout_box": true}}],
                                "faults": [{"kind": "box_device_silent", "board": "B", "device": "tv"}]})"}) {
        sim::RigConfig cfg;
        std::string error;
        EXPECT_FALSE(sim::ParseRig(bad, "t.json", cfg, error)) << bad;
    }
}

TEST_F(RigTest, TripDCBsWaitsBoundedAndReportsProgress) {
    for (bool go : {true, false}) {
        devlib::LoadDefaultRig();
        devtest::HostBuffer src(0x1000);
        SetGo("Brimola1", 5, go);
        Board("Brimola1")->GetDMAChannel(16)->SetDCBWords(1, devtest::MakeDcb(0, 5, 7, 0x3000, 0, 16, 0, src.Table()).w);
        Wexal_TrackDCB records[2] = {{16, "PCI", 0x3000, 0x3040, 0, 10}, {}};
        const LONGLONG t0 = platform::NowTicks();
        EXPECT_EQ(Board("Brimola1")->GetBAR0Space()->TripDCBs(records), go ? TRUE : FALSE);
        const LONGLONG ms = (platform::NowTicks() - t0) / (kPerfFrequency / 1000);
        EXPECT_EQ(records[0].progress, go ? 0x3040u : 0x3000u);
        EXPECT_EQ(records[0].last, 10u);
        EXPECT_TRUE(go || (ms >= 1000 && ms < 1100)) << ms << " ms";
        EXPECT_TRUE(Board("Brimola1")->GetBAR0Space()->ResetDCBs(records));
        DWORD words[8] = {};
        Board("Brimola1")->GetDMAChannel(16)->GetDCBWords(1, words);
        EXPECT_EQ(words[0] | words[2] | words[3], 0u);
    }
}

}  // namespace
