// Writing the host's report and closing its log, with every failure reported.
#include "host/output_files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

bool WriteAll(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
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
    const bool exists = stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) return error = "not a regular file", false;  // it changed during the run
    // A hidden name beside the target, short enough for any name the target may have.
    std::string temp = FolderOf(target) + "/." + NameOf(target).substr(0, 200) + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return error = Reason(errno), false;
    mode_t mode;
    if (exists) {
        mode = st.st_mode & 0777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, text) && fsync(fd) == 0;
    int err = errno;
    if (close(fd) != 0 && ok) ok = false, err = errno;
    if (ok && rename(temp.c_str(), target.c_str()) != 0) ok = false, err = errno;
    if (!ok) {
        unlink(temp.c_str());  // ours: made by mkstemp above
        error = Reason(err);
    }
    return ok;
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
