// CWexalBoardIF: a test's handle on its board device: device selection, BAR0 and SDRAM spaces, SDRAM compare.
#pragma once

#include "devlib/devices.h"
#include "devlib/register_window.h"
#include "platform/cstring.h"
#include "platform/types.h"

class ArgumentList;
class CTestBase;
class CWexalBAR0Space;
class CWexalSDRAMSpace;
class DataPatternGenerator;

// Every board-bound test owns one. Look-ups answer 1 on success and 2 on failure and report through
// the owner's print slots unless the interface is quiet. A board root copies its interface into
// each child before a run (Copy), so the device part is shared by value, never owned: the spaces
// and the register window belong to the device library for as long as the rig stands.
class CWexalBoardIF {
public:
    CWexalBoardIF() = default;

    // Sets the owner and makes the interface quiet.
    void SetOwner(CTestBase* owner);
    // Forgets the device and everything found on it; owner, quiet flag and BAR0 space stay. Answers 0.
    int Clear();
    // Takes the device part of source (owner and quiet flag stay); a null source just clears.
    void Copy(const CWexalBoardIF* source);
    // quiet = !verbose. Without an owner the interface stays quiet and a verbose request answers 0.
    BOOL SetVerbose(BOOL verbose);

    // The owner's slots 7 and 6 and its compare dump, unless quiet or ownerless.
    void Print(const CString& text);
    void PrintColor(const CString& text, COLORREF colour);
    void PrintCompare(const char* headerFormat, const char* addressFormat, DWORD base, DWORD step, int perLine,
                      int count, const DWORD* expected, const DWORD* actual);

    // Selects the board named by word `index` of the list.
    DWORD ParseDevice(ArgumentList* list, int index, BOOL verbose);
    // Selects the board device of that tag (main or codec board only).
    DWORD SelectDevice(const char* name, BOOL verbose);
    // Finds the device's first space of that type; it becomes the last space, and the register
    // space too when it carries register symbols.
    DWORD GetSpace(CDevAddrSpace::SPACETYPE type, BOOL verbose);
    // Finds the BAR0 space and the register window over its first 1 MiB.
    DWORD GetBAR0(BOOL verbose);
    // Finds the SDRAM space. Its messages are always on, whatever verbose asks.
    DWORD GetSDRAM(BOOL verbose);

    // Writes count words of the generator (AND mask) at the SDRAM byte address when writeLabel is
    // given, then, when readLabel is given, reads them back against a replay of the generator and
    // lists the wrong words (at most 128 from the 8-word group of the first one). Answers 1 when
    // every word matched (or neither label asked for anything), 2 otherwise, also when no device
    // is selected or the memory cannot be mapped. Works block-wise at memory speed; only
    // mismatching blocks are looked at word by word.
    DWORD CompareSDRAM(DWORD address, int count, DataPatternGenerator* generator, DWORD mask, const char* writeLabel,
                       const char* readLabel, BOOL verbose);
    // Whether the FPGA has that DMA channel (0-63): its bit in the channel-present mask, on an FPGA
    // revision above 0x47. FALSE without a mapped board.
    BOOL IsChannelPresent(int channel) const;

    CTestBase* GetOwner() const { return m_owner; }
    BOOL IsQuiet() const { return m_quiet; }
    CZorvDevice* GetDevice() const { return m_device; }
    CDevAddrSpace* GetSDRAMSpace() const { return m_sdram; }
    CDevAddrSpace* GetBAR0Space() const { return m_bar0; }
    CDevAddrSpace* GetLastSpace() const { return m_lastSpace; }
    CDevAddrSpace* GetRegisterSpace() const { return m_registerSpace; }
    // The same spaces as the device library's Wexal classes (null when they are not).
    CWexalSDRAMSpace* GetWexalSDRAMSpace() const;
    CWexalBAR0Space* GetWexalBAR0Space() const;
    // The register window from BAR0 offset 0; the main-board and codec-board forms are null unless
    // the device is of that kind, so a non-null one tells the board type.
    RegisterPtr GetRegisters() const { return m_registers; }
    RegisterPtr GetMainBoardRegisters() const { return m_mainRegisters; }
    RegisterPtr GetCodecBoardRegisters() const { return m_codecRegisters; }

    static constexpr DWORD kRevisionRegister = 0x40000;
    static constexpr DWORD kChannelMaskLow = 0x58308;   // channels 0-31
    static constexpr DWORD kChannelMaskHigh = 0x5830C;  // channels 32-63
    static constexpr DWORD kBar0MapBytes = 0x100000;

private:
    // Stores the window also as the pointer of the device's kind.
    void SetBoardKindPointers();

    BOOL m_quiet = FALSE;
    CTestBase* m_owner = nullptr;
    CZorvDevice* m_device = nullptr;
    CDevAddrSpace* m_sdram = nullptr;
    RegisterPtr m_registers;
    RegisterPtr m_mainRegisters;
    RegisterPtr m_codecRegisters;
    CDevAddrSpace* m_bar0 = nullptr;
    CDevAddrSpace* m_lastSpace = nullptr;
    CDevAddrSpace* m_registerSpace = nullptr;
};
