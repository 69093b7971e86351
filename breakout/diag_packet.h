// The Nulk diagnostic packet: DiagDataBuffer, DiagDataPacket and the video-loopback packet.
#pragma once

#include "platform/types.h"

// The data part of a diagnostic packet: a 16-bit big-endian data length, then the data.
class DiagDataBuffer {
public:
    static constexpr DWORD kMaxData = 1992;

    DiagDataBuffer();
    // Stores length bytes of data behind their big-endian length. 0 for null data, a length whose
    // low 16 bits are 0, or one beyond kMaxData (nothing changed then); 1 otherwise.
    BOOL SetData(const void* data, DWORD length);
    // Data length + 2: the bytes of the buffer that carry meaning.
    DWORD GetLength() const;
    const BYTE* GetBytes() const { return m_bytes; }

    // The storing rule shared with the packet; at must hold 2 + kMaxData bytes.
    static BOOL Store(BYTE* at, const void* data, DWORD length);

private:
    BYTE m_bytes[2 + kMaxData];
};

// The wire form of the "DiagData" byte stream:
//   0  28  name "zorv_diagnostics", zero-filled     31  1  packet type
//   28  3  zero                                      32  2  data buffer length (data + 2), big-endian
//   34  the data buffer (DiagDataBuffer)
class DiagDataPacket {
public:
    static constexpr DWORD kHeaderBytes = 34;
    static constexpr DWORD kTotalBytes = kHeaderBytes + 2 + DiagDataBuffer::kMaxData;  // 2028

    explicit DiagDataPacket(BYTE type);
    // As DiagDataBuffer::SetData, and the buffer's length goes into bytes 32-33.
    BOOL SetData(const void* data, DWORD length);
    // 34 + the buffer's length.
    DWORD GetLength() const;
    // The data buffer (offset 34).
    const BYTE* GetData() const { return m_bytes + kHeaderBytes; }
    // The whole packet from its name on.
    const BYTE* GetBytes() const { return m_bytes; }

private:
    BYTE m_bytes[kTotalBytes];
};

// Packet type 41: switches the Nulk's video loopback.
class NulkLoopbackPacket : public DiagDataPacket {
public:
    static constexpr BYTE kType = 41;
    NulkLoopbackPacket() : DiagDataPacket(kType) {}
    // Four data bytes: 1 only when flag is exactly 1, else 0, as a host-order 32-bit number.
    BOOL SetEnable(BYTE flag);
};
