// Tcl: interpreter life, board routing, and the command-line, script-file and factorial runs.
#include "boards/tcl/tcl_test.h"

#include <tcl.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "boards/roots/brimola_board_tests.h"
#include "boards/roots/nuxa_board_tests.h"
#include "boards/tcl/tcl_commands.h"
#include "boards/tcl/tcl_guard.h"
#include "boards/tcl/tcl_script_lines.h"
#include "boards/tcl/tcl_stdin.h"
#include "devlib/addr_space.h"
#include "framework/arg_number.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "images/file_error.h"
#include "platform/files.h"
#include "platform/paths.h"

extern CBrimolaBoardTests g_BrimolaBoard;
extern CNuxaBoardTests g_NuxaBoard;

CWexalTreeMapTB* g_pTclBoard = nullptr;

extern "C" int __cxa_atexit(void (*function)(void*), void* argument, void* sharedObject);

namespace {

constexpr COLORREF kDarkRed = 0x0000C0;
constexpr COLORREF kYellow = 0x00F0FF;

const char* (*g_executableQuery)() = nullptr;
bool g_executableFound = false;  // once per load of the library (libtcl keeps the same path)
Tcl* g_constructing = nullptr;   // the test whose constructor runs Tcl_AppInit, for its messages

Tcl* g_runningTest = nullptr;  // the Tcl test whose run is under way

// Every interpreter a script can reach has its exit replaced (CTclGuard). Should Tcl's exit still
// be reached, the run's output says why the program ends, which then ends as Tcl would end it.
[[noreturn]] void LastExit(ClientData status) {
    if (g_runningTest) g_runningTest->PrintColor("\nTcl exit reached from a script: the program ends\n", kColorRed);
    Tcl_SetExitProc(nullptr);
    Tcl_Exit(static_cast<int>(reinterpret_cast<intptr_t>(status)));
}

// Tcl cannot start again once it is finalized, and a libtcl unloaded with the library loses what
// Tcl keeps for the process (a later load of the library would leak it). So libtcl stays loaded
// for the life of the process and Tcl_Finalize runs once, as the process ends: after the last
// interpreter, since every Tcl test deletes its own when it goes (the roots at unload).
void KeepTclForTheProcess() {
    static bool kept = false;
    if (kept) return;
    kept = true;
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&Tcl_CreateInterp), &info) && info.dli_fname)
        dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    // Registered for the process (no shared object named), so unloading the library does not run
    // it; Tcl_Finalize takes no argument and ignores the one given.
    __cxa_atexit(reinterpret_cast<void (*)(void*)>(reinterpret_cast<void*>(&Tcl_Finalize)), nullptr, nullptr);
    Tcl_SetExitProc(LastExit);
}

// Tcl tests that have a parent, in the order they got it. The library has one root of each board;
// a root built later (a test's own) stands in for it while it lives.
std::vector<Tcl*>& ParentedTests() {
    static std::vector<Tcl*> tests;
    return tests;
}

template <class Root>
CWexalTreeMapTB* LatestRoot(Root* library) {
    const std::vector<Tcl*>& tests = ParentedTests();
    for (auto it = tests.rbegin(); it != tests.rend(); ++it)
        if (auto* root = dynamic_cast<Root*>((*it)->GetParent())) return root;
    return library;
}

// The running program's own path: Tcl takes its library location from it.
std::string ExecutablePath() {
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) return "";
    path[length] = '\0';
    return path;
}

// Tcl finds its own library by the executable's path, so it is told that first.
void FindExecutableOnce() {
    if (g_executableFound) return;
    Tcl_FindExecutable(ExecutablePath().c_str());
    g_executableFound = true;
}

// The next line of the text from *at, its newline kept; false at the end of the text.
bool NextLine(const std::string& text, size_t* at, std::string& line) {
    if (*at >= text.size()) return false;
    const size_t newline = text.find('\n', *at);
    const size_t end = newline == std::string::npos ? text.size() : newline + 1;
    line.assign(text, *at, end - *at);
    *at = end;
    return true;
}

