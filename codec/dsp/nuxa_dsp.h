// CNuxaDSP: one codec chip's DSP as the tests drive it: EMIF set-up, microcode, mailbox commands, memory, chip programming.
#pragma once

#include <vector>

#include "codec/dsp/dremolun.h"
#include "framework/result_screen.h"
#include "framework/tree_map_tb.h"

// The DSP is reached through the bridge's block of its chip (A: block 1, B: block 2, by the last
// letter of the test's name). Its address space: internal memory 0x00000000-0x000FFFFF with the
// mailbox at 0xFF200 (command; the DSP clears it when done), 0xFF204 (status: 0 once the firmware
// has started, then the codec's error bits), 0xFF208 (eight argument words) and 0xFF240 (eight
// reply words, the first 1 when the command was carried out); the EMIF A and B control registers
// at 0x01800000 and 0x01A00000 (24 words each); the DSP control word 0x01C00000 (1 boots the code
// at address 0, 0 halts; reads 1 while the code runs); the codec chip's configuration port at
// 0x01C40000 (control: bit 0 PROG, bit 1 INIT, bit 2 DONE) and 0x01C40004 (configuration data, four stream bytes a write, the first in bits 0-7). The microcode image's data goes to address 0
// whole; the DSP boots it only when its magic, length and CRC hold.
class CNuxaDSP : public CNuxaBoardMember {
public:
    static constexpr DWORD kMailboxCommand = 0xFF200, kMailboxStatus = 0xFF204, kMailboxArgs = 0xFF208, kMailboxReply = 0xFF240;
    static constexpr DWORD kEmifBase[2] = {0x01800000, 0x01A00000};
    static constexpr DWORD kEmifPairs = 24;
    static constexpr DWORD kControl = 0x01C00000;
    static constexpr DWORD kConfigControl = 0x01C40000, kConfigData = 0x01C40004;
    static constexpr DWORD kConfigProg = 1, kConfigInit = 2, kConfigDone = 4;
    static constexpr int kMailboxPolls = 100;
    // Mailbox command codes.
    enum Command : DWORD {
        kCmdStartUp = 1, kCmdSetState = 2, kCmdGetState = 3, kCmdSetMode = 4, kCmdGetMode = 5, kCmdAlloc = 6,
        kCmdFirmwareMode = 7, kCmdAddEncodeTableList = 8, kCmdDealloc = 9, kCmdLoadTableList = 11,
    };
    // Register access test codes.
    static constexpr DWORD kAccessWriteEmifA = 0x10, kAccessWriteEmifB = 0x11, kAccessReadEmifA = 0x12, kAccessReadEmifB = 0x13;

    CNuxaDSP(CDremolun* bridge, CString name);

    void SetPatternBuffer(const std::vector<DWORD>* pattern) { m_pattern = pattern; }
    // 1 chip A, 2 chip B, 0 when the name ends in neither.
    int GetChip() const { return m_chip; }

    // Loads EMIF emif (0 A, 1 B) from its table of 24 address/value pairs and reads each back:
    // TRUE when all held; FALSE for another index or a register that did not take its value.
    virtual BOOL InitEmif(int emif, int verbose);
    // The four EMIF access codes (see the class comment of CSorbelinDiag); 0 after a red line when
    // there is no pattern or it is empty, 0 for another code; a read passes only on 0x9876.
    virtual DWORD RegisterAccessTest(DWORD accessType, DWORD start, DWORD end);
    // Halts the DSP, writes the image's data to address 0, boots it and waits for the mailbox
    // status to read 0: TRUE when the microcode runs. The path is expanded in place.
    virtual BOOL DownloadMicrocode(CString& path, int verbose);
    // The revision word of the last microcode that booted; 0 when none did.
    virtual DWORD GetMicrocodeRevision() const { return m_revision; }
    // The start-up handshake: TRUE when the firmware answers with the revision it was booted with.
    virtual BOOL InitializeFirmware(int verbose);
    // Command 7 with "Encode" or "Decode" (any case); FALSE for another text.
    virtual BOOL InitializeFirmwareMode(const CString& mode, int verbose);
    // "Run" or "Halt" (any case) through the mailbox.
    virtual BOOL SetStateByName(const CString& state, int verbose);
    // "Run", "Halt", or "Unknown" when the firmware does not answer.
    virtual CString GetState();
    // "Idle", "Encode", "Decode", "Zorv HD Encode", or "Unknown".
    virtual CString GetMode();
    // "Idle", "Encode", "Decode" or "Zorv HD Encode" (any case).
    virtual BOOL SetMode(const CString& mode, int verbose);
    // Streams the bit stream of the OXD image into the codec chip's configuration port: PROG, wait
    // for INIT, the data a word a write, then DONE. TRUE when DONE rose. The path is expanded in place.
    virtual BOOL ProgramFPGA(CString& imagePath, int verbose);
    // A block of DSP memory of bytes from the firmware's heap; 0 on failure. alignment is not used
    // (the firmware aligns to 16 bytes).
    virtual DWORD Alloc(DWORD bytes, DWORD alignment, int verbose);
    virtual BOOL Dealloc(DWORD address, DWORD bytes, int verbose);
    // bytes (rounded up to whole words) from data to DSP memory at address. (The test base's
    // WriteMemory into the board's SDRAM stays reachable beside it.)
    using CWexalTreeMapTB::WriteMemory;
    virtual BOOL WriteMemory(const void* data, DWORD address, DWORD bytes, int verbose);
    virtual BOOL AddEncodeTableList(DWORD vcid, DWORD encodeAddress, DWORD encodeBytes, DWORD resolutionAddress,
                                    DWORD resolutionBytes, DWORD* tableOffset, int verbose);
    virtual BOOL LoadTableList(int verbose);

    // One mailbox transaction: the arguments, the command, the doorbell, the wait for the DSP to
    // clear the command and the reply. TRUE when the DSP ran it and its first reply word is 1.
    BOOL SendCommand(DWORD command, const DWORD* args, DWORD argCount, DWORD* reply, DWORD replyCount);

private:
    bool SelectBlock();
    void Red(const CString& text) { PrintColor(text, kColorRed); }

    CDremolun* m_bridge;
    const std::vector<DWORD>* m_pattern = nullptr;
    int m_chip;
    DWORD m_revision = 0;
};
