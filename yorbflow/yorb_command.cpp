// Commands, their compile to byte code and the decompile of replies.
#include "yorbflow/yorb_command.h"

#include <algorithm>
#include <cstring>

#include "yorbflow/symbol_table.h"
#include "yorbflow/wire/command_table.h"

namespace YorbFlow {

YorbCommand::Param* YorbCommand::Slot(const char* name) {
    if (!name || !*name) return nullptr;
    for (Param& param : m_params)
        if (param.wire.name == name) return &(param = Param{{name, Wire::TYPE_ERROR, 0, {}}, {}, false});
    m_params.push_back(Param{{name, Wire::TYPE_ERROR, 0, {}}, {}, false});
    return &m_params.back();
}

const YorbCommand::Param* YorbCommand::Find(const char* name) const {
    if (!name) return nullptr;
    for (const Param& param : m_params)
        if (param.wire.name == name) return &param;
    return nullptr;
}

bool YorbCommand::SetNumber(const char* name, uint8_t type, uint64_t pattern) {
    Param* param = Slot(name);
    if (!param) return false;
    param->wire.type = type;
    param->wire.value = pattern;
    return true;
}

bool YorbCommand::SetParamBySymbol(const char* name, const char* symbol) {
    if (!symbol) return false;
    Param* param = Slot(name);
    if (!param) return false;
    param->symbol = symbol;
    param->bySymbol = true;
    return true;
}

bool YorbCommand::SetParamByteStream(const char* name, const void* data, size_t length) {
    if (!data && length) return false;
    Param* param = Slot(name);
    if (!param) return false;
    param->wire.type = Wire::TYPE_BYTES;
    const auto* bytes = static_cast<const uint8_t*>(data);
    param->wire.bytes.assign(bytes, bytes + length);
    return true;
}

bool YorbCommand::GetParamByteStreamLength(const char* name, size_t& length) const {
    const Param* param = Find(name);
    if (!param || param->wire.type != Wire::TYPE_BYTES) return false;
    length = param->wire.bytes.size();
    return true;
}

bool YorbCommand::GetParamByteStream(const char* name, void* buffer, size_t maxLength, size_t* copied) const {
    const Param* param = Find(name);
    if (!param || param->wire.type != Wire::TYPE_BYTES || (!buffer && maxLength)) return false;
    const size_t count = std::min(maxLength, param->wire.bytes.size());
    if (count) std::memcpy(buffer, param->wire.bytes.data(), count);
    if (copied) *copied = count;
    return true;
}

namespace {

bool Fail(CommandStatus_t why, CommandStatus_t* status) {
    if (status) *status = why;
    return false;
}

}  // namespace

bool YorbCommandFactory::CompileYorbByteCode(const YorbCommand& command, YorbCommandByteCode& code, size_t* size,
                                             CommandStatus_t* status) {
    code.Bytes().clear();
    if (size) *size = 0;
    const Wire::CommandEntry* entry = Wire::FindCommand(command.m_name);
    if (!entry) return Fail(CMDSTATUS_UNKNOWN_COMMAND, status);
    if (command.m_mode != YorbCommand::MODE_SEND && command.m_mode != YorbCommand::MODE_REQUEST)
        return Fail(CMDSTATUS_NO_DIRECTION, status);

    Wire::Message message;
    message.kind = command.m_mode == YorbCommand::MODE_SEND ? Wire::KIND_SEND : Wire::KIND_REQUEST;
    message.name = command.m_name;
    for (const YorbCommand::Param& param : command.m_params) {
        Wire::Param wire = param.wire;
        if (param.bySymbol) {
            const Wire::ParamEntry* paramEntry = entry->Find(wire.name);
            if (!paramEntry) return Fail(CMDSTATUS_UNKNOWN_PARAM, status);
            uint32_t value = 0;
            // Symbols name numbers only; the value is cut to the parameter's width.
            const int width = Wire::TypeWidth(paramEntry->type);
            if (width == 0 || !FindYorbSymbolValue(entry->name, wire.name.c_str(), param.symbol.c_str(), &value))
                return Fail(CMDSTATUS_BAD_SYMBOL, status);
            wire.type = paramEntry->type;
            wire.value = width >= 4 ? value : value & ((1u << (8 * width)) - 1);
        }
        message.params.push_back(std::move(wire));
    }
    CommandStatus_t checked = Wire::CheckAgainstTable(message);
    if (checked == CMDSTATUS_OK) checked = Wire::Encode(message, code.Bytes());
    if (checked != CMDSTATUS_OK) return Fail(checked, status);
    if (size) *size = code.GetSize();
    if (status) *status = CMDSTATUS_OK;
    return true;
}

bool YorbCommandFactory::GetCommandParamTypeCodeString(const char* yorbName, const char* paramName, size_t bufferSize,
                                                       char* buffer) {
    if (!yorbName || !paramName || !buffer) return false;
    const Wire::CommandEntry* entry = Wire::FindCommand(yorbName);
    const Wire::ParamEntry* param = entry ? entry->Find(paramName) : nullptr;
    if (!param) return false;
    const char* text = Wire::TypeCodeString(param->type);
    if (std::strlen(text) + 1 > bufferSize) return false;
    std::strcpy(buffer, text);
    return true;
}

bool YorbCommandFactory::DecompileYorbReply(const YorbCommand& sent, const YorbCommandByteCode& code, YorbCommand& reply,
                                            CommandStatus_t* status) {
    Wire::Message message;
    CommandStatus_t why = Wire::Decode(code.GetData(), code.GetSize(), message);
    if (why == CMDSTATUS_OK && message.kind != Wire::KIND_REPLY) why = CMDSTATUS_NOT_A_REPLY;
    if (why == CMDSTATUS_OK && message.name != sent.m_name) why = CMDSTATUS_BAD_BYTE_CODE;
    if (why == CMDSTATUS_OK) why = Wire::CheckAgainstTable(message);
    if (why != CMDSTATUS_OK) return Fail(why, status);
    reply = YorbCommand(message.name.c_str());
    reply.m_mode = YorbCommand::MODE_REPLY;
    reply.m_result = message.result;
    for (Wire::Param& param : message.params) reply.m_params.push_back(YorbCommand::Param{std::move(param), {}, false});
    if (status) *status = CMDSTATUS_OK;
    return true;
}

int YorbCommandFactory::CompileResult(CommandStatus_t status) {
    switch (status) {
    case CMDSTATUS_OK: return Wire::RESULT_SUCCESS;
    case CMDSTATUS_UNKNOWN_COMMAND: return Wire::RESULT_UNKNOWN_COMMAND;
    case CMDSTATUS_BAD_SYMBOL: return Wire::RESULT_BAD_SYMBOL;
    default: return Wire::RESULT_SEND_WOULD_NOT_COMPILE;
    }
}

int YorbCommandFactory::Transact(const YorbCommand& command, YorbCommand* reply, const Transport& transport) {
    YorbCommandByteCode code, answer;
    CommandStatus_t status = CMDSTATUS_OK;
    if (!CompileYorbByteCode(command, code, nullptr, &status)) return CompileResult(status);
    if (!transport) return Wire::RESULT_PROGRAM_ERROR;
    const int carried = transport(code, answer);
    if (carried != Wire::RESULT_SUCCESS) return carried;
    YorbCommand received;
    if (!DecompileYorbReply(command, answer, received, nullptr)) return Wire::RESULT_REPLY_WOULD_NOT_DECOMPILE;
    if (received.GetResult() != Wire::RESULT_SUCCESS) return received.GetResult();
    if (reply) *reply = std::move(received);
    return Wire::RESULT_SUCCESS;
}

}  // namespace YorbFlow
