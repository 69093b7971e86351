// Windows-style paths on a case-sensitive file system, and the CFile/CFileFind subset over stdio.
#include "files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "file_identity.h"

namespace {

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

bool StatPath(const std::string& local, struct stat& st) {
    return !local.empty() && ::stat(local.c_str(), &st) == 0;
}

struct Station {
    std::string given;  // as SetDriveRoot had it; "" for the current folder
    std::string real;   // the same with links resolved, to compare with the current folder
};

Station& DriveRoot() {
    static Station root;
    return root;
}

std::string CurrentFolder() {
    char* cwd = ::getcwd(nullptr, 0);
    std::string dir = cwd ? cwd : ".";
    std::free(cwd);
    return dir;
}

// The station folder that drive letters stand for: the one SetDriveRoot gave, else the current
// folder (the host's working folder), absolute so that reports name the real file.
std::string StationFolder() {
    if (!DriveRoot().given.empty()) return DriveRoot().given;
    return CurrentFolder();
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

// The current folder below the station folder ("" when they are the same), as the station's
// programs see their working folder; nullopt when the current folder lies outside it.
std::optional<std::string> CurrentBelowStation() {
    const std::string& station = DriveRoot().real;
    const std::string cwd = CurrentFolder();
    if (cwd == station) return std::string();
    const size_t n = station.size();
    const bool rootStation = station == "/";
    if (cwd.size() > n && cwd.compare(0, n, station) == 0 && (rootStation || cwd[n] == '/'))
        return cwd.substr(rootStation ? 1 : n + 1);
    return std::nullopt;
}

// The station folder followed by the components of below ('/'-separated), ".." stopping at the
// station folder; a trailing separator is kept.
std::string BelowStation(const std::string& below) {
    std::string out = StationFolder();
    for (const std::string& comp : Components(below, true)) {
        if (out.back() != '/') out += '/';
        out += comp;
    }
    if (!below.empty() && below.back() == '/' && out.back() != '/') out += '/';
    return out;
}

// Backslashes to '/', Windows-rooted and relative names placed in the station folder (see
// MapPath), no "." components or doubled separators. How the name is rooted is read from the raw
// text: once backslashes are '/', "\x" could not be told from the local absolute "/x".
std::string Normalize(const char* path) {
    const char first = path[0];
    std::string s(path);
    std::replace(s.begin(), s.end(), '\\', '/');
    const bool drive = s.size() >= 2 && s[1] == ':' && std::isalpha(static_cast<unsigned char>(s[0]));
    if (drive) {
        // "C:" alone names the drive's root folder.
        s = BelowStation(s.size() == 2 ? "/" : s.substr(2));
    } else if (first == '\\') {
        // The current drive's root, or a UNC name "\\server\share\x" kept below the station folder.
        s = BelowStation(s);
    } else if (first != '/') {
        if (DriveRoot().given.empty()) {
            // The current folder is the station folder: a relative name stays relative.
            const std::vector<std::string> parts = Components(s, true);
            std::string out;
            for (const std::string& comp : parts) out += (out.empty() ? "" : "/") + comp;
            if (out.empty()) return ".";
            // A first component that reads as a drive stays behind "./", so that mapping the
            // answer again gives the same file.
            if (out.size() >= 2 && out[1] == ':' && std::isalpha(static_cast<unsigned char>(out[0]))) out = "./" + out;
            if (s.back() == '/') out += '/';
            return out;
        }
        const std::optional<std::string> current = CurrentBelowStation();
        s = BelowStation(current ? *current + "/" + s : s);
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

// Why the last open or save failed, when its errno alone does not say it.
struct FailureDetail {
    int error = 0;
    std::string text;
};
FailureDetail& LastFailure() {
    static thread_local FailureDetail detail;  // a save on another thread says its own
    return detail;
}
// Sets errno to error, with the words that say what errno cannot; answers null for the callers.
std::nullptr_t Refuse(int error, std::string text) {
    LastFailure() = {error, std::move(text)};
    errno = error;
    return nullptr;
}

// A file the run depends on is never written by a test's save; errno EPERM and the reason when
// local is one. ownRole: the role the saving owner keeps the file under, which does not refuse it.
bool RefuseProtected(const std::string& local, const std::string& ownRole = "") {
    const std::string role = platform::ProtectedRole(local, ownRole);
    if (role.empty()) return false;
    Refuse(EPERM, local + " is " + role + ", which this run must not write over");
    return true;
}

// The words for a file that cannot be made in its folder, when that is the cause.
void NoteFolderRefusal(const std::string& file) {
    if (errno == EACCES || errno == EPERM || errno == EROFS)
        Refuse(errno, "the folder " + platform::FolderOf(file) + " does not allow a new file");
}

// Whether a write in place into local is refused, with errno: a file the run depends on, a
// folder, or a FIFO or socket (opening one for writing waits for a reader; a device such as
// /dev/null is fine). exists says whether local is there.
bool RefuseInPlaceWrite(const std::string& local, bool& exists) {
    if (RefuseProtected(local)) return true;
    struct stat st;
    exists = StatPath(local, st);
    if (exists && !S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return true;
    }
    return false;
}

// The temporaries of the saves under way, so that a signal that ends the process removes them.
// Written by the process's one thread, read by a signal handler: slots are swapped atomically
// and a name is freed only once its slot no longer holds it.
constexpr int kTempSlots = 16;
std::atomic<char*> g_tempSlots[kTempSlots];

void NoteTemporary(const std::string& temp) {
    char* copy = ::strdup(temp.c_str());
    for (std::atomic<char*>& slot : g_tempSlots) {
        char* none = nullptr;
        if (copy && slot.compare_exchange_strong(none, copy)) return;
    }
    std::free(copy);  // more saves at once than slots: this one is left to the next save's sweep
}

void ForgetTemporary(const std::string& temp) {
    for (std::atomic<char*>& slot : g_tempSlots) {
        char* held = slot.load();
        if (held && temp == held && slot.compare_exchange_strong(held, nullptr)) {
            std::free(held);
            return;
        }
    }
}

// The temporary prefix of a save to name: ".<name>.".
std::string TemporaryPrefix(const std::string& name) { return "." + name.substr(0, 160) + "."; }

// The files this process holds open (the host's log, a test's log, a stream being written), by
// device and inode; false when they cannot be listed.
bool ListOpenFiles(std::vector<std::pair<dev_t, ino_t>>& open) {
    DIR* d = ::opendir("/proc/self/fd");
    if (!d) return false;
    const int own = ::dirfd(d);
    while (const dirent* e = ::readdir(d)) {
        char* end = nullptr;
        const long fd = std::strtol(e->d_name, &end, 10);
        struct stat st;
        if (end != e->d_name && *end == '\0' && fd != own && ::fstat(static_cast<int>(fd), &st) == 0)
            open.emplace_back(st.st_dev, st.st_ino);
    }
    ::closedir(d);
    return true;
}

// Whether path, named as a dead process's temporary, is one: a regular file that the run neither
// protects nor holds open. Anyone may give a file such a name (a rig file, a log); when the open
// files cannot be listed, nothing is taken for a temporary. open: the open files, once listed.
bool IsStaleTemporary(const std::string& path, std::optional<std::vector<std::pair<dev_t, ino_t>>>& open) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !platform::ProtectedRole(path).empty()) return false;
    if (!open) {
        std::vector<std::pair<dev_t, ino_t>> listed;
        if (!ListOpenFiles(listed)) return false;
        open = std::move(listed);
    }
    return std::find(open->begin(), open->end(), std::make_pair(st.st_dev, st.st_ino)) == open->end();
}

// Removes the temporaries that saves of file by processes no longer running left in its folder (a
// process killed outright, a power loss): ".<name>.<pid>.<serial>.<hex>" whose pid is gone.
void RemoveStaleTemporaries(const std::string& folder, const std::string& name) {
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return;
    const std::string prefix = TemporaryPrefix(name);
    std::vector<std::string> stale;
    while (const dirent* e = ::readdir(d)) {
        const std::string entry = e->d_name;
        if (entry.compare(0, prefix.size(), prefix) != 0) continue;
        const char* rest = entry.c_str() + prefix.size();
        char* end = nullptr;
        errno = 0;
        const long pid = std::strtol(rest, &end, 10);
        if (end == rest || *end != '.' || pid <= 0 || errno == ERANGE || pid == ::getpid()) continue;
        const char* serial = end + 1;
        std::strtoul(serial, &end, 10);
        if (end == serial || *end != '.') continue;
        const char* hex = end + 1;
        std::strtoul(hex, &end, 16);
        if (end == hex || *end != '\0') continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) stale.push_back(entry);
    }
    ::closedir(d);
    std::optional<std::vector<std::pair<dev_t, ino_t>>> open;  // listed once there is a candidate
    for (const std::string& entry : stale)
        if (IsStaleTemporary(folder + entry, open)) ::unlink((folder + entry).c_str());
}

// The sweeps that saves made while they were held: folder and name of each file saved.
struct HeldSweeps {
    bool held = false;
    std::vector<std::pair<std::string, std::string>> noted;
};
HeldSweeps& Sweeps() {
    static HeldSweeps sweeps;
    return sweeps;
}

void SweepBeside(const std::string& folder, const std::string& name) {
    HeldSweeps& sweeps = Sweeps();
    if (!sweeps.held) return RemoveStaleTemporaries(folder, name);
    if (std::find(sweeps.noted.begin(), sweeps.noted.end(), std::make_pair(folder, name)) == sweeps.noted.end())
        sweeps.noted.emplace_back(folder, name);
}

// Where a save's bytes go. A regular file, or a name with no file yet, is replaced whole from a
// hidden temporary beside it (temp); a character device is written in place (temp "").
struct SaveTarget {
    std::string file;  // the file written or replaced: through a link, the file it leads to
    std::string temp;
};

// A new hidden file beside file, open for reading and writing, with the permission bits keepMode
// (-1: 0666 less the umask, as a new file gets them); -1 with errno when it cannot be made.
int CreateTemporary(const std::string& file, int keepMode, std::string& temp) {
    const size_t slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : file.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    SweepBeside(folder, name);
    static unsigned serial = 0;
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".%d.%u.%lx", static_cast<int>(::getpid()), ++serial,
                      static_cast<unsigned long>(now.tv_nsec) ^ (static_cast<unsigned long>(attempt) << 20));
        // Short enough for any name the target may have.
        temp = folder + TemporaryPrefix(name) + (suffix + 1);
        // O_EXCL: never through a link, never over another file.
        const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            NoteFolderRefusal(file);
            return -1;
        }
        if (keepMode >= 0 && ::fchmod(fd, static_cast<mode_t>(keepMode)) != 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            errno = error;
            return -1;
        }
        NoteTemporary(temp);
        return fd;
    }
    errno = EEXIST;
    return -1;
}

