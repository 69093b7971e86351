// Argument text reading and the path-macro look-up of data files, with a file-open dialog as fallback.
#include "framework/param_string.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/number_text.h"
#include "platform/dialog.h"
#include "platform/file_dialog.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/runtime.h"

namespace {


bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }
bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

// ---- CParamString ----

bool CParamString::FindValue(const CString& key, BOOL caseSensitive, int& start, int& length) const {
    if (key.IsEmpty()) return false;
    // Upper-casing keeps every character where it was, so the positions hold in the text as written.
    CString text = m_text;
    CString k = key;
    if (!caseSensitive) {
        text.MakeUpper();
        k.MakeUpper();
    }
    int at = text.Find(k);
    if (at < 0) return false;
    int pos = at + k.GetLength();
    int eq = text.Find('=', pos);
    if (eq < 0) return false;
    for (int i = pos; i < eq; ++i)
        if (!IsBlankOrTab(text[i])) return false;
    pos = eq + 1;
    while (pos < text.GetLength() && IsBlankOrTab(text[pos])) ++pos;

    if (pos < text.GetLength() && text[pos] == '(') {
        const int open = pos;
        int depth = 1;
        int scan = open + 1;
        for (;;) {
            int close = text.Find(')', scan);
            if (close < 0) return false;
            int next = text.Find('(', scan);
            if (next >= 0 && next < close) {
                ++depth;
                scan = next + 1;
            } else {
                --depth;
                scan = close + 1;
            }
            if (depth == 0) {
                start = open + 1;
                length = close - open - 1;
                return true;
            }
            if (scan >= text.GetLength()) return false;
        }
    }
    int end = pos;
    while (end < text.GetLength() && !IsWhite(text[end])) ++end;
    start = pos;
    length = end - pos;
    return true;
}

BOOL CParamString::GetValue(const CString& key, CString& value, BOOL caseSensitive) const {
    value.Empty();
    int start = 0, length = 0;
    if (!FindValue(key, caseSensitive, start, length)) return FALSE;
    value = m_text.Mid(start, length);
    if (!caseSensitive) value.MakeUpper();
    return TRUE;
}

BOOL CParamString::GetValueAsWritten(const CString& key, CString& value) const {
    value.Empty();
    int start = 0, length = 0;
    if (!FindValue(key, FALSE, start, length)) return FALSE;
    value = m_text.Mid(start, length);
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

namespace {

// The path as it lies on this file system: separators made local, and each part that exists named
// as it is on disk, so messages show the file that was used and not the spelling typed.
CString LocalPath(const CString& path) { return CString(platform::MapPath(path.c_str())); }

}  // namespace

int ExpandPathMacros(CString& path, BOOL tryTestData, BOOL mustExist) {
    const CString original = path;
    CFileFind find;
    if (find.FindFile(original)) {
        path = LocalPath(original);
        return kPathFound;
    }

    CString work = original;
    CString drivers = GetDriversDirectory();
    if (!drivers.IsEmpty()) work.Replace("$(ZORV)", drivers);
    // The character after "$(CWD)" goes too: it is the separator the directory already ends in.
    if (int cwd = work.Find("$(CWD)"); cwd >= 0)
        work = work.Left(cwd) + GetProgramDirectory() + work.Mid(cwd + 7);

    if (mustExist != 1) {
        path = LocalPath(work);
        return kPathFound;
    }
    // A pattern is no file; only a name's last part can be one, as on the station's own file
    // system, whose folders never hold "*" or "?" (one here may).
    const int lastPart = std::max(work.ReverseFind('\\'), work.ReverseFind('/')) + 1;
    CFile::Status status;
    if (CFile::GetStatus(work, status) && work.Mid(lastPart).FindOneOf("*?") < 0) {
        if (find.FindFile(work)) {
            path = LocalPath(work);
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

CString ExpandedPath(CString path) {
    ExpandPathMacros(path, FALSE, FALSE);
    return path;
}

bool FindNamedFile(CString& path, const CString& revision) {
    path.Replace("$(VPDVER)", revision);
    const int found = ExpandPathMacros(path, TRUE, TRUE);
    if (found == kPathFound || found == kPathFoundInTestData) return true;
    path = ExpandedPath(path);
    return false;
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
    path = LocalPath(dialog.GetPathName());
    return 2;
}

bool ReadRandomSeed(const CString& pattern, DWORD& seed) {
    seed = static_cast<DWORD>(platform::time(nullptr));
    CString text;
    if (!CParamString(pattern).GetValue("SEED", text)) return true;
    text.MakeUpper();
    // A seed is one 32-bit word: 0x up to 0xFFFFFFFF, or a decimal number whose 32-bit word it is
    // (a negative one included). A number past that is not understood rather than cut to a word.
    const platform::FieldScan hex =
        platform::ReadField(text.c_str(), platform::NumberForm::Prefixed, platform::kUnsigned32Field);
    const platform::FieldScan read = hex.fit != platform::NumberFit::None
                                         ? hex
                                         : platform::ReadField(text.c_str(), platform::NumberForm::Decimal,
                                                               platform::NumberField{INT32_MIN, UINT32_MAX});
    if (read.fit != platform::NumberFit::Fits) return false;
    seed = static_cast<DWORD>(read.value);
    return true;
}
