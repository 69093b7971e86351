// CWexalTreeMapTB: the base of nearly every test: named children, command splitting, device binding, switches.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "framework/board_if.h"
#include "framework/log_file.h"
#include "framework/wexal_test_base.h"
#include "platform/cstring.h"
#include "platform/host_ui.h"
#include "platform/types.h"

class CDevAddrSpace;
class CResultScreen;

// A test that lives in a tree of named tests and runs against one board. A board root enters its
// children (and itself) into its child map; for every host command it finds the child the command
// names (FindTest), binds itself to the command's device (SetupDevice), hands that binding to every
// child (TakeBoardIF) and runs the child with the arguments.
class CWexalTreeMapTB : public CWexalTestBase {
public:
    // Children by name; the map does not own them.
    using ChildMap = std::map<CString, CTestBase*>;
    // Named log files (keys upper-cased); the map owns them.
    using LogFileMap = std::map<CString, std::unique_ptr<CLogFile>>;
    struct Block32 {
        DWORD words[8];
    };
    struct OneDword {
        DWORD value;
    };

    // With "-ENGINEERING" in "CmdLine" it announces itself ("Create class <name>") in green.
    explicit CWexalTreeMapTB(CString name);
    // Leaves its own child map (see RemoveFromMap); the children themselves are not destroyed.
    ~CWexalTreeMapTB() override;

    // Buffered as plain text while the host has not attached an output control yet.
    void PrintStyled(CString text, COLORREF colour, COLORREF background, BOOL underline) override;
    void PrintColor(CString text, COLORREF colour) override;
    void Print(CString text) override;

    // Switch queries read "CmdLine" afresh every time: a plain upper-case substring test.
    virtual BOOL IsAutoRun();
    virtual BOOL IsEngineering();
    virtual BOOL IsRegression();
    // The value of /name=..., else -name=... in "CmdLine", upper-cased; "" when neither is there.
    virtual CString GetSwitchValue(CString name);

    // The selected board's information text (the header text of the flash image it booted); ""
    // without a device or record.
    virtual CString GetDeviceInfoText();
    // The "R" field of that text; "" after a black-on-yellow "Unable to get R field from flash OXD".
    virtual CString GetFlashRevision();

    virtual std::vector<CString>& GetSummary();
    // Prints every summary line in order; the argument is not read.
    virtual void ShowTestSummary(DWORD unused);
    virtual CString GetName();

    // destination takes source's board binding; answers 1.
    virtual DWORD CopyBoardIF(CWexalTreeMapTB* source, CWexalTreeMapTB* destination);
    // This test takes source's board binding and the host attachment is refreshed; answers 1.
    virtual DWORD TakeBoardIF(CWexalTreeMapTB* source);
    // Binds this test to the board named by the first word of deviceText and maps its BAR0 and
    // SDRAM. 1 on success; 2 from a failed look-up, 0 when no SDRAM space came back.
    virtual DWORD SetupDevice(CString deviceText);

    // Enters this test in parent's child map under GetName(); FALSE without a parent or map, or
    // when the name is taken (the first entry stays).
    virtual BOOL AddToMap(CWexalTreeMapTB* parent);
    // AddToMap(this): a root reaches its own keyword commands through its map.
    virtual BOOL RegisterSelf();
    // Undoes RegisterSelf: erases the entry under the own name from the own map.
    virtual BOOL RemoveFromMap();

    // A board interface bound to the other board of this test's pair: a main board "BrimolaN"
    // pairs with the codec board "NuxaN" (N the last character of the tag) and the other way
    // round. Without a device, or when the partner cannot be set up, it is cleared.
    virtual CWexalBoardIF MakePartnerBoardIF();

    // Splits "<object> <free text> <child arguments...>": see the source for the exact rules.
    virtual void SplitCommandLine(CString line, CString& object, CString& child, CString& arguments);
    // Local date and time as "Sun Dec 6, 2026 2:58:22\n" in the colour.
    virtual void PrintDateTime(COLORREF colour);

    virtual Block32 ReturnBlock32(const Block32* source);
    // Copies eight DWORDs; answers destination + 8.
    virtual DWORD* CopyBlock32(DWORD* destination, const DWORD* source);

    // Reads the named register of the board's "I2C.TSENSOR" space ("1TEMP", "1RHI", ...) and keeps
    // its low byte in *value. FALSE, *value untouched, for a null name or value, an unknown name, a
    // failed read, or no sensor space (after a red "Could not GetSpace( I2C.TSENSOR )").
    virtual BOOL ReadTemperature(const char* registerName, DWORD* value);
    // ReadTemperature until the register gives a non-zero value, at most tries times 1 ms apart (an
    // open sensor diode reads 0 for ever). TRUE with that value; FALSE when a read failed or every
    // reading was 0 (*value then 0).
    static constexpr int kTemperatureTries = 50;
    BOOL ReadTemperatureNonZero(const char* registerName, DWORD* value, int tries = kTemperatureTries);

