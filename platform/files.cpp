// Windows-style paths on a case-sensitive file system, and the CFile/CFileFind subset over stdio.
#include "files.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

bool StatPath(const std::string& local, struct stat& st) {
    return !local.empty() && ::stat(local.c_str(), &st) == 0;
}

std::string& DriveRoot() {
    static std::string root;
    return root;
}

// The station folder that drive letters stand for: the one SetDriveRoot gave, else the current
// folder (the host's working folder), absolute so that reports name the real file.
std::string StationFolder() {
    if (!DriveRoot().empty()) return DriveRoot();
    char* cwd = ::getcwd(nullptr, 0);
    std::string dir = cwd ? cwd : ".";
    std::free(cwd);
    return dir;
}

// The components of a '/'-separated path, without empty and "." ones. With atRoot ".." takes the
// component before it away and stops at the root, as below a Windows drive, so that no drive path
// reaches outside the station folder.
std::vector<std::string> Components(const std::string& s, bool atRoot) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos < s.size()) {
        size_t next = s.find('/', pos);
        if (next == std::string::npos) next = s.size();
        std::string comp = s.substr(pos, next - pos);
        pos = next + 1;
        if (comp.empty() || comp == ".") continue;
        if (atRoot && comp == "..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            parts.push_back(std::move(comp));
        }
    }
    return parts;
}

// Backslashes to '/', the drive letter replaced by the station folder, no "." components or
// doubled separators.
std::string Normalize(const char* path) {
    std::string s(path);
    std::replace(s.begin(), s.end(), '\\', '/');
    if (s.size() >= 2 && s[1] == ':' && std::isalpha(static_cast<unsigned char>(s[0]))) {
        const std::string below = s.substr(2);
        const std::vector<std::string> parts = Components(below, true);
        s = StationFolder() + "/";
        for (const std::string& comp : parts) s += comp + "/";
        if (!parts.empty() && (below.size() <= 1 || below.back() != '/')) s.pop_back();
    }
    bool absolute = !s.empty() && s[0] == '/';
    bool trailing = s.size() > 1 && s.back() == '/';
    std::string out = absolute ? "/" : "";
    for (const std::string& comp : Components(s, false)) {
        if (!out.empty() && out.back() != '/') out += '/';
        out += comp;
    }
    if (out.empty()) return absolute ? "/" : ".";
    if (trailing && out.back() != '/') out += '/';
    return out;
}

// The entry of folder dir spelled like name without regard to case; "" when there is none.
// With several candidates (possible here, not on Windows) the byte-wise smallest wins, so the
// answer does not depend on directory order.
std::string FindNoCase(const std::string& dir, const std::string& name) {
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return "";
    std::string best;
    while (const dirent* e = ::readdir(d)) {
        if (strcasecmp(e->d_name, name.c_str()) == 0 && (best.empty() || best > e->d_name)) best = e->d_name;
    }
    ::closedir(d);
    return best;
}

