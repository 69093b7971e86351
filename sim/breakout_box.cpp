// Breakout-box model: which device takes each command, value checks, the settings it keeps and its answers.
#include "sim/breakout_box.h"

#include <cstdlib>
#include <cstring>

#include "platform/clock.h"

namespace sim {

namespace Wire = YorbFlow::Wire;

namespace {

enum Dev : unsigned { kBexi = 1, kNulk = 2, kDolwer = 4, kVideo = kBexi | kNulk };

enum class Kind { Video, Kept, Identity, Vpd, Diagnostic, Status, Measure };

// Roles: S a send carries it (and must), K a request may carry it to choose what is answered,
// R the reply carries it.
enum Role : unsigned { S = 1, K = 2, R = 4 };

// A parameter, its type code, roles and the values the device takes ("0-24", "0-3,5"; null: any).
struct ParamSpec {
    const char* name;
    int type;
    unsigned roles;
    const char* values;
};

struct CommandSpec {
    const char* name;
    unsigned devices;
    Kind kind;
    bool sends, requests;  // the directions it takes
    std::vector<ParamSpec> params;
    const ParamSpec* Find(const std::string& n) const {
        for (const auto& p : params)
            if (n == p.name) return &p;
        return nullptr;
    }
};

constexpr int kI8 = Wire::TYPE_INT8, kI16 = Wire::TYPE_INT16, kI32 = Wire::TYPE_INT32, kI64 = Wire::TYPE_INT64;
constexpr int kU8 = Wire::TYPE_UINT8, kU16 = Wire::TYPE_UINT16, kU32 = Wire::TYPE_UINT32, kU64 = Wire::TYPE_UINT64;
constexpr int kBytes = Wire::TYPE_BYTES;
constexpr unsigned SR = S | R, SKR = S | K | R, KR = K | R;

// The box's firmware table. Both video devices take the formats, I/O mode, resizer, start and stop.
const std::vector<CommandSpec>& Commands() {
    static const char* const kFlag = "0-1";
    static const std::vector<CommandSpec> table = {
        {"HVProjectFormat", kVideo, Kind::Video, true, true, {{"ProjectFormat", kU32, SR, "1-24"}}},
        {"HVOutputFormat", kVideo, Kind::Video, true, true,
         {{"OutputFormat", kU32, SR, "1-24"}, {"SDProxyFormat", kU32, SR, "0,22-24"}, {"OutputAlphaEnable", kU8, SR, kFlag}}},
        {"HVInputFormat", kVideo, Kind::Video, true, true, {{"InputFormat", kU32, SR, "1-24"}, {"InputAlphaEnable", kU8, SR, kFlag}}},
        {"IOMode", kVideo, Kind::Video, true, true, {{"Type", kU8, SKR, "0-4"}, {"Mode", kU8, SR, "0-3"}}},
        {"HVResizerEnable", kVideo, Kind::Video, true, true, {{"ResizerEnable", kU8, SR, "0-5,64-72,128"}}},
        {"StartIO", kVideo, Kind::Video, true, false, {}},
        {"StartIOFrame", kVideo, Kind::Video, false, true, {{"VideoFrame", kU8, KR, "0-63"}, {"AudioFrame", kU8, KR, "0-63"}}},
        {"StopIO", kVideo, Kind::Video, true, false, {}},
        {"VideoOutput", kNulk, Kind::Video, true, true, {{"VideoOut_Type", kI32, SR, "0-3,5"}}},
        {"VideoInput", kNulk, Kind::Video, true, true, {{"VideoInType", kI32, SR, "0-8"}}},
        {"HWConfigFB", kNulk, Kind::Identity, false, true, {}},
        {"VPDInfo", kNulk, Kind::Vpd, false, true,
         {{"Board", kI8, K, "0-1"}, {"VPDSize", kU16, R, nullptr}, {"VPDInfo", kBytes, R, nullptr}}},
        {"Diagnostic", kNulk, Kind::Diagnostic, true, false, {{"Length", kU16, S, "36"}, {"DiagData", kBytes, S, nullptr}}},
        {"VideoConfig", kNulk, Kind::Kept, true, true,
         {{"Mode", kU8, SR, "0-2"}, {"VideoFormat", kU8, SR, "0-2"}, {"VideoStandard", kU8, SR, "0-3"},
          {"HDFormat", kU8, SR, "0-23"}, {"InputSource", kU8, SR, "0-6"}, {"OutputSource", kU8, SR, "0-6"}}},
        {"VideoIOMode", kNulk, Kind::Kept, true, true, {{"Mode", kU8, SR, "0-2"}}},
        {"VideoIOControl", kNulk, Kind::Kept, true, true,
         {{"InputOrOutput", kU8, SKR, kFlag}, {"Type", kU8, SKR, "0-3,5-12"}, {"Control", kU8, SKR, "0-54"},
          {"Value", kI16, SR, nullptr}}},
        {"VideoIOCalibration", kNulk, Kind::Kept, true, true,
         {{"Format", kU8, SKR, "0-3"}, {"InputOrOutput", kU8, SKR, kFlag}, {"Type", kU8, SKR, "0-3,5-12"},
          {"Control", kU8, SKR, "0-54"}, {"Value", kI16, SR, nullptr}}},
        {"VideoError", kNulk, Kind::Kept, false, true,
         {{"Play_Invalid_InfoN", kU8, R, kFlag}, {"Play_Invalid_Init", kU8, R, kFlag}, {"Play_Vbit_NotAligned", kU8, R, kFlag},
          {"Play_Hbit_NotAligned", kU8, R, kFlag}, {"Play_InfoN_NotAligned", kU8, R, kFlag}, {"Play_NoInfoN", kU8, R, kFlag},
          {"Play_ClipDetect", kU8, R, kFlag}, {"Cap_TopOfFrame_Error", kU8, R, kFlag},
          {"Cap_StartOfActiveVideo_Error", kU8, R, kFlag}, {"Cap_EndOfActiveVideo_Error", kU8, R, kFlag},
          {"Cap_ClipDetect", kU8, R, kFlag}}},
        {"VideoTransferType", kNulk, Kind::Kept, true, true, {{"VideoTransferType", kU8, SR, kFlag}}},
        {"VideoHoldFrame", kNulk, Kind::Kept, true, true, {{"VideoHoldFrame", kU8, SR, "0-2"}}},
        {"HVHDSyncSource", kBexi, Kind::Kept, true, true, {{"HVHDSyncSource", kU8, SR, kFlag}}},
        {"HVSDAnalogInputQuality", kNulk, Kind::Kept, true, true, {{"HVSDAnalogInputQuality", kU8, SR, kFlag}}},
        {"HVSDAnalogFilterSelect", kNulk, Kind::Kept, true, true, {{"HVSDAnalogFilterSelect", kU8, SR, kFlag}}},
        {"HVSDGainMode", kNulk, Kind::Kept, true, true, {{"HVSDGainMode", kU8, SR, kFlag}}},
        {"HVHDVideoOutput", kBexi, Kind::Kept, true, true, {{"HVHDVideoOutput", kU8, SR, "0,8-9"}}},
        {"HAClockReference", kDolwer, Kind::Kept, true, true, {{"ClockApplication", kU8, SKR, "0-3"}, {"ClockToUse", kU8, SR, "0,2-3"}}},
        {"HAClockRouting", kDolwer, Kind::Kept, true, true,
         {{"ClockToSet", kU8, SKR, "0-3"}, {"SyncSource", kU8, SR, "0-6"}, {"SampleRate", kU8, SR, "0-9"}}},
        {"HACaptureClockSource", kDolwer, Kind::Kept, true, true, {{"PortPair", kU8, SR, "0-3"}}},
        {"HAInputStreamRouting", kDolwer, Kind::Kept, true, true, {{"StreamGroup", kU8, SR, "0-6"}}},
        {"HASRCConnection", kDolwer, Kind::Kept, true, true,
         {{"InOut", kU8, SKR, kFlag}, {"SRCConnection", kU8, SR, "0-4"}, {"OperatingMode", kU8, SR, kFlag}}},
        {"HAOutputStreamAssignment", kDolwer, Kind::Kept, true, true,
         {{"Subsystem", kU8, SKR, "0-2"}, {"FirstStream", kU8, SR, kFlag}, {"TapLocation", kU8, SR, "0-7"}}},
        {"HAMeasureSampleRate", kDolwer, Kind::Measure, false, true, {{"ClockToUse", kU8, KR, "0-7"}, {"MeasuredRate", kU32, R, nullptr}}},
        {"HWStatus", kNulk, Kind::Status, false, true,
         {{"SyncSource", kU8, R, nullptr}, {"FrameCount", kU64, R, nullptr}, {"SyncOffset", kI64, R, nullptr}}},
        {"TOFClockSelect", kDolwer, Kind::Kept, true, true, {{"ClockSelector", kU8, SR, kFlag}}},
        {"LTCOutputSelectClockSource", kDolwer, Kind::Kept, true, true, {{"LTCClock", kU8, SR, kFlag}}},
    };
    return table;
}

const CommandSpec* FindCommand(const std::string& name) {
    for (const auto& c : Commands())
        if (name == c.name) return &c;
    return nullptr;
}

// The value as a signed number for the signed types (the wire carries the bit pattern).
int64_t Signed(int type, uint64_t v) {
    switch (type) {
    case kI8: return static_cast<int8_t>(v);
    case kI16: return static_cast<int16_t>(v);
    case kI32: return static_cast<int32_t>(v);
    default: return static_cast<int64_t>(v);
    }
}

// Whether v lies in a list of ranges such as "0-3,5-12".
bool Allowed(const char* values, int64_t v) {
    if (!values) return true;
    const char* p = values;
    while (*p) {
        char* end = nullptr;
        const long lo = std::strtol(p, &end, 10);
        long hi = lo;
        p = end;
        if (*p == '-') {
            hi = std::strtol(p + 1, &end, 10);
            p = end;
        }
        if (v >= lo && v <= hi) return true;
        if (*p == ',') ++p;
    }
    return false;
}

unsigned DeviceBit(BoxDevice d) { return d == BoxDevice::Bexi ? kBexi : d == BoxDevice::Nulk ? kNulk : kDolwer; }

void Add(BoxMessage& reply, const char* name, int type, uint64_t value) {
    const int width = Wire::TypeWidth(type);
    const uint64_t mask = width >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * width)) - 1;
    reply.params.push_back({name, static_cast<uint8_t>(type), value & mask, {}});
}