    // Named log files. Names are upper-cased, so they match in any letter case; a file is opened
    // only while it is written.
    // Maps name to a log file for file: the same path (in any letter case) keeps the entry, another
    // path replaces it, and a file text of two double quotes only removes it. 1, or 0 when no log
    // object could be made.
    virtual DWORD OpenLogFile(const CString& name, const CString& file);
    // The log file mapped to name into *out (when given) and TRUE; FALSE leaves *out alone.
    virtual BOOL FindLogFile(const CString& name, CLogFile** out);
    // The "FileMap" command: FILE=path NAME=name. 1, or 2 after a red error line.
    virtual DWORD FileMap(const CString& command);
    // Inserts the record's text (what the record's host notification delivers, i.e. the result
    // screen's window) into the named file before its closing "}" and ends the file with "}" again;
    // a file without one gets the text after its last non-line-end byte, a missing file is created
    // holding only the text. TRUE when everything was written; FALSE with errno set by the first
    // failed open, write or close, or 0 when no file was tried (no mapping, record or host window).
    virtual BOOL FileAccess(const CString& name, CResultScreen* record);
    // The report of a record that did not reach the named log: AppendFailureText of its file.
    CString LogFailureText(const CString& name, int error);
    // Appends the text's bytes (no line end added) to the named file; an empty text answers TRUE
    // without looking. FALSE for an unmapped name (errno 0) or a failed write (errno its cause).
    virtual BOOL WriteLog(const CString& name, const CString& text);
    // Closes and forgets every log file.
    virtual void CloseLogFiles();

    virtual OneDword ReturnOne();

    // Board memory. Transfers move at most kTransferChunk bytes per device-library call: whole
    // chunks, then a trailer call for the rest (made even when it is 0). A null space means the
    // board interface's SDRAM space. The address is read once.
    static constexpr DWORD kTransferChunk = 0x400000;
    // Zeroes size bytes of SDRAM at address, then writes the SDRAM post-write flush register.
    // false, after a red error line, without an SDRAM space or when a write comes back short.
    virtual bool ClearSDRAM(DWORD address, DWORD size, DWORD unused);
    // Host buffer to SDRAM; false after a red line when there is no space or a piece moves short
    // (earlier pieces stay written).
    virtual bool WriteMemory(const void* buffer, const DWORD& address, DWORD size, CDevAddrSpace* space = nullptr);
    // SDRAM to host buffer, the same way.
    virtual bool ReadMemory(const DWORD& address, void* buffer, DWORD size, CDevAddrSpace* space = nullptr);
    // Prints in black how far the DMA chain from DCB first of the channel has got (ScanDescriptors).
    virtual void ReportFrames(const CString& title, DWORD channel, DWORD first);
    // Walks the chain from DCB first of the board's channel along Next while the DCBs' buffer
    // control units are running: adds the chain's frames to *expected and the finished ones to
    // *received, and for the DCB in transfer sets *lines and *bytes to what it has moved. Walks
    // stop at DCB 0, at an index outside the channel's 16, and after 16 steps (a looping chain).
    virtual void ScanDescriptors(DWORD channel, DWORD first, DWORD* expected, DWORD* received, DWORD* lines,
                                 DWORD* bytes);

    // Board reports. SPD bytes come from "I2C.DIMM1" (North, low order word) and "I2C.DIMM2" (West,
    // high order word); the product data from BAR0 0x2000-0x23FF.
    // Decodes and checks both modules' SPD (identical bytes 0-66, size, geometry, burst lengths,
    // attributes, CAS latencies and their timings against the controller's latency) and prints the
    // report: verbosity 0 one line per module, 1 the full decode, 2 and up the byte dumps. TRUE when
    // nothing failed; a module without its space counts as failed.
    virtual BOOL ShowDIMMInfo(DWORD verbosity);
    // Board plausibility checks for ShowDIMMInfo; here everything passes and message is left alone.
    virtual BOOL CheckDIMMGeometry(BYTE rowBits, BYTE columnBits, CString& message);
    virtual BOOL CheckDIMMSize(DWORD sizeMB, CString& message);
    // Bytes of both modules together (byte 5 x byte 31 x 4 MiB each; a missing module counts 0),
    // held at 0xFFFFFFFF when the sum does not fit 32 bits.
    virtual DWORD ReadSPD();
    // Walks the product data's resource tags (identifier 0x82, read-only fields 0x90, end 0x79 with
    // its checksum, then 0x00), printing a Pass or FAIL line for each; never reads past its 1 KiB.
    virtual BOOL CheckVPDStructure();
    // The product data's "SN" field (at most 79 characters); "" when there is none.
    virtual CString GetSerialNumber();

    // The whole of "CmdLine" in the current directory; "" when it is missing or unreadable (a NUL
    // byte ends the text).
    static CString ReadCmdLine();
    // The child named in line (exact, case-sensitive) with the split parts; null and three empty
    // texts when there is none.
    CTestBase* FindTest(CString line, CString& object, CString& child, CString& arguments);

    ChildMap* GetChildMap() { return m_children.get(); }

protected:
    std::vector<CString> m_summary;
    std::unique_ptr<ChildMap> m_children;
    CString m_name;
    LogFileMap m_logFiles;

private:
    BOOL HasSwitch(const char* upperSwitch);
    void RefreshHostAttachment();
};

// The host's progress bar: dialog item 1034 of the application's main window; null when there is
// no application object, main window or progress control.
CProgressCtrl* GetProgressCtrl();
