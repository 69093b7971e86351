// The host's output files: a report written whole or not at all, and a log whose writes are checked.
#pragma once

#include <cstdio>
#include <string>

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

// Closes a log, answering false with the reason in error when a write, the flush or the close
// failed (a full disk or a size limit cuts the log short). earlierError: the errno of a write
// already seen to fail, 0 when none was.
bool CloseLogFile(FILE* log, int earlierError, std::string& error);
