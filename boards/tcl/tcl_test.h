// Tcl: the board test that runs Tcl command lines and script files against the selected board.
#pragma once

#include <memory>

#include "boards/tcl/tcl_buffers.h"
#include "devlib/register_window.h"
#include "framework/tree_map_tb.h"
#include "platform/cstring.h"
#include "platform/types.h"

struct Tcl_Interp;
class CNulk;
class CTclGuard;

// Each board root owns one, named "Tcl", holding a Tcl interpreter with the library's commands.
// Keywords (case-sensitive, at the start of the arguments): "TclCommand <text>" evaluates one
// command line, "TclLoad FILE=<path>" runs a script file command by command, "TclTest" runs the
// fixed factorial script. VERBOSE= and ABORTCOUNT= are read from the arguments. The commands act
// on the board that g_pTclBoard names, through that root's Tcl object (see TclOfRoot).
class Tcl : public CWexalTreeMapTB {
public:
    static constexpr DWORD kDefaultAbortCount = 20;
    static constexpr DWORD kWindowBytes = 0x100000;  // the BAR0 register window

    Tcl(CNulk* breakoutTest, CString name);
    ~Tcl() override;

    // 1 passed, 2 failed, 3 when the host's stop request ended the script ("Stopped by User").
    DWORD Run(CString args) override;
    DWORD Help(CString args) override;

    // Stores the parent and enters this test in its child map.
    virtual void SetParent(CWexalTreeMapTB* parent);
    virtual CWexalTreeMapTB* GetParent();
    virtual CNulk* GetNulk();

    // Null when the interpreter could not be created.
    Tcl_Interp* GetInterp() const { return m_interp; }

    // The register window of this object's board binding: the main-board window, else the codec
    // board's. false when the board has neither. *busAddress gets the window's 32-bit bus address
    // from the device library (the stand-in for the mapped host address scripts see).
    bool FindRegisterWindow(RegisterPtr* start, DWORD* busAddress);
    // The cached window start (GetBAR0 and BAR0 keep it here).
    RegisterPtr GetBAR0Pointer() const { return m_bar0; }
    void SetBAR0Pointer(RegisterPtr start) { m_bar0 = start; }

    // The board root whose Tcl test is running (null between runs); SetBoard copies it across.
    CWexalTreeMapTB* GetRunningBoard() const { return m_runningBoard; }
    void SetRunningBoard(CWexalTreeMapTB* board) { m_runningBoard = board; }

    DWORD GetAbortCount() const { return m_abortCount; }
    int GetVerbose() const { return m_verbose; }
    // The fail mark ends a script run failed; the abort mark stops it after the current command.
    BYTE GetFailMark() const { return m_failMark; }
    BYTE GetAbortMark() const { return m_abortMark; }
    void SetFailMark(BYTE mark = 1) { m_failMark = mark; }
    void SetAbortMark(BYTE mark = 1) { m_abortMark = mark; }

    // The script buffers and page memories this object's scripts created.
    CTclHandles& GetHandles() { return m_handles; }

    // The fixed script TclTest runs.
    static constexpr const char* kFactorialScript = "C:\\JQV_TCL\\20040429\\diags\\quickies\\JQV\\JQV_Exe\\factorial.tcl";

private:
    enum Keyword { kNone = 0, kCommand = 1, kLoad = 2, kTest = 3 };
    bool RunCommand(const CString& text);
    bool RunScriptFile(CString args);
    bool RunFactorial();
    bool ScriptStopped();

    RegisterPtr m_bar0;
    CNulk* m_nulk;
    CWexalTreeMapTB* m_runningBoard = nullptr;
    Tcl_Interp* m_interp = nullptr;
    DWORD m_abortCount = kDefaultAbortCount;
    int m_verbose = 0;
    BYTE m_failMark = 0;
    BYTE m_abortMark = 0;
    bool m_stopped = false;
    CWexalTreeMapTB* m_parent = nullptr;
    CTclHandles m_handles;
    // Declared last: the interpreter is deleted before it goes.
    std::unique_ptr<CTclGuard> m_guard;
};

// The board root the Tcl commands act on: set by every run of a Tcl test, changed by SetBoard,
// null at load.
extern CWexalTreeMapTB* g_pTclBoard;

// The two board roots (the main board's "CBrimolaBoard", the codec board's "CNuxaBoard"): the
// library's own, or a root of that board built later (a test's) while it lives.
CWexalTreeMapTB* GetMainBoardRoot();
CWexalTreeMapTB* GetCodecBoardRoot();
// The Tcl test of either root; null for anything else (also null).
Tcl* TclOfRoot(CWexalTreeMapTB* root);

// Finds the executable, then registers the library's commands: 0, or 1 after a dark-red
// "Can't find Tcl Executable" line when Tcl knows no executable (nothing registered then). C
// linkage, as Tcl's own header declares it.
extern "C" int Tcl_AppInit(Tcl_Interp* interp);
// Tests: replaces the query for the executable's name (null: Tcl's own).
void SetTclExecutableQuery(const char* (*query)());
