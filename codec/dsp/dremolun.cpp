// CDremolun: ready waits around every bridge access, their time-out lines, block transfers.
#include "codec/dsp/dremolun.h"

#include "framework/result_screen.h"
#include "framework/test_base.h"
#include "platform/clock.h"

CDremolun::CDremolun(void*, void*, CString name) : CNuxaBoardMember(name) { SetCodeName(name); }

BOOL CDremolun::WaitReady() {
    for (int poll = 0; poll < kReadyPolls; ++poll) {
        if (static_cast<DWORD>(Reg(kControl)) & kReady) return TRUE;
        Sleep(1);
    }
    return FALSE;
}

void CDremolun::WriteDataFixed(DWORD address, DWORD data) {
    if (!Usable()) return;
    for (int step = 0; step < 3; ++step) {
        if (!WaitReady()) {
            CString line;
            line.Format("ERROR:  CDremolun::WriteDataFixed(addr,data)\nTimeout waiting for m_pDSP->ctrl & 8, loc %d : Addr[0x%08lX]\n",
                        13 + step, static_cast<unsigned long>(address));
            PrintColor(line, kColorRed);
            return;
        }
        if (step == 0) Reg(kAddress) = address;
        else if (step == 1) Reg(kDataFixed) = data;
    }
}

DWORD CDremolun::ReadDataFixed(DWORD address) {
    if (!Usable()) return 0;
    DWORD value = 0;
    for (int step = 0; step < 3; ++step) {
        if (!WaitReady()) {
            CString line;
            line.Format("ERROR:  CDremolun::ReadDataFixed(addr)\nTimeout waiting for m_pDSP->ctrl & 8, loc %d%s: Addr[0x%08lX]\n", 18 + step,
                        step == 2 ? "  " : " ", static_cast<unsigned long>(address));
            PrintColor(line, kColorRed);
            return 0;
        }
        if (step == 0) Reg(kAddress) = address;
        else if (step == 1) value = Reg(kDataFixed);
    }
    return value;
}

BOOL CDremolun::AutoTimeout(const char* caller, DWORD address) {
    CString line;
    line.Format("ERROR:  CDremolun::%s()\nTimeout waiting for m_pDSP->ctrl & 8 : Addr[0x%08lX]\n", caller, static_cast<unsigned long>(address));
    PrintColor(line, kColorRed);
    return FALSE;
}

template <class Step>
BOOL CDremolun::AutoRun(const char* caller, DWORD address, DWORD count, Step step) {
    if (!WaitReady()) return AutoTimeout(caller, address);
    Reg(kAddress) = address;
    for (DWORD i = 0; i < count; ++i) {
        if (!WaitReady()) return AutoTimeout(caller, address + 4 * i);
        step(i);
    }
    return TRUE;
}

BOOL CDremolun::WriteDataAuto(DWORD address, const DWORD* data, DWORD count) {
    if (!Usable()) return FALSE;
    if (!AutoRun("WriteDataAuto", address, count, [&](DWORD i) { Reg(kDataAuto) = data[i]; })) return FALSE;
    return WaitReady() ? TRUE : AutoTimeout("WriteDataAuto", address + 4 * count);
}

BOOL CDremolun::ReadDataAuto(DWORD address, DWORD* data, DWORD count) {
    if (!Usable()) return FALSE;
    return AutoRun("ReadDataAuto", address, count, [&](DWORD i) { data[i] = Reg(kDataAuto); });
}

BOOL CDremolun::RingDoorbell() {
    if (!Usable() || !WaitReady()) return FALSE;
    Reg(kDoorbell) = 1;
    return TRUE;
}

DWORD CDremolun::ReadIdentification() const { return m_base ? static_cast<DWORD>(m_base[kIdOffset / 4]) : 0; }

BOOL CDremolun::CheckIdentification(DWORD& major, DWORD& minor) const {
    const DWORD id = ReadIdentification();
    major = id >> 12 & 0xFF;
    minor = id & 0xFFF;
    return id >> 20 == kDeviceId ? TRUE : FALSE;
}
