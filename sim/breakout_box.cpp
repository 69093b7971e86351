// Breakout-box model: which device takes each command, value checks, the settings it keeps and its answers.
#include "sim/breakout_box.h"

#include <cstring>

#include "platform/clock.h"
#include "sim/box_wire.h"

namespace sim {

namespace {

enum Dev : unsigned { kBexi = 1, kNulk = 2, kDolwer = 4, kVideo = kBexi | kNulk };

enum class Kind { Video, Kept, Identity, Vpd, Diagnostic };

// A parameter and the values the device takes for it ("0-24", "0-3,5", null: any).
struct ParamSpec {
    const char* name;
    int type;
    const char* values;
};

struct CommandSpec {
    const char* name;
    unsigned devices;
    Kind kind;
    bool readOnly;
    std::vector<ParamSpec> params;
};

constexpr int kU8 = 5, kU16 = 6, kU32 = 7, kI8 = 1, kBytes = 9;

// The box's firmware table. Both video devices take the formats, I/O mode, start and stop.
const std::vector<CommandSpec>& Commands() {
    static const std::vector<CommandSpec> table = {
        {"HVProjectFormat", kVideo, Kind::Video, false, {{"ProjectFormat", kU32, "1-24"}}},
        {"HVOutputFormat", kVideo, Kind::Video, false,
         {{"OutputFormat", kU32, "1-24"}, {"SDProxyFormat", kU32, "0,22-24"}, {"OutputAlphaEnable", kU8, "0-1"}}},
        {"HVInputFormat", kVideo, Kind::Video, false, {{"InputFormat", kU32, "1-24"}, {"InputAlphaEnable", kU8, "0-1"}}},
        {"IOMode", kVideo, Kind::Video, false, {{"Type", kU32, "0-4"}, {"Mode", kU32, "0-3"}}},
        {"StartIO", kVideo, Kind::Video, false, {}},
        {"StartIOFrame", kVideo, Kind::Video, false, {{"VideoFrame", kU8, "0-63"}, {"AudioFrame", kU8, "0-63"}}},
        {"StopIO", kVideo, Kind::Video, false, {}},
        {"HVResizerEnable", kBexi, Kind::Video, false, {{"ResizerEnable", kU8, "0-5,64-72,128"}}},
        {"VideoOutput", kNulk, Kind::Video, false, {{"VideoOut_Type", kU32, "0-3,5"}}},
        {"VideoInput", kNulk, Kind::Video, false, {{"VideoInType", kU32, "0-8"}}},
        {"HWConfigFB", kNulk, Kind::Identity, true, {}},
        {"VPDInfo", kNulk, Kind::Vpd, true, {{"Board", kI8, "0-1"}}},
        {"Diagnostic", kNulk, Kind::Diagnostic, false, {{"Length", kU16, "36"}, {"DiagData", kBytes, nullptr}}},
        {"VideoConfig", kNulk, Kind::Kept, false,
         {{"Mode", kU32, "0-2"}, {"VideoFormat", kU32, "0-2"}, {"VideoStandard", kU32, "0-3"}, {"HDFormat", kU32, "0-23"},
          {"InputSource", kU32, "0-6"}, {"OutputSource", kU32, "0-6"}}},
        {"VideoIOMode", kNulk, Kind::Kept, false, {{"Mode", kU32, "0-2"}}},
        {"VideoIOControl", kNulk, Kind::Kept, false,
         {{"InputOrOutput", kU32, "0-1"}, {"Type", kU32, "0-3,5-12"}, {"Control", kU32, "0-54"}}},
        {"VideoIOCalibration", kNulk, Kind::Kept, false,
         {{"Format", kU32, "0-3"}, {"InputOrOutput", kU32, "0-1"}, {"Type", kU32, "0-3,5-12"}, {"Control", kU32, "0-54"}}},
        {"VideoError", kNulk, Kind::Kept, true,
         {{"Play_Invalid_InfoN", kU32, "0-1"}, {"Play_Invalid_Init", kU32, "0-1"}, {"Play_Vbit_NotAligned", kU32, "0-1"},
          {"Play_Hbit_NotAligned", kU32, "0-1"}, {"Play_InfoN_NotAligned", kU32, "0-1"}, {"Play_NoInfoN", kU32, "0-1"},
          {"Play_ClipDetect", kU32, "0-1"}, {"Cap_TopOfFrame_Error", kU32, "0-1"}, {"Cap_StartOfActiveVideo_Error", kU32, "0-1"},
          {"Cap_EndOfActiveVideo_Error", kU32, "0-1"}, {"Cap_ClipDetect", kU32, "0-1"}}},
        {"VideoTransferType", kNulk, Kind::Kept, false, {{"VideoTransferType", kU32, "0-1"}}},
        {"VideoHoldFrame", kNulk, Kind::Kept, false, {{"VideoHoldFrame", kU32, "0-2"}}},
        {"HVHDSyncSource", kBexi, Kind::Kept, false, {{"HVHDSyncSource", kU32, "0-1"}}},
        {"HVSDAnalogInputQuality", kNulk, Kind::Kept, false, {{"HVSDAnalogInputQuality", kU32, "0-1"}}},
        {"HVSDAnalogFilterSelect", kNulk, Kind::Kept, false, {{"HVSDAnalogFilterSelect", kU32, "0-1"}}},
        {"HVSDGainMode", kNulk, Kind::Kept, false, {{"HVSDGainMode", kU32, "0-1"}}},
        {"HVHDVideoOutput", kBexi, Kind::Kept, false, {{"HVHDVideoOutput", kU32, "0,8-9"}}},
        {"HAClockReference", kDolwer, Kind::Kept, false, {{"ClockApplication", kU32, "0-3"}, {"ClockToUse", kU32, "0,2-3"}}},
        {"HAClockRouting", kDolwer, Kind::Kept, false,
         {{"ClockToSet", kU32, "0-3"}, {"SyncSource", kU32, "0-6"}, {"SampleRate", kU32, "0-9"}}},
        {"HACaptureClockSource", kDolwer, Kind::Kept, false, {{"PortPair", kU32, "0-3"}}},
        {"HAInputStreamRouting", kDolwer, Kind::Kept, false, {{"StreamGroup", kU32, "0-6"}}},
        {"HASRCConnection", kDolwer, Kind::Kept, false,
         {{"InOut", kU32, "0-1"}, {"SRCConnection", kU32, "0-4"}, {"OperatingMode", kU32, "0-1"}}},
        {"HAOutputStreamAssignment", kDolwer, Kind::Kept, false,
         {{"Subsystem", kU32, "0-2"}, {"FirstStream", kU32, "0-1"}, {"TapLocation", kU32, "0-7"}}},
        {"HAMeasureSampleRate", kDolwer, Kind::Kept, false, {{"ClockToUse", kU32, "0-7"}}},
        {"HWStatus", kNulk, Kind::Kept, true, {{"SyncSource", kU32, "0-3"}}},
        {"TOFClockSelect", kNulk, Kind::Kept, false, {{"ClockSelector", kU32, "0-1"}}},
        {"LTCOutputSelectClockSource", kNulk, Kind::Kept, false, {{"LTCClock", kU32, "0-1"}}},
    };
    return table;
}

const CommandSpec* FindCommand(const std::string& name) {
    for (const auto& c : Commands())
        if (name == c.name) return &c;
    return nullptr;
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
        if (*p == '-') hi = std::strtol(p + 1, &end, 10), p = end;
        if (v >= lo && v <= hi) return true;
        if (*p == ',') ++p;
    }
    return false;
}

unsigned DeviceBit(BoxDevice d) { return d == BoxDevice::Bexi ? kBexi : d == BoxDevice::Nulk ? kNulk : kDolwer; }

void Add(BoxCommand& reply, const char* name, int type, int64_t value) { reply.params.push_back({name, type, value, {}}); }

void AddBytes(BoxCommand& reply, const char* name, const std::string& text) {
    reply.params.push_back({name, kBytes, 0, std::vector<uint8_t>(text.begin(), text.end())});
}

}  // namespace

