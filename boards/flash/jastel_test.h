// CJastelTest ("JastelTest"): checks the board controller's seven registers and what the flash behind them holds.
#pragma once

#include <map>

#include "devlib/register_window.h"
#include "framework/tree_map_tb.h"
#include "platform/cstring.h"
#include "platform/types.h"

class CWexalBoardDevice;

// One test without keywords. It saves the registers, checks BID, I2C, FlashAddr, FlashData, LED,
// FPGA and RAM in turn (a failed section does not stop the next) and puts LED and RAM back.
// Results: 1 pass, 2 fail, 3 stopped (before the run, or during the flash sections).
//
// It also keeps, per board, what it found of the flash port, which the flash chip test's timing
// test needs before it erases a block: the port is only trusted after FlashAddr and FlashData pass.
class CJastelTest : public CWexalTreeMapTB {
public:
    enum FlashPortState { kPortUntested = 0, kPortWorking = 1, kPortFailing = 2, kPortErased = 3 };
    enum Register { kBid, kI2c, kFlashAddr, kFlashData, kLed, kFpga, kRam, kRegisters };

    explicit CJastelTest(CString name);

    DWORD Run(CString arguments) override;
    void ShowHelp() override;
    virtual void SetParent(CWexalTreeMapTB* parent);
    CWexalTreeMapTB* GetParent() const { return m_parent; }

    // The flash port state of a board, kPortUntested for a board this test has not seen.
    int GetFlashPortState(const CZorvDevice* board) const;
    void SetFlashPortState(const CZorvDevice* board, int state);
    // The controller test among the children of a test's parent (the board root), or null.
    static CJastelTest* FindSibling(CWexalTreeMapTB* parent);

private:
    enum Flow { kSectionPassed, kSectionFailed, kStopRequested };

    bool CheckBid(CWexalBoardDevice& board);
    bool CheckI2c();
    Flow CheckFlashAddress();
    // failed tells what was found before a stop request.
    Flow CheckFlashData(bool addressPassed, bool& failed);
    bool CheckLed();
    bool CheckFpga(bool mainBoard);
    bool CheckRam();
    // "Okay" when no bit failed, else the register, the failed bits and what they are.
    bool ReportWrittenBits(Register reg, DWORD bad, const CString& what);
    void Restore();
    DWORD ReadFlashWord(DWORD address);
    DWORD ReadTemperatureSymbol(const char* name);
    // Compares an area with its BAR0 mirror and shows the window around the differences.
    Flow CompareMirror(DWORD area, DWORD mirrorOffset, bool& failed);
    void SectionFailed(bool& failed);

    CWexalTreeMapTB* m_parent = nullptr;
    DWORD m_saved[kRegisters] = {};
    RegisterPtr m_registers;
    std::map<const CZorvDevice*, int> m_flashPort;
};