// The whole file; false on a read error.
bool ReadAll(FILE* file, std::string& text) {
    text.clear();
    char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
    return !std::ferror(file);
}

// Makes folder the working folder again after a script that may have left it (cd): through Tcl,
// so that its own record of the folder follows, else directly. false when neither can.
bool RestoreWorkingFolder(const std::string& folder) {
    if (folder.empty() || platform::GetCurrentDirectory() == folder) return true;
    Tcl_Obj* path = Tcl_NewStringObj(folder.c_str(), -1);
    Tcl_IncrRefCount(path);
    const bool changed = Tcl_FSChdir(path) == 0;
    Tcl_DecrRefCount(path);
    return changed || ::chdir(folder.c_str()) == 0;
}

}  // namespace

CWexalTreeMapTB* GetMainBoardRoot() { return LatestRoot(&g_BrimolaBoard); }
CWexalTreeMapTB* GetCodecBoardRoot() { return LatestRoot(&g_NuxaBoard); }

Tcl* TclOfRoot(CWexalTreeMapTB* root) {
    if (auto* main = dynamic_cast<CBrimolaBoardTests*>(root)) return main->GetTcl();
    if (auto* codec = dynamic_cast<CNuxaBoardTests*>(root)) return codec->GetTcl();
    return nullptr;
}

void SetTclExecutableQuery(const char* (*query)()) { g_executableQuery = query; }

extern "C" int Tcl_AppInit(Tcl_Interp* interp) {
    FindExecutableOnce();
    const char* name = g_executableQuery ? g_executableQuery() : Tcl_GetNameOfExecutable();
    if (!name || !*name) {
        // Without the executable Tcl cannot find its library; the interpreter keeps no commands of ours.
        if (g_constructing) g_constructing->PrintColor("\nCan't find Tcl Executable(ZorvTestEngine.exe)\n", kDarkRed);
        return 1;
    }
    if (!interp) return 1;
    return RegisterTclCommands(interp) == 0 ? 0 : 1;
}

Tcl::Tcl(CNulk* breakoutTest, CString name) : CWexalTreeMapTB(name), m_nulk(breakoutTest) {
    SetCodeName(name);
    KeepTclForTheProcess();
    FindExecutableOnce();
    tclstdin::Acquire();
    m_interp = Tcl_CreateInterp();
    if (!m_interp) PrintColor("Could not create interpreter!\n", kColorRed);
    g_constructing = this;
    const int init = Tcl_AppInit(m_interp);
    g_constructing = nullptr;
    if (init != 0) PrintColor("Tcl_AppInit Failed!\n", kColorRed);
    if (m_interp) m_guard = std::make_unique<CTclGuard>(m_interp, this);
}

Tcl::~Tcl() {
    std::erase(ParentedTests(), this);
    if (g_pTclBoard == m_parent) g_pTclBoard = nullptr;  // no command may reach a root that is gone
    m_handles.DeleteAllBuffers();
    m_handles.DeleteAllPageMemory();
    if (m_interp) Tcl_DeleteInterp(m_interp);
    m_interp = nullptr;
    tclstdin::Release();
}

void Tcl::SetParent(CWexalTreeMapTB* parent) {
    std::erase(ParentedTests(), this);
    m_parent = parent;
    if (parent) ParentedTests().push_back(this);
    AddToMap(parent);
}

CWexalTreeMapTB* Tcl::GetParent() { return m_parent; }
CNulk* Tcl::GetNulk() { return m_nulk; }

bool Tcl::FindRegisterWindow(RegisterPtr* start, DWORD* busAddress) {
    const RegisterPtr main = m_boardIF.GetMainBoardRegisters();
    const RegisterPtr window = main ? main : m_boardIF.GetCodecBoardRegisters();
    if (!window) return false;
    DWORD bus = 0;
    if (CDevAddrSpace* bar0 = m_boardIF.GetBAR0Space(); !bar0 || !bar0->GetPhysAddress(0, &bus)) bus = 0;
    if (start) *start = window;
    if (busAddress) *busAddress = bus;
    return true;
}

