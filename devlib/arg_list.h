// The argument parser: words of a command text, and NAME=value / NAME / -NAME arguments run from a table.
#pragma once

#include <string>
#include <vector>

#include "platform/cstring.h"
#include "platform/types.h"

class ArgListArg;
using ArgPostAssignCB = void (*)(ArgListArg* arg, void* context);

// One argument of a table. Syntax:
//   NAME=value   assignment (the value's form belongs to the argument class; blanks may surround '=')
//   NAME, -NAME  a switch: sets or clears the flag value
// Names match without regard to case. An assignment handler reads its value at the text after the
// '=' and answers the text that follows it.
class PEX_EXPORT ArgListArg {
public:
    enum ARGSYNTAX {
        ARG_ASSIGN = 0,           // NAME=value only
        ARG_FLAG = 1,             // NAME or -NAME only
        ARG_FLAG_OR_ASSIGN = 2,   // either
    };

    ArgListArg(const char* name = "", int syntax = ARG_ASSIGN);
    ArgListArg(const ArgListArg&) = default;
    ArgListArg& operator=(const ArgListArg&) = default;
    virtual ~ArgListArg() = default;

    virtual void SetDown();
    virtual void PrepForOptArgs();
    virtual void SetPostAssignCB(ArgPostAssignCB callback, void* context) {
        m_callback = callback;
        m_context = context;
    }
    virtual void HandleFlag(BOOL on);
    // The base argument takes a number (or on/off, true/false, yes/no) as its flag value.
    virtual const char* HandleAssign(const char* text);
    virtual CString Help() { return HelpFlag() + HelpAssign(); }
    virtual CString HelpFlag();
    virtual CString HelpAssign() { return CString(); }

    // Counts the occurrence and answers text, for the start of an assignment handler.
    const char* SetupAssign(const char* text);
    // Ends an assignment: runs the post-assign callback.
    void DoPostAssign(const char*& text);
    // The next non-blank character, consumed (0 at the end of the text, not consumed).
    static char GetNextNonWhite(const char*& text);
    // Moves to the next non-blank character and answers it without consuming it.
    static char GotoNextNonWhite(const char*& text);
    // A number at text: decimal (a leading 0 does not make it octal) or 0x hexadecimal, with an
    // optional sign. FALSE (text unmoved) when none or when it does not fit a long long.
    static BOOL ReadNumber(const char*& text, long long* value);
    // Whether the last assignment was refused (a value the argument cannot hold); clears the mark.
    bool TakeRefused();

    int GetOccurCount() const { return m_occurrences; }
    const char* GetName() const { return m_name; }
    int GetSyntax() const { return static_cast<int>(m_syntax); }
    int GetFlagValue() const { return m_flag; }
    void SetFlagValue(int value) { m_flag = value; }

protected:
    DWORD m_syntax;
    char m_name[32];
    int m_occurrences = 0;
    int m_flag = 0;
    ArgPostAssignCB m_callback = nullptr;
    void* m_context = nullptr;
    DWORD m_reserved[2] = {};
    bool m_refused = false;

    // Ends an assignment whose value does not fit: nothing changes, the occurrence (when counted)
    // is taken back, and the text comes back unmoved.
    const char* Refuse(const char* text, bool counted);
};

// Up to `count` integers: NAME=a,b,c. A missing number (NAME=,5) leaves its value as it was. Each
// is a decimal int or a 0x word up to 0xFFFFFFFF; a list with one that does not fit is refused.
class PEX_EXPORT ArgListValues : public ArgListArg {
public:
    ArgListValues(const char* name, int count, int syntax = ARG_ASSIGN);
    ArgListValues(const ArgListValues& other);
    ArgListValues& operator=(const ArgListValues& other);
    ~ArgListValues() override;

    const char* HandleAssign(const char* text) override;
    void SetDown() override { ArgListArg::SetDown(); }
    void SetDefaultVal(int value);
    int& operator[](int i) { return m_values[i]; }
    int GetCount() const { return m_count; }

protected:
    int* m_values = nullptr;
    int m_count = 0;
};

// A text: NAME="quoted text" or NAME=word (up to the next blank).
class PEX_EXPORT ArgListString : public ArgListArg {
public:
    ArgListString(const char* name = "", int syntax = ARG_ASSIGN, const char* value = "");
    ~ArgListString() override { ArgListString::SetDown(); }

