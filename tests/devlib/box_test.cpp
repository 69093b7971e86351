// The breakout-box conduit against the simulated box: round trips, the box's statuses, time-outs, the cable, rig keys and faults, TripDCBs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "platform/clock.h"
#include "sim/rig.h"
#include "tests/devlib/rig_fixture.h"
#include "yorbflow/symbol_table.h"
#include "yorbflow/yorb_command.h"

namespace {

using devtest::RigTest;
using YorbFlow::YorbCommand;
namespace Wire = YorbFlow::Wire;

using Value = std::pair<const char*, uint64_t>;

CFarnoDeKDevice* Connector() {
    auto* space = dynamic_cast<CFarnoDeKAddrSpace*>(support::RigBoard("Brimola1")->GetSpace(CDevAddrSpace::SPACE_FARNODEK, 0));
    return space ? space->GetBoxDevice() : nullptr;
}

CYorbFlowDevice* Conduit() { return dynamic_cast<CYorbFlowDevice*>(Connector()->GetDevice(CZorvDevice::DEVTYPE_YORBFLOW, 0)); }

sim::BreakoutBox* Box() { return devlib::CurrentRig()->Boards()[0]->Box(); }

// Sets the value with the setter of the type the command library gives the parameter.
void SetTyped(YorbCommand& c, const Value& v) {
    char type[20] = {};
    ASSERT_TRUE(YorbFlow::YorbCommandFactory::GetCommandParamTypeCodeString(c.GetCommandName(), v.first, sizeof type, type));
    const int code = Wire::TypeCodeFromString(type);
    if (code == Wire::TYPE_INT8) c.SetParamInt8(v.first, static_cast<int8_t>(v.second));
    else if (code == Wire::TYPE_INT32) c.SetParamInt32(v.first, static_cast<int32_t>(v.second));
    else if (code == Wire::TYPE_UINT8) c.SetParamUInt8(v.first, static_cast<uint8_t>(v.second));
    else c.SetParamUInt32(v.first, static_cast<uint32_t>(v.second));
}

uint64_t GetTyped(const YorbCommand& c, const char* name) {
    uint8_t u8 = 0;
    uint16_t u16 = 0;
    int32_t i32 = 0;
    uint32_t u32 = 0;
    return c.GetParamUInt8(name, u8) ? u8 : c.GetParamUInt16(name, u16) ? u16 : c.GetParamInt32(name, i32) ? i32 : c.GetParamUInt32(name, u32) ? u32 : ~0ull;
}

int Do(const char* name, bool send, const std::vector<Value>& values, YorbCommand* reply = nullptr) {
    YorbCommand c(name);
    send ? c.SetupSendCommand() : c.SetupRequestDataCommand();
    for (const Value& v : values) SetTyped(c, v);
    return Conduit()->DoYorbCommand(c, reply, 0, nullptr);
}

TEST_F(RigTest, ASendChangesTheBoxAndARequestReadsItBack) {
    struct Row { const char *what, *command; std::vector<Value> send, keys; Value expect; } rows[] = {
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
        EXPECT_EQ(GetTyped(reply, r.expect.first), r.expect.second) << r.what;
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
    auto code = [](const Wire::Message& m, std::vector<uint8_t> out = {}) { return Wire::Encode(m, out) ? std::vector<uint8_t>{} : out; };
    // A send or request of values given with the types the command table gives the parameters.
    auto typed = [&](Wire::Kind kind, const char* name, const std::vector<Value>& values) {
        Wire::Message m{kind, 0, name, {}};
        for (const auto& [param, value] : values) m.params.push_back({param, Wire::FindCommand(name)->Find(param)->type, value, {}});
        return code(m);
    };
    auto send = [&](const char* name, const std::vector<Value>& values) { return typed(Wire::KIND_SEND, name, values); };
    auto request = [&](const char* name, const std::vector<Value>& values) { return typed(Wire::KIND_REQUEST, name, values); };
    std::vector<uint8_t> shortPacket = packet;
    shortPacket.pop_back();  // its data length still says 4
    struct Row { const char* what; std::vector<uint8_t> code; int result; } rows[] = {
        {"loopback on", code(diag(36, 1)), 1},
        {"packet name", code(diag(0, 'Z')), 21},
        {"packet type", code(diag(31, 42)), 21},
        {"invalid project format", code({Wire::KIND_SEND, 0, "HVProjectFormat", {{"ProjectFormat", Wire::TYPE_UINT32, 0, {}}}}), 9},
        {"alpha missing", code({Wire::KIND_SEND, 0, "HVInputFormat", {{"InputFormat", Wire::TYPE_UINT32, 22, {}}}}), 7},
        {"not its parameter", code({Wire::KIND_SEND, 0, "StopIO", {{"Mode", Wire::TYPE_UINT8, 1, {}}}}), 15},
        {"wrong type", code({Wire::KIND_SEND, 0, "HVProjectFormat", {{"ProjectFormat", Wire::TYPE_UINT8, 22, {}}}}), 4},
        {"send of a request", code({Wire::KIND_SEND, 0, "HWConfigFB", {}}), 20},
        {"unreadable byte code", {'Y', 'F', 1}, 21},
        // Each documented range at its upper end and one beyond.
        {"project format 24", send("HVProjectFormat", {{"ProjectFormat", 24}}), 1},
        {"project format 25", send("HVProjectFormat", {{"ProjectFormat", 25}}), 9},
        {"output format 24", send("HVOutputFormat", {{"OutputFormat", 24}, {"SDProxyFormat", 24}, {"OutputAlphaEnable", 1}}), 1},
        {"output format 25", send("HVOutputFormat", {{"OutputFormat", 25}, {"SDProxyFormat", 0}, {"OutputAlphaEnable", 0}}), 9},
        {"proxy format 25", send("HVOutputFormat", {{"OutputFormat", 1}, {"SDProxyFormat", 25}, {"OutputAlphaEnable", 0}}), 9},
        {"output alpha 2", send("HVOutputFormat", {{"OutputFormat", 1}, {"SDProxyFormat", 0}, {"OutputAlphaEnable", 2}}), 9},
        {"input format 24", send("HVInputFormat", {{"InputFormat", 24}, {"InputAlphaEnable", 1}}), 1},
        {"input format 25", send("HVInputFormat", {{"InputFormat", 25}, {"InputAlphaEnable", 0}}), 9},
        {"input alpha 2", send("HVInputFormat", {{"InputFormat", 1}, {"InputAlphaEnable", 2}}), 9},
        {"I/O type 4, mode 3", send("IOMode", {{"Type", 4}, {"Mode", 3}}), 1},
        {"I/O type 5", send("IOMode", {{"Type", 5}, {"Mode", 0}}), 9},
        {"I/O type 5 asked", request("IOMode", {{"Type", 5}}), 9},
        {"I/O mode 4", send("IOMode", {{"Type", 0}, {"Mode", 4}}), 9},
        {"resizer 5, 72, 128", send("HVResizerEnable", {{"ResizerEnable", 5}}), 1},
        {"resizer 6", send("HVResizerEnable", {{"ResizerEnable", 6}}), 9},
        {"resizer 72", send("HVResizerEnable", {{"ResizerEnable", 72}}), 1},
        {"resizer 73", send("HVResizerEnable", {{"ResizerEnable", 73}}), 9},
        {"resizer 128", send("HVResizerEnable", {{"ResizerEnable", 128}}), 1},
        {"resizer 129", send("HVResizerEnable", {{"ResizerEnable", 129}}), 9},
        {"Nulk output 5", send("VideoOutput", {{"VideoOut_Type", 5}}), 1},
        {"Nulk output 4", send("VideoOutput", {{"VideoOut_Type", 4}}), 9},
        {"Nulk output 6", send("VideoOutput", {{"VideoOut_Type", 6}}), 9},
        {"Nulk input 8", send("VideoInput", {{"VideoInType", 8}}), 1},
        {"Nulk input 9", send("VideoInput", {{"VideoInType", 9}}), 9},
        {"start frame 64", request("StartIOFrame", {{"VideoFrame", 64}, {"AudioFrame", 0}}), 9},
        {"audio start frame 64", request("StartIOFrame", {{"VideoFrame", 0}, {"AudioFrame", 64}}), 9},
        {"start frames 63", request("StartIOFrame", {{"VideoFrame", 63}, {"AudioFrame", 63}}), 1},
        {"product data of board 1", request("VPDInfo", {{"Board", 1}}), 1},
        {"product data of board 2", request("VPDInfo", {{"Board", 2}}), 9},
        {"sample rate of clock 7", request("HAMeasureSampleRate", {{"ClockToUse", 7}}), 1},
        {"sample rate of clock 8", request("HAMeasureSampleRate", {{"ClockToUse", 8}}), 9},
        {"loopback flag 2", code(diag(36, 2)), 9},
        {"data offset 37", code({Wire::KIND_SEND, 0, "Diagnostic", {{"Length", Wire::TYPE_UINT16, 37, {}}, {"DiagData", Wire::TYPE_BYTES, 0, packet}}}), 9},
        {"packet a byte short", code({Wire::KIND_SEND, 0, "Diagnostic", {{"Length", Wire::TYPE_UINT16, 36, {}}, {"DiagData", Wire::TYPE_BYTES, 0, shortPacket}}}), 21},
        {"send without its last parameter", send("HVOutputFormat", {{"OutputFormat", 1}, {"SDProxyFormat", 0}}), 7},
    };
    for (const Row& r : rows) {
        std::vector<uint8_t> answer;
        Wire::Message reply;
        ASSERT_EQ(Conduit()->Exchange(r.code, answer), CZorvDevice::PAR_SUCCESS) << r.what;
        EXPECT_EQ(Wire::Decode(answer.data(), answer.size(), reply) ? 0 : reply.result, r.result) << r.what;
    }
    EXPECT_TRUE(Box()->Video().loopback);
    // Each parameter takes values up to its largest console symbol and refuses one beyond (the others at their largest).
    for (const YorbFlow::YorbSymbolCommand& symbols : YorbFlow::YorbSymbolTable) {
        const Wire::CommandEntry* command = Wire::FindCommand(symbols.name);
        ASSERT_NE(command, nullptr) << symbols.name;
        if (!(command->directions & Wire::DIR_SEND)) continue;
        auto highest = [&](const char* param) {
            uint64_t v = 0;
            for (size_t p = 0; p < symbols.count; ++p)
                if (std::string(symbols.params[p].name) == param)
                    for (size_t i = 0; i < symbols.params[p].count; ++i) v = std::max<uint64_t>(v, symbols.params[p].values[i].value);
            return v;
        };
        for (size_t p = 0; p < symbols.count; ++p) {
            const YorbFlow::YorbSymbolParam& param = symbols.params[p];
            const uint64_t top = highest(param.name);
            for (const uint64_t value : {top, top + 1}) {
                std::vector<Value> values;
                for (size_t i = 0; i < command->paramCount; ++i)
                    if (command->params[i].roles & Wire::ROLE_SEND) {
                        const char* name = command->params[i].name;
                        values.push_back({name, std::string(name) == param.name ? value : highest(name)});
                    }
                std::vector<uint8_t> answer;
                Wire::Message reply;
                ASSERT_EQ(Conduit()->Exchange(send(symbols.name, values), answer), CZorvDevice::PAR_SUCCESS);
                ASSERT_EQ(Wire::Decode(answer.data(), answer.size(), reply), YorbFlow::CMDSTATUS_OK);
                EXPECT_EQ(reply.result, value == top ? 1 : 9) << symbols.name << " " << param.name << " " << value;
            }
        }
    }
}

TEST_F(RigTest, IdentityRepliesAndARestartKeepTheRunningStart) {
    YorbCommand reply;
    ASSERT_EQ(Do("HWConfigFB", false, {}, &reply), 1);
    EXPECT_EQ(GetTyped(reply, "GorvendalisMajorRev") << 8 | GetTyped(reply, "NasperolMinorRev"), 0x207u) << "documented revisions";
    char text[32] = {};
    EXPECT_TRUE(reply.GetParamByteStream("FirmwareRev", text, sizeof text - 1, nullptr) && std::string(text) == "FDK 2.14b") << text;
    ASSERT_EQ(Do("VPDInfo", false, {{"Board", 0}}, &reply), 1);
    EXPECT_EQ(GetTyped(reply, "VPDSize"), std::string("PN=FDK-2200 SN=BX0417 REV=C").size());
    // A start while running keeps the frames in flight: the running start stands until a stop.
    for (auto [frame, stop, expect] : {std::tuple{5, false, 5u}, {9, false, 5u}, {9, true, 9u}}) {
        ASSERT_EQ(stop ? Do("StopIO", true, {}) : 1, 1);
        ASSERT_EQ(Do("StartIOFrame", false, {{"VideoFrame", frame}, {"AudioFrame", 0}}, &reply), 1);
        EXPECT_EQ(GetTyped(reply, "VideoFrame"), expect) << frame;
    }
    EXPECT_EQ(Box()->Video().starts, 2u);
}

TEST_F(RigTest, ASilentDeviceTimesOutItsCommandsOnTheVirtualClock) {
    struct Row { const char *device, *command; std::vector<Value> values; int result; } rows[] = {
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
    // result: of sending an input format through the conduit
    struct Row { const char *what, *attached, *fault; BOOL connected; int type; bool conduit; BOOL init; int result; } rows[] = {
        {"box", "breakout_box", "", 1, 5, true, 1, 1},
        {"cable", "loopback_cable", "", 1, 6, true, 1, 19},
        {"nothing", "", "", 0, 5, true, 1, 19},
        {"link down", "breakout_box", R"({"kind": "box_link_down"})", 0, 5, true, 0, 19},
        {"init fails", "breakout_box", R"({"kind": "box_init_fails"})", 1, 5, true, 0, 1},
        {"no conduit", "breakout_box", R"({"kind": "box_no_conduit"})", 1, 5, false, 0, 0},
        {"command fails", "breakout_box", R"({"kind": "box_command_fails", "command": "HVInputFormat"})", 1, 5, true, 1, 21},
        {"status 12", "breakout_box", R"({"kind": "box_command_fails", "command": "HVInputFormat", "status": 12})", 1, 5, true, 1, 12},
        {"reply corrupt", "breakout_box", R"({"kind": "box_reply_corrupt", "command": "HVInputFormat", "mask": 256})", 1, 5, true, 1, 18},
    };
    for (const Row& r : rows) {
        std::string fault = *r.fault ? "[" + std::string(r.fault).insert(1, R"("board": "Brimola1", )") + "]" : "[]";
        std::string attached = *r.attached ? std::string(R"(, "attached": {")") + r.attached + "\": true}" : "";
        LoadJson(support::MainBoardRig(fault, attached).c_str());
        EXPECT_EQ(Connector()->IsCableConnected(), r.connected) << r.what;
        EXPECT_EQ(Board("Brimola1")->GetBoBStatusByte(0x10) & 1, r.connected) << r.what;
        EXPECT_EQ(Connector()->GetType(), r.type) << r.what;
        ASSERT_EQ(Conduit() != nullptr, r.conduit) << r.what;
        if (!r.conduit) continue;
        EXPECT_EQ(Conduit()->YorbFlowInit() && r.connected, r.init && r.connected) << r.what;
        EXPECT_EQ(Do("HVInputFormat", true, {{"InputFormat", 22}, {"InputAlphaEnable", 0}}), r.result) << r.what;
    }
    sim::RigConfig cfg;
    std::string error;
    struct Bad { const char *attached, *fault, *key; } bads[] = {{R"("breakout_box": true, "loopback_cable": true)", "", "attached.loopback_cable"},
                {R"("breakout_box": false)", R"({"kind": "box_link_down", "board": "B"})", "faults[0].kind"},
                {R"("breakout_box": true)", R"({"kind": "box_device_silent", "board": "B", "device": "tv"})", "faults[0].device"}};
    for (const Bad& b : bads) {
        const std::string json = R"({"boards": [{"tag": "B", "kind": "brimola", "attached": {)" + std::string(b.attached) +
                                 R"(}}], "faults": [)" + b.fault + "]}";
        EXPECT_FALSE(sim::ParseRig(json, "t", cfg, error)) << json;
        EXPECT_NE(error.find(b.key), std::string::npos) << error;
    }
}

TEST_F(RigTest, TripDCBsWaitsBoundedAndReportsProgress) {
    for (bool go : {true, false}) {
        devtest::HostBuffer src(0x1000);
        SetGo("Brimola1", 5, go);
        Board("Brimola1")->GetDMAChannel(16)->SetDCBWords(1, devtest::MakeDcb(0, 5, 7, 0x3000, 0, 16, 0, src.Table()).w);
        Wexal_TrackDCB records[2] = {{16, "PCI", 0x3000, 0x3040, 0, 10}, {}};
        const LONGLONG t0 = platform::NowTicks();
        EXPECT_EQ(Board("Brimola1")->GetBAR0Space()->TripDCBs(records), go ? TRUE : FALSE);
        const LONGLONG ms = (platform::NowTicks() - t0) / (kPerfFrequency / 1000);
        EXPECT_TRUE(records[0].progress == (go ? 0x3040u : 0x3000u) && records[0].last == 10u) << records[0].progress;
        EXPECT_TRUE(go || (ms >= 1000 && ms < 1100)) << ms << " ms";
        DWORD words[8] = {1};
        EXPECT_TRUE(Board("Brimola1")->GetBAR0Space()->ResetDCBs(records) && Board("Brimola1")->GetDMAChannel(16)->GetDCBWords(1, words));
        EXPECT_EQ(words[0] | words[2] | words[3], 0u);
    }
}

}  // namespace