DWORD Tcl::Run(CString args) {
    CParamString params(args);
    if (!GetParent()) {
        PrintColor("Tcl:  Parent is NULL\n", kColorRed);
        return kRunFailed;
    }
    if (!m_interp) {
        PrintColor("Tcl:  No interpreter\n", kColorRed);
        return kRunFailed;
    }
    Keyword keyword = kNone;
    CString text;
    for (auto [word, kind] : {std::pair{"TclCommand", kCommand}, {"TclLoad", kLoad}, {"TclTest", kTest}}) {
        const int length = static_cast<int>(std::char_traits<char>::length(word));
        if (args.Left(length) == word) {
            keyword = kind;
            text = args.Mid(length);
            text.TrimLeft();
            break;
        }
    }
    if (const CString refused = RefusedInts(params, {"VERBOSE", "ABORTCOUNT"}); !refused.IsEmpty()) {
        PrintColor(refused, kColorRed);
        return kRunFailed;
    }
    m_verbose = 0;
    const ArgNumber verbose = ReadArgValue(params, "VERBOSE", platform::NumberForm::Decimal, platform::kSigned32Field);
    if (verbose.state == ArgRead::Read) m_verbose = static_cast<int>(verbose.value);
    // A negative count is kept as its 32-bit word, as "%d" into the count reads it: no stop before that.
    m_abortCount = kDefaultAbortCount;
    const ArgNumber abort = ReadArgValue(params, "ABORTCOUNT", platform::NumberForm::Decimal, platform::kSigned32Field);
    if (abort.state == ArgRead::Read) m_abortCount = static_cast<DWORD>(abort.value);
    m_failMark = 0;
    m_abortMark = 0;
    g_pTclBoard = m_runningBoard = GetParent();

    m_guard->Arm();
    m_stopped = false;
    Tcl* const outer = g_runningTest;
    g_runningTest = this;
    // A script's cd moves the whole host: later tests' relative files, and the switch file "CmdLine",
    // would be looked for in the script's folder. The folder is put back however the script ends.
    const std::string folder = platform::GetCurrentDirectory();
    bool passed = false;
    if (CTclGuard::StopRequested()) {
        m_stopped = true;  // asked before anything ran
    } else {
        switch (keyword) {
        case kNone: PrintColor("\nInvalid Test", kColorRed); break;
        case kCommand: passed = RunCommand(text); break;
        case kLoad: passed = RunScriptFile(args); break;
        case kTest: passed = RunFactorial(); break;
        }
    }
    if (!RestoreWorkingFolder(folder)) {
        PrintColor(FormatString("\nERROR:  The working folder %s could not be restored after the script\n", folder.c_str()),
                   kColorRed);
        passed = false;
    }
    g_runningTest = outer;
    m_runningBoard = nullptr;
    if (ScriptStopped()) {
        PrintColor("\nStopped by User\n", kColorRed);
        m_guard->Arm();  // the interpreters leave the stopped state for whatever evaluates next
        return kRunStopped;
    }
    return passed ? kRunPassed : kRunFailed;
}

// The guard stopped the script, or the host asked to stop: between two commands of a file, or
// inside one that failed because of it (a program exec ran that the same Ctrl-C ended, a read of
// stdin given up) before the guard's next check saw the request.
bool Tcl::ScriptStopped() {
    if (m_guard->Stopped() || CTclGuard::StopRequested()) m_stopped = true;
    return m_stopped;
}

bool Tcl::RunCommand(const CString& text) {
    // The text guard keeps "exit" (in any word) from the interpreter; the guard's exit command
    // catches the rest, in every interpreter.
    const int code = text.Find("exit") >= 0 ? 1 : Tcl_Eval(m_interp, text);
    if (code == TCL_OK) return true;
    if (ScriptStopped()) return false;
    CString line;
    line.Format("Error %d executing Tcl command from script file %s", code, "");
    PrintColor(line, kColorRed);
    return false;
}

