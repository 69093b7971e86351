// The breakout box's command table and the check of byte code against it.
#include "yorbflow/wire/command_table.h"

namespace YorbFlow::Wire {

namespace {

constexpr uint8_t S = ROLE_SEND, K = ROLE_KEY, R = ROLE_REPLY;
constexpr uint8_t SR = S | R, SKR = S | K | R, KR = K | R;
constexpr uint8_t VIDEO = DEVICE_BEXI | DEVICE_NULK;
constexpr uint8_t BOTH = DIR_SEND | DIR_REQUEST;

const ParamSpec kHVProjectFormat[] = {{"ProjectFormat", TYPE_UINT32, SR}};
const ParamSpec kHVOutputFormat[] = {
    {"OutputFormat", TYPE_UINT32, SR}, {"SDProxyFormat", TYPE_UINT32, SR}, {"OutputAlphaEnable", TYPE_UINT8, SR}};
const ParamSpec kHVInputFormat[] = {{"InputFormat", TYPE_UINT32, SR}, {"InputAlphaEnable", TYPE_UINT8, SR}};
// Type picks the stream (video, audio, VANC, HANC, LTC) whose mode is set or read.
const ParamSpec kIOMode[] = {{"Type", TYPE_UINT8, SKR}, {"Mode", TYPE_UINT8, SR}};
const ParamSpec kHVResizerEnable[] = {{"ResizerEnable", TYPE_UINT8, SR}};
// Starting at a given frame is a request: the box answers the frames it will start on.
const ParamSpec kStartIOFrame[] = {{"VideoFrame", TYPE_UINT8, KR}, {"AudioFrame", TYPE_UINT8, KR}};
const ParamSpec kVideoOutput[] = {{"VideoOut_Type", TYPE_INT32, SR}};
const ParamSpec kVideoInput[] = {{"VideoInType", TYPE_INT32, SR}};
const ParamSpec kHWConfigFB[] = {
    {"GorvendalisMajorRev", TYPE_UINT8, R}, {"GorvendalisMinorRev", TYPE_UINT8, R},
    {"TessmivarMajorRev", TYPE_UINT8, R},   {"TessmivarMinorRev", TYPE_UINT8, R},
    {"VishendalMajorRev", TYPE_UINT8, R},   {"VishendalMinorRev", TYPE_UINT8, R},
    {"OlmandrevikMajorRev", TYPE_UINT8, R}, {"OlmandrevikMinorRev", TYPE_UINT8, R},
    {"NasperolMajorRev", TYPE_UINT8, R},    {"NasperolMinorRev", TYPE_UINT8, R},
    {"BradolinMajorRev", TYPE_UINT8, R},    {"BradolinMinorRev", TYPE_UINT8, R},
    {"FirmwareRev", TYPE_BYTES, R}};
const ParamSpec kVPDInfo[] = {{"Board", TYPE_INT8, K}, {"VPDSize", TYPE_UINT16, R}, {"VPDInfo", TYPE_BYTES, R}};
// Length is the offset of the data inside the DiagData packet.
const ParamSpec kDiagnostic[] = {{"Length", TYPE_UINT16, S}, {"DiagData", TYPE_BYTES, S}};
const ParamSpec kVideoConfig[] = {{"Mode", TYPE_UINT8, SR},        {"VideoFormat", TYPE_UINT8, SR},
                                  {"VideoStandard", TYPE_UINT8, SR}, {"HDFormat", TYPE_UINT8, SR},
                                  {"InputSource", TYPE_UINT8, SR},   {"OutputSource", TYPE_UINT8, SR}};
const ParamSpec kVideoIOMode[] = {{"Mode", TYPE_UINT8, SR}};
const ParamSpec kVideoIOControl[] = {
    {"InputOrOutput", TYPE_UINT8, SKR}, {"Type", TYPE_UINT8, SKR}, {"Control", TYPE_UINT8, SKR}, {"Value", TYPE_INT16, SR}};
const ParamSpec kVideoIOCalibration[] = {{"Format", TYPE_UINT8, SKR}, {"InputOrOutput", TYPE_UINT8, SKR},
                                         {"Type", TYPE_UINT8, SKR},   {"Control", TYPE_UINT8, SKR},
                                         {"Value", TYPE_INT16, SR}};
const ParamSpec kVideoError[] = {
    {"Play_Invalid_InfoN", TYPE_UINT8, R},   {"Play_Invalid_Init", TYPE_UINT8, R},
    {"Play_Vbit_NotAligned", TYPE_UINT8, R}, {"Play_Hbit_NotAligned", TYPE_UINT8, R},
    {"Play_InfoN_NotAligned", TYPE_UINT8, R}, {"Play_NoInfoN", TYPE_UINT8, R},
    {"Play_ClipDetect", TYPE_UINT8, R},      {"Cap_TopOfFrame_Error", TYPE_UINT8, R},
    {"Cap_StartOfActiveVideo_Error", TYPE_UINT8, R}, {"Cap_EndOfActiveVideo_Error", TYPE_UINT8, R},
    {"Cap_ClipDetect", TYPE_UINT8, R}};
const ParamSpec kVideoTransferType[] = {{"VideoTransferType", TYPE_UINT8, SR}};
const ParamSpec kVideoHoldFrame[] = {{"VideoHoldFrame", TYPE_UINT8, SR}};
const ParamSpec kHVHDSyncSource[] = {{"HVHDSyncSource", TYPE_UINT8, SR}};
const ParamSpec kHVSDAnalogInputQuality[] = {{"HVSDAnalogInputQuality", TYPE_UINT8, SR}};
const ParamSpec kHVSDAnalogFilterSelect[] = {{"HVSDAnalogFilterSelect", TYPE_UINT8, SR}};
const ParamSpec kHVSDGainMode[] = {{"HVSDGainMode", TYPE_UINT8, SR}};
const ParamSpec kHVHDVideoOutput[] = {{"HVHDVideoOutput", TYPE_UINT8, SR}};
const ParamSpec kHAClockReference[] = {{"ClockApplication", TYPE_UINT8, SKR}, {"ClockToUse", TYPE_UINT8, SR}};
const ParamSpec kHAClockRouting[] = {
    {"ClockToSet", TYPE_UINT8, SKR}, {"SyncSource", TYPE_UINT8, SR}, {"SampleRate", TYPE_UINT8, SR}};
const ParamSpec kHACaptureClockSource[] = {{"PortPair", TYPE_UINT8, SR}};
const ParamSpec kHAInputStreamRouting[] = {{"StreamGroup", TYPE_UINT8, SR}};
const ParamSpec kHASRCConnection[] = {
    {"InOut", TYPE_UINT8, SKR}, {"SRCConnection", TYPE_UINT8, SR}, {"OperatingMode", TYPE_UINT8, SR}};
const ParamSpec kHAOutputStreamAssignment[] = {
    {"Subsystem", TYPE_UINT8, SKR}, {"FirstStream", TYPE_UINT8, SR}, {"TapLocation", TYPE_UINT8, SR}};
// The measured rate in samples per second of the chosen clock.
const ParamSpec kHAMeasureSampleRate[] = {{"ClockToUse", TYPE_UINT8, KR}, {"MeasuredRate", TYPE_UINT32, R}};
// Frames counted since power-up and the reference's offset from the output in clock ticks.
const ParamSpec kHWStatus[] = {
    {"SyncSource", TYPE_UINT8, R}, {"FrameCount", TYPE_UINT64, R}, {"SyncOffset", TYPE_INT64, R}};
const ParamSpec kTOFClockSelect[] = {{"ClockSelector", TYPE_UINT8, SR}};
const ParamSpec kLTCOutputSelectClockSource[] = {{"LTCClock", TYPE_UINT8, SR}};

#define YORB_COMMAND(name, devices, directions) {#name, devices, directions, k##name, sizeof k##name / sizeof k##name[0]}

}  // namespace

const CommandSpec kCommands[] = {
    YORB_COMMAND(HVProjectFormat, VIDEO, BOTH),
    YORB_COMMAND(HVOutputFormat, VIDEO, BOTH),
    YORB_COMMAND(HVInputFormat, VIDEO, BOTH),
    YORB_COMMAND(IOMode, VIDEO, BOTH),
    YORB_COMMAND(HVResizerEnable, VIDEO, BOTH),
    {"StartIO", VIDEO, DIR_SEND, nullptr, 0},
    YORB_COMMAND(StartIOFrame, VIDEO, DIR_REQUEST),
    {"StopIO", VIDEO, DIR_SEND, nullptr, 0},
    YORB_COMMAND(VideoOutput, DEVICE_NULK, BOTH),
    YORB_COMMAND(VideoInput, DEVICE_NULK, BOTH),
    YORB_COMMAND(HWConfigFB, DEVICE_NULK, DIR_REQUEST),
    YORB_COMMAND(VPDInfo, DEVICE_NULK, DIR_REQUEST),
    YORB_COMMAND(Diagnostic, DEVICE_NULK, DIR_SEND),
    YORB_COMMAND(VideoConfig, DEVICE_NULK, BOTH),
    YORB_COMMAND(VideoIOMode, DEVICE_NULK, BOTH),
    YORB_COMMAND(VideoIOControl, DEVICE_NULK, BOTH),
    YORB_COMMAND(VideoIOCalibration, DEVICE_NULK, BOTH),
    YORB_COMMAND(VideoError, DEVICE_NULK, DIR_REQUEST),
    YORB_COMMAND(VideoTransferType, DEVICE_NULK, BOTH),
    YORB_COMMAND(VideoHoldFrame, DEVICE_NULK, BOTH),
    YORB_COMMAND(HVHDSyncSource, DEVICE_BEXI, BOTH),
    YORB_COMMAND(HVSDAnalogInputQuality, DEVICE_NULK, BOTH),
    YORB_COMMAND(HVSDAnalogFilterSelect, DEVICE_NULK, BOTH),
    YORB_COMMAND(HVSDGainMode, DEVICE_NULK, BOTH),
    YORB_COMMAND(HVHDVideoOutput, DEVICE_BEXI, BOTH),
    YORB_COMMAND(HAClockReference, DEVICE_DOLWER, BOTH),
    YORB_COMMAND(HAClockRouting, DEVICE_DOLWER, BOTH),
    YORB_COMMAND(HACaptureClockSource, DEVICE_DOLWER, BOTH),
    YORB_COMMAND(HAInputStreamRouting, DEVICE_DOLWER, BOTH),
    YORB_COMMAND(HASRCConnection, DEVICE_DOLWER, BOTH),
    YORB_COMMAND(HAOutputStreamAssignment, DEVICE_DOLWER, BOTH),
    YORB_COMMAND(HAMeasureSampleRate, DEVICE_DOLWER, DIR_REQUEST),
    YORB_COMMAND(HWStatus, DEVICE_NULK, DIR_REQUEST),
    YORB_COMMAND(TOFClockSelect, DEVICE_DOLWER, BOTH),
    YORB_COMMAND(LTCOutputSelectClockSource, DEVICE_DOLWER, BOTH),
};
const size_t kCommandCount = sizeof kCommands / sizeof kCommands[0];

#undef YORB_COMMAND

const ParamSpec* CommandSpec::Find(const std::string& paramName) const {
    for (size_t i = 0; i < paramCount; ++i)
        if (paramName == params[i].name) return &params[i];
    return nullptr;
}

const CommandSpec* FindCommand(const std::string& name) {
    for (const CommandSpec& command : kCommands)
        if (name == command.name) return &command;
    return nullptr;
}

CommandStatus_t CheckAgainstTable(const Message& message) {
    const CommandSpec* command = FindCommand(message.name);
    if (!command) return CMDSTATUS_UNKNOWN_COMMAND;
    const uint8_t role = message.kind == KIND_SEND ? ROLE_SEND : message.kind == KIND_REQUEST ? ROLE_KEY : ROLE_REPLY;
    if ((message.kind == KIND_SEND && !(command->directions & DIR_SEND)) ||
        (message.kind == KIND_REQUEST && !(command->directions & DIR_REQUEST)))
        return CMDSTATUS_WRONG_DIRECTION;
    for (const Param& param : message.params) {
        const ParamSpec* spec = command->Find(param.name);
        if (!spec || !(spec->roles & role)) return CMDSTATUS_UNKNOWN_PARAM;
        if (spec->type != param.type) return CMDSTATUS_WRONG_TYPE;
    }
    if (message.kind == KIND_SEND)
        for (size_t i = 0; i < command->paramCount; ++i)
            if ((command->params[i].roles & ROLE_SEND) && !message.Find(command->params[i].name)) return CMDSTATUS_MISSING_PARAM;
    return CMDSTATUS_OK;
}

}  // namespace YorbFlow::Wire
