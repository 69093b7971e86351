// The breakout-box command interface: naming, typing, parsing, building, sending, reply reading.
#include "breakout/yorb_interface.h"

#include <cstdint>
#include <cstring>

#include "breakout/yorb_error_text.h"
#include "devlib/devices.h"
#include "yorbflow/yorb_command.h"

namespace {

// Type texts by code, searched from code 1 upward; code 0 is never matched.
const char* const kTypeStrings[] = {"Error", "INT8", "INT16", "INT32", "INT64", "UINT8", "UINT16", "UINT32",
                                    "UINT64", "BYTES"};
const DWORD kTypeWidths[] = {0, 1, 2, 4, 8, 1, 2, 4, 8, 0};
constexpr int kTypeCount = sizeof kTypeStrings / sizeof kTypeStrings[0];
constexpr size_t kTypeTextBytes = 20;

int TypeFromString(const char* text) {
    for (int code = 1; code < kTypeCount; ++code)
        if (std::strcmp(text, kTypeStrings[code]) == 0) return code;
    return CYorbInterface::kTypeError;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

int HexValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

}  // namespace

CYorbFlowDevice* CYorbInterface::SetDevice(CYorbFlowDevice* device) {
    CYorbFlowDevice* previous = m_device;
    m_device = device;
    return previous;
}

CString CYorbInterface::GetYorbName() const { return m_command.GetLength() > 3 ? m_command.Mid(3) : CString(); }

int CYorbInterface::IsSetCommand() const { return m_command.Left(3).CompareNoCase("SET") == 0 ? 1 : 0; }

int CYorbInterface::SetCommand(const CString& name) {
    if (name.IsEmpty()) return 0;
    const CString yorbName = name.GetLength() > 3 ? name.Mid(3) : CString();
    if (!IsValidCommand(yorbName)) return 0;
    m_command = name;
    return 1;
}

int CYorbInterface::AddParam(const CString& name, const CString& value) {
    int type = 0;
    if (!GetParamType(name, &type)) return 0;
    m_params.push_back({name, value, type});
    return 1;
}

int CYorbInterface::IsValidCommand(const CString& yorbName) {
    YorbFlow::YorbCommandByteCode byteCode;
    YorbFlow::YorbCommand command(yorbName.c_str());
    YorbFlow::CommandStatus_t status = YorbFlow::CMDSTATUS_OK;
    const bool compiled = YorbFlow::YorbCommandFactory::CompileYorbByteCode(command, byteCode, nullptr, &status);
    // Missing parameters and the like still name a known command.
    return !compiled && status == YorbFlow::CMDSTATUS_UNKNOWN_COMMAND ? 0 : 1;
}

int CYorbInterface::FindParamType(const CString& yorbName, const CString& paramName) {
    char text[kTypeTextBytes] = {};
    if (!YorbFlow::YorbCommandFactory::GetCommandParamTypeCodeString(yorbName.c_str(), paramName.c_str(),
                                                                     kTypeTextBytes, text))
        return kTypeError;
    text[kTypeTextBytes - 1] = '\0';
    return TypeFromString(text);
}

int CYorbInterface::GetParamType(const CString& paramName, int* type) {
    *type = kTypeError;
    const CString yorbName = GetYorbName();
    if (yorbName.IsEmpty() || !IsValidCommand(yorbName)) return 0;
    const int code = FindParamType(yorbName, paramName);
    if (code == kTypeError) return 0;
    *type = code;
    return 1;
}

DWORD CYorbInterface::TypeWidth(int type) { return type >= 0 && type < kTypeCount ? kTypeWidths[type] : 0; }

int CYorbInterface::ParseValue(const CString& text, DWORD* value) {
    const char* s = text.c_str();
    const int length = text.GetLength();
    // Only what fits 32 bits is a number; anything longer goes as a symbol, which the library refuses.
    if (text.Find("0x") >= 0) {
        uint64_t v = 0;
        for (int i = 2; i < length; ++i) {
            if (!IsHexDigit(s[i])) return 0;
            v = (v << 4) | static_cast<uint64_t>(HexValue(s[i]));
            if (v > 0xFFFFFFFFu) return 0;
        }
        *value = static_cast<DWORD>(v);
        return 1;
    }
    uint64_t v = 0;
    for (int i = 0; i < length; ++i) {
        if (s[i] < '0' || s[i] > '9') return 0;
        v = v * 10 + static_cast<uint64_t>(s[i] - '0');
        if (v > 0xFFFFFFFFu) return 0;
    }
    if (length > 0) *value = static_cast<DWORD>(v);
    return 1;
}

int CYorbInterface::BuildCommand(YorbFlow::YorbCommand& command) {
    const CString yorbName = GetYorbName();
    command.SetCommandName(yorbName.c_str());
    if (IsSetCommand())
        command.SetupSendCommand();
    else
        command.SetupRequestDataCommand();
    m_refusal.Empty();
    for (const YorbParam& p : m_params) {
        DWORD value = 0;
        const char* name = p.name.c_str();
        if (!ParseValue(p.value, &value)) {
            command.SetParamBySymbol(name, p.value.c_str());
            continue;
        }
        // A number wider than its parameter is refused, never cut to the type's width (a signed
        // type takes the bit pattern of its width: 0xFF is -1 for an INT8).
        const DWORD width = TypeWidth(p.type);
        if (width > 0 && width < 4 && (value >> (8 * width)) != 0) {
            m_refusal.Format("%s=%s does not fit its %s parameter", name, p.value.c_str(), kTypeStrings[p.type]);
            return 0;
        }
        switch (p.type) {
            case kInt8: command.SetParamInt8(name, static_cast<int8_t>(value)); break;
            case kInt16: command.SetParamInt16(name, static_cast<int16_t>(value)); break;
            case kInt32: command.SetParamInt32(name, static_cast<int32_t>(value)); break;
            case kInt64: command.SetParamInt64(name, static_cast<int64_t>(value)); break;
            case kUInt8: command.SetParamUInt8(name, static_cast<uint8_t>(value)); break;
            case kUInt16: command.SetParamUInt16(name, static_cast<uint16_t>(value)); break;
            case kUInt32: command.SetParamUInt32(name, value); break;
            case kUInt64: command.SetParamUInt64(name, static_cast<uint64_t>(value)); break;
            default: return 0;  // a number cannot stand for a byte stream
        }
    }
    return 1;
}

int CYorbInterface::Send(CString& errorText, YorbFlow::YorbCommand* reply) {
    YorbFlow::YorbCommand command;
    YorbFlow::YorbCommand localReply;
    if (!m_device) return 0;
    if (!BuildCommand(command)) {
        if (!m_refusal.IsEmpty()) errorText = m_refusal;
        return 0;
    }
    const DWORD result = static_cast<DWORD>(m_device->DoYorbCommand(command, &localReply, 0, nullptr));
    if (result == CYorbErrorText::kSuccess) {
        m_command.Empty();
        m_params.clear();
        if (reply) *reply = localReply;
        return 1;
    }
    if (const char* text = CYorbErrorText::Lookup(result)) errorText = text;
    return 0;
}

int CYorbInterface::GetReplyParam(const CString& yorbName, const CString& paramName, const YorbFlow::YorbCommand& reply,
                                  void* output, DWORD* size) const {
    if (!m_device) return 0;
    const int type = FindParamType(yorbName, paramName);
    if (type == kTypeError) return 0;
    const char* name = paramName.c_str();
    DWORD width = TypeWidth(type);
    if (type == kBytes) {
        size_t length = 0;
        width = reply.GetParamByteStreamLength(name, length) ? RoundUp4(static_cast<DWORD>(length)) : 0;
    }
    if (!output) {
        *size = width;
        return 1;
    }
    if (type != kBytes) {
        // The value is written whole; a smaller buffer would be overrun.
        if (*size < width) return 0;
        BYTE bytes[8] = {};
        switch (type) {
            case kInt8: { int8_t v = 0; reply.GetParamInt8(name, v); std::memcpy(bytes, &v, 1); break; }
            case kInt16: { int16_t v = 0; reply.GetParamInt16(name, v); std::memcpy(bytes, &v, 2); break; }
            case kInt32: { int32_t v = 0; reply.GetParamInt32(name, v); std::memcpy(bytes, &v, 4); break; }
            case kInt64: { int64_t v = 0; reply.GetParamInt64(name, v); std::memcpy(bytes, &v, 8); break; }
            case kUInt8: { uint8_t v = 0; reply.GetParamUInt8(name, v); std::memcpy(bytes, &v, 1); break; }
            case kUInt16: { uint16_t v = 0; reply.GetParamUInt16(name, v); std::memcpy(bytes, &v, 2); break; }
            case kUInt32: { uint32_t v = 0; reply.GetParamUInt32(name, v); std::memcpy(bytes, &v, 4); break; }
            default: { uint64_t v = 0; reply.GetParamUInt64(name, v); std::memcpy(bytes, &v, 8); break; }
        }
        std::memcpy(output, bytes, width);
        *size = width;
        return 1;
    }
    if (width > *size) width = *size;
    if (width == 0) return 0;
    std::memset(output, 0, *size);
    reply.GetParamByteStream(name, output, width, nullptr);
    *size = width;
    return 1;
}
