// The cause texts of failed file operations, as a report shows them under what failed.
#pragma once

#include "cstring.h"

namespace platform {

// The cause text for the errno left by a failed open, write or copy (the original runtime's
// fourteen cause texts: "The file could not be located.", "The disk is full.", ...). An errno it
// does not know, or kUnknownError, gives "An unspecified error occurred.". What the file layer
// said of the failure beyond errno (FileFailureDetail) follows as a sentence of its own; a file
// past a size limit (EFBIG) reads as a full disk followed by "The file is too large ...".
CString FileErrorText(int error);
inline constexpr int kUnknownError = -1;

// The text of a failed save for the report: what, then the cause text of error (0 counts as
// unspecified) on a line of its own.
CString SaveFailureText(const CString& what, int error);

}  // namespace platform