std::string Join(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

// Case-insensitive wildcard match with Windows' conventions: '*' any run, '?' one character,
// and a trailing ".*" also matches a name without an extension ("*.*" matches everything).
bool WildMatch(const char* pat, const char* name) {
    const char* starPat = nullptr;
    const char* starName = nullptr;
    while (*name) {
        if (*pat == '*') {
            starPat = ++pat;
            starName = name;
        } else if (*pat == '?' ||
                   std::tolower(static_cast<unsigned char>(*pat)) == std::tolower(static_cast<unsigned char>(*name))) {
            ++pat;
            ++name;
        } else if (starPat) {
            pat = starPat;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pat == '*') ++pat;
    if (pat[0] == '.' && pat[1] == '*') {
        pat += 2;
        while (*pat == '*') ++pat;
    }
    return *pat == '\0';
}

// Splits a mapped pattern into its folder (local, "" for the current one) and its last component.
void SplitPattern(const std::string& mapped, std::string& dir, std::string& last) {
    size_t slash = mapped.rfind('/');
    if (slash == std::string::npos) {
        dir.clear();
        last = mapped;
    } else {
        dir = mapped.substr(0, slash == 0 ? 1 : slash);
        last = mapped.substr(slash + 1);
    }
}

// Local paths of the entries matching pattern (wildcards in the last component only), in
// case-insensitive name order with "." and ".." first, as a Windows directory listing gives them.
std::vector<std::string> FindMatches(const char* pattern) {
    std::vector<std::string> out;
    if (!pattern || !*pattern) return out;
    std::string normalized = Normalize(pattern);
    if (normalized.size() > 1 && normalized.back() == '/') return out;  // "dir\" names no entry
    std::string dir, last;
    SplitPattern(normalized, dir, last);
    if (dir.empty() && last.empty()) return out;
    if (!dir.empty()) dir = platform::MapPath(dir.c_str());
    if (last.empty()) return out;  // the root names no entry, as on Windows
    std::vector<std::string> names;
    if (!HasWildcard(last)) {
        struct stat st;
        std::string exact = Join(dir, last);
        if (::lstat(exact.c_str(), &st) == 0) names.push_back(last);
        else if (std::string found = FindNoCase(dir, last); !found.empty()) names.push_back(found);
    } else if (DIR* d = ::opendir(dir.empty() ? "." : dir.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (WildMatch(last.c_str(), e->d_name)) names.emplace_back(e->d_name);
        ::closedir(d);
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            bool aDots = a == "." || a == "..", bDots = b == "." || b == "..";
            if (aDots != bDots) return aDots;
            int c = strcasecmp(a.c_str(), b.c_str());
            return c != 0 ? c < 0 : a < b;
        });
    }
    out.reserve(names.size());
    for (const std::string& n : names) out.push_back(Join(dir, n));
    return out;
}

}  // namespace

