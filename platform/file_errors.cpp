// Cause texts of failed file operations.
#include "file_errors.h"

#include <cerrno>
#include <string>

#include "files.h"

namespace platform {

namespace {

constexpr const char* kCauseTexts[] = {
    "No error occurred.",
    "An unspecified error occurred.",
    "The file could not be located.",
    "All or part of the path is invalid.",
    "The permitted number of open files was exceeded.",
    "The file could not be accessed.",
    "There was an attempt to use an invalid file handle.",
    "The current working directory cannot be removed.",
    "There are no more directory entries.",
    "There was an error trying to set the file pointer.",
    "There was a hardware error.",
    "SHARE.EXE was not loaded, or a shared region was locked.",
    "There was an attempt to lock a region that was already locked.",
    "The disk is full.",
    "The end of file was reached.",
};

int CauseOf(int error) {
    switch (error) {
    case 0: return 0;
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG: return 3;  // a missing folder on the way to a file being created
    case EMFILE:
    case ENFILE: return 4;
    case EACCES:
    case EPERM:
    case EROFS:
    case EEXIST:  // a file that is not to be replaced
    case EISDIR: return 5;
    case EBADF: return 6;
    case ESPIPE: return 9;
    case EIO: return 10;
    case EBUSY: return 11;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return 13;  // a file that may grow no further is as full as its disk
    default: return 1;
    }
}

}  // namespace

CString FileErrorText(int error) {
    CString text(kCauseTexts[CauseOf(error)]);
    // What the cause text cannot say (a file the run depends on, a folder that takes no new file)
    // follows as a sentence of its own.
    std::string detail = FileFailureDetail(error);
    // No cause text names a size limit; the nearest, a full disk, is told apart by saying which.
    if (detail.empty() && error == EFBIG) detail = "the file is too large for the size limit of this process or of its file system";
    if (detail.empty()) return text;
    // A detail that starts with a file's name keeps its spelling ("peak.log is ...").
    if (detail.starts_with("the ")) detail[0] = 'T';
    return text + " " + detail.c_str() + ".";
}

CString SaveFailureText(const CString& what, int error) { return what + FileErrorText(error ? error : kUnknownError) + "\n"; }

}  // namespace platform
