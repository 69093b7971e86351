// CFlashPROM: mode tracking, status polling, block erase, buffered program, array and identifier reads.
#include "framework/hw/flash_prom.h"

#include <algorithm>
#include <cstring>

#include "devlib/wexal_spaces.h"
#include "platform/clock.h"

namespace {

// The command that puts the chip in each mode (modes 0 and 1 have none).
constexpr DWORD kModeCommand[] = {0, 0, CFlashPROM::kCmdReadArray, CFlashPROM::kCmdReadIdentifier,
                                  CFlashPROM::kCmdQuery, CFlashPROM::kCmdReadStatus};

constexpr DWORD kBlockAddressMask = 0x3F0000;   // block starts inside the flash
constexpr DWORD kBufferAddressMask = 0x3FFFF0;  // 16-word buffers inside the flash
constexpr int kEraseStampedPolls = 4;

}  // namespace

void FlashOpStatus::Restart() {
    timer.Clear();
    state = kNotRun;
    firstStatus = lastStatus = reserved = 0;
    timer.Init(kStamps);
}

// The device library declares the space around the flash object; its destructor is built here with it.
CWexalFlashImageSpace::~CWexalFlashImageSpace() { m_flash.Reset(); }

int CFlashPROM::Reset() {
    m_erase.timer.Clear();
    m_write.timer.Clear();
    m_erase.state = m_write.state = FlashOpStatus::kNotRun;
    m_erase.firstStatus = m_erase.lastStatus = m_erase.reserved = 0;
    m_write.firstStatus = m_write.lastStatus = m_write.reserved = 0;
    m_mode = kDetached;
    m_port = RegisterPtr();
    return 0;
}

void CFlashPROM::Attach(RegisterPtr port) {
    if (!port) {
        Detach();
        return;
    }
    if (m_mode != kDetached && port == m_port) return;
    m_port = port;
    m_mode = kAttached;
}

void CFlashPROM::Detach() {
    m_mode = kDetached;
    m_port = RegisterPtr();
}

BOOL CFlashPROM::SetMode(int mode, BOOL force) {
    if (m_mode < kAttached || m_mode > kReadStatus) {
        if (m_mode != kDetached) Detach();
        return mode == kDetached;
    }
    if (mode == m_mode && !force) return TRUE;
    if (mode < kDetached || mode > kReadStatus) return FALSE;
    if (mode == kDetached) {
        Detach();
        return TRUE;
    }
    if (mode != kAttached) {
        SetAddress(0);
        WriteData(kModeCommand[mode]);
    }
    m_mode = mode;
    return TRUE;
}

int CFlashPROM::ReadStatus(BOOL force) {
    if (!SetMode(kReadStatus, force)) return 0;
    SetAddress(0);
    return static_cast<int>(ReadData() & 0xFF);
}

BOOL CFlashPROM::WaitReady(int ms) {
    // Detached there is nothing to wait for: the status would read 0 until the deadline.
    if (!m_port) return FALSE;
    if (ReadStatus(TRUE) & kStatusReady) return TRUE;
    CPerformanceList timer;
    timer.SetMilliTimeout(static_cast<DWORD>(std::clamp(ms, 1, 100000)));
    for (;;) {
        const bool passed = timer.IsTimeout();
        if (ReadStatus(TRUE) & kStatusReady) return TRUE;
        if (passed) break;
        Sleep(1);
    }
    return (ReadStatus(TRUE) & kStatusReady) ? TRUE : FALSE;
}

BOOL CFlashPROM::ClearStatus() {
    if (!WaitReady(static_cast<int>(kClearStatusWaitMs))) return FALSE;
    SetAddress(0);
    WriteData(kCmdClearStatus);
    m_mode = kReadArray;  // the chip leaves read-status mode with the clear
    return TRUE;
}

BOOL CFlashPROM::CheckStatus(DWORD expected) {
    ClearStatus();
    const DWORD status = static_cast<DWORD>(ReadStatus(TRUE));
    if ((status & kStatusReady) && !(status & kStatusErrors & ~expected)) return TRUE;
    Sleep(1);
    ClearStatus();
    return FALSE;
}

