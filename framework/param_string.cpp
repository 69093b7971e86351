// Argument text reading and the path-macro look-up of data files, with a file-open dialog as fallback.
#include "framework/param_string.h"

#include <cstdio>
#include <vector>

#include "platform/dialog.h"
#include "platform/file_dialog.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/runtime.h"

namespace {

const char kWhite[] = " \t\r\n";

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }
bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

// ---- CParamString ----

BOOL CParamString::GetValue(const CString& key, CString& value, BOOL caseSensitive) const {
    value.Empty();
    if (key.IsEmpty()) return FALSE;
    CString text = m_text;
    CString k = key;
    if (!caseSensitive) {
        text.MakeUpper();
        k.MakeUpper();
    }
    int at = text.Find(k);
    if (at < 0) return FALSE;
    CString rest = text.Mid(at + k.GetLength());
    int eq = rest.Find('=');
    if (eq < 0) return FALSE;
    for (int i = 0; i < eq; ++i)
        if (!IsBlankOrTab(rest[i])) return FALSE;
    rest = rest.Mid(eq + 1);
    rest.TrimLeft(" \t");

    if (rest[0] == '(') {
        int depth = 1;
        int pos = 1;
        for (;;) {
            int close = rest.Find(')', pos);
            if (close < 0) return FALSE;
            int open = rest.Find('(', pos);
            if (open >= 0 && open < close) {
                ++depth;
                pos = open + 1;
            } else {
                --depth;
                pos = close + 1;
            }
            if (depth == 0) {
                value = rest.Mid(1, close - 1);
                return TRUE;
            }
            if (pos >= rest.GetLength()) return FALSE;
        }
    }
    int end = rest.FindOneOf(kWhite);
    value = end < 0 ? rest : rest.Left(end);
    return TRUE;
}

BOOL CParamString::IsSwitch(const CString& name, BOOL caseSensitive) const {
    if (name.IsEmpty()) return FALSE;
    CString text = m_text;
    CString n = name;
    if (!caseSensitive) {
        text.MakeUpper();
        n.MakeUpper();
    }
    int at = text.Find(n);
    if (at < 1) return FALSE;
    char before = text[at - 1];
    if (before != '-' && before != '/') return FALSE;
    int after = at + n.GetLength();
    return (after >= text.GetLength() || IsWhite(text[after])) ? TRUE : FALSE;
}

CString CParamString::GetToken(int n, const CString& delimiters) const {
    CString work = m_text;
    // A "/" starts the switches; the character before it is normally their separating blank.
    int slash = work.Find('/');
    if (slash >= 0) work = work.Left(slash - 1);
    CString token;
    for (int i = 0; i <= n; ++i) {
        int at = work.FindOneOf(delimiters);
        if (at < 0) {
            token = i == n ? work : CString();
            break;
        }
        token = work.Left(at);
        work = work.Mid(at + 1);
    }
    return token;
}

// ---- Directories and path macros ----

CString GetProgramDirectory() {
    std::string dir = platform::GetProgramDir();
    if (dir.empty()) return "./";
    char last = dir.back();
    if (last != '/' && last != '\\' && last != ':') dir += '/';
    return CString(dir);
}

CString GetDriversDirectory() {
    char buffer[260] = {};
    // Room is kept for "\drivers\Zorv" and the terminator.
    UINT length = platform::GetSystemDirectory(buffer, 246);
    if (length == 0 || length > 246) return CString();
    return CString(buffer) + "\\drivers\\Zorv";
}

int ExpandPathMacros(CString& path, BOOL tryTestData, BOOL mustExist) {
    const CString original = path;
    CFileFind find;
    if (find.FindFile(original)) return kPathFound;

    CString work = original;
    CString drivers = GetDriversDirectory();
    if (!drivers.IsEmpty()) work.Replace("$(ZORV)", drivers);
    // The character after "$(CWD)" goes too: it is the separator the directory already ends in.
    if (int cwd = work.Find("$(CWD)"); cwd >= 0)
        work = work.Left(cwd) + GetProgramDirectory() + work.Mid(cwd + 7);

    if (mustExist != 1) {
        path = work;
        return kPathFound;
    }
    CFile::Status status;
    if (CFile::GetStatus(work, status) && work.FindOneOf("*?") < 0) {
        if (find.FindFile(work)) {
            path = work;
            return kPathFound;
        }
        return kPathNotFound;
    }
    if (tryTestData == 1) {
        CString retry = original;
        if (retry.Replace("$(ZORV)", "$(CWD)\\testdata") > 0 && ExpandPathMacros(retry, TRUE, TRUE) == kPathFound &&
            find.FindFile(retry)) {
            path = retry;
            return kPathFoundInTestData;
        }
    }
    return kPathNotFound;
}

int FindFileOrAsk(CString& path, const CString& reserved1, const CString& defaultExt, const CString& filter,
                  const CString& reserved2, BOOL ask, BOOL tryTestData) {
    (void)reserved1;
    (void)reserved2;
    int found = ExpandPathMacros(path, tryTestData, TRUE);
    if (found == kPathFound || found == kPathFoundInTestData) return 2;
    if (!ask) return 1;

    platform::FileDialog dialog(false, defaultExt, path, filter);
    if (platform::DoModal(dialog) != platform::IDOK) return 1;
    CFileFind find;
    if (!find.FindFile(dialog.GetPathName())) return 1;
    path = dialog.GetPathName();
    return 2;
}

bool ReadRandomSeed(const CString& pattern, DWORD& seed) {
    seed = static_cast<DWORD>(platform::time(nullptr));
    CString text;
    if (!CParamString(pattern).GetValue("SEED", text)) return true;
    text.MakeUpper();
    unsigned int hex = 0;
    long decimal = 0;
    if (std::sscanf(text.c_str(), "0X%X", &hex) == 1) {
        seed = hex;
        return true;
    }
    if (std::sscanf(text.c_str(), "%ld", &decimal) == 1) {
        seed = static_cast<DWORD>(decimal);
        return true;
    }
    return false;
}
