// CJastel: the board controller's RAM register, which gates the SDRAM clocks and the port power.
#pragma once

#include "devlib/register_window.h"
#include "framework/tree_map_tb.h"
#include "platform/cstring.h"
#include "platform/types.h"

// Owned by each board root. The root hands it the selected board's controller register block
// before every command it dispatches; the video-path, codec and breakout-box tests call
// RAMClockEnable before they touch memory behind the controller. As a test (codec board only) it
// answers the one command "SorbelinRAM_CE".
class CJastel : public CWexalTreeMapTB {
public:
    // Word offsets in the controller block (BAR0 0x4000).
    static constexpr int kRamWord = 0x18 / 4;
    // Wexal clock, Sulveth clock, PPP, CODEC and expansion-port power: switched as one group.
    static constexpr DWORD kClockEnableBits = 0x1F;

    explicit CJastel(CString name);

    // Exactly "SorbelinRAM_CE": the clocks and power on, 1 when the register took it, else 2.
    // Anything else is answered with the "Not recognized" line and 2.
    DWORD Run(CString arguments) override;
    // Keeps the parent and enters this test in its child map.
    virtual void SetParent(CWexalTreeMapTB* parent);
    CWexalTreeMapTB* GetParent() const { return m_parent; }

    // Sets bits 0-4 of the RAM register when enable is exactly 1, clears them for any other value,
    // leaving the other bits as read. Answers 1 when the whole register then reads back as written;
    // 0 on a mismatch, and 0 without touching anything when no register block was given. Verbose
    // above 1 prints the written value. Virtual, so the video-path tests reach it through the
    // pointer their root hands them without linking the board suites.
    virtual BOOL RAMClockEnable(int enable, unsigned verbose);

    void SetControllerRegisters(RegisterPtr registers) { m_registers = registers; }
    RegisterPtr GetControllerRegisters() const { return m_registers; }

private:
    CWexalTreeMapTB* m_parent = nullptr;
    RegisterPtr m_registers;
};
