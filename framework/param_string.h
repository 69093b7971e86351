// A test's argument text (KEY=value, switches, tokens) and the look-up of data files through path macros.
#pragma once

#include <utility>

#include "platform/cstring.h"
#include "platform/types.h"

// The free text a test receives after its name. Read operations work on copies; the text itself
// never changes.
class CParamString {
public:
    CParamString(CString text) : m_text(std::move(text)) {}
    CParamString& operator=(const CString& text) {
        m_text = text;
        return *this;
    }

    // The value of KEY=value or KEY=(...) (brackets nest; the value is what the outermost pair
    // holds). The key is matched as a plain substring, only its first occurrence is tried, and
    // only blanks or tabs may stand between it and "=". Unless caseSensitive, text and key are
    // upper-cased first, so the value comes back upper-case. value is always written ("" on
    // failure).
    BOOL GetValue(const CString& key, CString& value, BOOL caseSensitive = FALSE) const;
    // GetValue with the key matched without regard to case and the value as the user wrote it: for
    // names of files the test creates, which must keep the case they were given.
    BOOL GetValueAsWritten(const CString& key, CString& value) const;
    // TRUE when the text holds the switch -name or /name, ended by a blank, tab, line end or the
    // end of the text. Only the first occurrence of the name is tried.
    BOOL IsSwitch(const CString& name, BOOL caseSensitive = FALSE) const;
    // The n-th (0-based) token of the text before its switches (the first "/" and the character
    // before it are cut), split at any one delimiter; consecutive delimiters give empty tokens;
    // "" when there are fewer tokens.
    CString GetToken(int n, const CString& delimiters) const;

    const CString& GetText() const { return m_text; }

private:
    // Where GetValue's value lies in the text: start and length (the text keeps its positions when
    // upper-cased). False when there is no value.
    bool FindValue(const CString& key, BOOL caseSensitive, int& start, int& length) const;

    CString m_text;
};

// The seed of a "RANDOM SEED=n" image pattern, n "0x" hexadecimal or decimal (any case); the time
// of day without SEED. False when SEED is there but is no number.
bool ReadRandomSeed(const CString& pattern, DWORD& seed);

// The host program's directory, ending in a separator ("./" when it is not known).
CString GetProgramDirectory();
// The system directory followed by "\drivers\Zorv"; "" when the system directory cannot be had
// or is longer than 246 characters.
CString GetDriversDirectory();

// Results of ExpandPathMacros.
constexpr int kPathFound = 4;            // exists as given or expanded (or existence not asked)
constexpr int kPathFoundInTestData = 3;  // found only under "$(CWD)\testdata"
constexpr int kPathNotFound = 1;

// Expands "$(ZORV)" (every one; the drivers directory) and the first "$(CWD)" together with the
// character after it (the program directory, which ends in a separator). With tryTestData, a
// missing path that used "$(ZORV)" is tried again with "$(CWD)\testdata" in its place. The path is
// rewritten only on results 4 and 3, to the local path: a file found is named as it lies on disk
// (looked up without regard to case), a path not required to exist keeps the case given for the
// parts that do not exist yet, so a file created there gets the name the user wrote.
int ExpandPathMacros(CString& path, BOOL tryTestData, BOOL mustExist);

// The local path a user-named file stands for, for messages and for files to create: the macros
// replaced and the separators made local, whether or not the file exists.
CString ExpandedPath(CString path);

// Whether the file a test is given exists, with every "$(VPDVER)" standing for revision and the
// macros expanded (a file found only under "$(CWD)\testdata" counts). path becomes the local path
// found, or, when nothing is found, the expanded name, so a message can name what was looked for.
bool FindNamedFile(CString& path, const CString& revision);

// Finds a data file by its path macros (result 2, the path rewritten to the local path of the file
// found) or, with ask set, lets the user choose one in a file-open dialog run by the platform's dialog runner (2 with the chosen
// path, 1 after Cancel or for a file that does not exist). reserved1 and reserved2 are accepted
// and not read; defaultExt and filter are shown by the dialog.
int FindFileOrAsk(CString& path, const CString& reserved1, const CString& defaultExt, const CString& filter,
                  const CString& reserved2, BOOL ask, BOOL tryTestData);
