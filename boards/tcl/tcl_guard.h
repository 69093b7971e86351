// CTclGuard: keeps the Tcl test's scripts, and every interpreter they create, inside the test: no exit, and a stop request ends them.
#pragma once

#include <vector>

struct Tcl_Interp;
class CTestBase;

// Watches the test's interpreter and every interpreter its scripts create (interp create, also
// safe ones and their children):
// - exit, exposed or hidden, is replaced by a command that prints a red line and fails, so no
//   script ends the host;
// - each interpreter has a time limit that is raised again every kCheckMs while the host's stop
//   flag is clear; once it is set each interpreter's limit stays passed at its next check, which
//   ends the script wherever it runs (catch cannot hold a limit error), and Stopped() answers true;
// - scripts cannot change those limits (interp limit and the child commands' limit are refused).
// New interpreters are found when the interp command that made them returns, before the script
// can use them.
class CTclGuard {
public:
    static constexpr long kCheckMs = 20;

    // printer: where the refusals are printed.
    CTclGuard(Tcl_Interp* master, CTestBase* printer);
    ~CTclGuard();
    CTclGuard(const CTclGuard&) = delete;
    CTclGuard& operator=(const CTclGuard&) = delete;

    // Before each run: every interpreter's limit armed again, the stop mark cleared.
    void Arm();
    // A stop request ended (part of) the current run.
    bool Stopped() const { return m_stopped; }
    // The host asked to stop.
    static bool StopRequested();

    // Tcl's exit is refused; the message it prints.
    static constexpr const char* kExitRefused = "\nexit is not available to Tcl test scripts\n";
    static constexpr const char* kLimitRefused = "\ninterp limit is not available to Tcl test scripts\n";

private:
    struct Contained;
    void Contain(Tcl_Interp* interp, Tcl_Interp* parent, const char* nameInParent);
    void ContainChildren(Tcl_Interp* interp);
    void Forget(Tcl_Interp* interp);
    void ArmLimit(Tcl_Interp* interp);
    int PassLimit(Tcl_Interp* interp);
    int Refuse(const char* text);

    static int ExitCommand(void* data, Tcl_Interp* interp, int argc, const char** argv);
    static int InterpCommand(void* data, Tcl_Interp* interp, int objc, struct Tcl_Obj* const objv[]);
    static int ChildCommand(void* data, Tcl_Interp* interp, int objc, struct Tcl_Obj* const objv[]);
    static void TimeLimitReached(void* data, Tcl_Interp* interp);
    static void InterpDeleted(void* data, Tcl_Interp* interp);

    Tcl_Interp* m_master;
    CTestBase* m_printer;
    std::vector<Contained*> m_contained;  // owned; one per live interpreter
    bool m_stopped = false;
};