void AddBytes(BoxMessage& reply, const char* name, const std::string& text) {
    reply.params.push_back({name, kBytes, 0, std::vector<uint8_t>(text.begin(), text.end())});
}

uint64_t Value(const BoxMessage& c, const char* name) {
    const Wire::Param* p = c.Find(name);
    return p ? p->value : 0;
}

}  // namespace

BreakoutBox::BreakoutBox(const BoardConfig& board) : m_faults(board.faults.box) {}

bool BreakoutBox::Open() { return !m_faults.initFails && !m_faults.linkDown; }

int BreakoutBox::Handle(const BoxMessage& c, BoxMessage& reply) {
    reply = BoxMessage{};
    reply.kind = Wire::KIND_REPLY;
    reply.name = c.name;
    const CommandSpec* spec = FindCommand(c.name);
    if (!spec) return Wire::RESULT_NOT_SUPPORTED;
    for (const auto& f : m_faults.commandFails)
        if (f.command == c.name) return f.status;
    const bool send = c.kind == Wire::KIND_SEND;
    if (c.kind == Wire::KIND_REPLY || (send && !spec->sends) || (!send && !spec->requests)) return Wire::RESULT_NOT_SUPPORTED;
    // Every parameter must be one the command takes that way, of its type and of a value the
    // device takes; a send carries all of its parameters.
    for (const auto& p : c.params) {
        const ParamSpec* ps = spec->Find(p.name);
        if (!ps || !(ps->roles & (send ? S : K))) return Wire::RESULT_UNKNOWN_PARAM;
        if (ps->type != p.type) return Wire::RESULT_WRONG_TYPE;
        if (p.type != kBytes && !Allowed(ps->values, Signed(p.type, p.value))) return Wire::RESULT_BAD_VALUE;
    }
    if (send)
        for (const auto& s : spec->params)
            if ((s.roles & S) && !c.Find(s.name)) return Wire::RESULT_INPUT_MISSING;

    switch (spec->kind) {
    case Kind::Video: return HandleVideo(c, reply);
    case Kind::Diagnostic: return HandleDiagnostic(c);
    case Kind::Kept: return HandleKept(c, reply);
    case Kind::Identity:
        for (int i = 0; i < 12; ++i) Add(reply, BoxIdentity::kRevisionNames[i], kU8, BoxIdentity::kRevisions[i]);
        AddBytes(reply, "FirmwareRev", BoxIdentity::kFirmware);
        return Wire::RESULT_SUCCESS;
    case Kind::Vpd: {
        const std::string vpd = BoxIdentity::kVpd;
        Add(reply, "VPDSize", kU16, vpd.size());
        AddBytes(reply, "VPDInfo", vpd);
        return Wire::RESULT_SUCCESS;
    }
    case Kind::Status:
        // Free-running, at 29.97 frames a second since power-up.
        Add(reply, "SyncSource", kU8, 1);
        Add(reply, "FrameCount", kU64, static_cast<uint64_t>(platform::NowTicks()) * 2997 / (100 * kPerfFrequency));
        Add(reply, "SyncOffset", kI64, 0);
        return Wire::RESULT_SUCCESS;
    case Kind::Measure:
        Add(reply, "ClockToUse", kU8, Value(c, "ClockToUse"));
        Add(reply, "MeasuredRate", kU32, 48000);
        return Wire::RESULT_SUCCESS;
    }
    return Wire::RESULT_NOT_SUPPORTED;
}

