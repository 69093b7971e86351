// Raw append-only log files, KEY=value splitting, and the library's application object.
#pragma once

#include "platform/cstring.h"
#include "platform/host_ui.h"
#include "platform/types.h"

// A log file opened by name. The file is opened exclusively: while one CLogFile holds it, no other
// opener (in this process or another) gets it. Append reaches the disk at once and does not keep
// the file open unless a caller opened it.
class CLogFile {
public:
    // Open mode bits: at least one access bit and exactly one of kOpenAlways and kOpenExisting.
    static constexpr int kRead = 0x01;
    static constexpr int kWrite = 0x02;
    static constexpr int kOpenAlways = 0x10;    // open, creating the file when missing
    static constexpr int kOpenExisting = 0x20;  // open an existing file only

    explicit CLogFile(const CString& fileName);
    virtual ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Answers 1 when a file was open and closed cleanly, else 0; the log is closed afterwards.
    virtual int Close();
    // Opens with the mode word; the same mode as the open handle answers 1 and changes nothing.
    // 0 for an invalid mode or when the file cannot be opened (the log is then closed), with errno
    // saying why: EBUSY while another opener holds the file.
    virtual BOOL Open(int mode);
    // Writes the bytes at the end of the file (created when missing); 1 when every byte was
    // written and the file closed cleanly, else 0 with errno set by the first failure. A log that
    // was open stays open in its mode (reopened at its start if the append had to change the mode).
    virtual BOOL Append(const void* data, DWORD length);

    // Access to the open handle, for callers that rewrite parts of a log in place.
    bool IsOpen() const { return m_fd >= 0; }
    int GetMode() const { return m_mode; }
    const CString& GetFileName() const { return m_fileName; }
    // Bytes read at the current position (0 at the end or when closed).
    DWORD Read(void* buffer, DWORD count);
    // TRUE when every byte was written at the current position; else errno says why.
    BOOL Write(const void* data, DWORD count);
    // New position, or -1 (from: CFile::begin, current or end).
    LONGLONG Seek(LONGLONG offset, int from);
    // The file's size; -1 when closed.
    LONGLONG GetLength() const;

private:
    int m_fd = -1;  // closed
    CString m_fileName;
    int m_mode = 0;  // 0 while closed
};

// The report of a record that did not reach the log file (a name as CLogFile takes it; "" when no
// file was mapped): "Unable to append to log file <its local path>", then the cause text of error
// on a line of its own.
CString AppendFailureText(const CString& file, int error);

// One text split at the first occurrence of a separator into a trimmed key and value; with no
// separator both stay empty.
class CKeyValue {
public:
    CKeyValue(const CString& text, const CString& separator);

    const CString& GetText() const { return m_text; }
    CString GetKey() const { return m_key; }
    CString GetValue() const { return m_value; }
    // The key equals text exactly (case-sensitive).
    BOOL KeyEquals(const char* text) const;
    // The first n characters of the key equal those of text.
    BOOL KeyStartsWith(const char* text, int n) const;

private:
    CString m_text;
    CString m_separator;
    CString m_key;
    CString m_value;
};

// The library's application object: one instance, built when the library loads. It knows the
// host's main window, whose dialog item 1034 is the host's progress bar.
class CBrimolaTestsApp {
public:
    CBrimolaTestsApp();
    ~CBrimolaTestsApp();
    CBrimolaTestsApp(const CBrimolaTestsApp&) = delete;
    CBrimolaTestsApp& operator=(const CBrimolaTestsApp&) = delete;

    // The host's main window; null when the host has none.
    CWnd* GetMainWnd() const;
};

// The application object while it exists (from its static construction to its destruction),
// else null.
CBrimolaTestsApp* AfxGetApp();
