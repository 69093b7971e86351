// CTclGuard: exit refused and the host's stop request obeyed in the Tcl test's interpreters and their children.
#include "boards/tcl/tcl_guard.h"

#include <tcl.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "framework/result_screen.h"
#include "framework/test_base.h"
#include "framework/test_record.h"

namespace {

constexpr const char* kAssocKey = "pex::guard";

// "limit" and its abbreviations (no other subcommand of interp or of a child command starts with l).
bool IsLimitWord(Tcl_Obj* word) {
    int length = 0;
    const char* text = Tcl_GetStringFromObj(word, &length);
    return length > 0 && std::strncmp(text, "limit", static_cast<size_t>(length)) == 0;
}

}  // namespace

// What the guard keeps per interpreter: the real interp command, and the real command its parent
// holds for it (a child's own command: $child eval ...).
struct CTclGuard::Contained {
    CTclGuard* guard;
    Tcl_Interp* interp;
    Tcl_ObjCmdProc* interpProc = nullptr;
    ClientData interpData = nullptr;
    Tcl_ObjCmdProc* childProc = nullptr;
    ClientData childData = nullptr;
};

CTclGuard::CTclGuard(Tcl_Interp* master, CTestBase* printer) : m_master(master), m_printer(printer) {
    if (m_master) Contain(m_master, nullptr, nullptr);
}

CTclGuard::~CTclGuard() {
    // Normally the interpreters went first (their deletion forgot them); any still alive lose
    // every tie to the guard.
    for (Contained* c : m_contained) {
        Tcl_SetAssocData(c->interp, kAssocKey, nullptr, nullptr);
        Tcl_LimitRemoveHandler(c->interp, TCL_LIMIT_TIME, TimeLimitReached, this);
        delete c;
    }
}

bool CTclGuard::StopRequested() {
    const int* flag = g_StopFlag();
    return flag && *flag != 0;
}

int CTclGuard::Refuse(const char* text) {
    if (m_printer) m_printer->PrintColor(text, kColorRed);
    return TCL_ERROR;
}

void CTclGuard::Contain(Tcl_Interp* interp, Tcl_Interp* parent, const char* nameInParent) {
    auto* c = new Contained{this, interp};
    m_contained.push_back(c);
    Tcl_SetAssocData(interp, kAssocKey, InterpDeleted, c);

    // exit: a safe interpreter keeps it hidden (its parent could still invoke it).
    Tcl_CmdInfo info;
    const bool exposed = Tcl_GetCommandInfo(interp, "exit", &info) != 0;
    const bool hidden = !exposed && Tcl_ExposeCommand(interp, "exit", "exit") == TCL_OK;
    Tcl_CreateCommand(interp, "exit", ExitCommand, this, nullptr);
    if (hidden) Tcl_HideCommand(interp, "exit", "exit");
    Tcl_ResetResult(interp);

    if (Tcl_GetCommandInfo(interp, "interp", &info) && info.objProc != InterpCommand) {
        c->interpProc = info.objProc;
        c->interpData = info.objClientData;
        Tcl_CreateObjCommand(interp, "interp", InterpCommand, c, nullptr);
    }
    if (parent && nameInParent && Tcl_GetCommandInfo(parent, nameInParent, &info) && info.objProc != ChildCommand) {
        c->childProc = info.objProc;
        c->childData = info.objClientData;
        info.objProc = ChildCommand;
        info.objClientData = c;
        Tcl_SetCommandInfo(parent, nameInParent, &info);
    }
    Tcl_LimitAddHandler(interp, TCL_LIMIT_TIME, TimeLimitReached, this, nullptr);
    ArmLimit(interp);
}

