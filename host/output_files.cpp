// Writing the host's report and closing its log, with every failure reported.
#include "host/output_files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_identity.h"
#include "platform/files.h"

namespace {

std::string Reason(int err) { return std::strerror(err); }

const char kPipe[] = "a pipe, which would hold the host until something read it";

bool FolderWritable(const std::string& folder, std::string& error) {
    struct stat st;
    if (stat(folder.c_str(), &st) != 0) return error = Reason(errno), false;
    if (!S_ISDIR(st.st_mode)) return error = Reason(ENOTDIR), false;
    if (access(folder.c_str(), W_OK | X_OK) != 0) return error = Reason(errno), false;
    return true;
}

}  // namespace

bool PrepareReportPath(const std::string& path, std::string& target, std::string& error) {
    struct stat st;
    if (path.empty() || path.back() == '/') return error = Reason(EISDIR), false;
    // Absolute, so a library that changes the current folder cannot move the report.
    target = path;
    if (path[0] != '/') {
        char* cwd = getcwd(nullptr, 0);
        if (!cwd) return error = Reason(errno), false;
        target = std::string(cwd) + "/" + path;
        free(cwd);
    }
    if (lstat(target.c_str(), &st) != 0) {
        if (errno != ENOENT) return error = Reason(errno), false;
        return FolderWritable(platform::FolderOf(target), error);
    }
    if (S_ISLNK(st.st_mode)) {
        char* full = realpath(target.c_str(), nullptr);
        if (!full) return error = errno == ENOENT ? "a link that leads nowhere" : Reason(errno), false;
        target = full;
        free(full);
        if (stat(target.c_str(), &st) != 0) return error = Reason(errno), false;
    }
    // A device, a pipe or a folder is never replaced by a file.
    if (!S_ISREG(st.st_mode)) return error = "not a regular file", false;
    if (access(target.c_str(), W_OK) != 0) return error = Reason(errno), false;
    return FolderWritable(platform::FolderOf(target), error);
}

bool WriteReportFile(const std::string& target, const std::string& text, std::string& error) {
    struct stat st;
    if (stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return error = "not a regular file", false;  // it changed during the run
    // Written beside the target and renamed over it once it is on the disk whole; a failed write
    // leaves the target as it was and nothing beside it.
    if (!platform::SaveLocalFile(target, text.data(), text.size(), true)) return error = Reason(errno), false;
    return true;
}

const char kLogMark[] = "Log of pexhost, the Pexano test host\n";
const char kLogRole[] = "the host's log";
const char kReportRole[] = "the host's report";

namespace {

// Whether the first bytes of a file are those of a file the host writes there.
bool WrittenByTheHost(const std::string& head, bool report) {
    if (!report) return head.starts_with(kLogMark);
    // A report: the root element, after an XML declaration and blanks.
    size_t at = 0;
    if (head.starts_with("<?xml")) at = head.find("?>");
    if (at == std::string::npos) return false;
    if (at) at += 2;
    at = head.find_first_not_of(" \t\r\n", at);
    return at != std::string::npos && head.compare(at, 11, "<testsuites") == 0 &&
           (head.size() == at + 11 || std::strchr(" \t\r\n/>", head[at + 11]));
}

// Refuses an output over an existing regular file with something in it that the host did not
// write, and a log on a pipe.
bool MayReplace(const OutputFile& out, std::string& error) {
    struct stat st;
    if (stat(out.name.c_str(), &st) != 0) return true;
    if (!out.report && S_ISFIFO(st.st_mode)) return error = "cannot write the log file " + out.name + ": " + kPipe, false;
    if (!S_ISREG(st.st_mode) || st.st_size == 0) return true;
    std::string head(256, '\0');
    FILE* f = fopen(out.name.c_str(), "rb");
    head.resize(f ? fread(head.data(), 1, head.size(), f) : 0);
    if (f) fclose(f);
    if (WrittenByTheHost(head, out.report)) return true;
    error = out.option + " " + out.name + " is not " + (out.report ? "a JUnit report" : "a log") +
            " that pexhost wrote: refusing to write over it (delete it first to use its name)";
    return false;
}

}  // namespace

bool CheckOutputs(const std::vector<OutputFile>& outputs, bool contents, std::string& error) {
    std::vector<std::pair<const OutputFile*, platform::FileIdentity>> seen;
    platform::FileIdentity id;
    for (const OutputFile& out : outputs) {
        if (!platform::IdentifyFile(out.name, id)) continue;
        if (const std::string role = platform::ProtectedRole(out.name, out.report ? kReportRole : kLogRole); !role.empty())
            return error = out.option + " " + out.name + " is " + role + ": refusing to write over it", false;
        for (const auto& [other, otherId] : seen)
            if (id == otherId)
                return error = other->option + " " + other->name + " and " + out.option + " " + out.name + " name the same file", false;
        seen.emplace_back(&out, id);
    }
    for (const OutputFile& out : outputs)
        if (contents && !MayReplace(out, error)) return false;
    return true;
}

FILE* OpenLogFile(const std::string& path, std::string& error) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) return error = kPipe, nullptr;
    // Without waiting, should a pipe be put there meanwhile; and not cut before it is known to be a file.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return error = errno == ENXIO ? kPipe : Reason(errno), nullptr;
    int err = 0;
    const char* refused = nullptr;
    if (fstat(fd, &st) != 0) err = errno;
    else if (S_ISFIFO(st.st_mode)) refused = kPipe;
    else if (!S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode)) refused = "neither a file nor a device";
    else if (S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0) err = errno;
    else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) err = errno;
    FILE* log = err == 0 && !refused ? fdopen(fd, "wb") : nullptr;
    if (!log) {
        error = refused ? refused : Reason(err ? err : errno);
        close(fd);
        return nullptr;
    }
    fputs(kLogMark, log);  // a failed write shows when the log is closed
    return log;
}

bool CloseLogFile(FILE* log, int earlierError, std::string& error) {
    int err = earlierError;
    if (fflush(log) != 0 && err == 0) err = errno;
    const bool failedBefore = ferror(log) != 0;
    if (fclose(log) != 0 && err == 0) err = errno;
    if (err == 0 && !failedBefore) return true;
    error = err ? Reason(err) : "a write failed";
    return false;
}