// Opens the stream of a save to the local path; null with errno when the save is refused. guard:
// a file the run depends on is refused (the host's own saves of its files pass false), other than
// under ownRole.
FILE* OpenSave(const std::string& local, SaveTarget& target, bool guard, const std::string& ownRole = "") {
    LastFailure() = {};
    target = {local, ""};
    struct stat st;
    bool exists = ::lstat(local.c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        // A link that leads to no file yet has it made where it leads, in a folder that is there.
        char* real = ::realpath(local.c_str(), nullptr);
        if (!real && (errno != ENOENT || !platform::FollowLinks(local, target.file))) return nullptr;
        if (real) target.file = real;
        std::free(real);
        exists = ::stat(target.file.c_str(), &st) == 0;
        if (!exists && errno != ENOENT) return nullptr;
    }
    if (exists && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return nullptr;
    }
    if (guard && RefuseProtected(target.file, ownRole)) return nullptr;
    if (exists && S_ISCHR(st.st_mode)) return std::fopen(target.file.c_str(), "w+b");
    if (exists && !S_ISREG(st.st_mode)) {
        errno = EINVAL;  // a FIFO or socket would wait for a reader
        return nullptr;
    }
    // A file that may not be written is not replaced either.
    if (exists && ::access(target.file.c_str(), W_OK) != 0) return nullptr;
    const int fd = CreateTemporary(target.file, exists ? static_cast<int>(st.st_mode & 0777) : -1, target.temp);
    if (fd < 0) return nullptr;
    FILE* fp = ::fdopen(fd, "w+b");
    if (!fp) {
        const int error = errno;
        ::close(fd);
        ::unlink(target.temp.c_str());
        ForgetTemporary(target.temp);
        errno = error;
    }
    return fp;
}