void CTclGuard::ContainChildren(Tcl_Interp* interp) {
    auto* self = static_cast<Contained*>(Tcl_GetAssocData(interp, kAssocKey, nullptr));
    if (!self || !self->interpProc) return;
    Tcl_InterpState saved = Tcl_SaveInterpState(interp, TCL_OK);
    Tcl_Obj* words[2] = {Tcl_NewStringObj("interp", -1), Tcl_NewStringObj("slaves", -1)};
    for (Tcl_Obj* w : words) Tcl_IncrRefCount(w);
    std::vector<std::string> names;
    if (self->interpProc(self->interpData, interp, 2, words) == TCL_OK) {
        int count = 0;
        Tcl_Obj** items = nullptr;
        if (Tcl_ListObjGetElements(nullptr, Tcl_GetObjResult(interp), &count, &items) == TCL_OK)
            for (int i = 0; i < count; ++i) names.emplace_back(Tcl_GetString(items[i]));
    }
    for (Tcl_Obj* w : words) Tcl_DecrRefCount(w);
    (void)Tcl_RestoreInterpState(interp, saved);
    for (const std::string& name : names) {
        Tcl_Obj* path = Tcl_NewListObj(0, nullptr);
        Tcl_IncrRefCount(path);
        Tcl_ListObjAppendElement(nullptr, path, Tcl_NewStringObj(name.c_str(), -1));
        Tcl_Interp* child = Tcl_GetSlave(interp, Tcl_GetString(path));
        Tcl_DecrRefCount(path);
        if (!child) continue;
        if (!Tcl_GetAssocData(child, kAssocKey, nullptr)) Contain(child, interp, name.c_str());
        ContainChildren(child);
    }
}

void CTclGuard::Forget(Tcl_Interp* interp) {
    auto it = std::find_if(m_contained.begin(), m_contained.end(), [interp](Contained* c) { return c->interp == interp; });
    if (it == m_contained.end()) return;
    delete *it;
    m_contained.erase(it);
}

namespace {

// Now plus the check interval.
Tcl_Time NextCheck() {
    Tcl_Time next;
    Tcl_GetTime(&next);
    next.usec += CTclGuard::kCheckMs * 1000;
    next.sec += next.usec / 1000000;
    next.usec %= 1000000;
    return next;
}

}  // namespace

void CTclGuard::ArmLimit(Tcl_Interp* interp) {
    Tcl_LimitTypeReset(interp, TCL_LIMIT_TIME);  // also out of the passed state a stop left
    Tcl_Time next = NextCheck();
    Tcl_LimitSetTime(interp, &next);
    Tcl_LimitSetGranularity(interp, TCL_LIMIT_TIME, 1);  // each check reads the clock
    Tcl_LimitTypeSet(interp, TCL_LIMIT_TIME);
}

// A stop that ended a child's script ends the caller's too, before its next command: its limit
// passed now (from outside the handler, which leaves it passed).
int CTclGuard::PassLimit(Tcl_Interp* interp) {
    Tcl_Time past;
    Tcl_GetTime(&past);
    past.sec -= 1;
    Tcl_LimitSetTime(interp, &past);
    Tcl_LimitCheck(interp);
    return TCL_ERROR;
}

void CTclGuard::Arm() {
    m_stopped = false;
    for (Contained* c : m_contained) ArmLimit(c->interp);
}

int CTclGuard::ExitCommand(void* data, Tcl_Interp*, int, const char**) {
    return static_cast<CTclGuard*>(data)->Refuse(kExitRefused);
}

int CTclGuard::InterpCommand(void* data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    auto* c = static_cast<Contained*>(data);
    CTclGuard* guard = c->guard;
    if (objc > 1 && IsLimitWord(objv[1])) return guard->Refuse(kLimitRefused);
    Tcl_Preserve(interp);
    const int code = c->interpProc(c->interpData, interp, objc, objv);
    guard->ContainChildren(interp);
    Tcl_Release(interp);
    return guard->m_stopped ? guard->PassLimit(interp) : code;
}

int CTclGuard::ChildCommand(void* data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    auto* c = static_cast<Contained*>(data);
    if (objc > 1 && IsLimitWord(objv[1])) return c->guard->Refuse(kLimitRefused);
    const int code = c->childProc(c->childData, interp, objc, objv);
    return c->guard->m_stopped ? c->guard->PassLimit(interp) : code;
}

void CTclGuard::TimeLimitReached(void* data, Tcl_Interp* interp) {
    auto* guard = static_cast<CTclGuard*>(data);
    // Once stopped, the limit is left passed: each interpreter stops at its own next check (the
    // limit may not be moved into the past from here, Tcl would not see it passed again).
    if (StopRequested() || guard->m_stopped) {
        guard->m_stopped = true;
        return;
    }
    Tcl_Time next = NextCheck();
    Tcl_LimitSetTime(interp, &next);
}

void CTclGuard::InterpDeleted(void* data, Tcl_Interp* interp) {
    auto* c = static_cast<Contained*>(data);
    c->guard->Forget(interp);
}
