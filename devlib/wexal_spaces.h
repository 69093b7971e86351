// Address spaces of a board carrying the Wexal FPGA: BAR0 registers with product data, SDRAM, flash, I2C parts.
#pragma once

#include <vector>

#include "devlib/addr_space.h"
#include "devlib/i2c_spaces.h"
#include "framework/hw/flash_prom.h"

namespace sim {
class SdramModel;
}

// The PCI product data (VPD) read from the BAR0 image: where its sections lie once parsed.
class PEX_EXPORT PCI_VPD {
public:
    enum ErrorCode {
        VPD_OK = 0,
        VPD_BAD_FORMAT = 1,     // the image is not a chain of VPD resources
        VPD_KEY_NOT_FOUND = 2,  // no read-only field of that name
        VPD_BAD_ARGUMENT = 3,
        VPD_BAD_CHECKSUM = 4,   // the bytes up to the end tag's checksum byte do not sum to 0
    };

    PCI_VPD() { Reset(); }
    PCI_VPD(const PCI_VPD&) = default;
    PCI_VPD& operator=(const PCI_VPD&) = default;
    ~PCI_VPD() { Reset(); }

    void Reset();
    // The first word: which PROM the image came from (0: the BAR0 image).
    DWORD nPROM() const { return m_prom; }
    ErrorCode Parse(const BYTE* image, DWORD size);
    // Offset and length of a read-only field's data in the parsed image.
    ErrorCode Find(const BYTE* image, const char* key, DWORD* offset, DWORD* length) const;
    BOOL IsValid() const { return m_valid; }

private:
    DWORD m_prom = 0;
    BOOL m_valid = FALSE;
    DWORD m_idOffset = 0, m_idLength = 0;
    DWORD m_roOffset = 0, m_roLength = 0;
    DWORD m_endOffset = 0;
    DWORD m_size = 0;
    DWORD m_reserved = 0;
};

// The 1 MiB BAR0 register window of the Wexal FPGA. Its registers are reached through
// GetRegisterPointer (see CRegisterWindow for why); GetRdPointer and GetWrPointer give null.
// Get and Set move whole registers: address and count are byte values, multiples of 4.
class PEX_EXPORT CWexalBAR0Space : public CDevRegSpace {
public:
    CWexalBAR0Space() = default;
    CWexalBAR0Space(const char* name, CRegisterWindow* window);
    CWexalBAR0Space(const CWexalBAR0Space&) = default;
    CWexalBAR0Space& operator=(const CWexalBAR0Space&) = default;
    ~CWexalBAR0Space() override { m_vpd.Reset(); }

    int Set(const void* buffer, DWORD address, int count) override;
    int Get(void* buffer, DWORD address, int count) override;
    RegisterPtr GetRegisterPointer(DWORD offset, DWORD length) override;
    // The bus address of that window offset: the window's bus address plus the offset. FALSE with
    // 0xFFFFFFFF past the window or while the window has no bus address.
    BOOL GetPhysAddress(DWORD address, DWORD* out) override;
    // The rig gives each board's window a fixed bus address (its BAR0 value).
    void SetBusAddress(DWORD address) { m_busAddress = address; }

    // Reads the two-letter product-data field key. Answers VPD_OK when it exists and sets *length
    // to its length; with size 0 nothing is copied, else up to size bytes, not terminated.
    PCI_VPD::ErrorCode GetVPDField(const char* key, int size, char* buffer, int* length);

    // Starts the chain at DCB 1 of every listed channel and waits, at most kTripTimeoutMs on the
    // performance counter, until each has finished. TRUE when all finished; either way every
    // record's progress says how far its channel came.
    BOOL TripDCBs(Wexal_TrackDCB* records);
    // Stops every listed channel and clears its DCBs; progress goes back to start.
    BOOL ResetDCBs(Wexal_TrackDCB* records);
    static constexpr DWORD kTripTimeoutMs = 1000;

