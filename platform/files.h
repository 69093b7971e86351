// Files and paths: Windows-style paths mapped onto this file system, and the CFile/CArchive/CFileFind subset.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cstring.h"
#include "types.h"

namespace platform {

// Maps a Windows path to a local one. How a name is rooted is read from its raw text:
// - a drive ("C:\x", "C:x"), a backslash root ("\x", the current drive's root) and a UNC name
//   ("\\server\share\x", as "<station>/server/share/x") stand for the station folder (see
//   SetDriveRoot), below which ".." stops as at a drive's root;
// - a relative name ("x", "..\x") is taken from the current folder when that is the station
//   folder or lies inside it, else from the station folder (where a station's programs run), and
//   ".." stops at the station folder; with no station folder set, it stays relative;
// - a name starting with '/' is a local absolute path, the operator's own choice, taken as it stands.
// Backslashes become '/'; "." components and doubled separators are dropped; each existing
// component is matched case-insensitively (an exact match wins). Components that do not exist
// keep the spelling given, so a new file is created with the name as written. "" stays "".
std::string MapPath(const char* path);
// The station folder, which drive letters, rooted names and relative names stand in, so that the
// names the tests use ("C:\Zorv.Encode.0.img") land in one folder the user can see, never in the
// file system's root. "" (the default) is the current folder at the time of the call.
void SetDriveRoot(const std::string& folder);
// The station folder as an absolute path (the current folder when none was set).
std::string GetDriveRoot();

bool FileExists(const char* path);       // a file or a folder
bool IsDirectory(const char* path);
// Whole-file read; false when the file cannot be opened or read, and (EFBIG) when it holds more
// than limit bytes: such a file is refused before any of it is read.
bool ReadWholeFile(const char* path, std::vector<BYTE>& out, size_t limit = SIZE_MAX);
// Saves size bytes as the whole of path, as CFile's modeCreate does: the file is replaced only by
// a complete copy. false, with errno saying why, when anything failed. Like every save and write
// of this layer, it refuses (EPERM) a file the run depends on (see ProtectFile).
bool WriteWholeFile(const char* path, const void* data, size_t size);
// WriteWholeFile's save to a path of this file system, taken as it stands (not mapped), for the
// host's own files (a protected file is written); with sync the bytes reach the disk before the
// file is replaced.
bool SaveLocalFile(const std::string& local, const void* data, size_t size, bool sync = false);
// WriteWholeFile's save to a path of this file system, taken as it stands, of a file the run keeps
// under ownRole (the rig's memory clock store): refused (EPERM) only when it is protected under
// another role too.
bool SaveOwnFile(const std::string& local, const void* data, size_t size, const std::string& ownRole);
// What the failure of the last open or save said beyond errno, when error is its errno: the file
// is one the run depends on ("/st/x.bin is the host's log, ..."), or its folder does not allow a
// new file. "" otherwise.
std::string FileFailureDetail(int error);
// Removes the temporaries of the saves under way, so that the target files stay as they were:
// for a signal handler (async-signal-safe) about to end the process. A temporary that a process
// ended outright left behind is removed by the next save of the same file (never a file the run
// protects or this process holds open, whatever its name).
void RemoveSaveTemporaries();
// While held, a save leaves the temporaries that dead processes left beside its file, noting where
// they are; once released, those are cleared, and each save clears its own again. For a host whose
// first saves come before every file the run depends on is known: until then a file that bears a
// temporary's name (a rig's flash image, a tree) could not be told from one. A run that ends
// before then releases them once what it depends on is known (a rig refused as the library
// loads: it reads no tree).
void HoldTemporarySweeps(bool hold);
// Copies from over to (refused when to exists and failIfExists), with the same guarantee as
// WriteWholeFile, in pieces as a save goes out, so memory stays flat whatever the file's size; the
// copy keeps the source's last-write time. false with errno (and
// FileFailureDetail) saying why: EEXIST for a to kept by failIfExists, EPERM for a file the run
// depends on, EINVAL for a copy of a file onto itself, EISDIR for a folder at either end.
bool CopyFile(const char* from, const char* to, bool failIfExists);
bool DeleteFile(const char* path);
// The local path of the newest regular file (by modification time) matching a pattern with * and ?
// in its last component; "" when none. Equal times go to the later name.
CString FindMostRecentFile(const char* pattern);
// fopen through MapPath. A folder is refused, and so is anything but a regular file in a mode that
// reads ("r", "r+"): a FIFO or device named as an input file fails at once instead of waiting. A
// mode that only writes takes a regular file or a character device, never a FIFO, and writes it in
// place: a save that must not leave a partial file goes through CFile or WriteWholeFile. A mode
// that writes refuses a file the run depends on.
FILE* OpenFile(const char* path, const char* mode);
// open(2) through MapPath, with O_CLOEXEC and 0666 for a new file, for a file a test writes in place
// (a log it adds to). Flags that write take what OpenFile's writing modes take and refuse the same:
// a file the run depends on (EPERM), a FIFO or socket (EINVAL), a folder (EISDIR); a new file its
// folder refuses is said as a save says it (FileFailureDetail; a read-only open leaves that as it
// was). -1 with errno when not opened.
int OpenDescriptor(const char* path, int flags);

}  // namespace platform

