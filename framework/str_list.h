// The image and resolution lists of the image tests: run-mode presets and the text commands that edit them.
#pragma once

#include <vector>

#include "platform/cstring.h"
#include "platform/types.h"

// An ordered list of entries, tested in this order; duplicates are allowed. Image entries are
// pattern names with optional parameters ("SOLID=(Y=400:CB=50:CR=640)"), resolution entries are
// "DIM=(x,y)".
class CStrList {
public:
    CStrList() = default;
    // Every entry of other is added in order.
    CStrList(const CStrList& other);
    // Empties the list, then adds every entry of other through Add.
    CStrList& operator=(const CStrList& other);
    virtual ~CStrList() = default;

    virtual void Add(CString entry);
    // Runs one list command and appends what it has to say to output (never clears it):
    //   "CLEAR" empties the list; "SHOW" lists "Index[n]\t<entry>" lines or "List is empty!";
    //   REMOVE=n removes the n-th entry (0-based), FALSE when there is none;
    //   ADD=text appends text as read by CParamString::GetValue (upper-cased, outer brackets gone).
    // CLEAR and SHOW are matched whole and case-sensitively; anything else is ignored with TRUE.
    virtual BOOL DoCommand(CString command, CString& output);

    // Empties the list and releases its storage; answers 0.
    int FreeStrings();

    int GetCount() const { return static_cast<int>(m_entries.size()); }
    bool IsEmpty() const { return m_entries.empty(); }
    // The entry at index, or "" outside the list.
    CString GetAt(int index) const;
    const std::vector<CString>& GetEntries() const { return m_entries; }

private:
    std::vector<CString> m_entries;
};

// Test pictures: presets 0 (plain run), 1 (engineering), 2 (regression), 3 (both).
class CStrListImages : public CStrList {
public:
    // Appends the preset's entries, first emptying the list when clear is exactly TRUE. A preset
    // outside 0-3 changes nothing and answers FALSE.
    virtual BOOL SetDefaults(int preset, BOOL clear);
};

// Picture sizes: presets 0 (plain run), 1 (engineering), 2 (regression), 3 (both).
class CStrListResolutions : public CStrList {
public:
    // Replaces the list by the preset's entries. A preset outside 0-3 changes nothing and answers
    // FALSE.
    virtual BOOL SetDefaults(int preset);
};

// The preset of a run mode: 2 x regression + engineering.
inline int StrListPreset(bool regression, bool engineering) { return (regression ? 2 : 0) + (engineering ? 1 : 0); }

// Where a test's list commands print; the test binds it to its own Print slot. The text may carry
// colour mark-up ("~*RED*~").
class CStrListPrinter {
public:
    virtual ~CStrListPrinter() = default;
    virtual void Print(const CString& text) = 0;
};

// A test's IMAGE_LIST or RESOLUTION_LIST command: the rest of the command, trimmed, goes to the
// list's DoCommand and its output is printed. Answers 1 when the command succeeded, else 2.
int RunStrListCommand(CStrList& list, CString command, CStrListPrinter& out);

// Fills a test's lists with the preset of its run mode, printing "Image Mode is UNDEFINED" or
// "Resolution Mode is UNDEFINED" in red for a preset outside 0-3. TRUE when both were loaded.
BOOL LoadStrListPresets(CStrListImages& images, CStrListResolutions& resolutions, int preset, CStrListPrinter& out);