bool Tcl::RunScriptFile(CString args) {
    CString file;
    if (!CParamString(args).GetValue("FILE", file)) {
        PrintColor("\n", kDarkRed);
        return false;
    }
    CString line;
    if (ExpandPathMacros(file, TRUE, TRUE) == kPathNotFound) {
        line.Format("\nERROR:  Unable to expand variables FILE[%s] setting.\n", file.c_str());
        PrintColor(line, kColorRed);
        return false;
    }
    FILE* script = platform::OpenFile(file, "r");
    if (!script) {
        const int error = errno;
        line.Format("\nError opening %s\n", file.c_str());
        PrintColor(images_detail::SaveFailureText(line, error), kColorRed);
        return false;
    }
    auto echo = [this](const char* format, const std::string& text) {
        CString shown;
        shown.Format(format, '%', text.c_str());
        PrintStyled(shown, kColorBlack, kYellow, FALSE);
    };

    std::string text;
    const bool read = ReadAll(script, text);
    std::fclose(script);
    const size_t nul = text.find('\0');
    if (!read) {
        line.Format("\nError reading %s\n", file.c_str());
        PrintColor(line, kColorRed);
    } else if (nul != std::string::npos) {
        // Tcl reads a command only up to a NUL byte: the rest of its line would be dropped unseen,
        // so such a script is not run at all.
        const long lineOfNul = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(nul), '\n');
        line.Format("\nNUL byte on line %ld of script file %s\n", lineOfNul, file.c_str());
        PrintColor(line, kColorRed);
    }

    bool passed = false;
    int lineNumber = 0;
    size_t at = 0;
    std::string first, next;
    CTclCommandAssembler command;
    bool more = read && nul == std::string::npos && NextLine(text, &at, first);
    while (more) {
        command.Start(first);
        ++lineNumber;
        if (m_verbose) echo("%c %s", first);
        while (!command.IsComplete()) {
            if (!NextLine(text, &at, next)) {
                line.Format("\nError fetching Tcl Command from script file %s", file.c_str());
                PrintColor(line, kColorRed);
                break;
            }
            ++lineNumber;
            if (m_verbose) echo("%c %s", next);
            command.Append(next);
        }
        const bool refused =
            command.Text().find("exit") != std::string::npos || Tcl_Eval(m_interp, command.Text().c_str()) == TCL_ERROR;
        if (ScriptStopped()) break;
        if (refused) {
            if (!m_verbose) echo("\n%c %s", command.Text());
            line.Format("\nTCL Command Error on line %d\nExecuting Tcl command from script file %s\n", lineNumber,
                        file.c_str());
            PrintColor(line, kColorRed);
            passed = false;
            break;
        }
        passed = true;
        if (m_abortMark) break;
        more = NextLine(text, &at, first);
    }
    if (m_failMark) {
        PrintColor("\nTest Failed\n", kColorRed);
        passed = false;
    }
    m_handles.DeleteAllBuffers();
    m_handles.DeleteAllPageMemory();
    return passed;
}

bool Tcl::RunFactorial() {
    const std::string path = platform::MapPath(kFactorialScript);
    if (Tcl_EvalFile(m_interp, path.c_str()) == TCL_OK) return true;
    if (ScriptStopped()) return false;
    PrintColor("Error loading factorial\n", kColorRed);
    return false;
}

DWORD Tcl::Help(CString args) {
    if (args.Left(3) == "TCL") {
        PrintRule(72, 0, kColorGreen);
        PrintColor("Executes TCL commands\n", kColorBlack);
        PrintRule(72, 0, kColorGreen);
    } else {
        CString line;
        line.Format("\n\nERROR:  Tcl\n\"%s\"\n Not recognized as a valid test\n", args.c_str());
        PrintColor(line, kColorRed);
    }
    return kRunPassed;
}
