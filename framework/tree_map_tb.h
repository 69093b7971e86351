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
    virtual OneDword ReturnOne();

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