// Closes the stream of a save and, when nothing failed (error 0 so far), puts the temporary in
// the target's place; otherwise removes it. With sync the bytes reach the disk before the file is
// replaced. Answers the first failure's errno, 0 when none.
int FinishSave(FILE* fp, const SaveTarget& target, int error, bool sync = false) {
    if (std::fflush(fp) != 0 && !error) error = errno;
    if (std::ferror(fp) && !error) error = EIO;
    if (sync && !error && ::fsync(::fileno(fp)) != 0) error = errno;
    if (std::fclose(fp) != 0 && !error) error = errno;
    if (!target.temp.empty()) {
        if (!error && ::rename(target.temp.c_str(), target.file.c_str()) != 0) error = errno;
        if (error) ::unlink(target.temp.c_str());
        ForgetTemporary(target.temp);
    }
    return error;
}

// A save's bytes go out 1 MiB at a time. A signal is taken only between two system calls, and one
// write() of a large save lasts seconds: the host's second Ctrl-C, SIGTERM or SIGHUP would wait for
// the last byte, and two Ctrl-Cs landing in one write() would count as one. Pieces this size save
// as fast as one write() of the whole (on a disk's file system faster: bench/platform), and go
// straight from the caller's bytes, never copied. Answers the errno of a failure, 0 when every
// byte went out.
constexpr size_t kSavePiece = size_t{1} << 20;

