// Fuzz target tcl_script: Tcl command lines and script files run by the main-board root's Tcl test on the default rig.
#include <tcl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "boards/roots/brimola_board_tests.h"
#include "boards/roots/nuxa_board_tests.h"
#include "boards/tcl/tcl_commands.h"
#include "boards/tcl/tcl_test.h"
#include "breakout/external_io.h"
#include "devlib/rig.h"
#include "framework/test_record.h"
#include "tests/fuzz/fuzz_targets.h"
#include "tests/support/temp_dir.h"

namespace {

// Per input: at most this long, this much more memory, and words no longer than this.
constexpr auto kTimeBudget = std::chrono::milliseconds(1500);
constexpr long kMemoryBudget = 768L << 20;
constexpr int kLongestWord = 64 << 10;

// Tcl's own commands a fuzzed script may call: data, arithmetic, procedures and errors. Files,
// processes, sockets, loops, events, child interpreters, exit and the rest fail.
const char* const kTclAllowed[] = {"set", "unset", "if", "expr", "incr", "catch", "error", "list", "lindex", "llength",
                                   "proc", "return", "eval", "concat", "join", "split", "lappend", "format"};

struct FuzzState {
    Tcl* tcl = nullptr;
    support::TempDir scratch;
    std::set<std::string> allowed;  // full names
    std::chrono::steady_clock::time_point started;
    long startMemory = 0;
    unsigned commands = 0;
};

long ResidentBytes() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * ::sysconf(_SC_PAGESIZE);
}

// Fails a command the input may not run; over its budget the input is stopped as the host stops a
// script (the Tcl test's limit then ends it wherever it runs).
int Screen(ClientData data, Tcl_Interp* interp, int, const char*, Tcl_Command token, int objc, Tcl_Obj* const objv[]) {
    auto* state = static_cast<FuzzState*>(data);
    const bool late = std::chrono::steady_clock::now() - state->started > kTimeBudget;
    const bool large = ++state->commands % 64 == 0 && ResidentBytes() - state->startMemory > kMemoryBudget;
    if (late || large) {
        *g_StopFlag() = 1;
        return TCL_ERROR;
    }
    Tcl_Obj* name = Tcl_NewObj();
    Tcl_IncrRefCount(name);
    Tcl_GetCommandFullName(interp, token, name);
    const std::string full = Tcl_GetString(name);
    Tcl_DecrRefCount(name);
    if (!state->allowed.count(full)) return TCL_ERROR;
    for (int i = 0; i < objc; ++i) {
        int length = 0;
        Tcl_GetStringFromObj(objv[i], &length);
        if (length > kLongestWord) return TCL_ERROR;
    }
    // Procedures the input defines may be called; image files only in the scratch folder.
    if (full == "::proc" && objc > 1) {
        const std::string proc = Tcl_GetString(objv[1]);
        state->allowed.insert(proc.rfind("::", 0) == 0 ? proc : "::" + proc);
    }
    if ((full == "::LoadImage" || full == "::SaveImage") && objc > 1) {
        const std::string file = Tcl_GetString(objv[1]);
        if (file.rfind(state->scratch.Path() + "/", 0) != 0 || file.find("..") != std::string::npos) return TCL_ERROR;
    }
    return TCL_OK;
}

FuzzState& State() {
    static FuzzState state;
    static const bool ready = [] {
        devlib::LoadDefaultRig();
        for (CWexalTreeMapTB* root : {GetMainBoardRoot(), GetCodecBoardRoot()}) {
            root->GetBoardIF().Clear();
            root->SetupDevice(root == GetMainBoardRoot() ? "Brimola1" : "Nuxa1");
            TclOfRoot(root)->TakeBoardIF(root);
            TclOfRoot(root)->GetNulk()->TakeBoardIF(root);
        }
        // The library's commands: what registration adds to a bare interpreter.
        Tcl_Interp* probe = Tcl_CreateInterp();
        Tcl_Eval(probe, "info commands");
        const std::string before = Tcl_GetStringResult(probe);
        RegisterTclCommands(probe);
        Tcl_Eval(probe, "info commands");
        Tcl_Obj* after = Tcl_DuplicateObj(Tcl_GetObjResult(probe));
        Tcl_IncrRefCount(after);
        int count = 0;
        Tcl_Obj** names = nullptr;
        Tcl_ListObjGetElements(nullptr, after, &count, &names);
        for (int i = 0; i < count; ++i) state.allowed.insert(std::string("::") + Tcl_GetString(names[i]));
        Tcl_DecrRefCount(after);
        Tcl_DeleteInterp(probe);
        // Every Tcl built-in known to the probe but not allowed is taken out again.
        for (const auto& name : std::set<std::string>(state.allowed)) {
            const std::string bare = name.substr(2);
            bool builtIn = (" " + before + " ").find(" " + bare + " ") != std::string::npos;
            if (builtIn) state.allowed.erase(name);
        }
        for (const char* name : kTclAllowed) state.allowed.insert(std::string("::") + name);
        state.tcl = TclOfRoot(GetMainBoardRoot());
        Tcl_Interp* interp = state.tcl->GetInterp();
        Tcl_CreateObjTrace(interp, 0, 0, Screen, &state, nullptr);
        Tcl_SetVar(interp, "scratch", state.scratch.Path().c_str(), TCL_GLOBAL_ONLY);
        return true;
    }();
    static_cast<void>(ready);
    return state;
}

}  // namespace

// Byte 0 even: the rest is one TclCommand line (up to a NUL); odd: the rest is a script file run
// with TclLoad. A run answers 1, 2 or 3; anything else, or a script buffer left by a script file,
// breaks a promise.
int FuzzTclScript(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FuzzState& state = State();
    if (!state.tcl || !state.tcl->GetInterp()) return 0;
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string args;
    if (data[0] % 2 == 0) {
        args = "TclCommand " + rest.substr(0, rest.find('\0'));
    } else {
        const std::string file = state.scratch.Write("script.tcl", rest);
        args = "TclLoad FILE=" + file;
    }
    state.started = std::chrono::steady_clock::now();
    state.startMemory = ResidentBytes();
    state.commands = 0;
    const DWORD result = state.tcl->Run(args.c_str());
    *g_StopFlag() = 0;
    const bool scriptFile = data[0] % 2 == 1;
    const size_t left = state.tcl->GetHandles().BufferCount() + state.tcl->GetHandles().PageMemoryCount();
    state.tcl->GetHandles().DeleteAllBuffers();
    state.tcl->GetHandles().DeleteAllPageMemory();
    CTestBase::TakePreHostText(TRUE);
    if (result < 1 || result > 3) {
        std::fprintf(stderr, "broken promise: Tcl run answered %u\n", static_cast<unsigned>(result));
        return 1;
    }
    if (scriptFile && left != 0) {
        std::fprintf(stderr, "broken promise: a script file left %zu script objects\n", left);
        return 1;
    }
    return 0;
}
