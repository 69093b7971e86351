// The controls and objects a host program provides to the library: output rich-edit control,
// progress control, main window, host object, message boxes.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "cstring.h"
#include "types.h"

// Character format of a run of text in the output control (the fields the library sets).
struct CHARFORMAT2 {
    UINT cbSize = sizeof(CHARFORMAT2);
    DWORD dwMask = 0;
    DWORD dwEffects = 0;       // CFE_* bits
    LONG yHeight = 0;          // twips
    LONG yOffset = 0;
    COLORREF crTextColor = 0;
    BYTE bCharSet = 0;
    BYTE bPitchAndFamily = 0;
    char szFaceName[32] = {};
    WORD wWeight = 0;
    short sSpacing = 0;
    COLORREF crBackColor = 0;
    DWORD lcid = 0;
    DWORD dwReserved = 0;
    short sStyle = 0;
    WORD wKerning = 0;
    BYTE bUnderlineType = 0;
    BYTE bAnimation = 0;
    BYTE bRevAuthor = 0;
    BYTE bReserved1 = 0;
};

constexpr DWORD CFE_BOLD = 0x0001;
constexpr DWORD CFE_ITALIC = 0x0002;
constexpr DWORD CFE_UNDERLINE = 0x0004;
constexpr DWORD CFE_STRIKEOUT = 0x0008;

// A window. The host's main window answers GetDlgItem(1034) with its progress control.
class CWnd {
public:
    virtual ~CWnd() = default;
    virtual CWnd* GetDlgItem(int id) { (void)id; return nullptr; }
    virtual void ShowWindow(int cmd) { (void)cmd; }  // SW_HIDE 0, SW_SHOW 5
};

constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;
constexpr int kProgressCtrlId = 1034;

class CProgressCtrl : public CWnd {
public:
    virtual void SetRange32(int lower, int upper) = 0;
    virtual int SetPos(int pos) = 0;  // answers the previous position
    virtual int GetPos() const = 0;
};

// The host's output window: a rich-edit control holding formatted runs.
class CRichEditCtrl : public CWnd {
public:
    virtual long GetTextLength() const = 0;
    virtual void GetSel(long& start, long& end) const = 0;
    virtual void SetSel(long start, long end) = 0;  // end -1: to the end of the text
    virtual void ReplaceSel(const char* text, bool canUndo = false) = 0;
    virtual void SetSelectionCharFormat(const CHARFORMAT2& cf) = 0;
    virtual int GetLineCount() const = 0;
    virtual void LineScroll(int lines, int chars = 0) = 0;
    virtual CString GetWindowText() const = 0;
    virtual void SetWindowText(const char* text) = 0;
};

// The host object handed to GetTestList.
class CTestHost {
public:
    virtual ~CTestHost() = default;
    virtual CRichEditCtrl* GetOutputCtrl() = 0;
    // Code 1: copy the window text into the caller's CString at value.
    // Code 2: put the caller's CString at value into the window.
    virtual uintptr_t Notify(int code, uintptr_t value) = 0;
};

namespace platform {

// The application's main window (set by the host; null when there is none).
void SetMainWnd(CWnd* wnd);
CWnd* GetMainWnd();

// Message boxes never block: text and caption go to the sink the host installed (its output
// and log) and to the record that tests read; the answer is IDOK.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_TOPMOST = 0x40000;
int MessageBox(const char* text, const char* caption, UINT type = MB_OK);
using MessageSink = std::function<void(const CString& text, const CString& caption)>;
void SetMessageBoxSink(MessageSink sink);
struct MessageRecord { CString text; CString caption; UINT type; };
const std::vector<MessageRecord>& MessageBoxHistory();
void ClearMessageBoxHistory();

// What went wrong while the library started that makes a run untrustworthy, such as a board on
// the rig whose test tree cannot be read: the library notes it, and the host, once it has the
// tree, still runs what was published but does not let the run pass.
void NoteStartupFault(const CString& reason);
const std::vector<CString>& StartupFaults();
void ClearStartupFaults();

}  // namespace platform
