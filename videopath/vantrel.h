// CVantrel: the test of a board-link FPGA (codec port or expansion port) and its reset, clock and configuration download.
#pragma once

#include "devlib/register_window.h"
#include "videopath/video_path_tb.h"

class COxd;

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

    // Without a parent: a red "CVantrel:  Parent is NULL" and 2. Its "Over the top" and
    // "Loopback" transfers are not part of this library yet, so every command answers 2 silently.
    DWORD Run(CString command) override;

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
    bool WaitForClock(CWexalBoardIF& board);
    // The controller bits of this port: clock present (status register), clock enable (RAM
    // register); 0 for an id that names no port.
    DWORD ClockPresentBit() const;
    DWORD ClockEnableBit() const;
};
