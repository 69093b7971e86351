// Breakout-box commands with typed parameters, their byte code, and the factory that compiles
// commands to byte code and decompiles the box's replies from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "yorbflow/wire/wire_format.h"

namespace YorbFlow {

// One command (or a reply) by its Yorb name: a direction and named parameters, each a typed value,
// a symbolic constant resolved when compiled, or a byte stream. Copies are deep.
class YorbCommand {
public:
    YorbCommand() = default;
    explicit YorbCommand(const char* name) { SetCommandName(name); }

    void SetCommandName(const char* name) { m_name = name ? name : ""; }
    const char* GetCommandName() const { return m_name.c_str(); }

    void SetupSendCommand() { m_mode = MODE_SEND; }
    void SetupRequestDataCommand() { m_mode = MODE_REQUEST; }
    bool IsSendCommand() const { return m_mode == MODE_SEND; }
    bool IsRequestDataCommand() const { return m_mode == MODE_REQUEST; }
    bool IsReply() const { return m_mode == MODE_REPLY; }
    // A reply's result code (the device library's PARRTNTYPE); 0 for commands.
    int GetResult() const { return m_result; }

    // Each setter replaces a parameter of that name, keeping its place, or appends one. False
    // only for an empty name (or, for streams, a null pointer with a length).
    bool SetParamInt8(const char* name, int8_t value) { return SetNumber(name, Wire::TYPE_INT8, static_cast<uint8_t>(value)); }
    bool SetParamInt16(const char* name, int16_t value) { return SetNumber(name, Wire::TYPE_INT16, static_cast<uint16_t>(value)); }
    bool SetParamInt32(const char* name, int32_t value) { return SetNumber(name, Wire::TYPE_INT32, static_cast<uint32_t>(value)); }
    bool SetParamInt64(const char* name, int64_t value) { return SetNumber(name, Wire::TYPE_INT64, static_cast<uint64_t>(value)); }
    bool SetParamUInt8(const char* name, uint8_t value) { return SetNumber(name, Wire::TYPE_UINT8, value); }
    bool SetParamUInt16(const char* name, uint16_t value) { return SetNumber(name, Wire::TYPE_UINT16, value); }
    bool SetParamUInt32(const char* name, uint32_t value) { return SetNumber(name, Wire::TYPE_UINT32, value); }
    bool SetParamUInt64(const char* name, uint64_t value) { return SetNumber(name, Wire::TYPE_UINT64, value); }
    // The symbol is looked up when the command is compiled; an unknown one fails the compile.
    bool SetParamBySymbol(const char* name, const char* symbol);
    bool SetParamByteStream(const char* name, const void* data, size_t length);

    // Each getter answers true and the value when the parameter is present with exactly that
    // type; otherwise false and value untouched.
    bool GetParamInt8(const char* name, int8_t& value) const { return GetNumber(name, Wire::TYPE_INT8, value); }
    bool GetParamInt16(const char* name, int16_t& value) const { return GetNumber(name, Wire::TYPE_INT16, value); }
    bool GetParamInt32(const char* name, int32_t& value) const { return GetNumber(name, Wire::TYPE_INT32, value); }
    bool GetParamInt64(const char* name, int64_t& value) const { return GetNumber(name, Wire::TYPE_INT64, value); }
    bool GetParamUInt8(const char* name, uint8_t& value) const { return GetNumber(name, Wire::TYPE_UINT8, value); }
    bool GetParamUInt16(const char* name, uint16_t& value) const { return GetNumber(name, Wire::TYPE_UINT16, value); }
    bool GetParamUInt32(const char* name, uint32_t& value) const { return GetNumber(name, Wire::TYPE_UINT32, value); }
    bool GetParamUInt64(const char* name, uint64_t& value) const { return GetNumber(name, Wire::TYPE_UINT64, value); }
    // True and the stream's length in bytes when the parameter is a byte stream.
    bool GetParamByteStreamLength(const char* name, size_t& length) const;
    // Copies at most maxLength bytes of the stream to buffer; *copied (when given) the count.
    bool GetParamByteStream(const char* name, void* buffer, size_t maxLength, size_t* copied) const;

