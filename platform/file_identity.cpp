// File identities and the set of files the run must not write over.
#include "file_identity.h"

#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::string NameOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// A protected file is known by its name, identified again at each check: an identity kept from
// when it was protected would go stale once its owner replaced the file, and its inode number
// could come back as another file's.
struct Protected {
    std::string name;  // absolute, so that a later change of the current folder does not move it
    std::string role;
    bool written = false;
};

std::vector<Protected>& ProtectedFiles() {
    static std::vector<Protected> files;
    return files;
}

}  // namespace

namespace platform {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool FollowLinks(const std::string& name, std::string& target) {
    target = name;
    struct stat st;
    for (int links = 0; ::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode); ++links) {
        if (links == 40) {
            errno = ELOOP;
            return false;
        }
        std::string next(static_cast<size_t>(st.st_size) + 1, '\0');
        const ssize_t n = ::readlink(target.c_str(), next.data(), next.size());
        if (n <= 0 || static_cast<size_t>(n) >= next.size()) {
            if (n >= 0) errno = EINVAL;  // empty, or changed while read
            return false;
        }
        next.resize(static_cast<size_t>(n));
        const std::string folder = FolderOf(target);
        target = next[0] == '/' || folder == "." ? next : folder == "/" ? "/" + next : folder + "/" + next;
    }
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
    if (::stat(name.c_str(), &st) == 0) {
        identity.exists = true;
        identity.device = st.st_dev;
        identity.inode = st.st_ino;
        return true;
    }
    // Not there: where writing it would put it, through links that lead nowhere yet.
    std::string path;
    if (!FollowLinks(name, path) || ::lstat(path.c_str(), &st) == 0 || errno != ENOENT) return false;
    char* folder = ::realpath(FolderOf(path).c_str(), nullptr);
    if (!folder) return false;
    identity.path = std::string(folder) == "/" ? "/" + NameOf(path) : std::string(folder) + "/" + NameOf(path);
    std::free(folder);
    return true;
}

void ProtectFile(const std::string& local, const std::string& role, bool written) {
    Protected entry{local, role, written};
    FileIdentity id;
    if (!IdentifyFile(local, id)) return;  // nothing could be written there either
    struct stat st;
    if (id.exists && (::stat(local.c_str(), &st) != 0 || !S_ISREG(st.st_mode))) return;
    if (!local.empty() && local[0] != '/') {
        char* cwd = ::getcwd(nullptr, 0);
        if (cwd) entry.name = std::string(cwd) + "/" + local;
        std::free(cwd);
    }
    // Both board roots protect the program folder's files, and a private tree they both read: one
    // entry a name and role, so that a check does not look them up twice.
    for (Protected& p : ProtectedFiles())
        if (p.name == entry.name && p.role == entry.role) {
            p.written = p.written || written;
            return;
        }
    ProtectedFiles().push_back(std::move(entry));
}

std::string ProtectedRole(const std::string& local, const std::string& except) {
    if (ProtectedFiles().empty()) return "";
    FileIdentity id, protectedId;
    if (!IdentifyFile(local, id)) return "";
    for (const Protected& p : ProtectedFiles())
        if (p.role != except && IdentifyFile(p.name, protectedId) && protectedId == id) return p.role;
    return "";
}

std::vector<std::string> ProtectedClashes() {
    const std::vector<Protected>& files = ProtectedFiles();
    std::vector<std::string> clashes;
    FileIdentity id, otherId;
    for (size_t i = 0; i < files.size(); ++i) {
        if (!files[i].written || !IdentifyFile(files[i].name, id)) continue;
        for (size_t j = 0; j < files.size(); ++j) {
            // A pair of two written files is told once.
            if (j == i || files[j].role == files[i].role || (files[j].written && j < i)) continue;
            if (IdentifyFile(files[j].name, otherId) && otherId == id)
                clashes.push_back(files[i].name + " is " + files[j].role + " and " + files[i].role);
        }
    }
    return clashes;
}

void ProtectLoadedObjects() {
    dl_iterate_phdr([](struct dl_phdr_info* info, size_t, void*) {
        // The host itself has no name here, and the kernel's vDSO no file.
        if (info->dlpi_name && std::strchr(info->dlpi_name, '/')) ProtectFile(info->dlpi_name, "a library the run loaded");
        return 0;
    }, nullptr);
}

void ClearProtectedFiles() { ProtectedFiles().clear(); }

}  // namespace platform