    const char* HandleAssign(const char* text) override;
    void SetDown() override {
        m_value.Empty();
        ArgListArg::SetDown();
    }
    void SetString(const char* text) { m_value = text; }
    void SetString(const CString& text) { m_value = text; }
    CString GetString() const { return m_value; }
    int GetLength() const { return m_value.GetLength(); }
    char operator[](int i) const { return m_value[i]; }

protected:
    CString m_value;
};

// One keyword of a table of rows whose first member is the keyword text (const char*); the table
// ends at a row whose text is null, rowSize is the bytes from one row to the next. A keyword
// matches without regard to case when the text starts with it and no letter follows (digits may:
// "FLRS5,2"); of several that match, the longest wins.
class PEX_EXPORT ArgListKeyword : public ArgListArg {
public:
    ArgListKeyword() : ArgListKeyword("", nullptr, 0) {}
    ArgListKeyword(const char* name, const void* table, int rowSize);
    ~ArgListKeyword() override { ArgListKeyword::SetDown(); }

    // Selects the matching keyword (index 0 to count - 1) and answers the text after it; without a
    // match the index is the keyword count and the text comes back unmoved.
    const char* HandleAssign(const char* text) override;
    void SetDown() override {
        Clear();
        ArgListArg::SetDown();
    }
    void Clear() {
        m_index = m_count;
        m_flags = 0;
    }
    void SetDefault() {
        m_index = m_count;
        m_flags = 0;
    }
    int GetKeywordCount() const { return m_count; }
    int GetIndex() const { return m_index; }
    const char* GetKeyword(int i) const;
    const char* operator[](int i) const { return GetKeyword(i); }

protected:
    const char* GetKeywordUnchecked(int i) const;
    const BYTE* m_table = nullptr;
    int m_rowSize = 0;
    int m_count = 0;
    int m_index = 0;
    DWORD m_flags = 0;
};

// A colour 0xRRGGBB: NAME=0xRRGGBB, NAME=#RRGGBB, a decimal number, or NAME=(r,g,b) with
// components 0-255; a number beyond 0xFFFFFF is refused. Components: [0] red, [1] green, [2] blue. The occurrence count rises only
// when a colour was read.
class PEX_EXPORT ArgListColor : public ArgListArg {
public:
    ArgListColor() : ArgListColor("", 0) {}
    ArgListColor(const char* name, int syntax);
    ~ArgListColor() override { ArgListColor::SetDown(); }

    const char* HandleAssign(const char* text) override;
    void SetDown() override { ArgListArg::SetDown(); }
    DWORD GetColor() const { return m_color; }
    int& operator[](int i) { return m_components[i]; }

protected:
    DWORD m_color = 0;
    int m_components[3] = {};
};

// A command text split into words, and the optional-argument pass over it.
class PEX_EXPORT ArgumentList {
public:
    ArgumentList() = default;
    ArgumentList(const ArgumentList&) = delete;
    ArgumentList& operator=(const ArgumentList&) = delete;
    ~ArgumentList() { Reset(); }

    // Keeps a copy of text; the current position is its start.
    void Set(const char* text);
    // Word n (from 0) of the text, or null. Words are split at blanks, tabs, CR and LF; a double-
    // quoted word keeps its blanks and loses its quotes. Valid until the next Set or Reset.
    const char* Index(int n);
    void Reset();
    // The next word from the current position (moving past it); empty at the end.
    CString Get() { return Get(m_current); }
    static CString Get(const char*& text);
    // The current text position (null before Set).
    const char* First() const { return m_current; }

    // Runs the table (ended by a null entry) over text (the list's own text when null). Words no
    // argument takes are handed back in *leftover as one malloc'd block of NUL-ended strings ended
    // by an empty one (null when every word was taken; release it with free). An assignment whose
    // argument refuses the value comes back whole ("COUNT=4294967297"); an empty quoted word comes
    // back as its quotes. Answers the number of words left over.
    int HandleOptArgs(ArgListArg* const* table, const char* text, char** leftover);
    // The help texts of the table's arguments, in order.
    static CString Help(ArgListArg* const* table);

private:
    static char GotoNextNonWhiteStatic(const char*& text) { return ArgListArg::GotoNextNonWhite(text); }
    char* m_text = nullptr;
    const char* m_current = nullptr;
    std::vector<std::string> m_words;
    bool m_split = false;
};
