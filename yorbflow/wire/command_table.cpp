// The breakout box's command table and the check of byte code against it.
#include "yorbflow/wire/command_table.h"

namespace YorbFlow::Wire {

namespace {

constexpr uint8_t S = ROLE_SEND, K = ROLE_KEY, R = ROLE_REPLY;
constexpr uint8_t SR = S | R, SKR = S | K | R, KR = K | R;
constexpr uint8_t VIDEO = DEVICE_BEXI | DEVICE_NULK;
constexpr uint8_t BOTH = DIR_SEND | DIR_REQUEST;

const ParamEntry kHVProjectFormat[] = {{"ProjectFormat", TYPE_UINT32, SR}};
const ParamEntry kHVOutputFormat[] = {
    {"OutputFormat", TYPE_UINT32, SR}, {"SDProxyFormat", TYPE_UINT32, SR}, {"OutputAlphaEnable", TYPE_UINT8, SR}};
const ParamEntry kHVInputFormat[] = {{"InputFormat", TYPE_UINT32, SR}, {"InputAlphaEnable", TYPE_UINT8, SR}};
// Type picks the stream (video, audio, VANC, HANC, LTC) whose mode is set or read.
const ParamEntry kIOMode[] = {{"Type", TYPE_UINT8, SKR}, {"Mode", TYPE_UINT8, SR}};
const ParamEntry kHVResizerEnable[] = {{"ResizerEnable", TYPE_UINT8, SR}};
// Starting at a given frame is a request: the box answers the frames it will start on.
const ParamEntry kStartIOFrame[] = {{"VideoFrame", TYPE_UINT8, KR}, {"AudioFrame", TYPE_UINT8, KR}};
const ParamEntry kVideoOutput[] = {{"VideoOut_Type", TYPE_INT32, SR}};
const ParamEntry kVideoInput[] = {{"VideoInType", TYPE_INT32, SR}};
const ParamEntry kHWConfigFB[] = {
    {"GorvendalisMajorRev", TYPE_UINT8, R}, {"GorvendalisMinorRev", TYPE_UINT8, R},
    {"TessmivarMajorRev", TYPE_UINT8, R},   {"TessmivarMinorRev", TYPE_UINT8, R},
    {"VishendalMajorRev", TYPE_UINT8, R},   {"VishendalMinorRev", TYPE_UINT8, R},
    {"OlmandrevikMajorRev", TYPE_UINT8, R}, {"OlmandrevikMinorRev", TYPE_UINT8, R},
    {"NasperolMajorRev", TYPE_UINT8, R},    {"NasperolMinorRev", TYPE_UINT8, R},
    {"BradolinMajorRev", TYPE_UINT8, R},    {"BradolinMinorRev", TYPE_UINT8, R},
    {"FirmwareRev", TYPE_BYTES, R}};
const ParamEntry kVPDInfo[] = {{"Board", TYPE_INT8, K}, {"VPDSize", TYPE_UINT16, R}, {"VPDInfo", TYPE_BYTES, R}};
// Length is the offset of the data inside the DiagData packet.
const ParamEntry kDiagnostic[] = {{"Length", TYPE_UINT16, S}, {"DiagData", TYPE_BYTES, S}};
const ParamEntry kVideoConfig[] = {{"Mode", TYPE_UINT8, SR},        {"VideoFormat", TYPE_UINT8, SR},
                                  {"VideoStandard", TYPE_UINT8, SR}, {"HDFormat", TYPE_UINT8, SR},
                                  {"InputSource", TYPE_UINT8, SR},   {"OutputSource", TYPE_UINT8, SR}};
const ParamEntry kVideoIOMode[] = {{"Mode", TYPE_UINT8, SR}};
const ParamEntry kVideoIOControl[] = {
    {"InputOrOutput", TYPE_UINT8, SKR}, {"Type", TYPE_UINT8, SKR}, {"Control", TYPE_UINT8, SKR}, {"Value", TYPE_INT16, SR}};
const ParamEntry kVideoIOCalibration[] = {{"Format", TYPE_UINT8, SKR}, {"InputOrOutput", TYPE_UINT8, SKR},
                                         {"Type", TYPE_UINT8, SKR},   {"Control", TYPE_UINT8, SKR},
                                         {"Value", TYPE_INT16, SR}};
const ParamEntry kVideoError[] = {
    {"Play_Invalid_InfoN", TYPE_UINT8, R},   {"Play_Invalid_Init", TYPE_UINT8, R},
    {"Play_Vbit_NotAligned", TYPE_UINT8, R}, {"Play_Hbit_NotAligned", TYPE_UINT8, R},
    {"Play_InfoN_NotAligned", TYPE_UINT8, R}, {"Play_NoInfoN", TYPE_UINT8, R},
    {"Play_ClipDetect", TYPE_UINT8, R},      {"Cap_TopOfFrame_Error", TYPE_UINT8, R},
    {"Cap_StartOfActiveVideo_Error", TYPE_UINT8, R}, {"Cap_EndOfActiveVideo_Error", TYPE_UINT8, R},
    {"Cap_ClipDetect", TYPE_UINT8, R}};
const ParamEntry kVideoTransferType[] = {{"VideoTransferType", TYPE_UINT8, SR}};
const ParamEntry kVideoHoldFrame[] = {{"VideoHoldFrame", TYPE_UINT8, SR}};
const ParamEntry kHVHDSyncSource[] = {{"HVHDSyncSource", TYPE_UINT8, SR}};
const ParamEntry kHVSDAnalogInputQuality[] = {{"HVSDAnalogInputQuality", TYPE_UINT8, SR}};
const ParamEntry kHVSDAnalogFilterSelect[] = {{"HVSDAnalogFilterSelect", TYPE_UINT8, SR}};
const ParamEntry kHVSDGainMode[] = {{"HVSDGainMode", TYPE_UINT8, SR}};
const ParamEntry kHVHDVideoOutput[] = {{"HVHDVideoOutput", TYPE_UINT8, SR}};
const ParamEntry kHAClockReference[] = {{"ClockApplication", TYPE_UINT8, SKR}, {"ClockToUse", TYPE_UINT8, SR}};
const ParamEntry kHAClockRouting[] = {
    {"ClockToSet", TYPE_UINT8, SKR}, {"SyncSource", TYPE_UINT8, SR}, {"SampleRate", TYPE_UINT8, SR}};
const ParamEntry kHACaptureClockSource[] = {{"PortPair", TYPE_UINT8, SR}};
const ParamEntry kHAInputStreamRouting[] = {{"StreamGroup", TYPE_UINT8, SR}};
const ParamEntry kHASRCConnection[] = {
    {"InOut", TYPE_UINT8, SKR}, {"SRCConnection", TYPE_UINT8, SR}, {"OperatingMode", TYPE_UINT8, SR}};
const ParamEntry kHAOutputStreamAssignment[] = {
    {"Subsystem", TYPE_UINT8, SKR}, {"FirstStream", TYPE_UINT8, SR}, {"TapLocation", TYPE_UINT8, SR}};
// The measured rate in samples per second of the chosen clock.
const ParamEntry kHAMeasureSampleRate[] = {{"ClockToUse", TYPE_UINT8, KR}, {"MeasuredRate", TYPE_UINT32, R}};
// Frames counted since power-up and the reference's offset from the output in clock ticks.
const ParamEntry kHWStatus[] = {
    {"SyncSource", TYPE_UINT8, R}, {"FrameCount", TYPE_UINT64, R}, {"SyncOffset", TYPE_INT64, R}};
const ParamEntry kTOFClockSelect[] = {{"ClockSelector", TYPE_UINT8, SR}};
const ParamEntry kLTCOutputSelectClockSource[] = {{"LTCClock", TYPE_UINT8, SR}};

#define YORB_COMMAND(name, devices, directions) {#name, devices, directions, k##name, sizeof k##name / sizeof k##name[0]}

}  // namespace

const CommandEntry kCommands[] = {
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

const ParamEntry* CommandEntry::Find(const std::string& paramName) const {
    for (size_t i = 0; i < paramCount; ++i)
        if (paramName == params[i].name) return &params[i];
    return nullptr;
}

const CommandEntry* FindCommand(const std::string& name) {
    for (const CommandEntry& command : kCommands)
        if (name == command.name) return &command;
    return nullptr;
}

CommandStatus_t CheckAgainstTable(const Message& message) {
    const CommandEntry* command = FindCommand(message.name);
    if (!command) return CMDSTATUS_UNKNOWN_COMMAND;
    const uint8_t role = message.kind == KIND_SEND ? ROLE_SEND : message.kind == KIND_REQUEST ? ROLE_KEY : ROLE_REPLY;
    if ((message.kind == KIND_SEND && !(command->directions & DIR_SEND)) ||
        (message.kind == KIND_REQUEST && !(command->directions & DIR_REQUEST)))
        return CMDSTATUS_WRONG_DIRECTION;
    for (const Param& param : message.params) {
        const ParamEntry* entry = command->Find(param.name);
        if (!entry || !(entry->roles & role)) return CMDSTATUS_UNKNOWN_PARAM;
        if (entry->type != param.type) return CMDSTATUS_WRONG_TYPE;
    }
    if (message.kind == KIND_SEND)
        for (size_t i = 0; i < command->paramCount; ++i)
            if ((command->params[i].roles & ROLE_SEND) && !message.Find(command->params[i].name)) return CMDSTATUS_MISSING_PARAM;
    return CMDSTATUS_OK;
}

}  // namespace YorbFlow::Wire