const BoxParam* BoxCommand::Find(const std::string& param) const {
    for (const auto& p : params)
        if (p.name == param) return &p;
    return nullptr;
}

BreakoutBox::BreakoutBox(const BoardConfig& board) : m_faults(board.faults.box) {}

bool BreakoutBox::Open() { return !m_faults.initFails && !m_faults.linkDown; }

int BreakoutBox::Handle(const BoxCommand& c, BoxCommand& reply) {
    reply = BoxCommand{c.name, c.send, {}};
    const CommandSpec* spec = FindCommand(c.name);
    if (!spec) return 20;
    for (const auto& f : m_faults.commandFails)
        if (f.command == c.name) return f.status;
    if (spec->readOnly && c.send) return 20;
    // Every parameter must be the command's and of a value the device takes; a send carries them all.
    for (const auto& p : c.params) {
        const ParamSpec* ps = nullptr;
        for (const auto& s : spec->params)
            if (p.name == s.name) ps = &s;
        if (!ps) return 15;
        if ((ps->type == kBytes) != (p.type == kBytes)) return 4;
        if (p.type != kBytes && !Allowed(ps->values, p.value)) return 9;
    }
    const bool needsAll = spec->kind == Kind::Vpd || (c.send && !spec->readOnly) || c.name == "StartIOFrame";
    if (needsAll)
        for (const auto& s : spec->params)
            if (!c.Find(s.name)) return 7;
    if (!c.send && c.name == "IOMode" && !c.Find("Type")) return 7;

    switch (spec->kind) {
    case Kind::Video: return HandleVideo(c, reply);
    case Kind::Diagnostic: return HandleDiagnostic(c);
    case Kind::Kept: return HandleKept(c, reply);
    case Kind::Identity:
        for (int i = 0; i < 12; ++i) Add(reply, BoxIdentity::kRevisionNames[i], kU8, BoxIdentity::kRevisions[i]);
        AddBytes(reply, "FirmwareRev", BoxIdentity::kFirmware);
        return 1;
    case Kind::Vpd: {
        const std::string vpd = BoxIdentity::kVpd;
        Add(reply, "VPDSize", kU32, static_cast<int64_t>(vpd.size()));
        AddBytes(reply, "VPDInfo", vpd);
        return 1;
    }
    }
    return 20;
}