void CFlashPROM::ReadArray(int count, int address, WORD* buffer) {
    if (!buffer || count <= 0 || address < 0 || static_cast<DWORD>(address) >= kWords) return;
    count = static_cast<int>(std::min<DWORD>(static_cast<DWORD>(count), kWords - static_cast<DWORD>(address)));
    if (!SetMode(kReadArray, FALSE)) {
        std::fill(buffer, buffer + count, WORD{0});
        return;
    }
    DWORD at = static_cast<DWORD>(address);
    WORD* out = buffer;
    int left = count;
    // The port reads whole even/odd pairs: an odd start takes the high half of the pair before it.
    if (at & 1) {
        *out++ = static_cast<WORD>(ReadPairAt(at - 1) >> 16);
        ++at;
        --left;
    }
    for (; left >= 2; left -= 2, at += 2) {
        const DWORD pair = ReadPairAt(at);
        *out++ = static_cast<WORD>(pair);
        *out++ = static_cast<WORD>(pair >> 16);
    }
    if (left == 1) *out = static_cast<WORD>(ReadPairAt(at));
}

void CFlashPROM::ReadWordsInMode(int count, int mode, int address, WORD* buffer) {
    if (mode < kAttached || mode > kReadStatus || !buffer || count < 1 || address < 0 ||
        static_cast<DWORD>(address) >= kWords)
        return;
    count = static_cast<int>(std::min<DWORD>(static_cast<DWORD>(count), kWords - static_cast<DWORD>(address)));
    if (!SetMode(mode, FALSE)) {
        std::fill(buffer, buffer + count, WORD{0});
        return;
    }
    for (int i = 0; i < count; ++i) {
        const DWORD at = static_cast<DWORD>(address + i);
        const DWORD pair = ReadPairAt(at);
        buffer[i] = static_cast<WORD>((at & 1) ? pair >> 16 : pair);
    }
}

BOOL CFlashPROM::Fail(FlashOpStatus& record, bool timedOut) {
    const BOOL clean = CheckStatus(record.firstStatus);
    record.state = timedOut ? FlashOpStatus::kTimedOut : clean ? FlashOpStatus::kFailed : FlashOpStatus::kFailedNewBits;
    return FALSE;
}

BOOL CFlashPROM::EraseBlock(int blockAddress) {
    m_erase.Restart();
    if (!m_port) return FALSE;
    ClearStatus();
    const DWORD block = static_cast<DWORD>(blockAddress);
    if (block & ~kBlockAddressMask) return FALSE;

    const DWORD first = static_cast<DWORD>(ReadStatus(TRUE));
    m_erase.firstStatus = m_erase.lastStatus = first;
    m_erase.state = first == kStatusReady ? FlashOpStatus::kStartedReady : FlashOpStatus::kStartedNotReady;

    SetAddress(block);
    WriteData(kCmdErase);
    SetAddress(block);
    WriteData(kCmdConfirm);
    m_erase.timer.Keep();
    m_erase.timer.SetMilliTimeout(kEraseTimeoutMs);
    SetMode(kReadStatus, TRUE);

    DWORD value = 0;
    bool ready = false;
    for (int poll = 0;; ++poll) {
        Sleep(20);
        const bool passed = m_erase.timer.IsTimeout();
        if (poll < kEraseStampedPolls) m_erase.timer.Keep();
        value = ReadData();
        if (poll < kEraseStampedPolls) m_erase.timer.Keep();
        ready = (value & kStatusReady) != 0;
        if (ready || passed) break;
    }
    m_erase.timer.Keep();
    m_erase.lastStatus = value & 0xFF;
    if (ready && !(value & kStatusErrors & ~first)) return TRUE;
    return Fail(m_erase, !ready);
}

