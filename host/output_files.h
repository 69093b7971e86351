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

// An output named on the command line: the option ("--log") and the name given.
struct OutputFile {
    std::string option;
    std::string name;
    bool report = false;  // the JUnit report; else the log
};
// The first line of every log the host writes, by which it knows a log of its own.
extern const char kLogMark[];
// What the log and the report are to the run's protected files.
extern const char kLogRole[], kReportRole[];
// Checks, before any output is opened, that no output is a file the run depends on
// (platform::ProtectedRole, other than as that output itself) or another output, however each is spelt, and with contents that an
// existing regular file an output would replace is empty or one the host wrote (a log that starts
// with kLogMark, or a JUnit report) and that the log is no pipe. Answers false with the message in
// error for the first refusal. Names that stand for no file are left to the code that opens them.
bool CheckOutputs(const std::vector<OutputFile>& outputs, bool contents, std::string& error);

// Opens the log for writing from its start, kLogMark its first line: a regular file (made when not
// there) or a device such as /dev/null. A pipe is refused, since opening it would hold the host until something read it; so
// is anything else that is neither. Answers null with the reason in error.
FILE* OpenLogFile(const std::string& path, std::string& error);

// Closes a log, answering false with the reason in error when a write, the flush or the close
// failed (a full disk or a size limit cuts the log short). earlierError: the errno of a write
// already seen to fail, 0 when none was.
bool CloseLogFile(FILE* log, int earlierError, std::string& error);