int BreakoutBox::HandleVideo(const BoxMessage& c, BoxMessage& reply) {
    BoxVideoState& v = m_video;
    const bool send = c.kind == Wire::KIND_SEND;
    const std::string& n = c.name;
    if (n == "StartIO" || n == "StartIOFrame") {
        // Starting what already runs keeps its frames in flight: the running start stands.
        if (!v.started) {
            v.started = true;
            ++v.starts;
            v.startVideoFrame = Value(c, "VideoFrame");
            v.startAudioFrame = Value(c, "AudioFrame");
        }
        if (n == "StartIOFrame") {
            Add(reply, "VideoFrame", kU8, v.startVideoFrame);
            Add(reply, "AudioFrame", kU8, v.startAudioFrame);
        }
        return Wire::RESULT_SUCCESS;
    }
    if (n == "StopIO") {
        v.started = false;
        return Wire::RESULT_SUCCESS;
    }
    if (n == "IOMode") {
        const uint64_t type = Value(c, "Type");
        if (send) v.ioMode[type] = Value(c, "Mode");
        else {
            Add(reply, "Type", kU8, type);
            Add(reply, "Mode", kU8, v.ioMode[type]);
        }
        return Wire::RESULT_SUCCESS;
    }
    struct Field {
        const char* command;
        const char* param;
        int type;
        uint64_t* field;
    };
    const Field fields[] = {
        {"HVProjectFormat", "ProjectFormat", kU32, &v.projectFormat}, {"HVOutputFormat", "OutputFormat", kU32, &v.outputFormat},
        {"HVOutputFormat", "SDProxyFormat", kU32, &v.proxyFormat},    {"HVOutputFormat", "OutputAlphaEnable", kU8, &v.outputAlpha},
        {"HVInputFormat", "InputFormat", kU32, &v.inputFormat},       {"HVInputFormat", "InputAlphaEnable", kU8, &v.inputAlpha},
        {"HVResizerEnable", "ResizerEnable", kU8, &v.resizer},        {"VideoOutput", "VideoOut_Type", kI32, &v.videoOutput},
        {"VideoInput", "VideoInType", kI32, &v.videoInput},
    };
    for (const Field& f : fields) {
        if (n != f.command) continue;
        if (send) *f.field = Value(c, f.param);
        else Add(reply, f.param, f.type, *f.field);
    }
    return Wire::RESULT_SUCCESS;
}

