// The host's output files: a report written whole or not at all, and a log whose writes are checked.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

// Checks before a run that a report may later replace path, and answers in target the file it will
// replace: path itself, or the file a symbolic link at path leads to (the link stays). A report
// goes only over a regular file the user may write, or where nothing is yet, in a folder the host
// may write. Answers false with the reason in error; nothing is created or changed either way.
bool PrepareReportPath(const std::string& path, std::string& target, std::string& error);

// Writes text to a new file in target's folder and renames it over target once it is complete, so
// target holds either what it held before or the whole of text. The report keeps target's
// permission bits, or gets 0666 less the umask when target is new. Answers false with the reason
// in error; the new file is then removed again and target is left as it was.
bool WriteReportFile(const std::string& target, const std::string& text, std::string& error);

// What a file name stands for, so that two spellings of one file compare equal: the device and
// inode of an existing file (reached through links), or for a name not there yet the real path of
// its folder and its last name.
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

// A file named on the command line, and what it is to the run ("the test library", "--log").
struct NamedFile {
    std::string role;
    std::string name;
};
// Checks, before anything is opened, that no output (the log, the report) is one of the inputs
// (the library, the host program, ...) or another output, however each is spelled. Answers false
// with the message in error for the first clash. Names that stand for no file are left to the
// code that opens them.
bool CheckOutputsApart(const std::vector<NamedFile>& outputs, const std::vector<NamedFile>& inputs,
                       std::string& error);

// Opens the log for writing from its start: a regular file (made when not there) or a device such as
// /dev/null. A pipe is refused, since opening it would hold the host until something read it; so
// is anything else that is neither. Answers null with the reason in error.
FILE* OpenLogFile(const std::string& path, std::string& error);

// Closes a log, answering false with the reason in error when a write, the flush or the close
// failed (a full disk or a size limit cuts the log short). earlierError: the errno of a write
// already seen to fail, 0 when none was.
bool CloseLogFile(FILE* log, int earlierError, std::string& error);
