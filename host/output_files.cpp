// Writing the host's report and closing its log, with every failure reported.
#include "host/output_files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/files.h"

namespace {

std::string Reason(int err) { return std::strerror(err); }

// The folder part of a path ("." when it has none) and its last name.
std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}
std::string NameOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

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
        return FolderWritable(FolderOf(target), error);
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
    return FolderWritable(FolderOf(target), error);
}

bool WriteReportFile(const std::string& target, const std::string& text, std::string& error) {
    struct stat st;
    if (stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return error = "not a regular file", false;  // it changed during the run
    // Written beside the target and renamed over it once it is on the disk whole; a failed write
    // leaves the target as it was and nothing beside it.
    if (!platform::SaveLocalFile(target, text.data(), text.size(), true)) return error = Reason(errno), false;
    return true;
}

bool FileIdentity::operator==(const FileIdentity& other) const {
    if (exists != other.exists) return false;
    return exists ? device == other.device && inode == other.inode : path == other.path;
}

bool IdentifyFile(const std::string& name, FileIdentity& identity) {
    identity = FileIdentity{};
    struct stat st;
    if (name.empty()) return false;
    if (stat(name.c_str(), &st) == 0) {
        identity.exists = true;
        identity.device = st.st_dev;
        identity.inode = st.st_ino;
        return true;
    }
    // Not there: where writing it would put it, through links that lead nowhere yet.
    std::string path = name;
    for (int links = 0; lstat(path.c_str(), &st) == 0; ++links) {
        if (!S_ISLNK(st.st_mode) || links == 40) return false;
        std::string target(static_cast<size_t>(st.st_size) + 1, '\0');
        const ssize_t n = readlink(path.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) return false;
        target.resize(static_cast<size_t>(n));
        path = target[0] == '/' ? target : FolderOf(path) + "/" + target;
    }
    if (errno != ENOENT) return false;
    char* folder = realpath(FolderOf(path).c_str(), nullptr);
    if (!folder) return false;
    identity.path = std::string(folder) == "/" ? "/" + NameOf(path) : std::string(folder) + "/" + NameOf(path);
    free(folder);
    return true;
}

bool CheckOutputsApart(const std::vector<NamedFile>& outputs, const std::vector<NamedFile>& inputs,
                       std::string& error) {
    std::vector<std::pair<const NamedFile*, FileIdentity>> inputIds, outputIds;
    FileIdentity id;
    for (const NamedFile& in : inputs)
        if (IdentifyFile(in.name, id)) inputIds.emplace_back(&in, id);
    for (const NamedFile& out : outputs) {
        if (!IdentifyFile(out.name, id)) continue;
        for (const auto& [in, inId] : inputIds)
            if (id == inId) return error = out.role + " " + out.name + " is " + in->role + ": refusing to write over it", false;
        for (const auto& [other, otherId] : outputIds)
            if (id == otherId)
                return error = other->role + " " + other->name + " and " + out.role + " " + out.name + " name the same file", false;
        outputIds.emplace_back(&out, id);
    }
    return true;
}

FILE* OpenLogFile(const std::string& path, std::string& error) {
    static const char kPipe[] = "a pipe, which would hold the host until something read it";
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
    }
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
