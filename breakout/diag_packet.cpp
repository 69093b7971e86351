// The Nulk diagnostic packet and its data buffer.
#include "breakout/diag_packet.h"

#include <cstring>

namespace {

constexpr char kPacketName[] = "zorv_diagnostics";

DWORD ReadBigEndian16(const BYTE* at) { return (static_cast<DWORD>(at[0]) << 8) | at[1]; }

void WriteBigEndian16(BYTE* at, DWORD value) {
    at[0] = static_cast<BYTE>(value >> 8);
    at[1] = static_cast<BYTE>(value);
}

}  // namespace

DiagDataBuffer::DiagDataBuffer() { std::memset(m_bytes, 0, sizeof m_bytes); }

BOOL DiagDataBuffer::Store(BYTE* at, const void* data, DWORD length) {
    // A longer length would run past the packet's fixed storage.
    if (!data || (length & 0xFFFF) == 0 || length > kMaxData) return 0;
    WriteBigEndian16(at, length);
    std::memcpy(at + 2, data, length);
    return 1;
}

BOOL DiagDataBuffer::SetData(const void* data, DWORD length) { return Store(m_bytes, data, length); }

DWORD DiagDataBuffer::GetLength() const { return ReadBigEndian16(m_bytes) + 2; }

DiagDataPacket::DiagDataPacket(BYTE type) {
    std::memset(m_bytes, 0, sizeof m_bytes);
    std::memcpy(m_bytes, kPacketName, sizeof kPacketName - 1);
    m_bytes[31] = type;
}

BOOL DiagDataPacket::SetData(const void* data, DWORD length) {
    if (!DiagDataBuffer::Store(m_bytes + kHeaderBytes, data, length)) return 0;
    WriteBigEndian16(m_bytes + 32, length + 2);
    return 1;
}

DWORD DiagDataPacket::GetLength() const { return kHeaderBytes + ReadBigEndian16(m_bytes + kHeaderBytes) + 2; }

BOOL NulkLoopbackPacket::SetEnable(BYTE flag) {
    const DWORD value = flag == 1 ? 1 : 0;
    return SetData(&value, sizeof value);
}