namespace platform {

void SetDriveRoot(const std::string& folder) { DriveRoot() = folder; }
std::string GetDriveRoot() { return StationFolder(); }

std::string MapPath(const char* path) {
    if (!path || !*path) return "";
    std::string normalized = Normalize(path);
    // A path that exists as spelled is its own answer: every folder on the way exists as spelled
    // too, so the walk below would keep each component. One lstat instead of one a component.
    struct stat whole;
    if (::lstat(normalized.c_str(), &whole) == 0) return normalized;
    bool trailing = normalized.size() > 1 && normalized.back() == '/';
    std::string out = normalized[0] == '/' ? "/" : "";
    size_t pos = out.size();
    bool resolving = true;  // false once a component is missing: what follows cannot exist
    while (pos < normalized.size()) {
        size_t next = normalized.find('/', pos);
        if (next == std::string::npos) next = normalized.size();
        std::string comp = normalized.substr(pos, next - pos);
        pos = next + 1;
        if (comp.empty()) continue;
        std::string candidate = Join(out, comp);
        struct stat st;
        if (resolving && ::lstat(candidate.c_str(), &st) != 0) {
            std::string found = FindNoCase(out, comp);
            if (found.empty()) resolving = false;
            else candidate = Join(out, found);
        }
        out = std::move(candidate);
    }
    if (trailing && out.back() != '/') out += '/';
    return out;
}

bool FileExists(const char* path) {
    struct stat st;
    return StatPath(MapPath(path), st);
}

bool IsDirectory(const char* path) {
    struct stat st;
    return StatPath(MapPath(path), st) && S_ISDIR(st.st_mode);
}

bool ReadWholeFile(const char* path, std::vector<BYTE>& out) {
    out.clear();
    FILE* fp = OpenFile(path, "rb");
    if (!fp) return false;
    struct stat st;
    bool ok = ::fstat(::fileno(fp), &st) == 0;
    if (ok && st.st_size > 0) {
        out.resize(static_cast<size_t>(st.st_size));
        size_t got = std::fread(out.data(), 1, out.size(), fp);
        ok = got == out.size() || !std::ferror(fp);
        out.resize(got);
    }
    // Files whose size stat does not know (/proc) are read to their end.
    for (char buf[65536]; ok && !std::feof(fp);) {
        size_t got = std::fread(buf, 1, sizeof buf, fp);
        out.insert(out.end(), buf, buf + got);
        if (got < sizeof buf) ok = !std::ferror(fp);
    }
    std::fclose(fp);
    if (!ok) out.clear();
    return ok;
}

bool WriteWholeFile(const char* path, const void* data, size_t size) {
    if (!data && size) return false;
    FILE* fp = OpenFile(path, "wb");
    if (!fp) return false;
    bool ok = size == 0 || std::fwrite(data, 1, size, fp) == size;
    ok = std::fclose(fp) == 0 && ok;
    return ok;
}

bool CopyFile(const char* from, const char* to, bool failIfExists) {
    std::string src = MapPath(from), dst = MapPath(to);
    struct stat s, d;
    if (!StatPath(src, s) || S_ISDIR(s.st_mode)) return false;
    if (StatPath(dst, d)) {
        if (failIfExists || S_ISDIR(d.st_mode)) return false;
        // Opening the target for writing would truncate the source first.
        if (s.st_dev == d.st_dev && s.st_ino == d.st_ino) return false;
    }
    std::vector<BYTE> bytes;
    if (!ReadWholeFile(src.c_str(), bytes) || !WriteWholeFile(dst.c_str(), bytes.data(), bytes.size())) return false;
    // The copy keeps the source's last-write time, as CopyFileA does; "newest file" lookups rely on it.
    struct timespec times[2] = {s.st_atim, s.st_mtim};
    ::utimensat(AT_FDCWD, dst.c_str(), times, 0);
    return true;
}

bool DeleteFile(const char* path) {
    std::string local = MapPath(path);
    struct stat st;
    if (::lstat(local.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return ::unlink(local.c_str()) == 0;
}

CString FindMostRecentFile(const char* pattern) {
    const std::string* best = nullptr;
    struct timespec bestTime {};
    std::vector<std::string> matches = FindMatches(pattern);
    for (const std::string& m : matches) {
        struct stat st;
        if (!StatPath(m, st) || !S_ISREG(st.st_mode)) continue;
        // Equal times go to the later name, so the answer is stable.
        if (!best || st.st_mtim.tv_sec > bestTime.tv_sec ||
            (st.st_mtim.tv_sec == bestTime.tv_sec && st.st_mtim.tv_nsec >= bestTime.tv_nsec)) {
            best = &m;
            bestTime = st.st_mtim;
        }
    }
    return best ? CString(*best) : CString();
}

FILE* OpenFile(const char* path, const char* mode) {
    if (!path || !mode) return nullptr;
    std::string local = MapPath(path);
    struct stat st;
    if (StatPath(local, st) && S_ISDIR(st.st_mode)) {
        errno = EISDIR;  // stdio would open a folder for reading; Windows refuses it
        return nullptr;
    }
    if (mode[0] != 'r') {
        // Opening a FIFO or socket for writing waits for a reader; a device such as /dev/null is fine.
        if (StatPath(local, st) && !S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode)) {
            errno = EINVAL;
            return nullptr;
        }
        return std::fopen(local.c_str(), mode);
    }
    // A file read as input must be a regular file: opening a FIFO or a terminal would wait for a
    // writer that never comes. The open does not block, and the check is made on what was opened.
    bool update = std::strchr(mode, '+') != nullptr;
    int fd = ::open(local.c_str(), (update ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* fp = ::fdopen(fd, mode);
    if (!fp) ::close(fd);
    return fp;
}

}  // namespace platform

// ---- CFile ----

CFile::~CFile() { Close(); }

BOOL CFile::Open(const char* path, UINT flags) {
    Close();
    if (!path || !*path) return FALSE;
    bool create = flags & modeCreate;
    bool keep = flags & modeNoTruncate;
    bool write = flags & (modeWrite | modeReadWrite);
    const char* mode = "rb";
    if (write) {
        if (create && !keep) mode = "w+b";
        else if (create && !platform::FileExists(path)) mode = "w+b";
        else mode = "r+b";
    }
    m_fp = platform::OpenFile(path, mode);
    if (!m_fp) return FALSE;
    m_path = path;
    m_lastOp = LastOp::None;
    return TRUE;
}

void CFile::Close() {
    if (m_fp) std::fclose(m_fp);
    m_fp = nullptr;
    m_path.Empty();
}

// stdio needs a seek or flush between a write and a read on one stream (and back).
void CFile::Switch(LastOp next) {
    if (m_lastOp != LastOp::None && m_lastOp != next) std::fseek(m_fp, 0, SEEK_CUR);
    m_lastOp = next;
}

UINT CFile::Read(void* buf, UINT count) {
    if (!m_fp || !buf || count == 0) return 0;
    Switch(LastOp::Read);
    return static_cast<UINT>(std::fread(buf, 1, count, m_fp));
}

bool CFile::Write(const void* buf, UINT count) {
    if (count == 0) return m_fp != nullptr;
    if (!m_fp || !buf) return false;
    Switch(LastOp::Write);
    return std::fwrite(buf, 1, count, m_fp) == count;
}

LONGLONG CFile::Seek(LONGLONG offset, int from) {
    if (!m_fp) return -1;
    int whence = from == begin ? SEEK_SET : from == current ? SEEK_CUR : from == end ? SEEK_END : -1;
    if (whence < 0 || ::fseeko(m_fp, static_cast<off_t>(offset), whence) != 0) return -1;
    m_lastOp = LastOp::None;
    return ::ftello(m_fp);
}

LONGLONG CFile::GetPosition() const { return m_fp ? ::ftello(m_fp) : -1; }

LONGLONG CFile::GetLength() const {
    if (!m_fp) return 0;
    if (m_lastOp == LastOp::Write) std::fflush(m_fp);  // buffered bytes belong to the length
    struct stat st;
    return ::fstat(::fileno(m_fp), &st) == 0 ? static_cast<LONGLONG>(st.st_size) : 0;
}

void CFile::Flush() {
    if (m_fp) std::fflush(m_fp);
}

BOOL CFile::GetStatus(const char* path, Status& status) {
    struct stat st;
    if (!path || !StatPath(platform::MapPath(path), st)) return FALSE;
    status.size = static_cast<LONGLONG>(st.st_size);
    status.mtime = static_cast<long long>(st.st_mtime);
    status.directory = S_ISDIR(st.st_mode);
    return TRUE;
}

// ---- CFileFind ----

BOOL CFileFind::FindFile(const char* pattern) {
    Close();
    m_matches = FindMatches(pattern ? pattern : "*.*");
    return m_matches.empty() ? FALSE : TRUE;
}

BOOL CFileFind::FindNextFile() {
    if (m_matches.empty()) return FALSE;
    if (m_index + 1 < static_cast<int>(m_matches.size())) ++m_index;
    return m_index + 1 < static_cast<int>(m_matches.size()) ? TRUE : FALSE;
}

CString CFileFind::GetFilePath() const {
    if (m_index < 0) return CString();
    return CString(m_matches[static_cast<size_t>(m_index)]);
}

CString CFileFind::GetFileName() const {
    if (m_index < 0) return CString();
    const std::string& p = m_matches[static_cast<size_t>(m_index)];
    if (p == "/") return CString(p);
    size_t slash = p.rfind('/');
    return CString(slash == std::string::npos ? p : p.substr(slash + 1));
}

bool CFileFind::IsDirectory() const {
    struct stat st;
    return m_index >= 0 && StatPath(m_matches[static_cast<size_t>(m_index)], st) && S_ISDIR(st.st_mode);
}

bool CFileFind::IsDots() const {
    CString name = GetFileName();
    return name == "." || name == "..";
}

long long CFileFind::GetLastWriteTime() const {
    struct stat st;
    if (m_index < 0 || !StatPath(m_matches[static_cast<size_t>(m_index)], st)) return 0;
    return static_cast<long long>(st.st_mtime);
}