int WriteInPieces(FILE* fp, const void* data, size_t size) {
    const char* at = static_cast<const char*>(data);
    for (size_t left = size; left > 0;) {
        const size_t piece = std::min(left, kSavePiece);
        errno = 0;
        if (std::fwrite(at, 1, piece, fp) != piece) return errno ? errno : EIO;
        at += piece;
        left -= piece;
    }
    return 0;
}

// Copies what is left of in to out, a piece at a time through one buffer no larger than the file
// (of size bytes when it was opened) needs: memory stays flat whatever the file's size, and a signal
// is taken between pieces, as during a save. Answers the errno of a failure, 0 when all was copied.
int CopyInPieces(FILE* in, FILE* out, off_t size) {
    std::vector<char> buffer(std::min(kSavePiece, static_cast<size_t>(size) + 1));
    for (;;) {
        errno = 0;
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
        if (got < buffer.size() && std::ferror(in)) return errno ? errno : EIO;
        if (const int error = WriteInPieces(out, buffer.data(), got)) return error;
        if (got < buffer.size()) return 0;
    }
}

}  // namespace

namespace platform {

void SetDriveRoot(const std::string& folder) {
    DriveRoot().given = folder;
    char* real = folder.empty() ? nullptr : ::realpath(folder.c_str(), nullptr);
    DriveRoot().real = real ? real : folder;
    std::free(real);
}
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

bool ReadWholeFile(const char* path, std::vector<BYTE>& out, size_t limit) {
    out.clear();
    FILE* fp = OpenFile(path, "rb");
    if (!fp) return false;
    struct stat st;
    bool ok = ::fstat(::fileno(fp), &st) == 0;
    // Refused before anything is read: no part of the file is handed on as if it were the whole.
    if (ok && static_cast<unsigned long long>(st.st_size) > limit) {
        std::fclose(fp);
        errno = EFBIG;
        return false;
    }
    if (ok && st.st_size > 0) {
        out.resize(static_cast<size_t>(st.st_size));
        // In pieces, as a save is written, so that a signal is handled between them.
        size_t got = 0;
        for (size_t piece = 1; got < out.size() && piece > 0;) {
            piece = std::fread(out.data() + got, 1, std::min(out.size() - got, kSavePiece), fp);
            got += piece;
        }
        ok = got == out.size() || !std::ferror(fp);
        out.resize(got);
    }
    // Files whose size stat does not know (/proc) are read to their end.
    int error = EIO;
    for (char buf[65536]; ok && !std::feof(fp);) {
        size_t got = std::fread(buf, 1, sizeof buf, fp);
        out.insert(out.end(), buf, buf + got);
        if (got < sizeof buf) ok = !std::ferror(fp);
        if (out.size() > limit) ok = false, error = EFBIG;
    }
    std::fclose(fp);
    if (!ok) {
        out.clear();
        errno = error;
    }
    return ok;
}

namespace {

bool SaveLocal(const std::string& local, const void* data, size_t size, bool sync, bool guard, const std::string& ownRole = "") {
    if (!data && size) {
        errno = EINVAL;
        return false;
    }
    SaveTarget target;
    FILE* fp = OpenSave(local, target, guard, ownRole);
    if (!fp) return false;
    const int error = WriteInPieces(fp, data, size);
    if (const int failed = FinishSave(fp, target, error, sync)) {
        errno = failed;
        return false;
    }
    return true;
}

}  // namespace

bool WriteWholeFile(const char* path, const void* data, size_t size) {
    if (!path || !*path) {
        errno = ENOENT;
        return false;
    }
    return SaveLocal(MapPath(path), data, size, false, true);
}

bool SaveLocalFile(const std::string& local, const void* data, size_t size, bool sync) {
    return SaveLocal(local, data, size, sync, false);
}

bool SaveOwnFile(const std::string& local, const void* data, size_t size, const std::string& ownRole) {
    return SaveLocal(local, data, size, false, true, ownRole);
}

std::string FileFailureDetail(int error) {
    const FailureDetail& last = LastFailure();
    return error != 0 && last.error == error ? last.text : std::string();
}

void RemoveSaveTemporaries() {
    for (std::atomic<char*>& slot : g_tempSlots)
        if (const char* temp = slot.load()) ::unlink(temp);
}

void HoldTemporarySweeps(bool hold) {
    HeldSweeps& sweeps = Sweeps();
    sweeps.held = hold;
    if (hold) return;
    for (const auto& [folder, name] : sweeps.noted) RemoveStaleTemporaries(folder, name);
    sweeps.noted.clear();
}

bool CopyFile(const char* from, const char* to, bool failIfExists) {
    LastFailure() = {};
    std::string src = MapPath(from), dst = MapPath(to);
    struct stat s, d;
    if (src.empty() || dst.empty()) {
        errno = ENOENT;
        return false;
    }
    if (!StatPath(src, s)) return false;
    if (S_ISDIR(s.st_mode)) {
        errno = EISDIR;
        return false;
    }
    // A file the run depends on is said to be one, whether or not it would have been replaced.
    if (RefuseProtected(dst)) return false;
    if (StatPath(dst, d)) {
        if (S_ISDIR(d.st_mode)) {
            errno = EISDIR;
            return false;
        }
        if (failIfExists) {
            Refuse(EEXIST, dst + " exists already");
            return false;
        }
        // Opening the target for writing would truncate the source first.
        if (s.st_dev == d.st_dev && s.st_ino == d.st_ino) {
            Refuse(EINVAL, dst + " is the file copied");
            return false;
        }
    }
    FILE* in = OpenFile(src.c_str(), "rb");
    if (!in) return false;
    SaveTarget target;
    FILE* out = OpenSave(dst, target, true);
    const int failed = out ? FinishSave(out, target, CopyInPieces(in, out, s.st_size)) : errno;
    std::fclose(in);
    if (failed) {
        errno = failed;
        return false;
    }
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
    LastFailure() = {};
    std::string local = MapPath(path);
    struct stat st;
    if (StatPath(local, st) && S_ISDIR(st.st_mode)) {
        errno = EISDIR;  // stdio would open a folder for reading; Windows refuses it
        return nullptr;
    }
    const bool update = std::strchr(mode, '+') != nullptr;
    if (mode[0] != 'r') {
        bool exists = false;
        if (RefuseInPlaceWrite(local, exists)) return nullptr;
        FILE* fp = std::fopen(local.c_str(), mode);
        if (!fp && !exists) NoteFolderRefusal(local);
        return fp;
    }
    if (update && RefuseProtected(local)) return nullptr;
    // A file read as input must be a regular file: opening a FIFO or a terminal would wait for a
    // writer that never comes. The open does not block, and the check is made on what was opened.
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

int OpenDescriptor(const char* path, int flags) {
    const bool writes = (flags & O_ACCMODE) != O_RDONLY;
    // A read says nothing beyond errno: it leaves what the last write's failure said, for the
    // caller that reopens its file for reading after a refused write.
    if (writes) LastFailure() = {};
    if (!path || !*path) {
        errno = ENOENT;
        return -1;
    }
    const std::string local = MapPath(path);
    bool exists = true;
    if (writes && RefuseInPlaceWrite(local, exists)) return -1;
    const int fd = ::open(local.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0 && writes && !exists) NoteFolderRefusal(local);
    return fd;
}

}  // namespace platform

// ---- CFile ----

CFile::~CFile() { Release(); }

void CFile::Release() {
    // A save that was never closed is not kept.
    if (!m_temp.empty()) Abort();
    else Close();
}

BOOL CFile::Open(const char* path, UINT flags) {
    Release();
    if (!path || !*path) return FALSE;
    bool create = flags & modeCreate;
    bool keep = flags & modeNoTruncate;
    bool write = flags & (modeWrite | modeReadWrite);
    if (write && create && !keep) {
        SaveTarget target;
        m_fp = OpenSave(platform::MapPath(path), target, true);
        m_target = std::move(target.file);
        m_temp = std::move(target.temp);
    } else {
        const char* mode = "rb";
        if (write) mode = create && !platform::FileExists(path) ? "w+b" : "r+b";
        m_fp = platform::OpenFile(path, mode);
    }
    if (!m_fp) {
        Forget();
        return FALSE;
    }
    m_path = path;
    m_lastOp = LastOp::None;
    m_error = 0;
    return TRUE;
}

bool CFile::Close() {
    if (!m_fp) return false;
    // A file opened in place has no temporary: it is only flushed and closed.
    const int error = FinishSave(m_fp, SaveTarget{m_target, m_temp}, m_error);
    Forget();
    if (error) errno = error;
    return error == 0;
}

void CFile::Abort() {
    const int saved = errno;
    if (m_fp) std::fclose(m_fp);
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        ForgetTemporary(m_temp);
    }
    Forget();
    errno = saved;
}