BOOL CFlashPROM::WriteBuffer(int address, const WORD* words) {
    m_write.Restart();
    if (!m_port || !words) return FALSE;
    ClearStatus();
    const DWORD at = static_cast<DWORD>(address);
    if (at & ~kBufferAddressMask) return FALSE;

    const DWORD first = static_cast<DWORD>(ReadStatus(TRUE));
    m_write.firstStatus = m_write.lastStatus = first;
    m_write.state = first == kStatusReady ? FlashOpStatus::kStartedReady : FlashOpStatus::kStartedNotReady;

    // Ask for the write buffer until the chip reports it free.
    SetAddress(at);
    WriteData(kCmdWriteBuffer);
    m_write.timer.SetMilliTimeout(kBufferTimeoutMs);
    m_write.timer.Keep();
    m_mode = kAttached;
    DWORD value = 0;
    bool ready = false;
    for (;;) {
        const bool passed = m_write.timer.IsTimeout();
        value = ReadPairAt(at);
        ready = (value & kStatusReady) != 0;
        if (ready || passed) break;
        Sleep(0);
        SetAddress(at);
        WriteData(kCmdWriteBuffer);
    }
    m_write.timer.Keep();
    m_write.lastStatus = value & 0xFF;
    if (!ready || m_write.lastStatus != kStatusReady) return Fail(m_write, !ready);

    SetAddress(at);
    WriteData(kCmdBufferCount);
    for (DWORD i = 0; i < kBufferWords; ++i) {
        SetAddress(at + i);
        WriteData(words[i]);
    }
    SetAddress(at);
    WriteData(kCmdConfirm);

    m_write.timer.SetMilliTimeout(kBufferTimeoutMs);
    m_write.timer.Keep();
    for (;;) {
        SetAddress(at);
        WriteData(kCmdReadStatus);
        m_mode = kReadStatus;
        const bool passed = m_write.timer.IsTimeout();
        value = ReadPairAt(at);
        ready = (value & kStatusReady) != 0;
        if (ready || passed) break;
        Sleep(0);
    }
    m_write.timer.Keep();
    m_write.lastStatus = value & 0xFF;
    if (ready && m_write.lastStatus == kStatusReady) {
        ClearStatus();
        return TRUE;
    }
    return Fail(m_write, !ready);
}

BOOL CFlashPROM::ProgramBlock(int blockAddress, const WORD* words) {
    if (!words || !EraseBlock(blockAddress)) return FALSE;
    for (DWORD k = 0; k < kBlockWords; k += kBufferWords)
        if (!WriteBuffer(blockAddress + static_cast<int>(k), words + k)) return FALSE;
    return TRUE;
}

BOOL CFlashPROM::ReadIdentifier(FlashIDRecord* record) {
    if (!record) return FALSE;
    std::memset(record, 0, sizeof *record);
    if (!SetMode(kReadIdentifier, TRUE)) return FALSE;
    const DWORD codes = ReadPairAt(0);
    record->manufacturer = static_cast<WORD>(codes);
    record->device = static_cast<WORD>(codes >> 16);
    (void)ReadPairAt(0);
    for (DWORD b = 0; b < kWords / kBlockWords; ++b) {
        SetMode(kReadIdentifier, TRUE);
        if (ReadPairAt(2 + b * kBlockWords) & 1) record->lockBits[b / 8] |= static_cast<BYTE>(1u << (b % 8));
    }
    const DWORD protection = ReadPairAt(0x80);
    record->factoryLocked = (protection & 1) ? 0 : 1;
    record->userLocked = (protection & 2) ? 0 : 1;
    auto pairInto = [this](DWORD address, WORD* out) {
        const DWORD pair = ReadPairAt(address);
        out[0] = static_cast<WORD>(pair);
        out[1] = static_cast<WORD>(pair >> 16);
    };
    pairInto(0x82, &record->factoryWords[0]);
    pairInto(0x86, &record->userWords[0]);
    pairInto(0x84, &record->factoryWords[2]);
    pairInto(0x8A, &record->userWords[2]);
    return SetMode(kReadArray, TRUE);
}
