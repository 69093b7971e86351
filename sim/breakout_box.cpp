// Breakout-box model: which device takes each command, value checks, the settings it keeps and its answers.
#include "sim/breakout_box.h"

#include <cstdlib>
#include <cstring>

#include "platform/clock.h"

namespace sim {

namespace Wire = YorbFlow::Wire;

namespace {

enum class Kind { Video, Kept, Identity, Vpd, Diagnostic, Status, Measure };

// A parameter and the values the device takes ("0-24", "0-3,5").
struct ValueRange {
    const char* param;
    const char* values;
};

// What the box does with a command; its parameters, their types and roles, the directions it
// takes and the devices it belongs to are the wire table's.
struct BoxCommandEntry {
    const char* name;
    Kind kind;
    std::vector<ValueRange> ranges;
};

constexpr int kBytes = Wire::TYPE_BYTES;

// The commands the box's firmware carries out.
const std::vector<BoxCommandEntry>& Commands() {
    static const char* const kFlag = "0-1";
    static const std::vector<BoxCommandEntry> table = {
        {"HVProjectFormat", Kind::Video, {{"ProjectFormat", "1-24"}}},
        {"HVOutputFormat", Kind::Video,
         {{"OutputFormat", "1-24"}, {"SDProxyFormat", "0,22-24"}, {"OutputAlphaEnable", kFlag}}},
        {"HVInputFormat", Kind::Video, {{"InputFormat", "1-24"}, {"InputAlphaEnable", kFlag}}},
        {"IOMode", Kind::Video, {{"Type", "0-4"}, {"Mode", "0-3"}}},
        {"HVResizerEnable", Kind::Video, {{"ResizerEnable", "0-5,64-72,128"}}},
        {"StartIO", Kind::Video, {}},
        {"StartIOFrame", Kind::Video, {{"VideoFrame", "0-63"}, {"AudioFrame", "0-63"}}},
        {"StopIO", Kind::Video, {}},
        {"VideoOutput", Kind::Video, {{"VideoOut_Type", "0-3,5"}}},
        {"VideoInput", Kind::Video, {{"VideoInType", "0-8"}}},
        {"HWConfigFB", Kind::Identity, {}},
        {"VPDInfo", Kind::Vpd, {{"Board", "0-1"}}},
        {"Diagnostic", Kind::Diagnostic, {{"Length", "36"}}},
        {"VideoConfig", Kind::Kept,
         {{"Mode", "0-2"}, {"VideoFormat", "0-2"}, {"VideoStandard", "0-3"},
          {"HDFormat", "0-23"}, {"InputSource", "0-6"}, {"OutputSource", "0-6"}}},
        {"VideoIOMode", Kind::Kept, {{"Mode", "0-2"}}},
        {"VideoIOControl", Kind::Kept,
         {{"InputOrOutput", kFlag}, {"Type", "0-3,5-12"}, {"Control", "0-54"}}},
        {"VideoIOCalibration", Kind::Kept,
         {{"Format", "0-3"}, {"InputOrOutput", kFlag}, {"Type", "0-3,5-12"},
          {"Control", "0-54"}}},
        {"VideoError", Kind::Kept, {}},
        {"VideoTransferType", Kind::Kept, {{"VideoTransferType", kFlag}}},
        {"VideoHoldFrame", Kind::Kept, {{"VideoHoldFrame", "0-2"}}},
        {"HVHDSyncSource", Kind::Kept, {{"HVHDSyncSource", kFlag}}},
        {"HVSDAnalogInputQuality", Kind::Kept, {{"HVSDAnalogInputQuality", kFlag}}},
        {"HVSDAnalogFilterSelect", Kind::Kept, {{"HVSDAnalogFilterSelect", kFlag}}},
        {"HVSDGainMode", Kind::Kept, {{"HVSDGainMode", kFlag}}},
        {"HVHDVideoOutput", Kind::Kept, {{"HVHDVideoOutput", "0,8-9"}}},
        {"HAClockReference", Kind::Kept, {{"ClockApplication", "0-3"}, {"ClockToUse", "0,2-3"}}},
        {"HAClockRouting", Kind::Kept,
         {{"ClockToSet", "0-3"}, {"SyncSource", "0-6"}, {"SampleRate", "0-9"}}},
        {"HACaptureClockSource", Kind::Kept, {{"PortPair", "0-3"}}},
        {"HAInputStreamRouting", Kind::Kept, {{"StreamGroup", "0-6"}}},
        {"HASRCConnection", Kind::Kept,
         {{"InOut", kFlag}, {"SRCConnection", "0-4"}, {"OperatingMode", kFlag}}},
        {"HAOutputStreamAssignment", Kind::Kept,
         {{"Subsystem", "0-2"}, {"FirstStream", kFlag}, {"TapLocation", "0-7"}}},
        {"HAMeasureSampleRate", Kind::Measure, {{"ClockToUse", "0-7"}}},
        {"HWStatus", Kind::Status, {}},
        {"TOFClockSelect", Kind::Kept, {{"ClockSelector", kFlag}}},
        {"LTCOutputSelectClockSource", Kind::Kept, {{"LTCClock", kFlag}}},
    };
    return table;
}

const BoxCommandEntry* FindBoxCommand(const std::string& name) {
    for (const auto& c : Commands())
        if (name == c.name) return &c;
    return nullptr;
}

// The value as a signed number for the signed types (the wire carries the bit pattern).
int64_t Signed(int type, uint64_t v) {
    switch (type) {
    case Wire::TYPE_INT8: return static_cast<int8_t>(v);
    case Wire::TYPE_INT16: return static_cast<int16_t>(v);
    case Wire::TYPE_INT32: return static_cast<int32_t>(v);
    default: return static_cast<int64_t>(v);
    }
}

// Whether v lies in a list of ranges such as "0-3,5-12".
bool Allowed(const char* values, int64_t v) {
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

uint8_t DeviceBit(BoxDevice d) {
    return d == BoxDevice::Bexi ? Wire::DEVICE_BEXI : d == BoxDevice::Nulk ? Wire::DEVICE_NULK : Wire::DEVICE_DOLWER;
}

// Adds a reply parameter with the wire table's type for it, the value cut to that width.
void Add(BoxMessage& reply, const char* name, uint64_t value) {
    const Wire::CommandEntry* entry = Wire::FindCommand(reply.name);
    const Wire::ParamEntry* param = entry ? entry->Find(name) : nullptr;
    if (!param) return;
    const int width = Wire::TypeWidth(param->type);
    const uint64_t mask = width >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * width)) - 1;
    reply.params.push_back({name, param->type, value & mask, {}});
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
    const Wire::CommandEntry* wire = Wire::FindCommand(c.name);
    const BoxCommandEntry* entry = FindBoxCommand(c.name);
    if (!wire || !entry) return Wire::RESULT_NOT_SUPPORTED;
    for (const auto& f : m_faults.commandFails)
        if (f.command == c.name) return f.status;
    const bool send = c.kind == Wire::KIND_SEND;
    if (c.kind == Wire::KIND_REPLY || !(wire->directions & (send ? Wire::DIR_SEND : Wire::DIR_REQUEST)))
        return Wire::RESULT_NOT_SUPPORTED;
    // Every parameter must be one the command takes that way, of its type and of a value the
    // device takes; a send carries all of its parameters.
    for (const auto& p : c.params) {
        const Wire::ParamEntry* ps = wire->Find(p.name);
        if (!ps || !(ps->roles & (send ? Wire::ROLE_SEND : Wire::ROLE_KEY))) return Wire::RESULT_UNKNOWN_PARAM;
        if (ps->type != p.type) return Wire::RESULT_WRONG_TYPE;
        for (const ValueRange& r : entry->ranges)
            if (p.name == r.param && !Allowed(r.values, Signed(p.type, p.value))) return Wire::RESULT_BAD_VALUE;
    }
    if (send)
        for (size_t i = 0; i < wire->paramCount; ++i)
            if ((wire->params[i].roles & Wire::ROLE_SEND) && !c.Find(wire->params[i].name)) return Wire::RESULT_INPUT_MISSING;