void CFile::Forget() {
    m_fp = nullptr;
    m_path.Empty();
    m_target.clear();
    m_temp.clear();
    m_error = 0;
}

void CFile::NoteWriteFailure() const {
    if (!m_error) m_error = errno ? errno : EIO;
}

// stdio needs a seek or flush between a write and a read on one stream (and back).
void CFile::Switch(LastOp next) {
    // The seek writes out what the stream still holds: its failure is a write's.
    if (m_lastOp != LastOp::None && m_lastOp != next && std::fseek(m_fp, 0, SEEK_CUR) != 0 && m_lastOp == LastOp::Write)
        NoteWriteFailure();
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
    const int error = WriteInPieces(m_fp, buf, count);
    if (error == 0) return true;
    errno = error;
    NoteWriteFailure();
    return false;
}

LONGLONG CFile::Seek(LONGLONG offset, int from) {
    if (!m_fp) return -1;
    int whence = from == begin ? SEEK_SET : from == current ? SEEK_CUR : from == end ? SEEK_END : -1;
    if (whence < 0) return -1;
    if (::fseeko(m_fp, static_cast<off_t>(offset), whence) != 0) {
        if (m_lastOp == LastOp::Write && std::ferror(m_fp)) NoteWriteFailure();  // the buffered bytes did not go out
        return -1;
    }
    m_lastOp = LastOp::None;
    return ::ftello(m_fp);
}

