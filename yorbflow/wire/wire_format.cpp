// Encoding and decoding of the breakout box's command byte code.
#include "yorbflow/wire/wire_format.h"

#include <array>
#include <cstring>

namespace YorbFlow::Wire {

namespace {

constexpr const char* kTypeStrings[] = {"Error", "INT8", "INT16", "INT32", "INT64", "UINT8", "UINT16", "UINT32", "UINT64", "BYTES"};
constexpr int kTypeWidths[] = {0, 1, 2, 4, 8, 1, 2, 4, 8, 0};

bool ValidName(const std::string& name) {
    if (name.empty() || name.size() > kMaxNameLength) return false;
    for (const char c : name)
        if (c <= ' ' || c > '~') return false;
    return true;
}

void PutLE(std::vector<uint8_t>& out, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Bounds-checked reading of the byte code's body.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool Take(size_t count, const uint8_t** at) {
        if (count > m_size - m_pos) return false;
        *at = m_data + m_pos;
        m_pos += count;
        return true;
    }
    bool LE(int width, uint64_t* value) {
        const uint8_t* at = nullptr;
        if (!Take(static_cast<size_t>(width), &at)) return false;
        *value = 0;
        for (int i = width - 1; i >= 0; --i) *value = (*value << 8) | at[i];
        return true;
    }
    bool Name(std::string* name) {
        uint64_t length = 0;
        const uint8_t* at = nullptr;
        if (!LE(1, &length) || !Take(length, &at)) return false;
        name->assign(reinterpret_cast<const char*>(at), length);
        return ValidName(*name);
    }
    bool AtEnd() const { return m_pos == m_size; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

const std::array<uint32_t, 256>& CrcTable() {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

}  // namespace

const char* TypeCodeString(int code) { return code >= 1 && code <= 9 ? kTypeStrings[code] : kTypeStrings[0]; }

int TypeCodeFromString(const char* text) {
    if (!text) return TYPE_ERROR;
    for (int code = 1; code <= 9; ++code)
        if (std::strcmp(kTypeStrings[code], text) == 0) return code;
    return TYPE_ERROR;
}

int TypeWidth(int code) { return code >= 0 && code <= 9 ? kTypeWidths[code] : 0; }

const Param* Message::Find(const std::string& paramName) const {
    for (const Param& param : params)
        if (param.name == paramName) return &param;
    return nullptr;
}

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
    const auto& table = CrcTable();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

CommandStatus_t Encode(const Message& message, std::vector<uint8_t>& out) {
    out.clear();
    if (!ValidName(message.name) || message.kind < KIND_SEND || message.kind > KIND_REPLY) return CMDSTATUS_BAD_BYTE_CODE;
    if (message.kind == KIND_REPLY && message.result > RESULT_LAST) return CMDSTATUS_BAD_BYTE_CODE;
    if (message.params.size() > kMaxParams) return CMDSTATUS_TOO_LARGE;
    out = {'Y', 'F', kVersion, message.kind, message.kind == KIND_REPLY ? message.result : uint8_t{0},
           static_cast<uint8_t>(message.name.size()), static_cast<uint8_t>(message.params.size()), 0, 0, 0, 0, 0};
    out.insert(out.end(), message.name.begin(), message.name.end());
    for (const Param& param : message.params) {
        // A name given twice would make a code the decoder refuses.
        if (!ValidName(param.name) || param.type < TYPE_INT8 || param.type > TYPE_BYTES || message.Find(param.name) != &param) {
            out.clear();
            return CMDSTATUS_BAD_BYTE_CODE;
        }
        out.push_back(static_cast<uint8_t>(param.name.size()));
        out.insert(out.end(), param.name.begin(), param.name.end());
        out.push_back(param.type);
        if (param.type == TYPE_BYTES) {
            if (param.bytes.size() > kMaxStreamBytes) {
                out.clear();
                return CMDSTATUS_TOO_LARGE;
            }
            PutLE(out, param.bytes.size(), 4);
            out.insert(out.end(), param.bytes.begin(), param.bytes.end());
        } else {
            PutLE(out, param.value, TypeWidth(param.type));
        }
    }
    const size_t total = out.size() + kCheckBytes;
    for (int i = 0; i < 4; ++i) out[8 + i] = static_cast<uint8_t>(total >> (8 * i));
    PutLE(out, Crc32(out.data(), out.size()), 4);
    return CMDSTATUS_OK;
}

CommandStatus_t Decode(const uint8_t* data, size_t size, Message& message) {
    message = Message{};
    if (!data || size < kHeaderBytes + kCheckBytes) return CMDSTATUS_BAD_BYTE_CODE;
    const size_t body = size - kCheckBytes;
    uint64_t total = 0, check = 0;
    Reader(data + 8, 4).LE(4, &total);
    Reader(data + body, 4).LE(4, &check);
    if (total != size || check != Crc32(data, body)) return CMDSTATUS_BAD_BYTE_CODE;
    const uint8_t kind = data[3], result = data[4], count = data[6];
    if (data[0] != 'Y' || data[1] != 'F' || data[2] != kVersion || data[7] != 0) return CMDSTATUS_BAD_BYTE_CODE;
    if (kind < KIND_SEND || kind > KIND_REPLY || count > kMaxParams) return CMDSTATUS_BAD_BYTE_CODE;
    if (kind == KIND_REPLY ? result > RESULT_LAST : result != 0) return CMDSTATUS_BAD_BYTE_CODE;

    Reader in(data + 5, body - 5);
    Message decoded;
    decoded.kind = static_cast<Kind>(kind);
    decoded.result = result;
    const uint8_t* skip = nullptr;
    uint64_t nameLength = 0;
    // The name's length byte sits at 5, the name itself after the fixed header.
    if (!in.LE(1, &nameLength) || !in.Take(6, &skip)) return CMDSTATUS_BAD_BYTE_CODE;
    const uint8_t* name = nullptr;
    if (!in.Take(nameLength, &name)) return CMDSTATUS_BAD_BYTE_CODE;
    decoded.name.assign(reinterpret_cast<const char*>(name), nameLength);
    if (!ValidName(decoded.name)) return CMDSTATUS_BAD_BYTE_CODE;
    for (unsigned i = 0; i < count; ++i) {
        Param param;
        uint64_t type = 0;
        if (!in.Name(&param.name) || !in.LE(1, &type) || type < TYPE_INT8 || type > TYPE_BYTES) return CMDSTATUS_BAD_BYTE_CODE;
        if (decoded.Find(param.name)) return CMDSTATUS_BAD_BYTE_CODE;
        param.type = static_cast<uint8_t>(type);
        if (param.type == TYPE_BYTES) {
            uint64_t length = 0;
            const uint8_t* bytes = nullptr;
            if (!in.LE(4, &length) || length > kMaxStreamBytes || !in.Take(length, &bytes)) return CMDSTATUS_BAD_BYTE_CODE;
            param.bytes.assign(bytes, bytes + length);
        } else if (!in.LE(TypeWidth(param.type), &param.value)) {
            return CMDSTATUS_BAD_BYTE_CODE;
        }
        decoded.params.push_back(std::move(param));
    }
    if (!in.AtEnd()) return CMDSTATUS_BAD_BYTE_CODE;
    message = std::move(decoded);
    return CMDSTATUS_OK;
}

}  // namespace YorbFlow::Wire
