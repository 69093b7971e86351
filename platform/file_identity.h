// What a file name stands for, and the files a run depends on, which no save may write over.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace platform {

// What a file name stands for, so that two spellings of one file compare equal: the device and
// inode of an existing file (reached through links), or for a name not there yet the real path of
// its folder and its last name. Inode numbers repeat across file systems, so both are compared.
struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string path;  // when it does not exist
    bool operator==(const FileIdentity& other) const;
};
// Answers false when the name cannot stand for a file: its folder is not there, or it is a link
// that leads nowhere.
bool IdentifyFile(const std::string& name, FileIdentity& identity);
// Where a file made under name lands: name itself, or through its links (one that leads to no
// file yet among them) the last one's target, a relative target taken from its link's folder.
// false, with errno, when a link cannot be read or the links go round (ELOOP).
bool FollowLinks(const std::string& name, std::string& target);
// The folder part of a local path: "." when it has none, "/" for a name in the root.
std::string FolderOf(const std::string& path);

// The files the run loads, reads or writes (its libraries, test trees, rig files, switch file, log
// and report): the saves of this layer refuse to write over them. role says what the file is to
// the run ("the host's log"). A name that is not there yet is protected where it would be made.
// Only regular files and names not there yet are kept: a device is written in place by anyone.
// One file may be kept under several roles (a log named as the rig's clock store too): each is
// kept, so that a check that allows a file's own role still finds the others. written: the run
// itself writes the file under this role (the rig's stores and images), see ProtectedClashes.
void ProtectFile(const std::string& local, const std::string& role, bool written = false);
// The role of the protected file that local names, however it is spelt and through links, other
// than except (a file's owner asking about the others); "" when it names none.
std::string ProtectedRole(const std::string& local, const std::string& except = "");
// The files the run writes itself (ProtectFile's written) that are protected under another role
// too, one line each: "<file> is <the other role> and <its own role>". Empty when there is none.
std::vector<std::string> ProtectedClashes();
// Protects every shared object loaded so far (the host's, the library's and what they load) as
// "a library the run loaded".
void ProtectLoadedObjects();
// Forgets every protected file (a test's own set, or a second run in one process).
void ClearProtectedFiles();

}  // namespace platform
