// The Bexi and Nulk command methods and the Nulk diagnostic command.
#include "breakout/yorb_commands.h"

#include <cstring>

#include "yorbflow/yorb_command.h"

int CYorbVideoDevice::SendCommand(const char* command, std::initializer_list<std::pair<const char*, int>> params) {
    if (!SetCommand(command)) return 0;
    for (const auto& [name, value] : params) {
        CString text;
        text.Format("%d", value);
        if (!AddParam(name, text)) return 0;
    }
    return Send(m_errorText);
}

int CYorbVideoDevice::SetHVProjectFormat(int format) {
    return SendCommand("SetHVProjectFormat", {{"ProjectFormat", format}});
}

int CYorbVideoDevice::SetHVInputFormat(int format, int alphaEnable) {
    return SendCommand("SetHVInputFormat", {{"InputFormat", format}, {"InputAlphaEnable", alphaEnable}});
}

int CYorbVideoDevice::SetIOMode(int type, int mode) {
    return SendCommand("SetIOMode", {{"Type", type}, {"Mode", mode}});
}

int CYorbVideoDevice::SetHVResizerEnable(BYTE value) {
    return SendCommand("SetHVResizerEnable", {{"ResizerEnable", value}});
}

int CYorbVideoDevice::SetStartIO(BYTE videoFrame, BYTE audioFrame) {
    if (videoFrame == 0) return SendCommand("SetStartIO", {});
    return SendCommand("GetStartIOFrame", {{"VideoFrame", videoFrame}, {"AudioFrame", audioFrame}});
}

int CYorbVideoDevice::SetStopIO() { return SendCommand("SetStopIO", {}); }

int CYorbBexi::SetHVOutputFormat(int format, int proxyFormat, int alphaEnable) {
    return SendCommand("SetHVOutputFormat",
                       {{"OutputFormat", format}, {"SDProxyFormat", proxyFormat}, {"OutputAlphaEnable", alphaEnable}});
}

int CYorbNulk::SetHVOutputFormat(int format, int alphaEnable) {
    return SendCommand("SetHVOutputFormat",
                       {{"OutputFormat", format}, {"SDProxyFormat", 0}, {"OutputAlphaEnable", alphaEnable}});
}

int CYorbNulk::SetVideoOutput(int type, int) { return SendCommand("SetVideoOutput", {{"VideoOut_Type", type}}); }

int CYorbNulk::SetVideoInput(int type, int) { return SendCommand("SetVideoInput", {{"VideoInType", type}}); }

int CYorbNulk::GetHWConfigFB(HWConfigFBRecord* record) {
    static const char* const kRevisions[12] = {
        "GorvendalisMajorRev", "GorvendalisMinorRev", "TessmivarMajorRev",   "TessmivarMinorRev",
        "VishendalMajorRev",   "VishendalMinorRev",   "OlmandrevikMajorRev", "OlmandrevikMinorRev",
        "NasperolMajorRev",    "NasperolMinorRev",    "BradolinMajorRev",    "BradolinMinorRev"};
    YorbFlow::YorbCommand reply;
    if (!SetCommand("GetHWConfigFB") || !Send(m_errorText, &reply)) return 0;
    BYTE revisions[12] = {};
    DWORD size = 1;
    for (int i = 0; i < 12; ++i)
        if (!GetReplyParam("HWConfigFB", kRevisions[i], reply, &revisions[i], &size)) return 0;
    std::memcpy(record->revisions, revisions, sizeof revisions);
    if (!GetReplyParam("HWConfigFB", "FirmwareRev", reply, nullptr, &size)) return 0;
    // A longer text is cut to the record's capacity rather than written past it.
    if (size > HWConfigFBRecord::kFirmwareRevCapacity) size = HWConfigFBRecord::kFirmwareRevCapacity;
    if (!GetReplyParam("HWConfigFB", "FirmwareRev", reply, record->firmwareRev, &size)) return 0;
    record->firmwareRev[size] = '\0';
    return 1;
}

int CYorbNulk::GetVPDInfo(signed char board, BYTE* buffer, DWORD capacity) {
    YorbFlow::YorbCommand reply;
    CString text;
    text.Format("%d", board);
    if (!SetCommand("GetVPDInfo") || !AddParam("Board", text) || !Send(m_errorText, &reply)) return 0;
    DWORD width = 0;
    if (!GetReplyParam("VPDInfo", "VPDSize", reply, nullptr, &width)) return 0;
    // The size comes as an unsigned number of 1, 2 or 4 bytes; any other width counts as none.
    DWORD vpdSize = 0;
    if (width == 1 || width == 2 || width == 4) {
        BYTE bytes[4] = {};
        if (!GetReplyParam("VPDInfo", "VPDSize", reply, bytes, &width)) return 0;
        WORD word = 0;
        std::memcpy(&word, bytes, sizeof word);
        if (width == 1) vpdSize = bytes[0];
        if (width == 2) vpdSize = word;
        if (width == 4) std::memcpy(&vpdSize, bytes, sizeof vpdSize);
    }
    if (vpdSize == 0 || vpdSize > capacity) return 0;
    // The read is given the rounded size, but never more than the buffer holds.
    DWORD size = RoundUp4(vpdSize) < capacity ? RoundUp4(vpdSize) : capacity;
    return GetReplyParam("VPDInfo", "VPDInfo", reply, buffer, &size);
}

namespace Nulk {

int CYorbDiagData::ResolveParamTypes() {
    return GetParamType(m_lengthName, &m_type) && GetParamType(m_dataName, &m_type) ? 1 : 0;
}

int CYorbDiagData::BuildCommand(YorbFlow::YorbCommand& command) {
    if (!SetCommand(m_commandName) || !ResolveParamTypes()) return 0;
    // Only a byte stream can carry the packet.
    if (m_type != kBytes || !m_packet) return 0;
    command.SetCommandName(GetYorbName().c_str());
    command.SetupSendCommand();
    command.SetParamUInt16(m_lengthName.c_str(), kDataOffset);
    command.SetParamByteStream(m_dataName.c_str(), m_packet->GetBytes(), RoundUp4(m_packet->GetLength()));
    return 1;
}

}  // namespace Nulk