int BreakoutBox::HandleDiagnostic(const BoxMessage& c) {
    // The packet: a 28-byte name field, three zero bytes, the packet type, then the buffer length
    // (data length + 2) and the data length, both big-endian, and the data.
    const std::vector<uint8_t>& b = c.Find("DiagData")->bytes;
    static const char kName[] = "zorv_diagnostics";
    if (b.size() < 36) return Wire::RESULT_DEVICE_PROBLEM;
    for (size_t i = 0; i < 31; ++i)
        if (b[i] != (i < sizeof kName - 1 ? static_cast<uint8_t>(kName[i]) : 0)) return Wire::RESULT_DEVICE_PROBLEM;
    const size_t buffer = size_t{b[32]} << 8 | b[33], data = size_t{b[34]} << 8 | b[35];
    if (buffer != data + 2 || 36 + data > b.size()) return Wire::RESULT_DEVICE_PROBLEM;
    if (b[31] != 41 || data != 4) return Wire::RESULT_DEVICE_PROBLEM;  // the Nulk video loopback is the one packet it takes
    uint32_t enable = 0;
    std::memcpy(&enable, b.data() + 36, 4);
    if (enable > 1) return Wire::RESULT_BAD_VALUE;
    m_video.loopback = enable == 1;
    return Wire::RESULT_SUCCESS;
}