    // Number of parameters set, in the order they were first set.
    size_t GetParamCount() const { return m_params.size(); }

private:
    friend class YorbCommandFactory;
    enum Mode { MODE_NONE, MODE_SEND, MODE_REQUEST, MODE_REPLY };
    struct Param {
        Wire::Param wire;
        std::string symbol;   // set by SetParamBySymbol: resolved when compiled
        bool bySymbol = false;
    };

    Param* Slot(const char* name);
    const Param* Find(const char* name) const;
    bool SetNumber(const char* name, uint8_t type, uint64_t pattern);
    template <typename T>
    bool GetNumber(const char* name, uint8_t type, T& value) const {
        const Param* param = Find(name);
        if (!param || param->bySymbol || param->wire.type != type) return false;
        value = static_cast<T>(param->wire.value);
        return true;
    }

    std::string m_name;
    Mode m_mode = MODE_NONE;
    int m_result = 0;
    std::vector<Param> m_params;
};

// A compiled command or a received reply: the bytes that travel to and from the box.
class YorbCommandByteCode {
public:
    YorbCommandByteCode() = default;
    YorbCommandByteCode(const uint8_t* data, size_t size) { Assign(data, size); }

    const uint8_t* GetData() const { return m_bytes.data(); }
    size_t GetSize() const { return m_bytes.size(); }
    void Assign(const uint8_t* data, size_t size) { data ? m_bytes.assign(data, data + size) : m_bytes.clear(); }
    std::vector<uint8_t>& Bytes() { return m_bytes; }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

class YorbCommandFactory {
public:
    // True when the command compiled: code holds its byte code and *size (when given) its length.
    // False with *status (when given) saying why: CMDSTATUS_UNKNOWN_COMMAND (5) for a name the
    // library does not know (the empty name included), CMDSTATUS_NO_DIRECTION, CMDSTATUS_BAD_SYMBOL,
    // or the table's refusals (unknown, missing or mistyped parameters, wrong direction).
    static bool CompileYorbByteCode(const YorbCommand& command, YorbCommandByteCode& code, size_t* size, CommandStatus_t* status);

    // True and the parameter's type string ("INT8" ... "BYTES", NUL-terminated) when the command
    // has that parameter and the string fits in bufferSize bytes; false otherwise.
    static bool GetCommandParamTypeCodeString(const char* yorbName, const char* paramName, size_t bufferSize, char* buffer);

    // Reads the box's reply to sent from its byte code into reply (a reply named as sent, with
    // the box's result code and parameters). False with *status (when given) for a damaged or
    // malformed code, a command where a reply belongs, another command's name, or parameters
    // that are not the command's reply parameters in their types.
    static bool DecompileYorbReply(const YorbCommand& sent, const YorbCommandByteCode& code, YorbCommand& reply, CommandStatus_t* status);

    // The device library's result for a command that would not compile: 14 for an unknown name,
    // 16 for a symbol the parameter does not have, 17 for any other refusal; 1 for CMDSTATUS_OK.
    static int CompileResult(CommandStatus_t status);

    // Carries the byte code to the box and back: answers 1 and fills reply, or a result code
    // (a time-out, a cable not connected ...) when nothing came back.
    using Transport = std::function<int(const YorbCommandByteCode& command, YorbCommandByteCode& reply)>;

    // One whole exchange: compile (refusals as CompileResult), carry, decompile (a reply that
    // will not decompile: 18); then the reply's own result code, and on 1 the reply copied to
    // *reply when given.
    static int Transact(const YorbCommand& command, YorbCommand* reply, const Transport& transport);
};

}  // namespace YorbFlow
