// CFlashPROM: the board's flash PROM (Intel command set) driven through the controller's address/data port.
#pragma once

#include "devlib/perf_list.h"
#include "devlib/register_window.h"
#include "platform/types.h"

// What an erase or a buffer write left for the caller's report.
struct FlashOpStatus {
    enum State {
        kNotRun = 0,
        kStartedReady = 1,     // the status was exactly 0x80 when it started
        kStartedNotReady = 2,  // it started with any other status
        kFailed = 3,           // failed; the check afterwards found no error bit beyond the first status
        kFailedNewBits = 4,    // failed with error bits that were not there at the start
        kTimedOut = 5,
    };
    static constexpr int kStamps = 10;

    int state = kNotRun;
    DWORD firstStatus = 0;  // the status read before the operation
    DWORD lastStatus = 0;   // low byte of the last status polled
    DWORD reserved = 0;
    CPerformanceList timer;  // the operation's time stamps and deadline

    // Fields zeroed, stamps dropped, room for kStamps new ones.
    void Restart();
};

// The identifier-mode words of the chip, as CFlashPROM::ReadIdentifier gathers them (44 bytes).
struct FlashIDRecord {
    WORD manufacturer;
    WORD device;
    BYTE lockBits[8];      // block b locked: bit (b % 8) of byte b / 8
    BYTE reserved[8];
    DWORD factoryLocked;   // bit 0 of word 0x80 is 0
    WORD factoryWords[4];  // words 0x82-0x85
    DWORD userLocked;      // bit 1 of word 0x80 is 0
    WORD userWords[4];     // words 0x86, 0x87, 0x8A, 0x8B
};
static_assert(sizeof(FlashIDRecord) == 44);

// The flash sits behind two 32-bit registers of the board controller: the address register takes
// a 16-bit word address and the data register takes commands and data words; a read of the data
// register gives the pair of words at the even address (low half the even word). The object keeps
// the mode it last put the chip in, so an unforced SetMode of that mode writes nothing.
//
// Detached (no port) every operation fails: status reads give 0, reads give zeros, nothing waits.
// Results are 1 and 0; nothing is printed here. Waits are Sleep polls on the (virtual) clock.
class CFlashPROM {
public:
    enum Mode {
        kDetached = 0,
        kAttached = 1,  // no command mode set yet
        kReadArray = 2,
        kReadIdentifier = 3,
        kQuery = 4,
        kReadStatus = 5,
    };

    static constexpr DWORD kWords = 0x400000;
    static constexpr DWORD kBlockWords = 0x10000;
    static constexpr DWORD kBufferWords = 16;
    // BAR0 offset of the controller's flash address register; the data register follows it.
    static constexpr DWORD kPortOffset = 0x4008;

    static constexpr DWORD kCmdReadArray = 0xFF, kCmdReadIdentifier = 0x90, kCmdQuery = 0x98;
    static constexpr DWORD kCmdReadStatus = 0x70, kCmdClearStatus = 0x50;
    static constexpr DWORD kCmdErase = 0x20, kCmdConfirm = 0xD0;
    static constexpr DWORD kCmdWriteBuffer = 0xE8E8, kCmdBufferCount = 0x0F0F;  // count 16, written as 15
    static constexpr DWORD kStatusReady = 0x80, kStatusErrors = 0x7F;

    static constexpr DWORD kClearStatusWaitMs = 2000;
    static constexpr DWORD kEraseTimeoutMs = 2000;
    static constexpr DWORD kBufferTimeoutMs = 50;

    CFlashPROM() = default;
    CFlashPROM(const CFlashPROM&) = delete;
    CFlashPROM& operator=(const CFlashPROM&) = delete;

    // Detaches and clears both records; answers 0.
    int Reset();
    // port points at the address register. A null port detaches; another port than the current
    // one is taken with mode kAttached; the current one again changes nothing.
    void Attach(RegisterPtr port);
    void Detach();

    // Puts the chip in mode m (writing its command at address 0) unless it is there already and
    // force is 0. 1 on success; 0 for a mode above 5, or any mode but 0 while detached.
    BOOL SetMode(int mode, BOOL force);
    // The status byte (read-status mode is set first); 0 while detached.
    int ReadStatus(BOOL force);
    // 1 once the status shows ready within ms (clamped to 1..100000); 0 on time-out or detached.
    BOOL WaitReady(int ms);
    // Waits up to 2000 ms for ready, then clears the status (the chip returns to read-array).
    BOOL ClearStatus();
    // Clears the status and reads it again: 1 when ready and no error bit is set outside expected.
    BOOL CheckStatus(DWORD expected);

    // count words from the word address into buffer (cut at the end of the flash), in read-array
    // mode; zeros when that mode cannot be set. Nothing without a buffer, count <= 0 or an address
    // outside the flash.
    void ReadArray(int count, int address, WORD* buffer);
    // The same word by word in mode 1-5 (identifier, query and status words included).
    void ReadWordsInMode(int count, int mode, int address, WORD* buffer);

    // Erases the block at a word address that is a multiple of 0x10000 inside the flash.
    BOOL EraseBlock(int blockAddress);
    // Programs 16 words at a 16-word-aligned word address inside the flash.
    BOOL WriteBuffer(int address, const WORD* words);
    // Erases the block, then programs its 0x10000 words 16 at a time; stops at the first failure.
    BOOL ProgramBlock(int blockAddress, const WORD* words);
    // Manufacturer and device codes, the 64 block-lock bits and the protection register words;
    // leaves the chip in read-array mode. 0 when identifier mode cannot be set (the record is zero).
    BOOL ReadIdentifier(FlashIDRecord* record);

    int GetMode() const { return m_mode; }
    RegisterPtr GetPort() const { return m_port; }
    FlashOpStatus& GetEraseRecord() { return m_erase; }
    FlashOpStatus& GetWriteRecord() { return m_write; }

private:
    void SetAddress(DWORD address) { m_port[0] = address; }
    void WriteData(DWORD value) { m_port[1] = value; }
    DWORD ReadData() { return m_port[1]; }
    DWORD ReadPairAt(DWORD address) {
        SetAddress(address);
        return ReadData();
    }
    // Fills in state 3, 4 or 5 of a failed operation; answers 0.
    BOOL Fail(FlashOpStatus& record, bool timedOut);

    int m_mode = kDetached;
    RegisterPtr m_port;
    FlashOpStatus m_erase;
    FlashOpStatus m_write;
};
