// CVantrel: the test of a board-link FPGA (codec port or expansion port) and its reset, clock and configuration download.
#pragma once

#include "devlib/register_window.h"
#include "videopath/video_path_tb.h"

class COxd;
class CPagedBuffer;
class WexalDCB;

// Each board carries two board-link FPGAs, one per port; a board root builds "CVantrelCodec" (id 3)
// and "CVantrelExpansion" (id 4). The id is the FPGA's device code on the controller's
// configuration port and selects its clock bits. The FPGA is held in reset while the
// configuration register selects it with Chip Select set. Operations on a board take its
// interface, so the FPGAs of both boards of a pair can be driven together.
class CVantrel : public CVideoPathTB {
public:
    static constexpr DWORD kCodecPort = 3;
    static constexpr DWORD kExpansionPort = 4;

    CVantrel(DWORD id, CString name);

    // Without a parent: a red "CVantrel:  Parent is NULL" and 2. Otherwise the command must begin
    // with "\"Over the top\"" or "\"Loopback\"" (quotes included, letter case exact); the rest,
    // leading white space removed, goes to that sub-test. Anything else answers 2 silently.
    DWORD Run(CString command) override;

    // Sub-tests; arguments Seed, Incr, Size (written 0x...), BitsPerPixel 8 or 16, Format "4:2:2"
    // or "4:4:4:4", Mode=Sequence, and Src=Brimola (board to board) or SrcAddress / DstAddress
    // (loopback). A pattern is uploaded to SDRAM page by page, sent through the link FPGA in one
    // transfer, read back and compared. Answers 1 passed, 2 failed, 3 when the host's stop flag ends it
    // (before a pass or page, or in a wait).
    // OverTheTop: from the source board (the codec board unless Src=Brimola) over the cable into
    // address 0 of the other board.
    virtual DWORD OverTheTop(CString arguments);
    // Loopback: on the own board, out of the port at SrcAddress and back in at DstAddress through
    // a plug on the port or the FPGA's internal loop (RAM register bit 8, set for the run).
    virtual DWORD Loopback(CString arguments);

    // Starts a host-to-SDRAM (channel 16 or 17) or SDRAM-to-host (12 or 13) chain: the DCB gets
    // the SDRAM address and the host page table's bus address, is loaded as DCB 1 of the flushed
    // channel and triggered. 1, or 2 for another channel or no board.
    DWORD StartDMAToBoard(CZorvDevice* device, DWORD pciLow, DWORD pciHigh, DWORD channel, WexalDCB& dcb,
                          DWORD sdramAddress);
    DWORD StartDMAToHost(CZorvDevice* device, DWORD pciLow, DWORD pciHigh, DWORD channel, WexalDCB& dcb,
                         DWORD sdramAddress);
    // Polls the channel's live context, without sleeping, until it has no lines left and carries the
    // expected DCB's tag: 1. 2 when bytes at bytesPerSecond take longer (never less than 10 ms, so
    // short transfers are not timed out before the engine is first looked at) or without a board;
    // 3 as soon as the host's stop flag is set.
    DWORD WaitDMADone(CZorvDevice* device, DWORD channel, const WexalDCB& expected, DWORD sdramAddress, DWORD bytes,
                      DWORD bytesPerSecond);
    // Compares bytes of the buffer with expected, word by word under the mask; 1 when equal, else 2
    // with one "Offset[...]" line per differing word (at most 20) appended to report.
    DWORD CompareBuffer(CString& report, const CPagedBuffer& buffer, const DWORD* expected, DWORD bytes, DWORD mask);

    // Loads the image into this FPGA on the own board and, when the partner board is there, on
    // the partner too, with both held in reset and their link clocks off meanwhile; afterwards
    // both links must see their clock. Answers 1 when everything worked, else 2 after red
    // reasons. The caller is not used.
    DWORD Program(CWexalTreeMapTB* caller, COxd& image);
    // One download on one board: the PROG / INIT handshake, the data byte by byte, INIT and DONE
    // checked at the end. Answers 1, or 2 after a red reason (silently for an image without data).
    DWORD ProgramVantrel(CWexalBoardIF& board, COxd& image);

    // Holds (assert) or releases the FPGA's reset on that board, then gives it 1 ms or 30 ms.
    // Answers 1; 2 after a red line when the interface has no device.
    DWORD Reset(CWexalBoardIF& board, bool assert);
    // Switches this port's link clock on that board (and waits 10 ms) when it is not as wanted.
    void EnableClock(CWexalBoardIF& board, bool on);
    // Whether the FPGA holds a configuration (DONE), asked through the configuration register
    // given, or the own board's when it is null. False when the register does not take the
    // FPGA's device code.
    bool IsLoaded(RegisterPtr fpgaRegister = RegisterPtr());
    // Whether the port's link clock is present on the own board, or on that board (a red line
    // when the interface has no device); it is waited for up to 250 ms.
    bool IsClockTicking();
    bool IsClockTicking(CWexalBoardIF& board);

    DWORD GetId() const { return GetDeviceDigit(); }

private:
    DWORD RunTransfer(bool loopback, const CString& arguments);
    // The board's controller block (BAR0 0x4000) and its BAR0 window (main board, else codec
    // board); null without a device.
    static RegisterPtr ControllerBlock(const CWexalBoardIF& board);
    static RegisterPtr BoardWindow(const CWexalBoardIF& board);
    bool WaitForClock(CWexalBoardIF& board);
    // The controller bits of this port: clock present (status register), clock enable (RAM
    // register); 0 for an id that names no port.
    DWORD ClockPresentBit() const;
    DWORD ClockEnableBit() const;
};
