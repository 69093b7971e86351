// Log files over exclusively locked descriptors, KEY=value splitting, and the application object.
#include "framework/log_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_errors.h"
#include "platform/files.h"

// ---- CLogFile ----

CLogFile::CLogFile(const CString& fileName) : m_fileName(fileName) {}

CLogFile::~CLogFile() { Close(); }

int CLogFile::Close() {
    if (m_fd < 0) {
        m_mode = 0;
        return 0;
    }
    int result = ::close(m_fd) == 0 ? 1 : 0;
    m_fd = -1;
    m_mode = 0;
    return result;
}

BOOL CLogFile::Open(int mode) {
    // A closed log has mode 0; Open(0) must not pass for an open file.
    if (m_fd >= 0 && mode == m_mode) return TRUE;
    int access = mode & (kRead | kWrite);
    if (access == 0) {
        errno = EINVAL;
        return FALSE;
    }
    bool always = (mode & kOpenAlways) != 0;
    bool existing = (mode & kOpenExisting) != 0;
    if (always == existing) {
        errno = EINVAL;
        return FALSE;
    }

    Close();
    int flags = access == (kRead | kWrite) ? O_RDWR : access == kWrite ? O_WRONLY : O_RDONLY;
    if (always) flags |= O_CREAT;
    // Through the file layer: a log that writes must not land on a file the run depends on.
    int fd = platform::OpenDescriptor(m_fileName, flags);
    if (fd < 0) return FALSE;
    struct stat st;
    int error = 0;
    if (::fstat(fd, &st) != 0) error = errno;
    else if (S_ISDIR(st.st_mode)) error = EISDIR;
    // No sharing: a second opener, even in this process, is refused while the lock is held. That
    // refusal is the sharing violation a locked file gives on Windows.
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) error = errno == EWOULDBLOCK ? EBUSY : errno;
    if (error) {
        ::close(fd);
        errno = error;
        return FALSE;
    }
    m_fd = fd;
    m_mode = mode;
    return TRUE;
}

BOOL CLogFile::Write(const void* data, DWORD count) {
    if (m_fd < 0) return FALSE;
    if (count == 0) return TRUE;
    if (!data) return FALSE;
    const char* p = static_cast<const char*>(data);
    DWORD left = count;
    while (left > 0) {
        ssize_t n = ::write(m_fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = EIO;
        if (n <= 0) return FALSE;
        p += n;
        left -= static_cast<DWORD>(n);
    }
    return TRUE;
}

DWORD CLogFile::Read(void* buffer, DWORD count) {
    if (m_fd < 0 || !buffer || count == 0) return 0;
    char* p = static_cast<char*>(buffer);
    DWORD got = 0;
    while (got < count) {
        ssize_t n = ::read(m_fd, p + got, count - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<DWORD>(n);
    }
    return got;
}

LONGLONG CLogFile::Seek(LONGLONG offset, int from) {
    if (m_fd < 0) return -1;
    int whence = from == CFile::begin ? SEEK_SET : from == CFile::current ? SEEK_CUR : from == CFile::end ? SEEK_END : -1;
    if (whence < 0) return -1;
    off_t pos = ::lseek(m_fd, static_cast<off_t>(offset), whence);
    return pos < 0 ? -1 : static_cast<LONGLONG>(pos);
}

LONGLONG CLogFile::GetLength() const {
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) return -1;
    return static_cast<LONGLONG>(st.st_size);
}

BOOL CLogFile::Append(const void* data, DWORD length) {
    if (!data && length > 0) {
        errno = EINVAL;
        return FALSE;
    }
    const bool wasOpen = m_fd >= 0;
    const int oldMode = m_mode;
    if (wasOpen) Close();
    if (!Open(kWrite | kOpenExisting) && !Open(kWrite | kOpenAlways)) {
        const int error = errno;
        if (wasOpen) Open(oldMode);  // leave the caller's handle as it was
        errno = error;
        return FALSE;
    }
    // The first failure is the cause; what is done after it must not change errno.
    int error = Seek(0, CFile::end) >= 0 && Write(data, length) ? 0 : errno;
    if (!wasOpen) {
        // The close may be what reports a lost write (a file system that writes on close).
        if (!Close() && !error) error = errno;
    } else if (oldMode != m_mode && !Open(oldMode) && !error) {
        error = errno;
    }
    if (error) errno = error;
    return error ? FALSE : TRUE;
}

CString AppendFailureText(const CString& file, int error) {
    const CString what = file.IsEmpty() ? CString() : CString(" ") + platform::MapPath(file).c_str();
    return platform::SaveFailureText("Unable to append to log file" + what + "\n", error);
}

// ---- CKeyValue ----

CKeyValue::CKeyValue(const CString& text, const CString& separator) : m_text(text), m_separator(separator) {
    int at = text.Find(separator);
    if (at < 0) return;
    m_key = text.Left(at);
    m_key.Trim();
    m_value = text.Right(text.GetLength() - separator.GetLength() - at);
    m_value.Trim();
}

BOOL CKeyValue::KeyEquals(const char* text) const { return text && m_key == text ? TRUE : FALSE; }

BOOL CKeyValue::KeyStartsWith(const char* text, int n) const {
    if (!text) return FALSE;
    if (n <= 0) return TRUE;
    return std::strncmp(m_key.c_str(), text, static_cast<size_t>(n)) == 0 ? TRUE : FALSE;
}

// ---- CBrimolaTestsApp ----

namespace {
CBrimolaTestsApp* g_app = nullptr;  // zero before any constructor runs
}

CBrimolaTestsApp::CBrimolaTestsApp() { g_app = this; }

CBrimolaTestsApp::~CBrimolaTestsApp() {
    if (g_app == this) g_app = nullptr;
}

CWnd* CBrimolaTestsApp::GetMainWnd() const { return platform::GetMainWnd(); }

CBrimolaTestsApp* AfxGetApp() { return g_app; }

// The one application object of the library.
CBrimolaTestsApp theApp;