int BreakoutBox::HandleVideo(const BoxCommand& c, BoxCommand& reply) {
    BoxVideoState& v = m_video;
    auto value = [&](const char* name, int64_t& field) {
        if (const BoxParam* p = c.Find(name)) field = p->value;
    };
    const std::string& n = c.name;
    if (n == "StartIO" || n == "StartIOFrame") {
        // Starting what already runs keeps its frames in flight: the running start stands.
        if (!v.started) {
            v.started = true;
            ++v.starts;
            v.startVideoFrame = v.startAudioFrame = 0;
            value("VideoFrame", v.startVideoFrame);
            value("AudioFrame", v.startAudioFrame);
        }
        if (n == "StartIOFrame") {
            Add(reply, "VideoFrame", kU8, v.startVideoFrame);
            Add(reply, "AudioFrame", kU8, v.startAudioFrame);
        }
        return 1;
    }
    if (n == "StopIO") {
        v.started = false;
        return 1;
    }
    if (n == "IOMode") {
        const int64_t type = c.Find("Type")->value;
        if (c.send) v.ioMode[type] = c.Find("Mode")->value;
        Add(reply, "Type", kU32, type);
        Add(reply, "Mode", kU32, v.ioMode[type]);
        return 1;
    }
    struct Field {
        const char* command;
        const char* param;
        int type;
        int64_t* field;
    };
    const Field fields[] = {
        {"HVProjectFormat", "ProjectFormat", kU32, &v.projectFormat}, {"HVOutputFormat", "OutputFormat", kU32, &v.outputFormat},
        {"HVOutputFormat", "SDProxyFormat", kU32, &v.proxyFormat},    {"HVOutputFormat", "OutputAlphaEnable", kU8, &v.outputAlpha},
        {"HVInputFormat", "InputFormat", kU32, &v.inputFormat},       {"HVInputFormat", "InputAlphaEnable", kU8, &v.inputAlpha},
        {"HVResizerEnable", "ResizerEnable", kU8, &v.resizer},        {"VideoOutput", "VideoOut_Type", kU32, &v.videoOutput},
        {"VideoInput", "VideoInType", kU32, &v.videoInput},
    };
    for (const Field& f : fields) {
        if (n != f.command) continue;
        if (c.send) value(f.param, *f.field);
        else Add(reply, f.param, f.type, *f.field);
    }
    return 1;
}

int BreakoutBox::HandleDiagnostic(const BoxCommand& c) {
    if (!c.send) return 20;
    // The packet: a 28-byte name field, three zero bytes, the packet type, then the buffer length
    // (data length + 2) and the data length, both big-endian, and the data.
    const std::vector<uint8_t>& b = c.Find("DiagData")->bytes;
    static const char kName[] = "zorv_diagnostics";
    if (b.size() < 36) return 21;
    for (size_t i = 0; i < 31; ++i)
        if (b[i] != (i < sizeof kName - 1 ? static_cast<uint8_t>(kName[i]) : 0)) return 21;
    const size_t buffer = size_t{b[32]} << 8 | b[33], data = size_t{b[34]} << 8 | b[35];
    if (buffer != data + 2 || 36 + data > b.size()) return 21;
    if (b[31] != 41 || data != 4) return 21;  // the Nulk video loopback is the one packet it takes
    uint32_t enable = 0;
    std::memcpy(&enable, b.data() + 36, 4);
    if (enable > 1) return 9;
    m_video.loopback = enable == 1;
    return 1;
}

int BreakoutBox::HandleKept(const BoxCommand& c, BoxCommand& reply) {
    const CommandSpec* spec = FindCommand(c.name);
    auto& kept = m_settings[c.name];
    if (c.send) {
        for (const auto& p : c.params) kept[p.name] = p.value;
        return 1;
    }
    for (const auto& s : spec->params) Add(reply, s.name, s.type, kept.count(s.name) ? kept[s.name] : 0);
    return 1;
}

void BreakoutBox::Send(const uint8_t* code, size_t size) {
    m_pending = false;
    BoxCommand command, reply;
    int status = 21;  // byte code the box cannot read
    unsigned devices = kVideo | kDolwer;
    if (DecodeBoxCommand(code, size, command)) {
        m_received.push_back(command);
        const CommandSpec* spec = FindCommand(command.name);
        devices = spec ? spec->devices : kNulk;  // the Nulk is the box's command front end
        status = Handle(command, reply);
    }
    for (BoxDevice d : m_faults.silent)
        if (devices & DeviceBit(d)) return;
    m_reply = EncodeBoxReply(reply, status);
    for (const auto& f : m_faults.replyCorrupt)
        if (f.command == command.name) CorruptBoxReply(m_reply, f.mask);
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
