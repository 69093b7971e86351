// File errors: their texts, the message boxes that report them, and the whole-file save that tells them apart.
#pragma once

#include <cerrno>

#include "platform/cstring.h"
#include "platform/file_errors.h"
#include "platform/files.h"

namespace images_detail {

// The cause texts and the failed-save text belong to the file layer.
using platform::FileErrorText;
using platform::kUnknownError;
using platform::SaveFailureText;

// Raises the topmost message box "ERROR:  Couldn't open file" with the cause text of error.
void ReportOpenFailure(int error);
// Raises the topmost message box "ERROR:  Couldn't write file" with the cause text of error: the
// file was created, but what was written did not all reach it (a full disk, a size limit).
void ReportWriteFailure(int error);

// How a whole-file save ended: write's answer (1 saved), whether the file could be created, and
// the errno of the failure (0 when write answered 0 without a failed write: a refused content).
struct SaveOutcome {
    int result;
    bool opened;
    int error;
};

// Creates path with CFile's modeCreate and has write(file) fill it; the file is replaced only when
// write answered 1 and every write, the flush and the close succeeded. Otherwise path keeps what
// it held, no temporary is left, and errno is the outcome's error.
template <class Write>
SaveOutcome SaveWhole(const CString& path, Write&& write) {
    const auto failed = [](bool opened, int error) {
        errno = error;
        return SaveOutcome{0, opened, error};
    };
    CFile file;
    if (!file.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::typeBinary)) return failed(false, errno ? errno : kUnknownError);
    if (write(file) != 1) {
        const int error = file.GetError();
        file.Abort();
        return failed(true, error);
    }
    if (!file.Close()) return failed(true, errno ? errno : kUnknownError);
    return {1, true, 0};
}

// The message box of a failed save: the open failure's, or the write failure's (a refused content
// is reported as an unspecified error). Nothing for a save that succeeded.
void ReportSaveFailure(const SaveOutcome& outcome);

}  // namespace images_detail