// The subset of the original CFile the library uses: a binary byte stream.
//
// modeCreate without modeNoTruncate saves a whole file: the bytes go to a hidden temporary beside
// the target, and only a Close that saw every write, the flush and the close succeed renames it
// over the target. Until then the target keeps what it held; a failed save, an Abort or a CFile
// destroyed before Close removes the temporary. A link is followed (the file it leads to is
// replaced, or made where it leads when not there yet; the link stays); a replaced file keeps its
// permission bits, a new one gets 0666 less the umask. A save needs to write in the target's
// folder, and an existing target must be writable and not one the run depends on. A character
// device is written in place, its errors failing the Close; a FIFO, a socket or a folder is
// refused. Other modes open the file itself.
class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareDenyNone = 0x0040,
        typeBinary = 0x8000,
        modeNoTruncate = 0x2000,
        modeCreate = 0x1000,
    };
    enum SeekPosition { begin = 0, current = 1, end = 2 };

    struct Status {
        LONGLONG size = 0;
        long long mtime = 0;  // seconds since 1970
        bool directory = false;
    };

    CFile() = default;
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    BOOL Open(const char* path, UINT flags);
    // true when a file was open and everything written to it reached it (for a save: the target
    // now holds it); false otherwise, with errno set to the first failure. The file is closed
    // either way.
    bool Close();
    // Closes without keeping anything a save wrote (its target stays as it was); errno is kept.
    void Abort();
    bool IsOpen() const { return m_fp != nullptr; }
    // Bytes actually read (0 at the end of the file).
    UINT Read(void* buf, UINT count);
    // false when not everything was written.
    bool Write(const void* buf, UINT count);
    // New position, or -1 on failure.
    LONGLONG Seek(LONGLONG offset, int from);
    LONGLONG SeekToEnd() { return Seek(0, end); }
    void SeekToBegin() { Seek(0, begin); }
    LONGLONG GetPosition() const;
    LONGLONG GetLength() const;
    void Flush();
    // The errno of the first write or flush that failed, 0 while none has.
    int GetError() const { return m_error; }
    const CString& GetFilePath() const { return m_path; }  // as given to Open

    static BOOL GetStatus(const char* path, Status& status);

private:
    enum class LastOp { None, Read, Write };
    void Switch(LastOp next);
    void NoteWriteFailure() const;  // keeps errno as the first failure
    void Release();                 // before a new Open and at the end: closes, dropping a save not closed
    void Forget();                  // back to no file, once the stream is closed

    FILE* m_fp = nullptr;
    CString m_path;
    LastOp m_lastOp = LastOp::None;
    mutable int m_error = 0;  // GetLength's flush may fail too
    std::string m_target;  // a save: the file the temporary replaces on Close
    std::string m_temp;    // a save: the temporary; "" when the file is written in place
};

namespace platform {

// How two files compare, byte for byte.
enum class FileComparison { Equal, Different, FirstUnreadable, SecondUnreadable, Stopped };
// Compares the next length bytes of two open files, 1 MiB of each at a time: memory stays flat
// whatever their size, a signal is taken between pieces, and the first piece that differs ends the
// compare. A file that gives fewer than length bytes is unreadable (the first one first). A set
// stop flag (the host's Ctrl-C) ends the compare between pieces: Stopped.
FileComparison CompareFileContents(CFile& first, CFile& second, LONGLONG length, const int* stopFlag = nullptr);

}  // namespace platform

// An archive over a CFile. Image readers and writers reach the file directly through GetFile(),
// so the archive itself keeps no buffered bytes.
class CArchive {
public:
    enum Mode { load = 1, store = 0 };
    CArchive(CFile* file, Mode mode, int bufSize = 4096) : m_file(file), m_mode(mode) { (void)bufSize; }
    bool IsStoring() const { return m_mode == store; }
    bool IsLoading() const { return m_mode == load; }
    CFile* GetFile() const { return m_file; }
    void Close() {}

private:
    CFile* m_file;
    Mode m_mode;
};

// Wildcard search over one folder, as the original CFileFind: FindFile, then FindNextFile until it
// answers false (the last match is current after the false answer).
class CFileFind {
public:
    BOOL FindFile(const char* pattern = "*");
    BOOL FindNextFile();
    CString GetFilePath() const;   // the local path of the current match
    CString GetFileName() const;
    bool IsDirectory() const;
    bool IsDots() const;
    long long GetLastWriteTime() const;
    void Close() { m_matches.clear(); m_index = -1; }

private:
    std::vector<std::string> m_matches;  // local paths
    int m_index = -1;
};