LONGLONG CFile::GetPosition() const { return m_fp ? ::ftello(m_fp) : -1; }

LONGLONG CFile::GetLength() const {
    if (!m_fp) return 0;
    // Buffered bytes belong to the length.
    if (m_lastOp == LastOp::Write && std::fflush(m_fp) != 0) NoteWriteFailure();
    struct stat st;
    return ::fstat(::fileno(m_fp), &st) == 0 ? static_cast<LONGLONG>(st.st_size) : 0;
}

void CFile::Flush() {
    if (m_fp && std::fflush(m_fp) != 0) NoteWriteFailure();
}

BOOL CFile::GetStatus(const char* path, Status& status) {
    struct stat st;
    if (!path || !StatPath(platform::MapPath(path), st)) return FALSE;
    status.size = static_cast<LONGLONG>(st.st_size);
    status.mtime = static_cast<long long>(st.st_mtime);
    status.directory = S_ISDIR(st.st_mode);
    return TRUE;
}

platform::FileComparison platform::CompareFileContents(CFile& first, CFile& second, LONGLONG length, const int* stopFlag) {
    std::vector<BYTE> a(static_cast<size_t>(std::clamp<LONGLONG>(length, 0, kSavePiece))), b(a.size());
    for (LONGLONG left = length; left > 0;) {
        if (stopFlag && __atomic_load_n(stopFlag, __ATOMIC_RELAXED)) return FileComparison::Stopped;
        const UINT piece = static_cast<UINT>(std::min<LONGLONG>(left, kSavePiece));
        if (first.Read(a.data(), piece) != piece) return FileComparison::FirstUnreadable;
        if (second.Read(b.data(), piece) != piece) return FileComparison::SecondUnreadable;
        if (std::memcmp(a.data(), b.data(), piece) != 0) return FileComparison::Different;
        left -= piece;
    }
    return FileComparison::Equal;
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