int BreakoutBox::HandleKept(const BoxMessage& c, BoxMessage& reply) {
    const CommandSpec* spec = FindCommand(c.name);
    // Settings are kept per combination of the key parameters (an absent key counts as 0).
    std::string key;
    for (const auto& s : spec->params)
        if (s.roles & K) key += std::to_string(Value(c, s.name)) + "/";
    auto& kept = m_settings[c.name + (key.empty() ? "" : " " + key)];
    if (c.kind == Wire::KIND_SEND) {
        for (const auto& p : c.params) kept[p.name] = p.value;
        return Wire::RESULT_SUCCESS;
    }
    for (const auto& s : spec->params)
        if (s.roles & R) Add(reply, s.name, s.type, (s.roles & K) ? Value(c, s.name) : kept[s.name]);
    return Wire::RESULT_SUCCESS;
}

void BreakoutBox::Send(const uint8_t* code, size_t size) {
    m_pending = false;
    BoxMessage command, reply;
    reply.kind = Wire::KIND_REPLY;
    int result = Wire::RESULT_DEVICE_PROBLEM;  // byte code the box cannot read
    unsigned devices = kVideo | kDolwer;
    if (Wire::Decode(code, size, command) == YorbFlow::CMDSTATUS_OK) {
        m_received.push_back(command);
        const CommandSpec* spec = FindCommand(command.name);
        devices = spec ? spec->devices : kNulk;  // the Nulk is the box's command front end
        result = Handle(command, reply);
    }
    for (BoxDevice d : m_faults.silent)
        if (devices & DeviceBit(d)) return;
    reply.result = static_cast<uint8_t>(result);
    if (result != Wire::RESULT_SUCCESS) reply.params.clear();
    if (reply.name.empty()) reply.name = "Error";
    m_reply.clear();
    Wire::Encode(reply, m_reply);
    for (const auto& f : m_faults.replyCorrupt) {
        if (f.command != command.name || m_reply.size() < Wire::kHeaderBytes + 4) continue;
        // The word after the header: the start of the command name.
        for (int i = 0; i < 4; ++i) m_reply[Wire::kHeaderBytes + i] ^= static_cast<uint8_t>(f.mask >> (8 * i));
    }
    m_pending = true;
    m_readyAt = platform::NowTicks() + kReplyTicks;
}

bool BreakoutBox::Receive(std::vector<uint8_t>& reply) {
    if (!m_pending || platform::NowTicks() < m_readyAt) return false;
    m_pending = false;
    reply = std::move(m_reply);
    return true;
}

}  // namespace sim
