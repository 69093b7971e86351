// Texts for file errors and the message box that reports a file which could not be opened.
#pragma once

#include "platform/cstring.h"

namespace images_detail {

// The file layer's cause text for the errno left by a failed open (the original runtime's
// fourteen cause texts: "The file could not be located.", "The disk is full.", ...).
CString FileErrorText(int error);

// Raises the topmost message box "ERROR:  Couldn't open file" with the cause text of error.
void ReportOpenFailure(int error);

}  // namespace images_detail
