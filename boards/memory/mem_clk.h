// mem_clk: the Wexal memory clock calibration: sweep the setting, run a test at each, centre the passing window.
#pragma once

#include <vector>

#include "framework/tree_map_tb.h"
#include "platform/cstring.h"
#include "platform/types.h"

class CWexal;

// Finds and sets the Wexal FPGA's memory clock setting (0-255, no read-back: it is only stepped up
// or down). "Clock Test" runs a command of the same board (normally the Wexal random memory test)
// at every setting of a range and sets the clock to the middle of the longest run of passing
// settings; the choice is stored on the board (BAR0 0x613E0) so it outlives a load of the library.
// "Set Clock", "Display Clock" and "Delta Clock Test" set, show and check it. The host's stop
// request ends a sweep before its next run of the command, with result 3 and the clock set back
// to the stored setting.
class mem_clk : public CWexalTreeMapTB {
public:
    static constexpr int kSettings = 256;
    static constexpr int kLowestClock = 90;
    static constexpr int kHighestClock = 255;
    static constexpr DWORD kFallbackClock = 168;  // used when no setting passes
    // Wexal BAR0 words.
    static constexpr DWORD kFlashAddress = 0x4008;
    static constexpr DWORD kFlashData = 0x400C;
    static constexpr DWORD kRevisionWordAddress = 0x1FFFFC;
    static constexpr DWORD kRamControl = 0x4018;
    static constexpr DWORD kClockUp = 0x7F004;
    static constexpr DWORD kClockDown = 0x7F000;
    static constexpr DWORD kStoredClock = 0x613E0;
    static constexpr DWORD kLowestRevision = 0xC5E;
    static constexpr DWORD kLowestKezoRevision = 0x19;

    // A run of consecutive passing settings.
    struct Window {
        DWORD start;
        DWORD length;
    };

    mem_clk(CString name, CWexal* wexal);

    DWORD Run(CString command) override;
    DWORD Help(CString text) override;

    virtual void SetParent(CWexalTreeMapTB* parent);
    virtual CWexalTreeMapTB* GetParent();
    virtual DWORD ClockTest(CString arguments);
    virtual DWORD SetClock(CString arguments);
    virtual DWORD DisplayClock(CString arguments);
    virtual DWORD DeltaClockTest(CString arguments);
    virtual DWORD SetClockDelta(DWORD delta);
    virtual DWORD GetClockDelta();

    DWORD GetOldClock() const { return m_oldClock; }
    DWORD GetNewClock() const { return m_newClock; }
    // The result at each setting in the last pass: -1 not run, else the command's last result.
    const int* GetResults() const { return m_results; }

    // Every maximal run of settings in [min, max] whose result is exactly 1, lowest first.
    static std::vector<Window> FindWindows(const int* results, int min, int max);
    // The longest window (the lowest of equally long ones); FALSE when there is none.
    static BOOL ChooseWindow(const std::vector<Window>& windows, Window& chosen);
    // The lower middle of a window.
    static DWORD WindowCentre(const Window& window) { return window.start + (window.length - 1) / 2; }

private:
    RegisterPtr GetBar0();
    // The board and revision check of the sub-tests; 1 to go on, 2 after its line.
    DWORD CheckBoard(bool checkRevision);
    DWORD ReadRevision(RegisterPtr bar0);
    // Puts the setting at value: 256 up-steps, then 255 - value down-steps, moving the host's
    // progress bar when asked.
    void SetClockSetting(RegisterPtr bar0, DWORD value, bool showProgress);
    void StepClock(RegisterPtr bar0, bool up);
    void PrintPassMap(int min, int max);

    int m_results[kSettings];
    DWORD m_oldClock = 0;
    DWORD m_newClock = 0;
    DWORD m_clockDelta = 0;
    std::vector<Window> m_windows;
    CWexalTreeMapTB* m_parent = nullptr;
    CWexal* m_wexal;
};