    static constexpr DWORD kWindowBytes = 0x100000;
    static constexpr DWORD kVpdOffset = 0x2000, kVpdBytes = 0x400;

private:
    CRegisterWindow* m_window = nullptr;
    [[maybe_unused]] DWORD m_words[6] = {};  // layout only
    PCI_VPD m_vpd;
    DWORD m_busAddress = 0;
};

// The board's SDRAM, byte-addressed. Get and Set move at most 0x400000 bytes per call and report a
// short count at the end of the memory. Pointers from GetSDRAMPointer (and GetRdPointer,
// GetWrPointer: window 1) stay valid; what is written through them reaches SDRAM at FlushSDRAM,
// at a write to BAR0 0x40004, or before any other access to the memory.
class PEX_EXPORT CWexalSDRAMSpace : public CDevAddrSpace {
public:
    CWexalSDRAMSpace() = default;
    CWexalSDRAMSpace(const char* name, sim::SdramModel* sdram);
    CWexalSDRAMSpace(const CWexalSDRAMSpace&) = default;
    CWexalSDRAMSpace& operator=(const CWexalSDRAMSpace&) = default;

    void* GetRdPointer(DWORD address, DWORD length) override;
    void* GetWrPointer(DWORD address, DWORD length) override;
    int Set(const void* buffer, DWORD address, int count) override;
    int Get(void* buffer, DWORD address, int count) override;

    void* GetSDRAMPointer(KWO_RAMWINTYPE window, DWORD address, DWORD length);
    // The memory [address, address + length) read in place: what a Get of it now would copy out,
    // valid until the next access to the memory. Null outside the memory and on memory with faults,
    // where every read goes through the fault model (and may flip bits) and only Get reads as the
    // board does.
    const void* GetReadView(DWORD address, DWORD length);
    // Whether the length bytes at address hold want, looked at through the read view; FALSE where
    // there is no view (the caller then reads the bytes back as the board does).
    BOOL HoldsInPlace(DWORD address, const void* want, DWORD length);
    BOOL FlushSDRAM(DWORD flags);
    // The bus base of window 1 or 2; 0xFFFFFFFF for any other value.
    DWORD GetSDRAMWindow(KWO_RAMWINTYPE window) const {
        return window == KWO_RAMWIN_1 ? m_window1 : window == KWO_RAMWIN_2 ? m_window2 : 0xFFFFFFFF;
    }
    void SetSize(DWORD itemCount) { m_itemCount = itemCount; }

    static constexpr int kMaxTransfer = 0x400000;

private:
    sim::SdramModel* m_sdram = nullptr;
    DWORD m_window1 = 0x80000000;
    DWORD m_window2 = 0xA0000000;
};

// The flash PROM image space. The library reaches a board's flash through the board controller's
// address and data port (CWexalBoardDevice::GetControllerRegisters), so no board offers this space;
// the space holds the CFlashPROM that drives that port. The flash object keeps the mode the chip is
// in, so the space is not copied: two copies would drive one port with different ideas of its mode.
class PEX_EXPORT CWexalFlashImageSpace : public CDevAddrSpace {
public:
    using CDevAddrSpace::CDevAddrSpace;
    CWexalFlashImageSpace() = default;
    CWexalFlashImageSpace(const CWexalFlashImageSpace&) = delete;
    CWexalFlashImageSpace& operator=(const CWexalFlashImageSpace&) = delete;
    // Resets the flash object (port dropped, erase and write records and their timers cleared).
    // Defined with CFlashPROM, which the framework builds.
    ~CWexalFlashImageSpace() override;

    CFlashPROM& GetFlashPROM() { return m_flash; }

private:
    // Layout only: the board reaches its flash through the controller port instead.
    [[maybe_unused]] DWORD m_state = 0;
    CString m_fileName, m_revision;
    CFlashPROM m_flash;
    [[maybe_unused]] DWORD m_words[2] = {};
};