    switch (entry->kind) {
    case Kind::Video: return HandleVideo(c, reply);
    case Kind::Diagnostic: return HandleDiagnostic(c);
    case Kind::Kept: return HandleKept(c, reply);
    case Kind::Identity:
        for (int i = 0; i < 12; ++i) Add(reply, BoxIdentity::kRevisionNames[i], BoxIdentity::kRevisions[i]);
        AddBytes(reply, "FirmwareRev", BoxIdentity::kFirmware);
        return Wire::RESULT_SUCCESS;
    case Kind::Vpd: {
        const std::string vpd = BoxIdentity::kVpd;
        Add(reply, "VPDSize", vpd.size());
        AddBytes(reply, "VPDInfo", vpd);
        return Wire::RESULT_SUCCESS;
    }
    case Kind::Status:
        // Free-running, at 29.97 frames a second since power-up.
        Add(reply, "SyncSource", 1);
        Add(reply, "FrameCount", static_cast<uint64_t>(platform::NowTicks()) * 2997 / (100 * kPerfFrequency));
        Add(reply, "SyncOffset", 0);
        return Wire::RESULT_SUCCESS;
    case Kind::Measure:
        Add(reply, "ClockToUse", Value(c, "ClockToUse"));
        Add(reply, "MeasuredRate", 48000);
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
            v.startAtFrame = n == "StartIOFrame";
        }
        Add(reply, "VideoFrame", v.startVideoFrame);
        Add(reply, "AudioFrame", v.startAudioFrame);
        return Wire::RESULT_SUCCESS;
    }
    if (n == "StopIO") {
        v.started = false;
        return Wire::RESULT_SUCCESS;
    }
    if (n == "IOMode") {
        const uint64_t type = Value(c, "Type");
        if (send) v.ioMode[type] = Value(c, "Mode");
        Add(reply, "Type", type);
        Add(reply, "Mode", v.ioMode[type]);
        return Wire::RESULT_SUCCESS;
    }
    struct Field {
        const char* command;
        const char* param;
        uint64_t* field;
    };
    const Field fields[] = {
        {"HVProjectFormat", "ProjectFormat", &v.projectFormat}, {"HVOutputFormat", "OutputFormat", &v.outputFormat},
        {"HVOutputFormat", "SDProxyFormat", &v.proxyFormat},    {"HVOutputFormat", "OutputAlphaEnable", &v.outputAlpha},
        {"HVInputFormat", "InputFormat", &v.inputFormat},       {"HVInputFormat", "InputAlphaEnable", &v.inputAlpha},
        {"HVResizerEnable", "ResizerEnable", &v.resizer},       {"VideoOutput", "VideoOut_Type", &v.videoOutput},
        {"VideoInput", "VideoInType", &v.videoInput},
    };
    for (const Field& f : fields) {
        if (n != f.command) continue;
        if (send) *f.field = Value(c, f.param);
        Add(reply, f.param, *f.field);
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
    if (m_video.loopback != (enable == 1)) ++m_video.loopbackSwitches;
    m_video.loopback = enable == 1;
    return Wire::RESULT_SUCCESS;
}

int BreakoutBox::HandleKept(const BoxMessage& c, BoxMessage& reply) {
    const Wire::CommandEntry* wire = Wire::FindCommand(c.name);
    // Settings are kept per combination of the key parameters (an absent key counts as 0).
    std::string key;
    for (size_t i = 0; i < wire->paramCount; ++i)
        if (wire->params[i].roles & Wire::ROLE_KEY) key += std::to_string(Value(c, wire->params[i].name)) + "/";
    auto& kept = m_settings[c.name + (key.empty() ? "" : " " + key)];
    if (c.kind == Wire::KIND_SEND) {
        for (const auto& p : c.params) kept[p.name] = p.value;
        return Wire::RESULT_SUCCESS;
    }
    for (size_t i = 0; i < wire->paramCount; ++i) {
        const Wire::ParamEntry& s = wire->params[i];
        if (s.roles & Wire::ROLE_REPLY) Add(reply, s.name, (s.roles & Wire::ROLE_KEY) ? Value(c, s.name) : kept[s.name]);
    }
    return Wire::RESULT_SUCCESS;
}

void BreakoutBox::Send(const uint8_t* code, size_t size) {
    m_pending = false;
    BoxMessage command, reply;
    reply.kind = Wire::KIND_REPLY;
    int result = Wire::RESULT_DEVICE_PROBLEM;  // byte code the box cannot read
    uint8_t devices = Wire::DEVICE_BEXI | Wire::DEVICE_NULK | Wire::DEVICE_DOLWER;
    if (Wire::Decode(code, size, command) == YorbFlow::CMDSTATUS_OK) {
        m_received.push_back(command);
        const Wire::CommandEntry* entry = Wire::FindCommand(command.name);
        devices = entry ? entry->devices : static_cast<uint8_t>(Wire::DEVICE_NULK);  // the Nulk is the box's command front end
        result = Handle(command, reply);
    }
    for (BoxDevice d : m_faults.silent)
        if (devices & DeviceBit(d)) return;
    reply.result = static_cast<uint8_t>(result);
    if (result != Wire::RESULT_SUCCESS || command.kind == Wire::KIND_SEND) reply.params.clear();
    if (reply.name.empty()) reply.name = command.name.empty() ? "Error" : command.name;
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
