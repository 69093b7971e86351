// The tree-map base's named log files: the "FileMap" command, appends, and records kept inside a closing brace.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <new>

#include "framework/log_file.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "framework/tree_map_tb.h"
#include "platform/files.h"

namespace {

// A file text of two double quotes stands for "no file": it unmaps the name.
bool IsEmptyQuotedPath(const CString& file) { return file == "\"\""; }

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// The offset just past the last byte of the open file that is not CR or LF (0 when there is
// none), and that byte in *last. Reads the tail backwards in blocks.
LONGLONG EndOfContent(CLogFile& log, char* last) {
    *last = 0;
    LONGLONG end = log.GetLength();
    char block[4096];
    while (end > 0) {
        const DWORD n = static_cast<DWORD>(std::min<LONGLONG>(end, sizeof block));
        if (log.Seek(end - n, CFile::begin) < 0 || log.Read(block, n) != n) return end;
        for (DWORD i = n; i > 0; --i) {
            if (!IsLineEnd(block[i - 1])) {
                *last = block[i - 1];
                return end - n + i;
            }
        }
        end -= n;
    }
    return 0;
}

}  // namespace

DWORD CWexalTreeMapTB::OpenLogFile(const CString& name, const CString& file) {
    CString key = name;
    key.MakeUpper();
    const auto found = m_logFiles.find(key);
    if (found != m_logFiles.end()) {
        if (found->second && found->second->GetFileName().CompareNoCase(file) == 0) return 1;
        m_logFiles.erase(found);
    }
    // Also when nothing was mapped: a log named "" would create a file of that name.
    if (IsEmptyQuotedPath(file)) return 1;
    std::unique_ptr<CLogFile> log(new (std::nothrow) CLogFile(file));
    if (!log) return 0;
    m_logFiles[key] = std::move(log);
    return 1;
}

BOOL CWexalTreeMapTB::FindLogFile(const CString& name, CLogFile** out) {
    CString key = name;
    key.MakeUpper();
    const auto found = m_logFiles.find(key);
    if (found == m_logFiles.end()) return FALSE;
    if (out) *out = found->second.get();
    return TRUE;
}

CString CWexalTreeMapTB::LogFailureText(const CString& name, int error) {
    CLogFile* log = nullptr;
    return AppendFailureText(FindLogFile(name, &log) && log ? log->GetFileName() : CString(), error);
}

DWORD CWexalTreeMapTB::FileMap(const CString& command) {
    const CParamString params(command);
    CString file, name;
    // The log is created under the name as written.
    if (!params.GetValueAsWritten("FILE", file)) {
        PrintColor("Unable to find FILE= on command line\n", kColorRed);
        return kRunFailed;
    }
    if (!params.GetValue("NAME", name, FALSE)) {
        PrintColor("Unable to find NAME= on command line\n", kColorRed);
        return kRunFailed;
    }
    if (!OpenLogFile(name, file)) {
        PrintColor("Unable to create a logfile mapping\n", kColorRed);
        return kRunFailed;
    }
    return kRunPassed;
}

BOOL CWexalTreeMapTB::WriteLog(const CString& name, const CString& text) {
    if (text.IsEmpty()) return TRUE;
    CLogFile* log = nullptr;
    if (!FindLogFile(name, &log) || !log) {
        errno = 0;
        return FALSE;
    }
    return log->Append(text.c_str(), static_cast<DWORD>(text.GetLength()));
}

BOOL CWexalTreeMapTB::FileAccess(const CString& name, CResultScreen* record) {
    CLogFile* log = nullptr;
    CString text;
    if (!FindLogFile(name, &log) || !log || !record || record->NotifyHost(reinterpret_cast<uintptr_t>(&text)) != 1) {
        errno = 0;  // no file was tried: no cause of its own
        return FALSE;
    }

    LONGLONG position = 0;
    bool brace = false;
    if (log->Open(CLogFile::kRead | CLogFile::kWrite | CLogFile::kOpenExisting)) {
        char last = 0;
        position = EndOfContent(*log, &last);
        if (last == '}') {
            brace = true;
            --position;  // the record takes the brace's place and the brace follows it
        }
    } else if (!log->Open(CLogFile::kWrite | CLogFile::kOpenAlways)) {
        return FALSE;
    }
    errno = 0;
    BOOL ok = log->Seek(position, CFile::begin) == position &&
              log->Write(text.c_str(), static_cast<DWORD>(text.GetLength()));
    // A lost brace would break the file's structure, so it counts as a failed write.
    if (ok && brace) ok = log->Write("}", 1);
    // The first failure is the cause; the close's own failure counts only after good writes.
    const int error = ok ? 0 : errno ? errno : EIO;
    if (!log->Close() && ok) return FALSE;
    if (!ok) errno = error;
    return ok;
}

void CWexalTreeMapTB::CloseLogFiles() { m_logFiles.clear(); }
