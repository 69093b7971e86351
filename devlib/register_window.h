// The board's BAR0 register window as the library reaches it: 32-bit reads and writes in program order.
#pragma once

#include <cstddef>

#include "platform/types.h"

// Registers of the boards have side effects (a read of a DMA context brings it up to date, a write
// starts a DMA chain or steps a clock), so they are not plain memory: every access goes through
// this window, one 32-bit read or write at a BAR0 byte offset, in the order the program makes them.
// Offsets are byte offsets from BAR0 and are aligned down to 4; offsets past Size() read 0 and
// ignore writes.
class CRegisterWindow {
public:
    virtual ~CRegisterWindow() = default;
    virtual DWORD Read(DWORD offset) = 0;
    virtual void Write(DWORD offset, DWORD value) = 0;
    virtual DWORD Size() const = 0;
    // count registers from offset: the same as count Reads in order.
    virtual void ReadBlock(DWORD offset, DWORD* out, int count) {
        for (int i = 0; i < count; ++i) out[i] = Read(offset + 4 * static_cast<DWORD>(i));
    }
};

// One register: reading converts to DWORD, assigning writes. Compound assignments are a read
// followed by a write. A reference from a null pointer reads 0 and ignores writes.
class RegisterRef {
public:
    RegisterRef(CRegisterWindow* window, DWORD offset) : m_window(window), m_offset(offset) {}
    RegisterRef(const RegisterRef&) = default;
    DWORD Read() const { return m_window ? m_window->Read(m_offset) : 0; }
    void Write(DWORD value) const {
        if (m_window) m_window->Write(m_offset, value);
    }
    operator DWORD() const { return Read(); }
    const RegisterRef& operator=(DWORD value) const { Write(value); return *this; }
    const RegisterRef& operator=(const RegisterRef& other) const { Write(other.Read()); return *this; }
    const RegisterRef& operator|=(DWORD v) const { Write(Read() | v); return *this; }
    const RegisterRef& operator&=(DWORD v) const { Write(Read() & v); return *this; }
    const RegisterRef& operator^=(DWORD v) const { Write(Read() ^ v); return *this; }
    const RegisterRef& operator+=(DWORD v) const { Write(Read() + v); return *this; }
    const RegisterRef& operator-=(DWORD v) const { Write(Read() - v); return *this; }
    DWORD Offset() const { return m_offset; }

private:
    CRegisterWindow* m_window;
    DWORD m_offset;
};

// Stands where the library held a DWORD* into the mapped window: indexing and arithmetic count in
// DWORDs from the pointer's byte offset, so p[0x40000 / 4] is the register at BAR0 + 0x40000, and
// p + 0x70000 / 4 points at the first BCU. Default-constructed it is null.
class RegisterPtr {
public:
    RegisterPtr() = default;
    RegisterPtr(std::nullptr_t) {}
    RegisterPtr(CRegisterWindow* window, DWORD byteOffset) : m_window(window), m_offset(byteOffset) {}

    RegisterRef operator*() const { return RegisterRef(m_window, m_offset); }
    RegisterRef operator[](std::ptrdiff_t words) const { return RegisterRef(m_window, At(words)); }
    RegisterPtr operator+(std::ptrdiff_t words) const { return RegisterPtr(m_window, At(words)); }
    RegisterPtr operator-(std::ptrdiff_t words) const { return RegisterPtr(m_window, At(-words)); }
    RegisterPtr& operator+=(std::ptrdiff_t words) { m_offset = At(words); return *this; }
    RegisterPtr& operator++() { m_offset += 4; return *this; }
    // Distance in DWORDs between two pointers into the same window.
    std::ptrdiff_t operator-(const RegisterPtr& other) const {
        return (static_cast<std::ptrdiff_t>(m_offset) - static_cast<std::ptrdiff_t>(other.m_offset)) / 4;
    }

    explicit operator bool() const { return m_window != nullptr; }
    bool operator==(const RegisterPtr& o) const { return m_window == o.m_window && (!m_window || m_offset == o.m_offset); }
    bool operator==(std::nullptr_t) const { return m_window == nullptr; }

    CRegisterWindow* Window() const { return m_window; }
    DWORD ByteOffset() const { return m_offset; }
    // Reads or writes count consecutive registers, in address order.
    void ReadBlock(DWORD* out, int count) const;
    void WriteBlock(const DWORD* in, int count) const;

private:
    DWORD At(std::ptrdiff_t words) const { return static_cast<DWORD>(static_cast<std::ptrdiff_t>(m_offset) + 4 * words); }
    CRegisterWindow* m_window = nullptr;
    DWORD m_offset = 0;
};

inline void RegisterPtr::ReadBlock(DWORD* out, int count) const {
    if (m_window && count > 0) m_window->ReadBlock(At(0), out, count);
    else
        for (int i = 0; i < count; ++i) out[i] = 0;
}

inline void RegisterPtr::WriteBlock(const DWORD* in, int count) const {
    for (int i = 0; i < count; ++i) (*this)[i] = in[i];
}
